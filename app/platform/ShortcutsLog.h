#pragma once

#include <QLoggingCategory>

namespace quillet {

/// What the global shortcuts and the keyboard hold tell the log ("quillet.shortcuts"). The
/// grab thread's lines go through logFromAnyThread().
Q_DECLARE_LOGGING_CATEGORY(shortcutsLog)

} // namespace quillet
