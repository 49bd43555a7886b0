#pragma once

#include <string>
#include <string_view>

namespace quillet {

/// The md5 and sha1 filters' digests of `bytes`, as lower-case hex.
///
/// The filters name text, they protect nothing, so neither a system policy that forbids MD5
/// for security (FIPS) nor a configuration that loads no provider with these digests may make
/// them fail: they come from OpenSSL's built-in default provider, loaded into a library
/// context of our own that no configuration file reaches. Thread-safe.
std::string md5Hex(std::string_view bytes);
std::string sha1Hex(std::string_view bytes);

} // namespace quillet
