#pragma once

namespace quillet {

/// Lists this application's open pop-up windows (popovers, menus, the languages chooser)
/// among its windows for assistive technologies, which Qt leaves out: a screen reader walking
/// the application's windows finds them while they are open, with their controls. Main
/// thread, before the accessibility bridge first asks for the application's object.
void showPopupsToAssistiveTechnologies();

} // namespace quillet
