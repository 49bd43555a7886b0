#include "expansion/Digest.h"

#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <string>

namespace quillet {
namespace {

template <std::size_t Size> std::string hex(const std::array<std::uint8_t, Size>& digest)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (auto byte : digest) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0f]);
    }
    return text;
}

std::string providerHex(const EVP_MD* algorithm, const std::string& bytes)
{
    std::array<std::uint8_t, EVP_MAX_MD_SIZE> digest {};
    unsigned int length = 0;
    EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, algorithm, nullptr), 1);
    std::string text = hex(digest);
    return text.substr(0, length * 2);
}

TEST(Digest, KnownVectors)
{
    struct Case {
        std::string bytes;
        const char* md5;
        const char* sha1;
    };
    const Case cases[] = {
        { "", "d41d8cd98f00b204e9800998ecf8427e", "da39a3ee5e6b4b0d3255bfef95601890afd80709" },
        { "abc", "900150983cd24fb0d6963f7d28e17f72", "a9993e364706816aba3e25717850c26c9cd0d89d" },
        { "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "8215ef0796a20bcaaae116d3876c664a",
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1" },
        { std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21", "34aa973cd4c4daa4f61eeb2bdbad27316534016f" },
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.bytes.substr(0, 20));
        EXPECT_EQ(hex(md5Digest(testCase.bytes)), testCase.md5);
        EXPECT_EQ(hex(sha1Digest(testCase.bytes)), testCase.sha1);
    }
}

TEST(Digest, AgreesWithTheProviderAcrossBlockBoundaries)
{
    // Every length around the one- and two-block paddings, with bytes of all values.
    for (std::size_t length = 0; length <= 130; ++length) {
        std::string bytes;
        for (std::size_t i = 0; i < length; ++i)
            bytes.push_back(static_cast<char>((i * 37 + length) & 0xff));
        SCOPED_TRACE(length);
        EXPECT_EQ(hex(md5Digest(bytes)), providerHex(EVP_md5(), bytes));
        EXPECT_EQ(hex(sha1Digest(bytes)), providerHex(EVP_sha1(), bytes));
    }
}

} // namespace
} // namespace quillet
