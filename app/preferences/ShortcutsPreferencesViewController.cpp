#include "preferences/ShortcutsPreferencesViewController.h"

#include "OrvTextView/Misc/ReadableText.h"
#include "platform/UserDefaults.h"
#include "preferences/ShortcutRecorder.h"

#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace quillet {

ShortcutsPreferencesViewController::ShortcutsPreferencesViewController(UserDefaults& defaults, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ShortcutsPreferencesViewController"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight);
    layout->addLayout(form);

    const auto recorder = [&](const QString& label, const char* name) {
        auto* view = new ShortcutRecorder(this);
        view->setObjectName(QString::fromLatin1(name));
        view->setAccessibleName(label);
        form->addRow(label, view);
        return view;
    };
    m_expandText = recorder(tr("Expand text:"), "expandTextShortcutView");
    m_showExpanders = recorder(tr("Show expanders:"), "showExpandersShortcutView");
    m_showExpanderBrowser = recorder(tr("Show or hide the expander browser:"), "showExpanderBrowserShortcutView");

    // Each view then shows and records the shortcut stored under its key.
    m_expandText->setAssociatedUserDefaultsKey(defaults, UserDefaultsKey::ExpandTextShortcut);
    m_showExpanders->setAssociatedUserDefaultsKey(defaults, UserDefaultsKey::ShowExpandersShortcut);
    m_showExpanderBrowser->setAssociatedUserDefaultsKey(defaults, UserDefaultsKey::ShowExpanderBrowserShortcut);

    auto* hint = new QLabel(tr("Click a shortcut and press the new keys. Backspace clears it, Escape keeps it."), this);
    hint->setWordWrap(true);
    orv::makeHint(hint);
    layout->addWidget(hint);
    layout->addStretch(1);
}

} // namespace quillet
