#include "editor/PopoverVariableCell.h"

#include "editor/VariablePopover.h"
#include "editor/VariableTextView.h"

namespace quillet {

PopoverVariableCell::PopoverVariableCell(QString label)
    : VariableCell(std::move(label))
{
}

PopoverVariableCell::~PopoverVariableCell()
{
    // The cell may go while its popover is telling that it closed.
    if (m_popover) {
        m_popover->disconnect();
        m_popover->deleteLater();
    }
}

bool PopoverVariableCell::trackMouse(const QRectF& cellFrame, VariableTextView* view)
{
    if (VariablePopover::isAnyOpen() || !view)
        return false;
    show(cellFrame, view);
    return true;
}

void PopoverVariableCell::show(const QRectF& rect, VariableTextView* view)
{
    m_view = view;
    popover()->showRelativeTo(rect.toAlignedRect(), view ? view->viewport() : nullptr);
}

VariablePopover* PopoverVariableCell::popover()
{
    if (!m_popover) {
        m_popover = new VariablePopover(editor());
        QObject::connect(m_popover, &VariablePopover::closed, m_popover, [this] { popoverShouldClose(); });
    }
    return m_popover;
}

VariableTextView* PopoverVariableCell::popoverRelativeControlView() const
{
    return m_view;
}

void PopoverVariableCell::popoverShouldClose()
{
    // Keeps the attachment, and with it this cell, alive while the view replaces its tokens.
    const auto attachment = m_attachment.lock();
    if (!attachment)
        return;
    const std::optional<QString> text = textToWriteBack();
    if (!text)
        return;
    const bool changed = attachment->text() != *text;
    attachment->setText(*text);
    if (VariableTextView* view = m_view) {
        view->updateAttachments();
        if (changed)
            view->didChangeText();
    }
}

} // namespace quillet
