#pragma once

#include <unicode/unistr.h>

#include <map>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace quillet {

/// The element names the HTML generators use.
enum class TagName { div, span, p, ul, ol, li, em, strong, code, h1, h2, h3, h4, h5, a, table, tbody, tr, td };

/// The element name of a case.
icu::UnicodeString rawValue(TagName name);
/// The case whose element name equals text exactly (case-sensitive), or none.
std::optional<TagName> tagNameFromRawValue(const icu::UnicodeString& text);

class Tag;

/// What an element may hold: a plain text (inserted unescaped) or another element.
class TagContent {
public:
    TagContent(icu::UnicodeString text); // NOLINT(google-explicit-constructor): content lists read naturally
    TagContent(const char16_t* text); // NOLINT(google-explicit-constructor)
    TagContent(Tag tag); // NOLINT(google-explicit-constructor)

    icu::UnicodeString html() const;

private:
    // Children are immutable once built, so nested elements may be shared between copies.
    std::variant<icu::UnicodeString, std::shared_ptr<const Tag>> m_content;
};

/// An HTML element value: name, optional class and id, further attributes and children.
///
/// Rendering escapes nothing: whoever puts user text into an element escapes it first.
/// Every element gets an explicit closing tag; no whitespace is added.
class Tag {
public:
    using Attributes = std::map<icu::UnicodeString, icu::UnicodeString>;

    explicit Tag(TagName name, std::optional<icu::UnicodeString> cls = std::nullopt,
        std::optional<icu::UnicodeString> id = std::nullopt, Attributes attrs = {},
        std::vector<TagContent> content = {});

    const icu::UnicodeString& name() const noexcept { return m_name; }
    const std::optional<icu::UnicodeString>& cls() const noexcept { return m_cls; }
    const std::optional<icu::UnicodeString>& id() const noexcept { return m_id; }
    Attributes& attrs() noexcept { return m_attrs; }
    std::vector<TagContent>& content() noexcept { return m_content; }

    /// "<name class=… id=… key=…>" + children + "</name>"; attributes in key order.
    icu::UnicodeString html() const;

private:
    icu::UnicodeString attributesHTML() const;
    icu::UnicodeString contentHTML() const;

    icu::UnicodeString m_name;
    std::optional<icu::UnicodeString> m_cls;
    std::optional<icu::UnicodeString> m_id;
    Attributes m_attrs;
    std::vector<TagContent> m_content;
};

} // namespace quillet
