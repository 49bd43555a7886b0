#pragma once

namespace quillet {

/// Registers the desktop side's built-in resources (status icons, sounds) once; the
/// library is static, so the resources are registered by hand before their first use.
void ensureDesktopResources();

} // namespace quillet
