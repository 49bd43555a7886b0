#include "library/ResourceLocator.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace quillet {

namespace {

// Kinds of resource that live in a subfolder of their own.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> typeFolders { {
    { "qlbundle", "bundles" },
    { "html", "docs" },
    { "css", "docs" },
} };

} // namespace

DirectoryResourceLocator::DirectoryResourceLocator(std::filesystem::path root)
    : m_root(std::move(root))
{
}

std::filesystem::path DirectoryResourceLocator::defaultRoot()
{
    return QUILLET_RESOURCES_DIR;
}

std::optional<std::filesystem::path> DirectoryResourceLocator::pathForResource(
    const std::string& name, const std::string& type) const
{
    // A name with a separator could reach outside the resources.
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return std::nullopt;
    const std::string fileName = type.empty() ? name : name + "." + type;
    std::error_code error;
    for (const auto& [folderType, folder] : typeFolders) {
        if (folderType == type) {
            auto candidate = m_root / folder / fileName;
            if (std::filesystem::is_regular_file(candidate, error))
                return candidate;
        }
    }
    auto candidate = m_root / fileName;
    if (std::filesystem::is_regular_file(candidate, error))
        return candidate;
    return std::nullopt;
}

SearchPathResourceLocator::SearchPathResourceLocator(std::vector<std::filesystem::path> roots)
{
    m_locators.reserve(roots.size());
    for (auto& root : roots)
        m_locators.emplace_back(std::move(root));
}

std::vector<std::filesystem::path> SearchPathResourceLocator::applicationRoots(
    const std::filesystem::path& programFolder)
{
    std::vector<std::filesystem::path> roots {
        programFolder / "resources",
        (programFolder / ".." / "share" / "quillet").lexically_normal(),
    };
    const std::filesystem::path installed = QUILLET_INSTALL_DATA_DIR;
    if (std::find(roots.begin(), roots.end(), installed) == roots.end())
        roots.push_back(installed);
    return roots;
}

std::vector<std::filesystem::path> SearchPathResourceLocator::applicationRoots()
{
    std::error_code error;
    // The link names the program itself, also when it was started through a link of its own.
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !program.is_absolute())
        return { QUILLET_INSTALL_DATA_DIR };
    return applicationRoots(program.parent_path());
}

std::optional<std::filesystem::path> SearchPathResourceLocator::pathForResource(
    const std::string& name, const std::string& type) const
{
    for (const auto& locator : m_locators) {
        if (auto path = locator.pathForResource(name, type))
            return path;
    }
    return std::nullopt;
}

std::vector<std::filesystem::path> SearchPathResourceLocator::searchedFolders() const
{
    std::vector<std::filesystem::path> folders;
    for (const auto& locator : m_locators)
        folders.push_back(locator.root());
    return folders;
}

} // namespace quillet
