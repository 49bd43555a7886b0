#include "expansion/Digest.h"

#include <gtest/gtest.h>

#include <string>

namespace quillet {
namespace {

struct DigestCase {
    const char* name;
    std::string bytes;
    const char* md5;
    const char* sha1;
};

class DigestVectors : public ::testing::TestWithParam<DigestCase> { };

TEST_P(DigestVectors, GiveTheStandardLowerCaseHex)
{
    const auto& c = GetParam();
    EXPECT_EQ(md5Hex(c.bytes), c.md5);
    EXPECT_EQ(sha1Hex(c.bytes), c.sha1);
}

INSTANTIATE_TEST_SUITE_P(Digest, DigestVectors,
    ::testing::Values(
        DigestCase { "Empty", "", "d41d8cd98f00b204e9800998ecf8427e", "da39a3ee5e6b4b0d3255bfef95601890afd80709" },
        DigestCase { "Abc", "abc", "900150983cd24fb0d6963f7d28e17f72", "a9993e364706816aba3e25717850c26c9cd0d89d" },
        DigestCase { "TwoBlocksOfPadding", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
            "8215ef0796a20bcaaae116d3876c664a", "84983e441c3bd26ebaae4aa1f95129e5e54670f1" },
        DigestCase { "AccentedLetterAsUtf8", "\xC3\xA9", "66ddcd97cfdeabb2f6fb8a999b4bc76f",
            "bf15be717ac1b080b4f1c456692825891ff5073d" },
        DigestCase { "MixedScriptsAndEmoji", "na\xC3\xAFve caf\xC3\xA9 \xE2\x98\x95 \xF0\x9F\x8D\x95",
            "da4192a80f9cba19a7d599879b191957", "e683b8c607a11593bcac2450e701de575a00c0af" },
        DigestCase { "NulByteCounts", std::string("a\0b", 3), "70350f6027bce3713f6b76473084309b",
            "4a3dec2d1f8245280855c42db0ee4239f917fdb8" },
        DigestCase { "MillionAs", std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21",
            "34aa973cd4c4daa4f61eeb2bdbad27316534016f" }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quillet
