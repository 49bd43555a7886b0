#pragma once

#include "front/UserDefaultsKey.h"

class QCheckBox;
class QSpinBox;

namespace quillet {

class UserDefaults;

/// Ties a control to a settings key both ways: the control shows the key's value (the
/// registered default when nothing is stored), a change by the user stores the new value,
/// and a change of the key made elsewhere shows in the control (with the control's own
/// change signal, which then stores nothing). The connections end with the control.
void bindCheckBox(QCheckBox* checkBox, UserDefaults& defaults, UserDefaultsKey key);
void bindSpinBox(QSpinBox* spinBox, UserDefaults& defaults, UserDefaultsKey key);

} // namespace quillet
