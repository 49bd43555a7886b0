#pragma once

#include "library/BundleListElement.h"
#include "library/BundleStore.h"

#include <unicode/unistr.h>

#include <filesystem>
#include <optional>
#include <vector>

namespace quillet {

/// Outline levels of the bundle list: a bundle row, an expander row, and the invisible root.
constexpr int rootLevel = -1;
constexpr int bundleLevel = 0;
constexpr int expanderLevel = 1;

/// Whether a dragged row of `draggedLevel` may be dropped at (`targetLevel`, `childIndex`):
/// the target is the row dropped onto or between whose children the drop lies (rootLevel
/// for the top level), `childIndex` is -1 for a drop onto the target row itself.
/// A bundle goes only between bundles; an expander only onto a bundle row or between a
/// bundle's expanders.
bool canDropBundleListRow(int draggedLevel, int targetLevel, int childIndex);

/// Where an element taken out at `from` goes when the drop proposed `proposedIndex`, an
/// index in the order before the move: later positions shift down by one once it is out.
int movedRowDestination(int from, int proposedIndex);

/// The commands of the bundle list as changes of the library: each one is a single change
/// of the store (so the library is saved once, with its final state) and each works on the
/// element it is given, wherever that element stands now. Main thread only.
class BundleListActions {
public:
    explicit BundleListActions(BundleStore& store)
        : m_store(store)
    {
    }

    BundleStore& store() const noexcept { return m_store; }

    /// A new bundle ("New Bundle"), appended to the library.
    BundlePtr addBundle();
    /// A new expander ("New Expander") at the end of the bundle, or of the expander's bundle;
    /// none when the element is not (or no longer) in the library.
    CustomExpanderPtr addExpander(const BundleListElement& selected);
    /// A copy of the element read back from its record, same name, put where a new element
    /// of its kind would go; none when the element is not in the library.
    std::optional<BundleListElement> duplicate(const BundleListElement& element);
    /// Removes the element (a bundle with its expanders); false when it is no longer there.
    bool remove(const BundleListElement& element);
    /// Moves the bundle to the top-level position the drop proposed (before-the-move
    /// order); false when the bundle is not in the library or the index is out of range.
    bool moveBundle(const BundlePtr& bundle, int proposedIndex);
    /// Moves the expander into the target bundle at the proposed position (-1: first),
    /// counted in the order before the move; false when either is not in the library.
    bool moveExpander(const CustomExpanderPtr& expander, const BundlePtr& target, int proposedIndex);

    /// Appends the bundle of each file in turn, as opening the files does; a file that
    /// cannot be imported shows the store's alert and leaves the library as it was.
    void importBundleFiles(const std::vector<std::filesystem::path>& paths);
    /// Writes the bundle's record, pretty-printed, atomically. Throws CbError "File could
    /// not be saved" with the reason; the library is not touched.
    static void exportBundle(const Bundle& bundle, const std::filesystem::path& path);
    /// The bundle file name the save dialog proposes: the bundle's name with ".qlbundle",
    /// with the characters a file name cannot hold replaced.
    static icu::UnicodeString exportFileName(const Bundle& bundle);

    /// The confirmation question for deleting the element, naming its kind.
    static icu::UnicodeString deleteQuestion(const BundleListElement& element);

    /// The bundle that holds the expander, or none.
    BundlePtr bundleOf(const CustomExpander& expander) const;
    std::optional<int> indexOfBundle(const Bundle& bundle) const;
    bool contains(const BundleListElement& element) const;
    /// bundleLevel, expanderLevel, or rootLevel for an element not in the library.
    int levelOf(const BundleListElement& element) const;

private:
    BundleStore& m_store;
};

} // namespace quillet
