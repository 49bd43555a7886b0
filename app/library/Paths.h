#pragma once

#include <filesystem>
#include <functional>
#include <optional>

namespace quillet {

/// Where the application keeps its data.
///
/// The data folder is "$XDG_DATA_HOME/com.orvanta.Quillet" (XDG_DATA_HOME defaults to
/// ~/.local/share; a relative value is ignored, as the XDG rules ask, and so is a relative HOME,
/// which gives way to the user database's home folder). The shared values are
/// worked out once, on first use, safely across threads.
class Paths {
public:
    static constexpr const char* bundleIdentifier = "com.orvanta.Quillet";
    static constexpr const char* bundlesFileName = "bundles.qlbundles";

    /// Reads one environment variable; none when it is not set.
    using Environment = std::function<std::optional<std::string>(const char* name)>;

    /// The application's data folder, or none when neither XDG_DATA_HOME nor a home folder
    /// (HOME, else the user database) is known.
    static const std::optional<std::filesystem::path>& applicationSupportPath();
    /// The library file in the data folder, or none without a data folder.
    static const std::optional<std::filesystem::path>& bundlesFilePath();

    /// The data folder as the given environment names it (the user database is asked for
    /// the home folder only when the environment has no absolute HOME).
    static std::optional<std::filesystem::path> applicationSupportPath(const Environment& environment);

    /// The application's cache folder, "$XDG_CACHE_HOME/com.orvanta.Quillet" (XDG_CACHE_HOME
    /// defaults to ~/.cache, and is ignored when relative, as XDG_DATA_HOME is): what may be
    /// deleted at any time. None without a home folder.
    static const std::optional<std::filesystem::path>& cachePath();
    static std::optional<std::filesystem::path> cachePath(const Environment& environment);

private:
    static std::optional<std::filesystem::path> xdgFolder(
        const Environment& environment, const char* variable, const char* underHome);
};

} // namespace quillet
