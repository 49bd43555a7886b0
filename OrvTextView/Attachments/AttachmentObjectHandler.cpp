#include "OrvTextView/Attachments/AttachmentObjectHandlerPrivate.h"

#include "OrvTextView/Attachments/TextAttachment.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextDocument>

namespace orv::detail {

QSizeF AttachmentObjectHandler::intrinsicSize(QTextDocument*, int, const QTextFormat& format)
{
    const auto attachment = attachmentOf(format);
    if (!attachment || !attachment->cell())
        return {};
    return attachment->cell()->cellSize(*attachment);
}

void AttachmentObjectHandler::drawObject(
    QPainter* painter, const QRectF& rect, QTextDocument*, int, const QTextFormat& format)
{
    const auto attachment = attachmentOf(format);
    if (!attachment || !attachment->cell() || !painter)
        return;
    attachment->cell()->draw(*painter, rect, *attachment);
}

void AttachmentObjectHandler::install(QTextDocument* document)
{
    auto* layout = document ? document->documentLayout() : nullptr;
    if (!layout || dynamic_cast<AttachmentObjectHandler*>(layout->handlerForObject(attachmentObjectType)))
        return;
    layout->registerHandler(attachmentObjectType, new AttachmentObjectHandler(layout));
}

} // namespace orv::detail
