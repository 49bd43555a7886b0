#include "text/Tag.h"

#include <array>
#include <utility>

namespace quillet {

namespace {

constexpr std::array<std::pair<TagName, const char16_t*>, 19> tagNames { {
    { TagName::div, u"div" },
    { TagName::span, u"span" },
    { TagName::p, u"p" },
    { TagName::ul, u"ul" },
    { TagName::ol, u"ol" },
    { TagName::li, u"li" },
    { TagName::em, u"em" },
    { TagName::strong, u"strong" },
    { TagName::code, u"code" },
    { TagName::h1, u"h1" },
    { TagName::h2, u"h2" },
    { TagName::h3, u"h3" },
    { TagName::h4, u"h4" },
    { TagName::h5, u"h5" },
    { TagName::a, u"a" },
    { TagName::table, u"table" },
    { TagName::tbody, u"tbody" },
    { TagName::tr, u"tr" },
    { TagName::td, u"td" },
} };

icu::UnicodeString attribute(const icu::UnicodeString& key, const icu::UnicodeString& value)
{
    return u" " + key + u"=\"" + value + u"\"";
}

} // namespace

icu::UnicodeString rawValue(TagName name)
{
    for (const auto& [tagName, text] : tagNames) {
        if (tagName == name)
            return text;
    }
    return {};
}

std::optional<TagName> tagNameFromRawValue(const icu::UnicodeString& text)
{
    for (const auto& [tagName, raw] : tagNames) {
        if (text == raw)
            return tagName;
    }
    return std::nullopt;
}

TagContent::TagContent(icu::UnicodeString text)
    : m_content(std::move(text))
{
}

TagContent::TagContent(const char16_t* text)
    : m_content(icu::UnicodeString(text))
{
}

TagContent::TagContent(Tag tag)
    : m_content(std::make_shared<const Tag>(std::move(tag)))
{
}

icu::UnicodeString TagContent::html() const
{
    if (const auto* text = std::get_if<icu::UnicodeString>(&m_content))
        return *text;
    return std::get<std::shared_ptr<const Tag>>(m_content)->html();
}

Tag::Tag(TagName name, std::optional<icu::UnicodeString> cls, std::optional<icu::UnicodeString> id, Attributes attrs,
    std::vector<TagContent> content)
    : m_name(rawValue(name))
    , m_cls(std::move(cls))
    , m_id(std::move(id))
    , m_attrs(std::move(attrs))
    , m_content(std::move(content))
{
}

icu::UnicodeString Tag::attributesHTML() const
{
    icu::UnicodeString result;
    if (m_cls)
        result += attribute(u"class", *m_cls);
    if (m_id)
        result += attribute(u"id", *m_id);
    for (const auto& [key, value] : m_attrs)
        result += attribute(key, value);
    return result;
}

icu::UnicodeString Tag::contentHTML() const
{
    icu::UnicodeString result;
    for (const auto& item : m_content)
        result += item.html();
    return result;
}

icu::UnicodeString Tag::html() const
{
    return u"<" + m_name + attributesHTML() + u">" + contentHTML() + u"</" + m_name + u">";
}

} // namespace quillet
