#pragma once

#include <nlohmann/json.hpp>

namespace quillet::test {

/// A library object shaped like a real one, for benchmarks: bundleCount bundles of
/// expandersPerBundle expanders each, with descriptions, identifiers, typed variables,
/// optional parts, several languages (one unknown) and every seventh expander disabled.
nlohmann::json syntheticLibrary(int bundleCount, int expandersPerBundle);

} // namespace quillet::test
