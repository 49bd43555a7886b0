#include "library/Bundle.h"

#include "library/OwnedChildren.h"
#include "library/SupportedLanguages.h"
#include "text/Localized.h"
#include "text/StringHelpers.h"
#include "text/UnicodeConversion.h"

#include <algorithm>

namespace quillet {

namespace {

// Keys of the bundle object in library and bundle files.
constexpr const char* nameKey = "name";
constexpr const char* descriptionKey = "description";
constexpr const char* isEnabledKey = "is_enabled";
constexpr const char* expandersKey = "expanders";
constexpr const char* supportedLanguagesKey = "supported_languages";

} // namespace

Bundle::Bundle()
    : m_name(localized(u"New Bundle", "New Bundle name"))
    , m_supportedLanguageContainers(anyLanguageContainers())
{
    m_supportedLanguagesString = languageNames(supportedLanguages());
}

Bundle::Bundle(const JSONDictionary& dictionary)
    : m_name(value<icu::UnicodeString>(dictionary, nameKey))
{
    m_bundleDescription = valueOr<icu::UnicodeString>(dictionary, descriptionKey, {});
    m_isEnabled = valueOr(dictionary, isEnabledKey, true);
    const auto expanderObjects = value<DictionaryArray>(dictionary, expandersKey);
    m_expanders.reserve(expanderObjects.size());
    for (const auto& object : expanderObjects)
        m_expanders.push_back(std::make_shared<CustomExpander>(object.get()));

    m_supportedLanguageContainers
        = languageContainers(valueOr<std::vector<icu::UnicodeString>>(dictionary, supportedLanguagesKey, { u"any" }));

    adoptExpanders();
    m_supportedLanguagesString = languageNames(supportedLanguages());
}

std::optional<icu::UnicodeString> Bundle::readingFault(const JSONDictionary& dictionary)
{
    if (auto fault = valueFault<icu::UnicodeString>(dictionary, nameKey))
        return fault;
    if (auto fault = valueFault<DictionaryArray>(dictionary, expandersKey))
        return fault;
    const auto expanders = value<DictionaryArray>(dictionary, expandersKey);
    for (std::size_t index = 0; index < expanders.size(); ++index) {
        const auto fault = CustomExpander::readingFault(expanders[index].get());
        if (!fault)
            continue;
        icu::UnicodeString text = localized(u"expander ", "Bundle expander position");
        text.append(fromUtf8(std::to_string(index + 1)));
        try {
            // An expander keeps its name under the same key as its bundle.
            const auto name = value<icu::UnicodeString>(expanders[index].get(), nameKey);
            text.append(u" (\u201C").append(name).append(u"\u201D)");
        } catch (const DictionaryError&) {
        }
        return text.append(u": ").append(*fault);
    }
    return std::nullopt;
}

Bundle::~Bundle()
{
    releaseLeavingChildren(m_expanders, {}, this);
}

JSONDictionary Bundle::dictionary() const
{
    JSONDictionary expanders = JSONDictionary::array();
    for (const auto& expander : m_expanders)
        expanders.push_back(expander->dictionary());
    return JSONDictionary {
        { nameKey, toUtf8(m_name) },
        { descriptionKey, toUtf8(m_bundleDescription) },
        { isEnabledKey, m_isEnabled },
        { supportedLanguagesKey, languageIdentifiers(m_supportedLanguageContainers) },
        { expandersKey, std::move(expanders) },
    };
}

void Bundle::changed(Property property)
{
    expandersDidChange();
    if (m_delegate)
        m_delegate->bundleDidChange(*this);
    didChangeValue(property);
}

void Bundle::adoptExpanders()
{
    for (const auto& expander : m_expanders)
        expander->setDelegate(this);
}

void Bundle::setName(icu::UnicodeString name)
{
    m_name = std::move(name);
    changed(Property::name);
}

void Bundle::setBundleDescription(icu::UnicodeString description)
{
    m_bundleDescription = std::move(description);
    changed(Property::bundleDescription);
}

void Bundle::setExpanders(std::vector<CustomExpanderPtr> expanders)
{
    releaseLeavingChildren(m_expanders, expanders, this);
    m_expanders = std::move(expanders);
    expandersDidChange();
    if (m_delegate)
        m_delegate->bundleDidChange(*this);
    adoptExpanders();
    didChangeValue(Property::expanders);
}

void Bundle::setEnabled(bool isEnabled)
{
    m_isEnabled = isEnabled;
    changed(Property::isEnabled);
}

void Bundle::setSupportedLanguageContainers(std::vector<ProgrammingLanguageContainer> containers)
{
    m_supportedLanguageContainers = std::move(containers);
    expandersDidChange();
    if (m_delegate)
        m_delegate->bundleDidChange(*this);
    willChangeValue(Property::supportedLanguageCocoaAdapters);
    m_supportedLanguagesString = languageNames(supportedLanguages());
    didChangeValue(Property::supportedLanguagesString);
    didChangeValue(Property::supportedLanguageCocoaAdapters);
}

ProgrammingLanguageList Bundle::supportedLanguages() const
{
    return knownLanguages(m_supportedLanguageContainers);
}

std::optional<DescribedError> Bundle::validateName(const std::optional<icu::UnicodeString>& proposed)
{
    if (proposed && !trimmingWhitespace(*proposed).isEmpty())
        return std::nullopt;
    return makeNSError(localized(u"Bundle name cannot be empty!", "Bundle validation error"));
}

void Bundle::customExpanderDidChange(CustomExpander& /*expander*/)
{
    if (m_delegate)
        m_delegate->bundleDidChange(*this);
}

} // namespace quillet
