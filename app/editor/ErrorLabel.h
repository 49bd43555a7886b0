#pragma once

#include <unicode/unistr.h>

#include <optional>

class QLabel;
class QWidget;

namespace quillet {

/// The red, wrapping line under a variable editor that says what is wrong with the variable.
/// Its red reads at 4.5:1 or more on the window it is in when light, 5:1 when dark.
QLabel* makeErrorLabel(QWidget* parent);

/// Shows the message, or hides the label when there is none.
void showErrorMessage(QLabel* label, const std::optional<icu::UnicodeString>& message);

} // namespace quillet
