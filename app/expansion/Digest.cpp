#include "expansion/Digest.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <array>
#include <stdexcept>

namespace quillet {
namespace {

struct DigestAlgorithms {
    EVP_MD* md5 = nullptr;
    EVP_MD* sha1 = nullptr;
};

// Made once and kept for the life of the process: freeing them at exit could race with
// another thread's last filter.
const DigestAlgorithms& algorithms()
{
    static const DigestAlgorithms fetched = [] {
        DigestAlgorithms result;
        OSSL_LIB_CTX* context = OSSL_LIB_CTX_new();
        if (context && OSSL_PROVIDER_load(context, "default")) {
            result.md5 = EVP_MD_fetch(context, "MD5", nullptr);
            result.sha1 = EVP_MD_fetch(context, "SHA1", nullptr);
        }
        ERR_clear_error();
        return result;
    }();
    return fetched;
}

std::string hexDigest(const EVP_MD* algorithm, std::string_view bytes)
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest {};
    unsigned int length = 0;
    // The default provider is built into libcrypto: without it the library itself is broken.
    if (!algorithm || EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, algorithm, nullptr) != 1) {
        ERR_clear_error();
        throw std::logic_error("OpenSSL's default provider offers no MD5 or SHA-1");
    }
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(hexDigits[digest[i] >> 4]);
        text.push_back(hexDigits[digest[i] & 0x0f]);
    }
    return text;
}

} // namespace

std::string md5Hex(std::string_view bytes)
{
    return hexDigest(algorithms().md5, bytes);
}

std::string sha1Hex(std::string_view bytes)
{
    return hexDigest(algorithms().sha1, bytes);
}

} // namespace quillet
