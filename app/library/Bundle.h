#pragma once

#include "expansion/OutputTemplateValidator.h"
#include "library/CustomExpander.h"
#include "library/DictionaryReader.h"
#include "library/Observable.h"
#include "library/ProgrammingLanguageContainer.h"

#include <unicode/unistr.h>

#include <memory>
#include <optional>
#include <vector>

namespace quillet {

class Bundle;

/// Hears of every change of a bundle or of one of its expanders. The bundle store.
class BundleDelegate {
public:
    virtual ~BundleDelegate() = default;
    virtual void bundleDidChange(Bundle& bundle) = 0;
};

/// A named group of expanders with a description, an enabled flag and the languages it is
/// meant for: one element of the library and the content of a bundle file.
///
/// Owns its expanders and is their delegate, so every change of an expander reaches the
/// bundle's delegate (the store, not owned) as one bundleDidChange. Every assignment to
/// name, bundleDescription, expanders, isEnabled or supportedLanguageContainers tells the
/// delegate and the observers of the property, even when the value is unchanged. Observed
/// properties: name, bundleDescription, expanders, isEnabled, supportedLanguagesString and
/// supportedLanguageCocoaAdapters (will and did change). Main thread only.
class Bundle final : public CustomExpanderDelegate, public Observable {
public:
    /// A new bundle: "New Bundle", enabled, no expanders, for Any Language.
    Bundle();
    /// Reads one bundle object. "name" and "expanders" are required (DictionaryError, or
    /// the first failing expander's error, otherwise); "description" defaults to "",
    /// "is_enabled" to true, "supported_languages" to ["any"]; other keys are ignored.
    explicit Bundle(const JSONDictionary& dictionary);
    /// Why the object cannot be read: its first required key that is missing or of another
    /// type, or the first expander that cannot be read with its position, name and key
    /// ("expander 2 (“Loop”): “pattern” is missing"); none when it can be.
    static std::optional<icu::UnicodeString> readingFault(const JSONDictionary& dictionary);
    ~Bundle() override;
    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;

    /// The bundle object: always exactly the five keys.
    JSONDictionary dictionary() const;

    BundleDelegate* delegate() const noexcept { return m_delegate; }
    void setDelegate(BundleDelegate* delegate) noexcept { m_delegate = delegate; }

    const icu::UnicodeString& name() const noexcept { return m_name; }
    const icu::UnicodeString& bundleDescription() const noexcept { return m_bundleDescription; }
    const std::vector<CustomExpanderPtr>& expanders() const noexcept { return m_expanders; }
    bool isEnabled() const noexcept { return m_isEnabled; }
    const std::vector<ProgrammingLanguageContainer>& supportedLanguageContainers() const noexcept
    {
        return m_supportedLanguageContainers;
    }

    void setName(icu::UnicodeString name);
    void setBundleDescription(icu::UnicodeString description);
    /// Takes the expanders and becomes their delegate; expanders that leave let go of it.
    void setExpanders(std::vector<CustomExpanderPtr> expanders);
    void setEnabled(bool isEnabled);
    void setSupportedLanguageContainers(std::vector<ProgrammingLanguageContainer> containers);

    /// The languages of the entries, in order, without the entries that name no language.
    ProgrammingLanguageList supportedLanguages() const;
    /// The names of supportedLanguages joined by ", ".
    const icu::UnicodeString& supportedLanguagesString() const noexcept { return m_supportedLanguagesString; }

    /// Key-value validation of a new name: refused ("Bundle name cannot be empty!") when
    /// absent or only spaces and tabs; an accepted name is used as proposed.
    static std::optional<DescribedError> validateName(const std::optional<icu::UnicodeString>& proposed);

    void customExpanderDidChange(CustomExpander& expander) override;

private:
    void changed(Property property);
    void adoptExpanders();

    BundleDelegate* m_delegate = nullptr;
    icu::UnicodeString m_name;
    icu::UnicodeString m_bundleDescription;
    std::vector<CustomExpanderPtr> m_expanders;
    bool m_isEnabled = true;
    icu::UnicodeString m_supportedLanguagesString;
    std::vector<ProgrammingLanguageContainer> m_supportedLanguageContainers;
};

using BundlePtr = std::shared_ptr<Bundle>;

} // namespace quillet
