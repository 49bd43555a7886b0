#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quillet {

/// Finds the application's resources by name and type (extension without the dot).
class ResourceLocator {
public:
    virtual ~ResourceLocator() = default;

    /// The path of the resource, or none when it does not exist.
    virtual std::optional<std::filesystem::path> pathForResource(const std::string& name,
                                                                 const std::string& type) const = 0;
};

/// Resources in a folder: "<root>/<name>.<type>", and for the kinds kept in a subfolder
/// of their own (bundle files in "bundles", documentation pages and their style sheet in "docs") "<root>/<subfolder>/<name>.<type>".
class DirectoryResourceLocator final : public ResourceLocator {
public:
    explicit DirectoryResourceLocator(std::filesystem::path root);

    /// The resources of the source tree (or of the installed application).
    static std::filesystem::path defaultRoot();

    std::optional<std::filesystem::path> pathForResource(const std::string& name,
                                                         const std::string& type) const override;

    const std::filesystem::path& root() const noexcept { return m_root; }

private:
    std::filesystem::path m_root;
};

} // namespace quillet
