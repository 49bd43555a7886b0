#include "preferences/TextPreferencesViewController.h"

#include "OrvTextView/Misc/ReadableText.h"
#include "preferences/PreferencesBindings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quillet {

TextPreferencesViewController::TextPreferencesViewController(UserDefaults& defaults, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("TextPreferencesViewController"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    auto* spaces = new QCheckBox(tr("Indent with spaces"), this);
    spaces->setObjectName(QStringLiteral("IndentWithSpaces"));
    bindCheckBox(spaces, defaults, UserDefaultsKey::IndentWithSpaces);
    form->addRow(spaces);

    auto* size = new QSpinBox(this);
    size->setObjectName(QStringLiteral("IndentSize"));
    size->setRange(minimumIndentSize, maximumIndentSize);
    size->setSpecialValueText(tr("No indentation"));
    const auto updateSuffix = [size](int value) { size->setSuffix(value == 1 ? tr(" space") : tr(" spaces")); };
    size->setAccessibleName(tr("Indent size"));
    connect(size, &QSpinBox::valueChanged, size, updateSuffix);
    bindSpinBox(size, defaults, UserDefaultsKey::IndentSize);
    updateSuffix(size->value());
    size->setEnabled(spaces->isChecked());
    connect(spaces, &QCheckBox::toggled, size, &QWidget::setEnabled);
    form->addRow(tr("Indent size:"), size);

    auto* note = new QLabel(tr("Expanded code is indented with these settings; one tab of a template becomes one "
                               "level of indentation."),
        this);
    note->setWordWrap(true);
    orv::makeHint(note);
    layout->addWidget(note);
    layout->addStretch(1);
}

} // namespace quillet
