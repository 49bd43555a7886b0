#include "library/Websites.h"

// The host is chosen once, by the build's QUILLET_WEBSITE_HOST cache variable.
#ifndef QUILLET_WEBSITE_HOST
#error "QUILLET_WEBSITE_HOST is not defined: the build names the web site's host"
#endif

namespace quillet {

namespace {

std::string page(const char* path)
{
    return Websites::home() + path;
}

bool isUnreservedQueryCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
}

} // namespace

const std::string& Websites::host()
{
    static const std::string value = QUILLET_WEBSITE_HOST;
    return value;
}

const std::string& Websites::home()
{
    static const std::string value = "http://" + host();
    return value;
}

const std::string& Websites::language()
{
    static const std::string value = page("/support/quillet/language");
    return value;
}

const std::string& Websites::editors()
{
    static const std::string value = page("/quillet/editors");
    return value;
}

const std::string& Websites::support()
{
    static const std::string value = page("/support/quillet");
    return value;
}

const std::string& Websites::introduction()
{
    static const std::string value = page("/support/quillet/introduction");
    return value;
}

const std::string& Websites::feedback()
{
    static const std::string value = page("/support/quillet/feedback");
    return value;
}

std::string Websites::updates(const std::string& currentVersion)
{
    // The version comes from the build, but it ends up in an address: keep it to the
    // characters a query may carry as they are.
    static const char* hex = "0123456789ABCDEF";
    std::string query;
    for (const char c : currentVersion) {
        if (isUnreservedQueryCharacter(c)) {
            query += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            query += '%';
            query += hex[byte >> 4];
            query += hex[byte & 0x0F];
        }
    }
    return page("/quillet/updates?version=") + query;
}

} // namespace quillet
