#pragma once

namespace quillet {

/// Registers the introduction's pictures, which are compiled into a static library; safe to
/// call any number of times.
void initIntroResources();

} // namespace quillet
