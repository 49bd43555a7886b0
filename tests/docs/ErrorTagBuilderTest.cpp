#include "text/ErrorTagBuilder.h"
#include "support/TestSupport.h"
#include "text/UserErrorDescriptionType.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

TEST(ErrorTagBuilder, BoxHoldsTitleThenDescriptionWithAngleBracketsEscaped)
{
    const Tag box = ErrorTagBuilder().build(CbError(u"a <b> & \"c\"", u"x > y"));
    EXPECT_EQ(box.html(),
        u16(u"<div class=\"error\"><div class=\"title\">a &lt;b&gt; & \"c\"</div>"
            u"<div class=\"description\">x &gt; y</div></div>"));
}

TEST(ErrorTagBuilder, EmptyTextsKeepTheirElements)
{
    EXPECT_EQ(ErrorTagBuilder().build(CbError(u"", u"")).html(),
        u16(u"<div class=\"error\"><div class=\"title\"></div><div class=\"description\"></div></div>"));
}

} // namespace
} // namespace quillet
