#pragma once

#include "OrvTextView/OrvTextView.h"

namespace orv {

/// A text view with a light markdown look: it registers eight markdown patterns (list,
/// italic, quote, bold, bold italic, code, code block, header, in that order) after any
/// patterns already there. Numbered lists stay plain.
class ORVTEXTVIEW_EXPORT MarkdownTextView : public OrvTextView {
    Q_OBJECT
public:
    explicit MarkdownTextView(QWidget* parent = nullptr);

    void configure() override;

private:
    void addPatternsToTextView();

    bool m_patternsAdded = false;
};

} // namespace orv
