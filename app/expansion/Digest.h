#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quillet {

/// MD5 (RFC 1321) and SHA-1 (FIPS 180-4) computed here, for the md5 and sha1 filters when the
/// crypto provider refuses them (a FIPS configuration refuses md5; a configuration may load
/// no provider that has either). The filters name text, they protect nothing.
std::array<std::uint8_t, 16> md5Digest(std::string_view bytes);
std::array<std::uint8_t, 20> sha1Digest(std::string_view bytes);

} // namespace quillet
