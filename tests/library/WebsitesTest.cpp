#include "library/Websites.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

TEST(Websites, EachPageIsAPlainHttpAddressOnTheOneHostWithItsPath)
{
    const std::string home = "http://" + Websites::host();
    EXPECT_EQ(Websites::home(), home);
    EXPECT_FALSE(Websites::host().empty());
    EXPECT_EQ(Websites::host().find('/'), std::string::npos);
    EXPECT_EQ(Websites::language(), home + "/support/quillet/language");
    EXPECT_EQ(Websites::editors(), home + "/quillet/editors");
    EXPECT_EQ(Websites::support(), home + "/support/quillet");
    EXPECT_EQ(Websites::introduction(), home + "/support/quillet/introduction");
}

TEST(Websites, TheUpdatesPageCarriesTheVersionEscaped)
{
    EXPECT_EQ(Websites::updates("1.2.0"), Websites::home() + "/quillet/updates?version=1.2.0");
    EXPECT_EQ(Websites::updates("1.2 beta&x=#"), Websites::home() + "/quillet/updates?version=1.2%20beta%26x%3D%23");
}

} // namespace
} // namespace quillet
