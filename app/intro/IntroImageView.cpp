#include "intro/IntroImageView.h"

#include "intro/IntroWindow.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

namespace quillet {

IntroImageView::IntroImageView(const QString& resource, QWidget* parent)
    : QWidget(parent)
    , m_renderer(new QSvgRenderer(resource, this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumSize(sizeHint() / 2);
}

IntroImageView::IntroImageView(const QByteArray& svgDocument, QWidget* parent)
    : QWidget(parent)
    , m_renderer(new QSvgRenderer(svgDocument, this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumSize(sizeHint() / 2);
}

bool IntroImageView::isValid() const
{
    return m_renderer->isValid();
}

QSize IntroImageView::sizeHint() const
{
    return m_renderer->isValid() ? m_renderer->defaultSize() : QSize(320, 200);
}

void IntroImageView::paintEvent(QPaintEvent*)
{
    if (!m_renderer->isValid())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QSizeF size = m_renderer->defaultSize();
    size.scale(QSizeF(this->size()), Qt::KeepAspectRatio);
    const QRectF target(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    m_renderer->render(&painter, target);
}

void IntroImageView::mousePressEvent(QMouseEvent* event)
{
    if (auto* w = qobject_cast<IntroWindow*>(window()))
        w->beginMove(event);
    else
        event->ignore();
}

} // namespace quillet
