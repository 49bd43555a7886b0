#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillet {

/// Finds the application's resources by name and type (extension without the dot).
class ResourceLocator {
public:
    virtual ~ResourceLocator() = default;

    /// The path of the resource, or none when it does not exist.
    virtual std::optional<std::filesystem::path> pathForResource(
        const std::string& name, const std::string& type) const = 0;
    /// The folders the resources are looked for in, for telling the user where nothing was found.
    virtual std::vector<std::filesystem::path> searchedFolders() const { return {}; }
};

/// Resources in a folder: "<root>/<name>.<type>", and for the kinds kept in a subfolder
/// of their own (bundle files in "bundles", documentation pages and their style sheet in "docs")
/// "<root>/<subfolder>/<name>.<type>".
class DirectoryResourceLocator final : public ResourceLocator {
public:
    explicit DirectoryResourceLocator(std::filesystem::path root);

    /// The resources of the source tree, for tests and tools run from the build; the program
    /// itself looks in SearchPathResourceLocator::applicationRoots().
    static std::filesystem::path defaultRoot();

    std::optional<std::filesystem::path> pathForResource(
        const std::string& name, const std::string& type) const override;
    std::vector<std::filesystem::path> searchedFolders() const override { return { m_root }; }

    const std::filesystem::path& root() const noexcept { return m_root; }

private:
    std::filesystem::path m_root;
};

/// Resources looked for in several folders, in order; the first folder that holds a resource
/// gives it.
class SearchPathResourceLocator final : public ResourceLocator {
public:
    explicit SearchPathResourceLocator(std::vector<std::filesystem::path> roots);

    /// Where a program in the folder finds its resources: "resources" beside it (the build
    /// folder), "../share/quillet" from it (an installed, or moved, prefix) and the data
    /// folder it was built to be installed in.
    static std::vector<std::filesystem::path> applicationRoots(const std::filesystem::path& programFolder);
    /// applicationRoots() for the running program; only the installed data folder when the
    /// program's own path cannot be found.
    static std::vector<std::filesystem::path> applicationRoots();

    std::optional<std::filesystem::path> pathForResource(
        const std::string& name, const std::string& type) const override;
    std::vector<std::filesystem::path> searchedFolders() const override;

private:
    std::vector<DirectoryResourceLocator> m_locators;
};

} // namespace quillet
