#pragma once

namespace quillet {

/// Registers the windows' pictures (the introduction's and the application icon), which are
/// compiled into a static library; safe to call any number of times.
void initWindowResources();

} // namespace quillet
