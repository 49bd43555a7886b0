#pragma once

#include "OrvTextView/OrvTextView.h"

#include <QPointer>
#include <QRectF>

#include <optional>

class QAction;

namespace quillet {

class PopoverVariableCell;

/// The text view of the pattern and output-template editors: the framework's view whose
/// variable tokens open their editors when clicked, and whose selection cannot be dragged
/// (it may hold tokens).
class VariableTextView : public orv::OrvTextView {
    Q_OBJECT
public:
    explicit VariableTextView(QWidget* parent = nullptr);

    /// The token at `position` (UTF-16 offset of its attachment character), with its frame
    /// in viewport coordinates; none when no variable token stands there.
    struct Token {
        PopoverVariableCell* cell = nullptr;
        orv::TextAttachmentPtr attachment;
        QRectF frame;
    };
    std::optional<Token> tokenAt(int position) const;
    /// The token under a point of the viewport.
    std::optional<Token> tokenAtPoint(const QPoint& point) const;
    /// The variable tokens in text order.
    std::vector<Token> tokens() const;
    /// The token the keyboard reaches: the one right after the caret, else the one right
    /// before it (with a selection, the token at its start, else the one before its end).
    std::optional<Token> tokenBesideCaret() const;

    /// Opens the editor of the token the context menu was opened on, else of the token
    /// beside the caret. Answers whether a popover opened.
    bool editVariable();
    /// "Edit Variable…" (Alt+Return): the entry of the view's context menus that opens the
    /// editor of an existing token. It sits in the menus the controllers give the view.
    QAction* editVariableAction() const noexcept { return m_editVariableAction; }

    /// Says that the text changed without an edit of the document (a token's text was
    /// rewritten), so that the binding stores it.
    void didChangeText() { Q_EMIT tokenTextChanged(); }

    /// Makes the tokens anew when one of them no longer has the colour of its place (a "|"
    /// typed after a token opens or closes an optional part around it).
    void refreshTokenColors();

Q_SIGNALS:
    void tokenTextChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    /// The menu key and Shift+F10 open the context menu at the caret.
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_refreshingTokens = false;
    QAction* m_editVariableAction = nullptr;
    /// While the context menu is open: the position of the token it was opened on.
    std::optional<int> m_menuTokenPosition;
};

} // namespace quillet
