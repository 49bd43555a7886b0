#pragma once

// For widget tests of highlighted text views (header only: the support library itself is Qt-free).

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

namespace quillet::test {

/// What the user sees at a position: the document's format with the layout's display
/// formats (the highlighting) merged over it in their order.
inline QTextCharFormat shownFormat(const QTextEdit& view, int position)
{
    const QTextBlock block = view.document()->findBlock(position);
    QTextCursor cursor(view.document());
    cursor.setPosition(position + 1);
    QTextCharFormat format = cursor.charFormat();
    const int offset = position - block.position();
    for (const auto& range : block.layout()->formats()) {
        if (offset >= range.start && offset < range.start + range.length)
            format.merge(range.format);
    }
    return format;
}

} // namespace quillet::test
