#include "intro/IntroWindow.h"

#include <QAction>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace quillet {

IntroWindow::IntroWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("IntroWindow"));
    setAccessibleName(tr("Welcome to Quillet"));
    // The desktop's task switcher still needs a name, though none is drawn.
    setWindowTitle(tr("Welcome to Quillet"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_closeButton = new QToolButton(this);
    m_closeButton->setObjectName(QStringLiteral("IntroCloseButton"));
    m_closeButton->setAccessibleName(tr("Close"));
    m_closeButton->setToolTip(tr("Close"));
    m_closeButton->setAutoRaise(true);
    m_closeButton->setText(QStringLiteral("\u2715"));
    m_closeButton->setFixedSize(28, 28);
    connect(m_closeButton, &QToolButton::clicked, this, &QWidget::close);

    // Escape (or Ctrl+W) closes the window, as the close button does.
    auto* close = new QAction(tr("Close"), this);
    close->setObjectName(QStringLiteral("closeIntroduction"));
    close->setShortcuts({ QKeySequence(Qt::Key_Escape), QKeySequence::Close });
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
}

void IntroWindow::setContent(QWidget* content)
{
    if (m_content)
        m_content->deleteLater();
    m_content = content;
    layout()->addWidget(content);
    m_closeButton->raise();
}

bool IntroWindow::isFloating() const noexcept
{
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void IntroWindow::setFloating(bool floating)
{
    if (floating == isFloating())
        return;
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, floating);
    QWindow* handle = windowHandle();
    if (!isVisible() || !handle) {
        setWindowFlags(flags);
        return;
    }
    // QWidget::setWindowFlags() would hide a shown window and show it again, and a window
    // shown again takes the keyboard from whichever window the user is typing in. The
    // window system's own window takes the new stacking state where it stands instead.
    overrideWindowFlags(flags);
    handle->setFlags(flags);
}

void IntroWindow::beginMove(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (QWindow* handle = windowHandle(); handle && handle->startSystemMove())
        return;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void IntroWindow::mousePressEvent(QMouseEvent* event)
{
    beginMove(event);
}

void IntroWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragOffset && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - *m_dragOffset);
}

void IntroWindow::mouseReleaseEvent(QMouseEvent*)
{
    m_dragOffset.reset();
}

void IntroWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_closeButton->move(8, 8);
    m_closeButton->raise();
}

void IntroWindow::paintEvent(QPaintEvent*)
{
    // Without the desktop's frame, a thin border keeps the window apart from what lies below.
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace quillet
