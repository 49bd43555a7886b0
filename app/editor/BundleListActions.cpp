#include "editor/BundleListActions.h"

#include "library/JSONSerializableStore.h"
#include "library/StoreErrorTexts.h"
#include "text/AtomicFile.h"
#include "text/Localized.h"
#include "text/UnicodeConversion.h"
#include "text/UserErrorDescriptionType.h"

#include <algorithm>

namespace quillet {

namespace {

template <typename T> std::optional<int> indexIn(const std::vector<std::shared_ptr<T>>& items, const T* item)
{
    const auto found
        = std::find_if(items.begin(), items.end(), [item](const auto& each) { return each.get() == item; });
    if (found == items.end())
        return std::nullopt;
    return static_cast<int>(found - items.begin());
}

} // namespace

bool canDropBundleListRow(int draggedLevel, int targetLevel, int childIndex)
{
    if (childIndex == -1 || draggedLevel != bundleLevel)
        return draggedLevel == expanderLevel && targetLevel == bundleLevel;
    return targetLevel == rootLevel;
}

int movedRowDestination(int from, int proposedIndex)
{
    return from < proposedIndex ? proposedIndex - 1 : proposedIndex;
}

BundlePtr BundleListActions::addBundle()
{
    auto bundle = std::make_shared<Bundle>();
    auto bundles = m_store.bundles();
    bundles.push_back(bundle);
    m_store.setBundles(std::move(bundles));
    return bundle;
}

CustomExpanderPtr BundleListActions::addExpander(const BundleListElement& selected)
{
    BundlePtr bundle = selected.isBundle() ? selected.bundle() : nullptr;
    if (auto expander = selected.expander())
        bundle = bundleOf(*expander);
    if (!bundle || !indexOfBundle(*bundle))
        return nullptr;
    auto expander = std::make_shared<CustomExpander>();
    auto expanders = bundle->expanders();
    expanders.push_back(expander);
    bundle->setExpanders(std::move(expanders));
    return expander;
}

std::optional<BundleListElement> BundleListActions::duplicate(const BundleListElement& element)
{
    if (!contains(element))
        return std::nullopt;
    try {
        if (auto bundle = element.bundle()) {
            auto copy = std::make_shared<Bundle>(bundle->dictionary());
            auto bundles = m_store.bundles();
            bundles.push_back(copy);
            m_store.setBundles(std::move(bundles));
            return BundleListElement(copy);
        }
        auto expander = element.expander();
        auto copy = expander->copy();
        auto owner = bundleOf(*expander);
        auto expanders = owner->expanders();
        expanders.push_back(copy);
        owner->setExpanders(std::move(expanders));
        return BundleListElement(copy);
    } catch (const std::exception&) {
        // A record that does not read back (it cannot come from the library's own objects)
        // gives no copy rather than a half-made one.
        return std::nullopt;
    }
}

bool BundleListActions::remove(const BundleListElement& element)
{
    if (auto bundle = element.bundle()) {
        const auto index = indexOfBundle(*bundle);
        if (!index)
            return false;
        auto bundles = m_store.bundles();
        bundles.erase(bundles.begin() + *index);
        m_store.setBundles(std::move(bundles));
        return true;
    }
    auto expander = element.expander();
    auto owner = expander ? bundleOf(*expander) : nullptr;
    if (!owner)
        return false;
    auto expanders = owner->expanders();
    expanders.erase(expanders.begin() + *indexIn(expanders, expander.get()));
    owner->setExpanders(std::move(expanders));
    return true;
}

bool BundleListActions::moveBundle(const BundlePtr& bundle, int proposedIndex)
{
    const auto found = bundle ? indexOfBundle(*bundle) : std::nullopt;
    auto bundles = m_store.bundles();
    if (!found || proposedIndex < 0 || proposedIndex > static_cast<int>(bundles.size()))
        return false;
    const int from = found.value();
    const int to = movedRowDestination(from, proposedIndex);
    if (to == from)
        return true;
    bundles.erase(bundles.begin() + from);
    bundles.insert(bundles.begin() + to, bundle);
    // One assignment with the final order: the library is saved once and always whole.
    m_store.setBundles(std::move(bundles));
    return true;
}

bool BundleListActions::moveExpander(const CustomExpanderPtr& expander, const BundlePtr& target, int proposedIndex)
{
    if (!expander || !target || !indexOfBundle(*target))
        return false;
    auto source = bundleOf(*expander);
    if (!source)
        return false;
    int index = proposedIndex < 0 ? 0 : proposedIndex;
    if (index > static_cast<int>(target->expanders().size()))
        return false;
    const int from = *indexIn(source->expanders(), expander.get());
    if (source == target) {
        index = movedRowDestination(from, index);
        if (index == from)
            return true;
    }
    m_store.groupChanges([&] {
        auto leaving = source->expanders();
        leaving.erase(leaving.begin() + from);
        if (source == target) {
            leaving.insert(leaving.begin() + index, expander);
            source->setExpanders(std::move(leaving));
            return;
        }
        source->setExpanders(std::move(leaving));
        auto arriving = target->expanders();
        arriving.insert(arriving.begin() + index, expander);
        target->setExpanders(std::move(arriving));
    });
    return true;
}

void BundleListActions::importBundleFiles(const std::vector<std::filesystem::path>& paths)
{
    m_store.importBundles(paths, false);
}

void BundleListActions::exportBundle(const Bundle& bundle, const std::filesystem::path& path)
{
    const auto title = StoreErrorTexts::fileCouldNotBeSaved();
    try {
        const std::string bytes
            = bundle.dictionary().dump(4, ' ', false, JSONDictionary::error_handler_t::replace) + "\n";
        writeFileAtomically(path, bytes);
    } catch (const std::exception& error) {
        throw CbError(title, localizedDescription(error));
    }
}

icu::UnicodeString BundleListActions::exportFileName(const Bundle& bundle)
{
    icu::UnicodeString name = bundle.name();
    name.trim();
    for (int32_t i = 0; i < name.length(); ++i) {
        const char16_t c = name.charAt(i);
        if (c == u'/' || c == u'\0' || c < 0x20)
            name.setCharAt(i, u'-');
    }
    if (name.isEmpty() || name == u"." || name == u"..")
        name = u"Bundle";
    return name.append(u".qlbundle");
}

icu::UnicodeString BundleListActions::deleteQuestion(const BundleListElement& element)
{
    icu::UnicodeString question(u"Are you sure you want to delete \"");
    question.append(element.name());
    if (element.isBundle())
        return localized(question.append(u"\" bundle?"), "User's trying to delete the selected bundle");
    return localized(question.append(u"\" expander?"), "User's trying to delete the selected expander");
}

BundlePtr BundleListActions::bundleOf(const CustomExpander& expander) const
{
    for (const auto& bundle : m_store.bundles()) {
        if (indexIn(bundle->expanders(), &expander))
            return bundle;
    }
    return nullptr;
}

std::optional<int> BundleListActions::indexOfBundle(const Bundle& bundle) const
{
    return indexIn(m_store.bundles(), &bundle);
}

bool BundleListActions::contains(const BundleListElement& element) const
{
    return levelOf(element) != rootLevel;
}

int BundleListActions::levelOf(const BundleListElement& element) const
{
    if (auto bundle = element.bundle())
        return indexOfBundle(*bundle) ? bundleLevel : rootLevel;
    if (auto expander = element.expander())
        return bundleOf(*expander) ? expanderLevel : rootLevel;
    return rootLevel;
}

} // namespace quillet
