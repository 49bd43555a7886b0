#pragma once

#include "OrvTextView/OrvTextView.h"

namespace quillet {

/// The description editor: the framework's text view with the markup of descriptions
/// highlighted as the user types: list lines, italic, bold, bold italic, inline code, code
/// blocks, and example lines ("> " and the abbreviation) in the token colour.
class QLMDTextView final : public orv::OrvTextView {
    Q_OBJECT
public:
    explicit QLMDTextView(QWidget* parent = nullptr);

    void configure() override;
    /// Adds the seven patterns, in the order above; only the first call adds them.
    void setUpMarkdownHighlighting();

private:
    bool m_patternsAdded = false;
};

} // namespace quillet
