#include "library/ResourceLocator.h"

#include <array>
#include <string_view>
#include <utility>

namespace quillet {

namespace {

// Kinds of resource that live in a subfolder of their own.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> typeFolders {{
    {"qlbundle", "bundles"},
    {"html", "docs"},
    {"css", "docs"},
}};

} // namespace

DirectoryResourceLocator::DirectoryResourceLocator(std::filesystem::path root)
    : m_root(std::move(root))
{
}

std::filesystem::path DirectoryResourceLocator::defaultRoot()
{
    return QUILLET_RESOURCES_DIR;
}

std::optional<std::filesystem::path> DirectoryResourceLocator::pathForResource(const std::string& name,
                                                                               const std::string& type) const
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

} // namespace quillet
