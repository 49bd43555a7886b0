#include "library/BundleStore.h"

#include "expansion/ExpanderController.h"
#include "library/Alert.h"
#include "library/ApplicationControl.h"
#include "library/JSONSerializableStore.h"
#include "library/OwnedChildren.h"
#include "library/StoreErrorTexts.h"
#include "library/UserAlerts.h"
#include "text/Localized.h"
#include "text/RegularFile.h"
#include "text/UnicodeConversion.h"
#include "text/UserErrorDescriptionType.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <system_error>

namespace quillet {

namespace {

// The one key of the library object.
constexpr const char* bundlesKey = "bundles";

icu::UnicodeString libraryReadingErrorTitle()
{
    return StoreErrorTexts::jsonReadingError();
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

bool BundleStore::isLibraryObject(const JSONDictionary& value)
{
    if (!value.is_object())
        return false;
    const auto bundles = value.find(bundlesKey);
    return bundles != value.end() && bundles->is_array();
}

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
    didChangeValue(Property::bundles);
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

void BundleStore::saveChangesNow()
{
    tellDelegates([this](BundleStoreDelegate& delegate) { delegate.bundleStoreWantsChangesSaved(*this); });
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

namespace {

/// Why one bundle file was not imported; becomes one paragraph of the import alert.
class ImportFailure final : public std::exception {
public:
    explicit ImportFailure(icu::UnicodeString reason)
        : m_reason(std::move(reason))
    {
    }
    const icu::UnicodeString& reason() const noexcept { return m_reason; }
    const char* what() const noexcept override { return "bundle file not imported"; }

private:
    icu::UnicodeString m_reason;
};

icu::UnicodeString systemReason(int error)
{
    return fromUtf8(std::generic_category().message(error)).append(u".");
}

/// The bytes of a bundle file: a regular file no larger than any bundle, read without
/// blocking (a pipe in its place would stop the application).
std::string readImportFile(const std::filesystem::path& path)
{
    struct stat status { };
    if (stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT)
            throw ImportFailure(localized(u"There is no file at this path.", "Bundle import missing file"));
        throw ImportFailure(systemReason(errno));
    }
    if (S_ISDIR(status.st_mode))
        throw ImportFailure(localized(u"It is a folder, not a bundle file.", "Bundle import folder"));
    if (!S_ISREG(status.st_mode))
        throw ImportFailure(
            localized(u"It is not a regular file but a pipe, a device or a socket.", "Bundle import special file"));
    if (status.st_size > BundleStore::largestBundleFileSize)
        throw ImportFailure(StoreErrorTexts::bundleFileTooLarge());

    RegularFileRead file = readRegularFile(path, BundleStore::largestBundleFileSize);
    using Outcome = RegularFileRead::Outcome;
    if (file.outcome == Outcome::tooLarge)
        throw ImportFailure(StoreErrorTexts::bundleFileTooLarge());
    if (file.outcome == Outcome::notRegular)
        throw ImportFailure(systemReason(EINVAL)); // replaced between the two looks
    if (!file.ok())
        throw ImportFailure(systemReason(file.error));
    return std::move(file.bytes);
}

/// The bundle object's fault in the words the library's loader uses for the same fault.
icu::UnicodeString bundleFault(const JSONDictionary& object, const std::exception& error)
{
    icu::UnicodeString message = localized(u"The bundle", "Bundle import bundle");
    try {
        const auto name = value<icu::UnicodeString>(object, "name");
        message.append(u" (\u201C").append(name).append(u"\u201D)");
    } catch (const DictionaryError&) {
    }
    message.append(localized(u" could not be read: ", "Bundle import bundle fault"));
    const auto fault = Bundle::readingFault(object);
    return message.append(fault ? *fault : localizedDescription(error)).append(u".");
}

BundlePtr readBundleFile(const std::filesystem::path& path)
{
    const std::string bytes = readImportFile(path);
    JSONDictionary object;
    try {
        object = detail::parseJSONDictionary(bytes);
    } catch (const JSONDictionary::exception& parseError) {
        throw ImportFailure(
            localized(u"It is not JSON: ", "Bundle import not JSON").append(fromUtf8(parseError.what())));
    }
    if (!object.is_object())
        throw ImportFailure(
            localized(u"Error during file decoding", "Bundle import decoding error")
                .append(localized(u": its top level is not a bundle object.", "Bundle import top level")));
    try {
        return std::make_shared<Bundle>(object);
    } catch (const std::bad_alloc&) {
        throw; // not the file's fault
    } catch (const std::exception& error) {
        throw ImportFailure(bundleFault(object, error));
    }
}

} // namespace

void BundleStore::importBundle(const std::filesystem::path& path, bool silent)
{
    importBundles({ path }, silent);
}

void BundleStore::importBundles(const std::vector<std::filesystem::path>& paths, bool silent)
{
    std::vector<BundlePtr> imported;
    std::vector<icu::UnicodeString> failures;
    for (const auto& path : paths) {
        icu::UnicodeString failure = u"\u201C";
        failure.append(fromUtf8(path.string())).append(u"\u201D: ");
        try {
            imported.push_back(readBundleFile(path));
            continue;
        } catch (const ImportFailure& error) {
            failure.append(error.reason());
        } catch (const std::bad_alloc&) {
            // No memory is no fault of this file: nothing of the import is taken, so that a
            // first run never keeps a library that lacks a bundle.
            throw;
        } catch (const std::exception& error) {
            // Whatever else goes wrong (a reader fault) stays with this file.
            failure.append(localizedDescription(error));
        }
        failures.push_back(std::move(failure));
    }
    if (!imported.empty()) {
        auto bundles = m_bundles;
        bundles.insert(bundles.end(), imported.begin(), imported.end());
        setBundles(std::move(bundles));
        for (const auto& bundle : imported)
            tellDelegates(
                [&](BundleStoreDelegate& delegate) { delegate.bundleStoreDidImport(*this, *bundle, silent); });
    }
    if (!failures.empty())
        reportImportFailures(std::move(failures));
}

void BundleStore::reportImportFailures(std::vector<icu::UnicodeString> failures)
{
    for (auto& failure : failures) {
        if (m_pendingImportFailures.size() < maximumListedImportFailures)
            m_pendingImportFailures.push_back(std::move(failure));
        else
            ++m_unlistedImportFailures;
    }
    // An alert already showing runs its own event loop, in which more imports may fail: they
    // wait for it and are shown together next, so alerts never pile up inside each other.
    if (m_showingImportAlert)
        return;
    m_showingImportAlert = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset { m_showingImportAlert };
    while (!m_pendingImportFailures.empty()) {
        icu::UnicodeString description;
        for (const auto& failure : m_pendingImportFailures)
            description.append(description.isEmpty() ? u"" : u"\n\n").append(failure);
        if (m_unlistedImportFailures > 0) {
            description.append(u"\n\n")
                .append(localized(u"Files not imported besides these: ", "Bundle import more failures"))
                .append(fromUtf8(std::to_string(m_unlistedImportFailures)))
                .append(u".");
        }
        m_pendingImportFailures.clear();
        m_unlistedImportFailures = 0;
        const Alert alert = Alert::fromError(CbError(StoreErrorTexts::fileCouldNotBeRead(), description));
        if (m_importFeedback.application)
            m_importFeedback.application->activate(true);
        if (m_importFeedback.alerts)
            m_importFeedback.alerts->runModal(alert);
        if (m_importFeedback.application)
            m_importFeedback.application->deactivate();
    }
}

} // namespace quillet
