#include "library/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace quillet {

namespace {

std::optional<std::string> processEnvironment(const char* name)
{
    if (const char* value = std::getenv(name))
        return std::string(value);
    return std::nullopt;
}

std::optional<std::filesystem::path> homeFromUserDatabase()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry {};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) != 0 || !result || !result->pw_dir
        || result->pw_dir[0] != '/')
        return std::nullopt;
    return std::filesystem::path(result->pw_dir);
}

} // namespace

std::optional<std::filesystem::path> Paths::applicationSupportPath(const Environment& environment)
{
    return xdgFolder(environment, "XDG_DATA_HOME", ".local/share");
}

std::optional<std::filesystem::path> Paths::cachePath(const Environment& environment)
{
    return xdgFolder(environment, "XDG_CACHE_HOME", ".cache");
}

std::optional<std::filesystem::path> Paths::xdgFolder(
    const Environment& environment, const char* variable, const char* underHome)
{
    std::optional<std::filesystem::path> base;
    if (auto xdgHome = environment(variable);
        xdgHome && !xdgHome->empty() && std::filesystem::path(*xdgHome).is_absolute()) {
        base = std::filesystem::path(*xdgHome);
    } else {
        std::optional<std::filesystem::path> home;
        // A relative HOME would put the library under whatever folder the program was started
        // in; like a relative XDG_DATA_HOME it is ignored.
        if (auto value = environment("HOME"); value && std::filesystem::path(*value).is_absolute())
            home = std::filesystem::path(*value);
        else
            home = homeFromUserDatabase();
        if (!home)
            return std::nullopt;
        base = *home / underHome;
    }
    return *base / bundleIdentifier;
}

const std::optional<std::filesystem::path>& Paths::applicationSupportPath()
{
    static const std::optional<std::filesystem::path> path = applicationSupportPath(processEnvironment);
    return path;
}

const std::optional<std::filesystem::path>& Paths::cachePath()
{
    static const std::optional<std::filesystem::path> path = cachePath(processEnvironment);
    return path;
}

const std::optional<std::filesystem::path>& Paths::bundlesFilePath()
{
    static const std::optional<std::filesystem::path> path = [] {
        const auto& folder = applicationSupportPath();
        return folder ? std::optional(*folder / bundlesFileName) : std::nullopt;
    }();
    return path;
}

} // namespace quillet
