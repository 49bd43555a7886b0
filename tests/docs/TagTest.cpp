#include "text/Tag.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

TEST(Tag, RendersClassThenIdThenAttributes)
{
    Tag link(TagName::a, u"c", u"i", { { u"href", u"x" }, { u"target", u"_blank" } }, { u"go" });
    EXPECT_EQ(link.html(), u"<a class=\"c\" id=\"i\" href=\"x\" target=\"_blank\">go</a>");
}

TEST(Tag, EmptyClassIsWrittenAndAbsentClassIsNot)
{
    EXPECT_EQ(Tag(TagName::div, u"").html(), u"<div class=\"\"></div>");
    EXPECT_EQ(Tag(TagName::div).html(), u"<div></div>");
}

TEST(Tag, ContentMixesTextsAndElementsInOrderWithoutSeparatorsOrEscaping)
{
    Tag item(TagName::li, std::nullopt, std::nullopt, {},
        { u"a<b>", Tag(TagName::span, u"variable", std::nullopt, {}, { u"x" }), u"&" });
    EXPECT_EQ(item.html(), u"<li>a<b><span class=\"variable\">x</span>&</li>");
}

TEST(Tag, CopiesAreIndependentValues)
{
    Tag original(TagName::p, std::nullopt, std::nullopt, {}, { u"a" });
    Tag copy = original;
    copy.content().push_back(u"b");
    copy.attrs()[u"k"] = u"v";
    EXPECT_EQ(original.html(), u"<p>a</p>");
    EXPECT_EQ(copy.html(), u"<p k=\"v\">ab</p>");
}

TEST(TagName, RawValuesRoundTripAndUnknownNamesAreRejected)
{
    EXPECT_EQ(tagNameFromRawValue(u"table"), TagName::table);
    EXPECT_FALSE(tagNameFromRawValue(u"TABLE").has_value());
    EXPECT_FALSE(tagNameFromRawValue(u"h6").has_value());
    EXPECT_FALSE(tagNameFromRawValue(u"").has_value());
    for (auto name : { TagName::div, TagName::h5, TagName::td })
        EXPECT_EQ(tagNameFromRawValue(rawValue(name)), name);
}

} // namespace
} // namespace quillet
