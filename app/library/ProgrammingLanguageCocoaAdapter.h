#pragma once

#include "library/SupportedLanguagesHolder.h"
#include "variables/ProgrammingLanguage.h"

#include <functional>
#include <memory>
#include <string>

namespace quillet {

/// One language as a row of the supported-languages list of an expander, with a `chosen`
/// flag that reads and changes whether the expander supports the language.
///
/// The adapter is itself a language that answers everything from the wrapped one, so it can
/// stand wherever a language is expected. It keeps no copy of the expander's list: `chosen`
/// is computed at every read. The expander is held weakly; once it is gone, `chosen` reads
/// false and setting it does nothing. Used on the main thread only.
class ProgrammingLanguageCocoaAdapter final : public ProgrammingLanguage {
public:
    /// Told the key of a property after a write through the adapter changed it ("chosen").
    using ChangeHandler = std::function<void(const std::string& key)>;

    ProgrammingLanguageCocoaAdapter(
        ProgrammingLanguagePtr programmingLanguage, std::weak_ptr<SupportedLanguagesHolder> expander);

    const ProgrammingLanguagePtr& programmingLanguage() const noexcept { return m_programmingLanguage; }

    std::weak_ptr<SupportedLanguagesHolder> expander() const { return m_expander; }
    void setExpander(std::weak_ptr<SupportedLanguagesHolder> expander) { m_expander = std::move(expander); }

    icu::UnicodeString id() const override { return m_programmingLanguage->id(); }
    icu::UnicodeString name() const override { return m_programmingLanguage->name(); }
    const ProgrammingLanguageExtension& extensions() const override { return m_programmingLanguage->extensions(); }
    orv::HighlightingPatternList highlightingPatterns() const override
    {
        return m_programmingLanguage->highlightingPatterns();
    }

    /// True when the expander's languages hold one with the wrapped language's id.
    bool chosen() const;
    /// True appends the language to the expander's list (even when it is there already);
    /// false removes its first occurrence, and leaves the expander unwritten when there is none.
    void setChosen(bool chosen);

    void setChangeHandler(ChangeHandler handler) { m_changeHandler = std::move(handler); }

private:
    ProgrammingLanguagePtr m_programmingLanguage;
    std::weak_ptr<SupportedLanguagesHolder> m_expander;
    ChangeHandler m_changeHandler;
};

} // namespace quillet
