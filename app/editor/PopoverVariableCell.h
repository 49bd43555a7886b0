#pragma once

#include "editor/VariableCell.h"

#include <QPointer>
#include <QRectF>
#include <QString>

#include <memory>
#include <optional>

class QWidget;

namespace quillet {

class VariablePopover;
class VariableTextView;

/// A variable token that opens an editor in a popover when clicked and, when the popover
/// closes, writes the editor's last valid state back into its attachment: the view then
/// makes its tokens anew and reports the changed text, so the binding stores it.
///
/// The editor and the popover are made on first use and kept while the cell lives, so a
/// token reopened before its cell is replaced shows the editor as it was left.
class PopoverVariableCell : public VariableCell {
public:
    explicit PopoverVariableCell(QString label);
    ~PopoverVariableCell() override;

    /// The attachment this cell draws (held weakly: the attachment owns the cell).
    void setAttachment(const orv::TextContainingTextAttachmentPtr& attachment) { m_attachment = attachment; }
    orv::TextContainingTextAttachmentPtr attachment() const { return m_attachment.lock(); }

    /// A click on the token, whose frame in the view's viewport is `cellFrame`: opens the
    /// popover unless a variable popover is already open. Answers whether it opened.
    bool trackMouse(const QRectF& cellFrame, VariableTextView* view);
    /// Opens the popover below `rect` (viewport coordinates of `view`).
    void show(const QRectF& rect, VariableTextView* view);

    VariablePopover* popover();
    VariableTextView* popoverRelativeControlView() const;
    /// Writes the editor's state back (what closing the popover does).
    void popoverShouldClose();

protected:
    /// The editor shown in the popover; made once.
    virtual QWidget* editor() = 0;
    /// The token text to write back, or none to leave the token as it is.
    virtual std::optional<QString> textToWriteBack() = 0;

private:
    std::weak_ptr<orv::TextContainingTextAttachment> m_attachment;
    QPointer<VariableTextView> m_view;
    QPointer<VariablePopover> m_popover;
};

} // namespace quillet
