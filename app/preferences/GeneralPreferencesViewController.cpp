#include "preferences/GeneralPreferencesViewController.h"

#include "OrvTextView/Misc/ReadableText.h"
#include "platform/StartAtLogin.h"
#include "preferences/PreferencesBindings.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace quillet {

namespace {

/// A wrapping label that asks for the height its text takes at the width it is given, so
/// that the window grows to show every line (a plain wrapping label asks for the height of
/// a wider line than it gets, and its first and last lines are cut).
class WrappingLabel final : public QLabel {
public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override
    {
        QSize size = QLabel::minimumSizeHint();
        if (width() > 0 && !text().isEmpty())
            size.setHeight(std::max(size.height(), heightForWidth(width())));
        return size;
    }
    QSize sizeHint() const override { return QLabel::sizeHint().expandedTo(minimumSizeHint()); }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        if (event->oldSize().width() != event->size().width())
            updateGeometry();
    }
};

} // namespace

GeneralPreferencesViewController::GeneralPreferencesViewController(
    UserDefaults& defaults, StartAtLogin* startAtLogin, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("GeneralPreferencesViewController"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);

    auto* sounds = new QGroupBox(tr("Sounds"), this);
    auto* soundsLayout = new QVBoxLayout(sounds);
    auto* success = new QCheckBox(tr("Play a sound when an abbreviation is expanded"), sounds);
    success->setObjectName(QStringLiteral("EnableSounds"));
    auto* error = new QCheckBox(tr("Play a sound when nothing could be expanded"), sounds);
    error->setObjectName(QStringLiteral("EnableErrorSound"));
    soundsLayout->addWidget(success);
    soundsLayout->addWidget(error);
    bindCheckBox(success, defaults, UserDefaultsKey::EnableSounds);
    bindCheckBox(error, defaults, UserDefaultsKey::EnableErrorSound);
    layout->addWidget(sounds);

    auto* startup = new QGroupBox(tr("Start-up"), this);
    auto* startupLayout = new QVBoxLayout(startup);
    auto* login = new QCheckBox(tr("Start Quillet when I log in"), startup);
    login->setObjectName(QStringLiteral("StartApplicationAutomatically"));
    startupLayout->addWidget(login);
    m_loginError = new WrappingLabel(startup);
    m_loginError->setObjectName(QStringLiteral("LoginError"));
    m_loginError->setWordWrap(true);
    m_loginError->setTextFormat(Qt::PlainText);
    // The error red of a light window, made lighter on a dark one until it reads at 5:1.
    orv::followPalette(m_loginError, [label = m_loginError] {
        const QWidget* parent = label->parentWidget();
        const QPalette ground = parent ? parent->palette() : label->palette();
        const QColor color = orv::accentOn(QColor(0xb3, 0x26, 0x1e), ground.color(QPalette::Window),
            ground.color(QPalette::WindowText), QColor(0xff, 0xa0, 0x9a));
        if (label->palette().color(QPalette::WindowText) == color)
            return;
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, color);
        label->setPalette(palette);
    });
    m_loginError->hide();
    startupLayout->addWidget(m_loginError);
    // A new attempt clears the last failure; connected before the binding, so that the
    // failure of this attempt, reported while the binding stores it, stays shown.
    connect(login, &QCheckBox::toggled, m_loginError, &QWidget::hide);
    bindCheckBox(login, defaults, UserDefaultsKey::StartApplicationAutomatically);
    layout->addWidget(startup);
    layout->addStretch(1);

    if (startAtLogin) {
        connect(startAtLogin, &StartAtLogin::failed, this, [this](const QString& reason) {
            m_loginError->setText(reason);
            m_loginError->show();
        });
    }
}

} // namespace quillet
