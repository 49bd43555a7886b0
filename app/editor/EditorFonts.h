#pragma once

#include <QFont>

namespace quillet {

/// The font of the pattern and output-template editors: "Source Code Pro" at 12 points, or
/// the system's fixed-width font at that size when it is not installed.
QFont codeEditorFont();

} // namespace quillet
