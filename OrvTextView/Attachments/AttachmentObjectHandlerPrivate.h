#pragma once

#include <QObject>
#include <QTextObjectInterface>

namespace orv::detail {

/// Lays out and draws the attachment characters of a document through their cells.
class AttachmentObjectHandler final : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    using QObject::QObject;

    QSizeF intrinsicSize(QTextDocument* document, int positionInDocument, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int positionInDocument,
        const QTextFormat& format) override;

    /// Registers a handler (owned by the document's layout) unless one is already there.
    static void install(QTextDocument* document);
};

} // namespace orv::detail
