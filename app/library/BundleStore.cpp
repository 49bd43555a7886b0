#include "library/BundleStore.h"

#include "expansion/ExpanderController.h"
#include "library/Alert.h"
#include "library/ApplicationControl.h"
#include "library/JSONSerializableStore.h"
#include "library/OwnedChildren.h"
#include "library/UserAlerts.h"
#include "library/UserErrorDescriptionType.h"
#include "text/Localized.h"
#include "text/UnicodeConversion.h"

#include <algorithm>

namespace quillet {

namespace {

// The one key of the library object.
constexpr const char* bundlesKey = "bundles";

icu::UnicodeString libraryReadingErrorTitle()
{
    return localized(u"JSON reading error", "JSON Serializable Store error");
}

CbError unreadableBundleError(std::size_t index, const JSONDictionary& object, const std::exception& error)
{
    icu::UnicodeString message(u"Bundle ");
    message.append(fromUtf8(std::to_string(index + 1)));
    try {
        const auto name = value<icu::UnicodeString>(object, "name");
        message.append(u" (\u201C").append(name).append(u"\u201D)");
    } catch (const DictionaryError&) {
        // A bundle without a readable name is named by its position alone.
    }
    message.append(u" of the library could not be read: ");
    message = localized(message, "Library bundle reading error");
    const auto fault = Bundle::readingFault(object);
    message.append(fault ? *fault : localizedDescription(error)).append(u".");
    return CbError(libraryReadingErrorTitle(), message);
}

} // namespace

BundleStore::BundleStore(const JSONDictionary& dictionary)
{
    // A store made anew may take the place of one that was let go: what was derived from the
    // old one's expanders must not be taken for this one's.
    expandersDidChange();
    if (!dictionary.contains(bundlesKey))
        return;
    DictionaryArray objects;
    try {
        objects = value<DictionaryArray>(dictionary, bundlesKey);
    } catch (const DictionaryError&) {
        throw CbError(libraryReadingErrorTitle(),
            localized(u"The library's \"bundles\" is not a list of bundles.", "Library format error"));
    }
    m_bundles.reserve(objects.size());
    for (std::size_t index = 0; index < objects.size(); ++index) {
        try {
            m_bundles.push_back(std::make_shared<Bundle>(objects[index].get()));
        } catch (const std::exception& error) {
            throw unreadableBundleError(index, objects[index].get(), error);
        }
    }
    adoptBundles();
}

BundleStore::~BundleStore()
{
    expandersDidChange();
    releaseLeavingChildren(m_bundles, {}, this);
}

JSONDictionary BundleStore::dictionary() const
{
    JSONDictionary bundles = JSONDictionary::array();
    for (const auto& bundle : m_bundles)
        bundles.push_back(bundle->dictionary());
    return JSONDictionary { { bundlesKey, std::move(bundles) } };
}

void BundleStore::adoptBundles()
{
    for (const auto& bundle : m_bundles)
        bundle->setDelegate(this);
}

void BundleStore::setBundles(std::vector<BundlePtr> bundles)
{
    releaseLeavingChildren(m_bundles, bundles, this);
    m_bundles = std::move(bundles);
    expandersDidChange();
    didChangeValue("bundles");
    tellChanged();
    adoptBundles();
}

void BundleStore::tellChanged()
{
    if (m_groupDepth > 0) {
        m_changedInGroup = true;
        return;
    }
    tellDelegates([this](BundleStoreDelegate& delegate) { delegate.bundleStoreDidChange(*this); });
}

void BundleStore::groupChanges(const std::function<void()>& changes)
{
    auto finish = [this] {
        if (--m_groupDepth == 0 && m_changedInGroup) {
            m_changedInGroup = false;
            tellChanged();
        }
    };
    ++m_groupDepth;
    try {
        changes();
    } catch (...) {
        // What did change before the failure is still told, so it is saved.
        finish();
        throw;
    }
    finish();
}

void BundleStore::addDelegate(BundleStoreDelegate* delegate)
{
    if (delegate && std::find(m_delegates.begin(), m_delegates.end(), delegate) == m_delegates.end())
        m_delegates.push_back(delegate);
}

void BundleStore::removeDelegate(BundleStoreDelegate* delegate)
{
    std::erase(m_delegates, delegate);
}

template <typename Call> void BundleStore::tellDelegates(Call call)
{
    // A delegate may remove itself (or another) while being told; one that is gone by its
    // turn is skipped rather than called through a dangling pointer.
    const auto registered = m_delegates;
    for (auto* delegate : registered) {
        if (std::find(m_delegates.begin(), m_delegates.end(), delegate) != m_delegates.end())
            call(*delegate);
    }
}

void BundleStore::bundleDidChange(Bundle& /*bundle*/)
{
    tellChanged();
}

std::vector<CustomExpanderPtr> BundleStore::enabledExpanders() const
{
    std::vector<CustomExpanderPtr> result;
    for (const auto& bundle : m_bundles) {
        if (!bundle->isEnabled())
            continue;
        for (const auto& expander : bundle->expanders()) {
            if (expander->isEnabled())
                result.push_back(expander);
        }
    }
    return result;
}

std::pair<std::vector<CustomExpanderPtr>, std::vector<CustomExpanderPtr>> BundleStore::orderedByLanguageSupport(
    const std::vector<CustomExpanderPtr>& expanders, const ProgrammingLanguageList& languages)
{
    if (languages.empty())
        return { expanders, {} };
    std::pair<std::vector<CustomExpanderPtr>, std::vector<CustomExpanderPtr>> result;
    for (const auto& expander : expanders)
        (supportsLanguages(*expander, languages) ? result.first : result.second).push_back(expander);
    return result;
}

std::pair<std::vector<CustomExpanderPtr>, std::vector<CustomExpanderPtr>>
BundleStore::enabledExpandersOrderedByLanguageSupport(const ProgrammingLanguageList& languages) const
{
    return orderedByLanguageSupport(enabledExpanders(), languages);
}

BundlePtr BundleStore::readBundleFile(const std::filesystem::path& path)
{
    const icu::UnicodeString title = localized(u"File could not be read", "Bundle import error");
    auto fail = [&](const icu::UnicodeString& description) -> BundlePtr {
        const Alert alert = Alert::fromError(CbError(title, description));
        if (m_importFeedback.application)
            m_importFeedback.application->activate(true);
        if (m_importFeedback.alerts)
            m_importFeedback.alerts->runModal(alert);
        if (m_importFeedback.application)
            m_importFeedback.application->deactivate();
        return nullptr;
    };

    const auto bytes = detail::readFileContents(path);
    if (!bytes)
        return fail({});
    JSONDictionary object;
    try {
        object = detail::parseJSONDictionary(*bytes);
    } catch (const JSONDictionary::exception& parseError) {
        return fail(fromUtf8(parseError.what()));
    }
    if (!object.is_object())
        return fail(localized(u"Error during file decoding", "Bundle import decoding error"));
    try {
        return std::make_shared<Bundle>(object);
    } catch (const std::exception& error) {
        return fail(localizedDescription(error));
    }
}

void BundleStore::importBundle(const std::filesystem::path& path, bool silent)
{
    importBundles({ path }, silent);
}

void BundleStore::importBundles(const std::vector<std::filesystem::path>& paths, bool silent)
{
    std::vector<BundlePtr> imported;
    for (const auto& path : paths) {
        if (auto bundle = readBundleFile(path))
            imported.push_back(std::move(bundle));
    }
    if (imported.empty())
        return;

    auto bundles = m_bundles;
    bundles.insert(bundles.end(), imported.begin(), imported.end());
    setBundles(std::move(bundles));
    for (const auto& bundle : imported)
        tellDelegates([&](BundleStoreDelegate& delegate) { delegate.bundleStoreDidImport(*this, *bundle, silent); });
}

} // namespace quillet
