#pragma once

#include <nlohmann/json.hpp>

namespace quillet::test {

/// A library object shaped like a real one, for benchmarks: bundleCount bundles of
/// expandersPerBundle expanders each, with descriptions, identifiers, typed variables,
/// optional parts, several languages (one unknown) and every seventh expander disabled.
/// Every tenth expander embeds an enabled one of its bundle (exp(...)), as real libraries do.
nlohmann::json syntheticLibrary(int bundleCount, int expandersPerBundle);

/// The library object of the ten default bundles, read from the resources in installation order.
nlohmann::json defaultLibrary();

/// The bundles of both library objects, those of `first` first.
nlohmann::json joinedLibraries(const nlohmann::json& first, const nlohmann::json& second);

} // namespace quillet::test
