#include "preferences/ShortcutRecorder.h"

#include "platform/UserDefaults.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace quillet {
namespace {

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        return true;
    default:
        return false;
    }
}

bool isFunctionKey(int key)
{
    return key >= Qt::Key_F1 && key <= Qt::Key_F35;
}

std::function<void(bool)>& recordingObserver()
{
    static std::function<void(bool)> observer;
    return observer;
}

} // namespace

ShortcutRecorder::ShortcutRecorder(QWidget* parent)
    : QPushButton(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QPushButton::clicked, this, [this] { setRecording(!m_recording); });
    refresh();
}

ShortcutRecorder::~ShortcutRecorder()
{
    setRecording(false);
}

void ShortcutRecorder::setRecordingObserver(std::function<void(bool recording)> observer)
{
    recordingObserver() = std::move(observer);
}

void ShortcutRecorder::setAssociatedUserDefaultsKey(UserDefaults& defaults, UserDefaultsKey key)
{
    if (m_defaults)
        disconnect(m_defaults, nullptr, this, nullptr);
    m_defaults = &defaults;
    m_key = key;
    connect(&defaults, &UserDefaults::valueChanged, this, [this](UserDefaultsKey changed) {
        if (changed == m_key)
            refresh();
    });
    refresh();
}

std::optional<Shortcut> ShortcutRecorder::shortcut() const
{
    return m_defaults ? m_defaults->shortcut(m_key) : std::nullopt;
}

void ShortcutRecorder::setRecording(bool recording)
{
    const bool was = m_recording;
    m_recording = recording && m_defaults;
    if (m_recording != was && recordingObserver())
        recordingObserver()(m_recording);
    if (m_recording)
        setFocus(Qt::OtherFocusReason);
    refresh();
}

void ShortcutRecorder::refresh()
{
    if (m_recording) {
        setText(tr("Type Shortcut"));
        return;
    }
    const auto current = shortcut();
    setText(current ? current->displayText() : tr("Record Shortcut"));
}

QSize ShortcutRecorder::sizeHint() const
{
    QSize size = QPushButton::sizeHint();
    size.setWidth(
        std::max(size.width(), fontMetrics().horizontalAdvance(QStringLiteral("Ctrl+Alt+Super+Shift+Space")) + 24));
    return size;
}

bool ShortcutRecorder::event(QEvent* event)
{
    // While recording, every key is the shortcut being recorded, not one of the window's
    // (Escape must stop the recording, not close the preferences).
    if (m_recording && event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    return QPushButton::event(event);
}

void ShortcutRecorder::keyPressEvent(QKeyEvent* event)
{
    if (!m_recording) {
        QPushButton::keyPressEvent(event);
        return;
    }
    event->accept();
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers
        = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (isModifierKey(key))
        return;
    if (modifiers == Qt::NoModifier && key == Qt::Key_Escape) {
        setRecording(false);
        return;
    }
    if (modifiers == Qt::NoModifier && (key == Qt::Key_Backspace || key == Qt::Key_Delete)) {
        m_defaults->setShortcut(m_key, std::nullopt);
        setRecording(false);
        refresh();
        Q_EMIT shortcutChanged();
        return;
    }
    if (modifiers == Qt::NoModifier && !isFunctionKey(key))
        return; // a global shortcut without a modifier would take the key from every application

    // With Shift held the key reports its shifted symbol; the keysym of the plain key, where
    // the platform gives it, names the key itself.
    std::optional<Shortcut> recorded;
    if (event->nativeVirtualKey() != 0 && (modifiers & Qt::ShiftModifier)) {
        uint16_t state = 0;
        if (modifiers & Qt::ShiftModifier)
            state |= 1;
        if (modifiers & Qt::ControlModifier)
            state |= 4;
        if (modifiers & Qt::AltModifier)
            state |= 8;
        if (modifiers & Qt::MetaModifier)
            state |= 64;
        recorded = Shortcut::fromX11(event->nativeVirtualKey(), state);
    }
    if (!recorded)
        recorded = Shortcut::fromQt(key, int(modifiers));
    if (!recorded)
        return;
    // The new shortcut is stored first, so that it is the one taken again when the grabs resume.
    m_defaults->setShortcut(m_key, recorded);
    setRecording(false);
    refresh();
    Q_EMIT shortcutChanged();
}

void ShortcutRecorder::focusOutEvent(QFocusEvent* event)
{
    if (m_recording)
        setRecording(false);
    QPushButton::focusOutEvent(event);
}

} // namespace quillet
