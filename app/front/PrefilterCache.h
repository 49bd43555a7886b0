#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>

namespace quillet {

class ExpanderController;

/// Keeps the prefilters of an expander list (what a search derives from every pattern before
/// matching anything) in files between runs of the command line, which would otherwise parse
/// every pattern of the library at every start.
///
/// A kept file is used only for exactly the list it was made from: it holds, and is compared in
/// full with, all that the prefilters depend on (this program's build, its ICU, and each
/// expander's pattern, identifier and languages, in list order); a file made for anything else,
/// or that does not check out, is made again. One file per list name (the expansion front keeps
/// two lists per extension: the expanders of its languages, and all the others), so the folder
/// holds at most two files per extension in use. Only a regular file no larger than the list can
/// give is read, and without waiting; anything else in its place (a FIFO, a device, a folder, a
/// huge file) is ignored and replaced like a damaged file. Best effort: a folder that cannot be
/// read or written only costs the parse.
class PrefilterCache {
public:
    explicit PrefilterCache(std::filesystem::path folder);

    /// Gives the controller the prefilters kept under the name when they were made for exactly
    /// its expanders; true then.
    bool restore(const ExpanderController& controller, const std::string& listName);
    /// Keeps the controller's prefilters under the name, when a search has made them and they
    /// were not restored from there.
    void store(const ExpanderController& controller, const std::string& listName);

    /// All that the list's prefilters depend on, as bytes; none when the list holds an expander
    /// whose parse depends on more than it can tell, or the program cannot name its own build.
    static std::optional<std::string> listInputs(const ExpanderController& controller);

private:
    std::filesystem::path fileFor(const std::string& listName) const;

    std::filesystem::path m_folder;
    std::set<std::string> m_restored; // list names restored or stored by this process
};

} // namespace quillet
