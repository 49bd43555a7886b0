#include "editor/VariableTextView.h"

#include "editor/PopoverVariableCell.h"

#include "OrvTextView/Shortcut/ShortcutText.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace quillet {

VariableTextView::VariableTextView(QWidget* parent)
    : orv::OrvTextView(parent)
{
    connect(this, &QTextEdit::textChanged, this, &VariableTextView::refreshTokenColors);
    m_editVariableAction = new QAction(tr("Edit Variable\u2026"), this);
    m_editVariableAction->setObjectName(QStringLiteral("editVariable"));
    // Return itself types a new line; with Alt it is the desktop's key for an item's settings.
    m_editVariableAction->setShortcuts(
        { QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter) });
    orv::showShortcutText(m_editVariableAction);
    connect(m_editVariableAction, &QAction::triggered, this, [this] { editVariable(); });
}

void VariableTextView::refreshTokenColors()
{
    if (m_refreshingTokens)
        return;
    const QString text = toPlainText();
    bool stale = false;
    for (int position = 0; position < text.size() && !stale; ++position) {
        if (text.at(position) != QChar(orv::attachmentCharacter))
            continue;
        if (const auto token = tokenAt(position))
            stale = token->cell->backgroundColor() != VariableCell::colorForTokenAt(text, position);
    }
    if (!stale)
        return;
    m_refreshingTokens = true;
    updateAttachments();
    m_refreshingTokens = false;
}

std::optional<VariableTextView::Token> VariableTextView::tokenAt(int position) const
{
    if (position < 0 || position >= document()->characterCount() - 1)
        return std::nullopt;
    QTextCursor cursor(document());
    cursor.setPosition(position);
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    const orv::TextAttachmentPtr attachment = orv::attachmentOf(cursor.charFormat());
    auto* cell = attachment ? dynamic_cast<PopoverVariableCell*>(attachment->cell()) : nullptr;
    if (!cell)
        return std::nullopt;
    QTextCursor at(document());
    at.setPosition(position);
    const QRect line = cursorRect(at);
    const QSizeF size = cell->cellSize();
    // The token sits in its line at the caret's place before it; its drawn frame, once
    // there is one, is exact.
    QRectF frame(line.left(), line.bottom() - size.height(), size.width(), size.height());
    if (const auto& drawn = cell->lastDrawnFrame()) {
        const QRectF mapped = drawn->translated(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
        if (std::abs(mapped.left() - frame.left()) < size.width())
            frame = mapped;
    }
    return Token { cell, attachment, frame };
}

std::optional<VariableTextView::Token> VariableTextView::tokenAtPoint(const QPoint& point) const
{
    const int position = cursorForPosition(point).position();
    for (const int candidate : { position - 1, position }) {
        const auto token = tokenAt(candidate);
        if (token && token->frame.adjusted(0, -2, 0, 2).contains(point))
            return token;
    }
    return std::nullopt;
}

std::vector<VariableTextView::Token> VariableTextView::tokens() const
{
    std::vector<Token> result;
    const QString text = toPlainText();
    for (int position = 0; position < text.size(); ++position) {
        if (text.at(position) != QChar(orv::attachmentCharacter))
            continue;
        if (auto token = tokenAt(position))
            result.push_back(*token);
    }
    return result;
}

std::optional<VariableTextView::Token> VariableTextView::tokenBesideCaret() const
{
    const QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    if (auto token = tokenAt(start))
        return token;
    return tokenAt(end - 1);
}

bool VariableTextView::editVariable()
{
    const auto token = m_menuTokenPosition ? tokenAt(*m_menuTokenPosition) : tokenBesideCaret();
    if (!token)
        return false;
    ensureCursorVisible();
    return token->cell->trackMouse(token->frame, this);
}

void VariableTextView::contextMenuEvent(QContextMenuEvent* event)
{
    // A click acts on the token under it; the menu key on the token beside the caret.
    std::optional<Token> token;
    if (event->reason() == QContextMenuEvent::Mouse)
        token = tokenAtPoint(event->pos());
    else
        token = tokenBesideCaret();
    if (token) {
        const QString text = toPlainText();
        for (int position = 0; position < text.size(); ++position) {
            const auto at = tokenAt(position);
            if (at && at->cell == token->cell) {
                m_menuTokenPosition = position;
                break;
            }
        }
    }
    m_editVariableAction->setEnabled(m_menuTokenPosition.has_value());
    orv::OrvTextView::contextMenuEvent(event);
    m_menuTokenPosition.reset();
    // The key works wherever the caret stands: it finds its token when pressed.
    m_editVariableAction->setEnabled(true);
}

void VariableTextView::keyPressEvent(QKeyEvent* event)
{
    const bool menuKey = event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier;
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (!menuKey && !shiftF10) {
        orv::OrvTextView::keyPressEvent(event);
        return;
    }
    event->accept();
    // (Where the window system also turns the menu key into a request of its own, that one
    // reaches the open menu, which ignores it.)
    const QPoint at = cursorRect().bottomLeft();
    QContextMenuEvent request(QContextMenuEvent::Keyboard, at, viewport()->mapToGlobal(at), event->modifiers());
    contextMenuEvent(&request);
}

void VariableTextView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const QPoint point = event->position().toPoint();
        if (const auto token = tokenAtPoint(point)) {
            if (token->cell->trackMouse(token->frame, this)) {
                event->accept();
                return;
            }
        }
        // A press inside the selection would start dragging it: start a new selection instead.
        const QTextCursor current = textCursor();
        if (current.hasSelection()) {
            const int position = cursorForPosition(point).position();
            if (position >= current.selectionStart() && position <= current.selectionEnd()) {
                QTextCursor collapsed = current;
                collapsed.setPosition(position);
                setTextCursor(collapsed);
            }
        }
    }
    orv::OrvTextView::mousePressEvent(event);
}

} // namespace quillet
