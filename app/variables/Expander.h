#pragma once

#include "variables/GeneratedOutput.h"

#include <unicode/unistr.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace quillet {

class ExpanderLookup;
class ProgrammingLanguage;

/// An expander as the selection and expansion see it. CustomExpander is the one
/// implementation; tests use small fakes.
///
/// Expanders are shared: bundles own them, controllers and errors hold further
/// references. A parent expander handed down through pattern parsing is a plain
/// observer pointer (`const Expander*`) and never owns.
class Expander {
public:
    virtual ~Expander() = default;

    virtual icu::UnicodeString identifier() const = 0;
    virtual icu::UnicodeString name() const = 0;
    virtual icu::UnicodeString expanderDescription() const = 0;
    virtual std::vector<std::shared_ptr<const ProgrammingLanguage>> supportedLanguages() const = 0;

    /// The output for a matched text. Throws the errors of parsing and generation.
    virtual icu::UnicodeString expand(
        const icu::UnicodeString& expression, const ExpanderLookup& expanderController) const = 0;

    /// expand() with the places of the values in the output, which go in as typed. By default
    /// the whole output is the template's text.
    virtual GeneratedOutput generatedOutput(
        const icu::UnicodeString& expression, const ExpanderLookup& expanderController) const
    {
        return GeneratedOutput { .text = expand(expression, expanderController), .values = {} };
    }

    /// The regular expression of the expander's pattern. Throws the errors of parsing.
    virtual icu::UnicodeString matchPattern(const ExpanderLookup& expanderController) const = 0;
};

using ExpanderPtr = std::shared_ptr<Expander>;

/// A number that grows with every change of an expander, a bundle or the library in this
/// process; any thread may read it. What many searches derive alike from the expanders (the
/// index of their identifiers, the expression of a pattern that embeds other expanders, the
/// split of the library by language) is kept with the revision it was derived at and derived
/// again once the revision has moved on.
uint64_t expanderRevision() noexcept;
/// Moves the revision on. Every change of a stored field of an expander or a bundle, and every
/// new one, calls it.
void expandersDidChange() noexcept;

} // namespace quillet
