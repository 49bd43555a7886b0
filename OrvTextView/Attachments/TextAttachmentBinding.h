#pragma once

#include "OrvTextView/Attachments/TextAttachmentTransformer.h"
#include "OrvTextView/OrvTextViewExport.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

namespace orv {

class OrvTextView;

/// Keeps a model's plain string and a text view with tokens in step, both ways, through a
/// TextAttachmentTransformer over the view: the model's string shows in the view with its
/// tokens as attachments, and every edit in the view is written back to the model at once,
/// each token as its text.
///
/// The binding is a child of the view and ends with it. The model tells it of changes made
/// elsewhere through modelDidChange(); writes that come from the view itself are not shown
/// again, so the caret and the undo history survive typing.
class ORVTEXTVIEW_EXPORT TextAttachmentBinding final : public QObject {
    Q_OBJECT
public:
    using Reader = std::function<QString()>;
    using Writer = std::function<void(const QString&)>;

    /// Shows the model's current string in the view.
    TextAttachmentBinding(OrvTextView* view, Reader read, Writer write);

    /// Shows the model's string unless the view already shows exactly it.
    void modelDidChange();

    const TextAttachmentTransformer& transformer() const { return m_transformer; }

private:
    void viewDidChange();

    QPointer<OrvTextView> m_view;
    TextAttachmentTransformer m_transformer;
    Reader m_read;
    Writer m_write;
    bool m_updating = false;
};

} // namespace orv
