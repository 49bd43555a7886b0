#pragma once

#include <QLoggingCategory>

namespace quillet {

/// What the accessibility backend tells the log ("quillet.atspi").
Q_DECLARE_LOGGING_CATEGORY(atspiLog)

} // namespace quillet
