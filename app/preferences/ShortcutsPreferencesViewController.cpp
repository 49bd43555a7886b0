#include "preferences/ShortcutsPreferencesViewController.h"

#include "OrvTextView/Misc/ReadableText.h"
#include "platform/GlobalShortcutRoutes.h"
#include "platform/UserDefaults.h"
#include "preferences/ShortcutRecorder.h"

#include <QClipboard>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillet {

namespace {

/// A command to copy: selectable, with a button that copies it.
QWidget* commandLine(const QString& command, QWidget* parent)
{
    auto* line = new QWidget(parent);
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    auto* field = new QLineEdit(command, line);
    field->setObjectName(QStringLiteral("ShortcutCommand"));
    field->setReadOnly(true);
    field->setAccessibleName(QObject::tr("Command"));
    QFont code(QStringLiteral("monospace"));
    code.setStyleHint(QFont::Monospace);
    field->setFont(code);
    field->setMinimumWidth(QFontMetrics(code).horizontalAdvance(command) + 16);
    auto* copy = new QPushButton(QObject::tr("Copy"), line);
    copy->setAccessibleName(QObject::tr("Copy %1").arg(command));
    QObject::connect(copy, &QPushButton::clicked, line, [command] { QGuiApplication::clipboard()->setText(command); });
    row->addWidget(field, 1);
    row->addWidget(copy);
    return line;
}

} // namespace

ShortcutsPreferencesViewController::ShortcutsPreferencesViewController(
    UserDefaults& defaults, GlobalShortcutRoutes* routes, QWidget* parent)
    : QWidget(parent)
    , m_routes(routes)
{
    setObjectName(QStringLiteral("ShortcutsPreferencesViewController"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight);
    layout->addLayout(form);

    const auto recorder = [&](const QString& label, const char* name, UserDefaultsKey key) {
        auto* view = new ShortcutRecorder(this);
        view->setObjectName(QString::fromLatin1(name));
        view->setAccessibleName(label);
        form->addRow(label, view);
        // What reaches Quillet for this shortcut, where that is more than the recorded keys.
        auto* guide = new QWidget(this);
        guide->setObjectName(QStringLiteral("ShortcutGuide"));
        auto* guideLayout = new QVBoxLayout(guide);
        guideLayout->setContentsMargins(0, 0, 0, 6);
        guideLayout->setSpacing(4);
        guide->hide();
        form->addRow(QString(), guide);
        m_guides[key] = guide;
        return view;
    };
    m_expandText = recorder(tr("Expand text:"), "expandTextShortcutView", UserDefaultsKey::ExpandTextShortcut);
    m_showExpanders
        = recorder(tr("Show expanders:"), "showExpandersShortcutView", UserDefaultsKey::ShowExpandersShortcut);
    m_showExpanderBrowser = recorder(tr("Show or hide the expander browser:"), "showExpanderBrowserShortcutView",
        UserDefaultsKey::ShowExpanderBrowserShortcut);

    // Each view then shows and records the shortcut stored under its key.
    m_expandText->setAssociatedUserDefaultsKey(defaults, UserDefaultsKey::ExpandTextShortcut);
    m_showExpanders->setAssociatedUserDefaultsKey(defaults, UserDefaultsKey::ShowExpandersShortcut);
    m_showExpanderBrowser->setAssociatedUserDefaultsKey(defaults, UserDefaultsKey::ShowExpanderBrowserShortcut);

    auto* hint = new QLabel(tr("Click a shortcut and press the new keys. Backspace clears it, Escape keeps it."), this);
    hint->setWordWrap(true);
    orv::makeHint(hint);
    layout->addWidget(hint);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("ShortcutsNote"));
    m_note->setWordWrap(true);
    m_note->setTextFormat(Qt::PlainText);
    m_note->hide();
    layout->addWidget(m_note);
    layout->addStretch(1);

    if (m_routes) {
        connect(m_routes, &GlobalShortcutRoutes::changed, this, &ShortcutsPreferencesViewController::showGuides);
        showGuides();
    }
}

void ShortcutsPreferencesViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_routes)
        showGuides();
}

QWidget* ShortcutsPreferencesViewController::guideView(UserDefaultsKey key) const
{
    const auto found = m_guides.find(key);
    return found == m_guides.end() ? nullptr : found->second;
}

void ShortcutsPreferencesViewController::showGuides()
{
    auto route = ShortcutReach::Route::KeyGrab;
    for (const auto& [key, guide] : m_guides) {
        const ShortcutReach reach = m_routes->reach(key);
        // One note for all: the desktop's settings where any needs them, else the portal.
        if (reach.route == ShortcutReach::Route::DesktopSettings || route == ShortcutReach::Route::KeyGrab)
            route = reach.route;
        const ShortcutGuidance guidance = preferencesGuidance(key, reach);
        qDeleteAll(guide->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
        if (!guidance.text.isEmpty()) {
            auto* text = new QLabel(guidance.text, guide);
            text->setObjectName(QStringLiteral("ShortcutGuideText"));
            text->setWordWrap(true);
            text->setTextFormat(Qt::PlainText);
            orv::makeHint(text);
            guide->layout()->addWidget(text);
        }
        for (const QString& command : guidance.commands)
            guide->layout()->addWidget(commandLine(command, guide));
        guide->setVisible(!guidance.text.isEmpty() || !guidance.commands.isEmpty());
    }
    m_note->setText(preferencesNote(route));
    m_note->setVisible(!m_note->text().isEmpty());
}

} // namespace quillet
