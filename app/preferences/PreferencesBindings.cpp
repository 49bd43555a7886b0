#include "preferences/PreferencesBindings.h"

#include "platform/UserDefaults.h"

#include <QCheckBox>
#include <QSpinBox>

#include <algorithm>

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

namespace {

/// The stored value as the box can show it: one beyond its range shows as its nearest end.
int shownValue(const QSpinBox* spinBox, qint64 stored)
{
    return int(std::clamp<qint64>(stored, spinBox->minimum(), spinBox->maximum()));
}

} // namespace

void bindSpinBox(QSpinBox* spinBox, UserDefaults& defaults, UserDefaultsKey key)
{
    spinBox->setValue(shownValue(spinBox, defaults.integerForKey(key)));
    // A stored value beyond the box's range is only shown at the range's end: it is stored
    // anew only when the user picks another value.
    QObject::connect(spinBox, &QSpinBox::valueChanged, spinBox, [spinBox, &defaults, key](int value) {
        if (shownValue(spinBox, defaults.integerForKey(key)) != value)
            defaults.setValue(key, value);
    });
    QObject::connect(
        &defaults, &UserDefaults::valueChanged, spinBox, [spinBox, &defaults, key](UserDefaultsKey changed) {
            if (changed != key)
                return;
            spinBox->setValue(shownValue(spinBox, defaults.integerForKey(key)));
        });
}

} // namespace quillet
