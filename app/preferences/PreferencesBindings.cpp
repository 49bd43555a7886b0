#include "preferences/PreferencesBindings.h"

#include "platform/UserDefaults.h"

#include <QCheckBox>
#include <QSpinBox>

namespace quillet {

void bindCheckBox(QCheckBox* checkBox, UserDefaults& defaults, UserDefaultsKey key)
{
    checkBox->setChecked(defaults.boolForKey(key));
    QObject::connect(checkBox, &QCheckBox::toggled, checkBox, [&defaults, key](bool checked) {
        if (defaults.boolForKey(key) != checked)
            defaults.setValue(key, checked);
    });
    QObject::connect(
        &defaults, &UserDefaults::valueChanged, checkBox, [checkBox, &defaults, key](UserDefaultsKey changed) {
            if (changed != key)
                return;
            checkBox->setChecked(defaults.boolForKey(key));
        });
}

void bindSpinBox(QSpinBox* spinBox, UserDefaults& defaults, UserDefaultsKey key)
{
    spinBox->setValue(int(defaults.integerForKey(key)));
    QObject::connect(spinBox, &QSpinBox::valueChanged, spinBox, [&defaults, key](int value) {
        if (defaults.integerForKey(key) != value)
            defaults.setValue(key, value);
    });
    QObject::connect(
        &defaults, &UserDefaults::valueChanged, spinBox, [spinBox, &defaults, key](UserDefaultsKey changed) {
            if (changed != key)
                return;
            spinBox->setValue(int(defaults.integerForKey(key)));
        });
}

} // namespace quillet
