#pragma once

#include <unicode/unistr.h>

#include <exception>
#include <memory>
#include <string>

namespace quillet {

class Expander;

/// Every error that can reach the user carries its own localized title and description.
///
/// Thrown errors derive from this class; what() gives "title: description" in UTF-8
/// for logs. Catch by reference and use dynamic_cast to ask for the other protocols.
class UserErrorDescriptionType : public std::exception {
public:
    ~UserErrorDescriptionType() override = default;

    virtual icu::UnicodeString userErrorTitle() const = 0;
    virtual icu::UnicodeString userErrorDescription() const = 0;

    const char* what() const noexcept override;

private:
    mutable std::string m_what; // filled lazily by what(); only a log text
};

/// An error that concerns one expander. The expander selection sets it to the expander
/// in hand when the error leaves an expansion, replacing whatever it held.
class ExpanderRelatedError {
public:
    virtual ~ExpanderRelatedError() = default;

    const std::shared_ptr<Expander>& expander() const noexcept { return m_expander; }
    void setExpander(std::shared_ptr<Expander> expander) noexcept { m_expander = std::move(expander); }

private:
    std::shared_ptr<Expander> m_expander;
};

/// An error that points to a help page.
class ErrorWithURL {
public:
    virtual ~ErrorWithURL() = default;
    virtual std::string url() const = 0;
};

/// An error that describes what is wrong with a validated value.
class ValidationError {
public:
    virtual ~ValidationError() = default;
    virtual icu::UnicodeString validationText() const = 0;
};

/// The common shape of the plain error records: two stored texts.
class BasicUserError : public UserErrorDescriptionType {
public:
    BasicUserError(icu::UnicodeString title, icu::UnicodeString description)
        : m_title(std::move(title))
        , m_description(std::move(description))
    {
    }

    icu::UnicodeString userErrorTitle() const override { return m_title; }
    icu::UnicodeString userErrorDescription() const override { return m_description; }

private:
    icu::UnicodeString m_title;
    icu::UnicodeString m_description;
};

/// A stored-text error that concerns one expander and validates a value:
/// the shape of most errors of the pattern, variable and template code.
class ExpanderValidationError : public BasicUserError, public ExpanderRelatedError, public ValidationError {
public:
    using BasicUserError::BasicUserError;
    icu::UnicodeString validationText() const override { return userErrorDescription(); }
};

} // namespace quillet
