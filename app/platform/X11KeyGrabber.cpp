#include "platform/X11KeyGrabber.h"

#include "platform/KeyGrabThread.h"
#include "platform/ShortcutsLog.h"

#include <QGuiApplication>

namespace quillet {

X11KeyGrabber::X11KeyGrabber()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    // Called on the grab thread; the press goes on to the main thread (with its hold, which
    // the grab thread ends on time whenever the main thread gets to it).
    m_grabs = KeyGrabThread::start(
        x11->connection(), holdBound,
        [this](const Shortcut& shortcut, KeyboardHold hold) {
            QMetaObject::invokeMethod(
                &m_receiver,
                [this, shortcut, hold = std::move(hold)]() mutable {
                    if (m_pressHandler)
                        m_pressHandler(shortcut, std::move(hold));
                },
                Qt::QueuedConnection);
        },
        [this](const Shortcut& shortcut) {
            QMetaObject::invokeMethod(
                &m_receiver,
                [this, shortcut] {
                    if (m_lostHandler)
                        m_lostHandler(shortcut);
                },
                Qt::QueuedConnection);
        });
    if (!m_grabs)
        qCWarning(shortcutsLog) << "The display refused a second connection: the global shortcuts are off";
}

X11KeyGrabber::~X11KeyGrabber()
{
    // Joined before the receiver goes: nothing is posted to it after that.
    if (m_grabs)
        m_grabs->stop();
}

bool X11KeyGrabber::grab(const Shortcut& shortcut, bool holdKeysAfter)
{
    return m_grabs && m_grabs->grab(shortcut, holdKeysAfter);
}

void X11KeyGrabber::ungrab(const Shortcut& shortcut)
{
    if (m_grabs)
        m_grabs->ungrab(shortcut);
}

} // namespace quillet
