#pragma once

#include "text/UserErrorDescriptionType.h"
#include "variables/Variable.h"

#include <unicode/unistr.h>

#include <map>
#include <string>
#include <vector>

namespace quillet {

/// The first problem of an output template. Title "Output template validation error".
class OutputTemplateValidatorError : public ExpanderValidationError {
public:
    explicit OutputTemplateValidatorError(const icu::UnicodeString& description);
};

/// Checks that an output template uses only variables its pattern declares and only filters
/// that exist; reports the first problem in text order (a name before its filters).
class OutputTemplateValidator {
public:
    /// inputVariables: the pattern parser's variables, in pattern order.
    OutputTemplateValidator(icu::UnicodeString outputTemplate, std::vector<InputVariablePtr> inputVariables);

    /// Runs validateVariables().
    void validate() const;
    /// Throws OutputTemplateValidatorError for an undeclared name, or the filter registry's
    /// NoFilterError for a missing filter.
    void validateVariables() const;

private:
    icu::UnicodeString m_template;
    std::vector<InputVariablePtr> m_inputVariables;
};

/// The error object that key-value validation of the model returns: a fixed domain, code 1,
/// and the description under the localized-description key.
struct DescribedError {
    static constexpr const char* localizedDescriptionKey = "NSLocalizedDescription";

    std::string domain;
    int code = 0;
    std::map<std::string, icu::UnicodeString> userInfo;

    icu::UnicodeString localizedDescription() const;
};

/// The application's error domain.
inline constexpr const char* applicationErrorDomain = "com.orvanta.Quillet";

DescribedError makeNSError(const icu::UnicodeString& description);

} // namespace quillet
