#include "docs/views/ExpanderBrowserWindowController.h"

#include "OrvTextView/Misc/WindowFront.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

namespace quillet {

// MARK: - ExpanderBrowserWindow

ExpanderBrowserWindow::ExpanderBrowserWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(tr("Expander Browser"));
    setAccessibleName(tr("Expander browser"));
    resize(460, 380);
    makeMovableFrom(this);
}

void ExpanderBrowserWindow::makeMovableFrom(QWidget* widget)
{
    widget->installEventFilter(this);
}

void ExpanderBrowserWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    QColor background = palette().color(QPalette::Base);
    background.setAlphaF(0.97f);
    painter.fillPath(shape, background);
    painter.setPen(QColor(0, 0, 0, 40));
    painter.drawPath(shape);
}

bool ExpanderBrowserWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        m_pressed = mouse->button() == Qt::LeftButton;
        m_pressPosition = mouse->globalPosition().toPoint();
        break;
    }
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (m_pressed && (mouse->buttons() & Qt::LeftButton)
            && (mouse->globalPosition().toPoint() - m_pressPosition).manhattanLength()
                >= QApplication::startDragDistance()) {
            m_pressed = false;
            // The window manager moves the window; where it cannot, the window follows here.
            if (!windowHandle() || !windowHandle()->startSystemMove())
                move(pos() + mouse->globalPosition().toPoint() - m_pressPosition);
            return true;
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        m_pressed = false;
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

// MARK: - ExpanderBrowserWindowController

ExpanderBrowserWindowController::ExpanderBrowserWindowController(
    ExpanderBrowserViewController::ExpanderSource source, QObject* parent)
    : QObject(parent)
    , m_window(new ExpanderBrowserWindow)
{
    m_content = new ExpanderBrowserViewController(std::move(source), m_window);
    auto* layout = new QVBoxLayout(m_window);
    layout->setContentsMargins(2, 4, 2, int(ExpanderBrowserWindow::cornerRadius));
    layout->addWidget(m_content);
    m_window->makeMovableFrom(m_content->searchField());
    m_window->makeMovableFrom(m_content->tableView()->viewport());
}

ExpanderBrowserWindowController::~ExpanderBrowserWindowController()
{
    delete m_window.data();
}

void ExpanderBrowserWindowController::toggle()
{
    if (!m_window)
        return;
    if (m_window->isVisible())
        close();
    else
        showWindow();
}

void ExpanderBrowserWindowController::showWindow()
{
    if (!m_window)
        return;
    if (!m_placed) {
        // The first time, in the upper middle of the screen the pointer is on.
        QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            m_window->move(area.x() + (area.width() - m_window->width()) / 2, area.y() + area.height() / 5);
        }
        m_placed = true;
    }
    orv::bringToFront(m_window, orv::HiddenWindow::keepPosition);
}

void ExpanderBrowserWindowController::close()
{
    if (m_window)
        m_window->close();
}

} // namespace quillet
