#pragma once

#include <string>

namespace quillet {

/// The fixed pages on the makers' web site. Each is a plain HTTP address: the site's host,
/// chosen when the application is built (QUILLET_WEBSITE_HOST), followed by the page's path.
/// Quillet makes no network calls of its own: these pages are only handed to the desktop's
/// browser.
class Websites {
public:
    Websites() = delete;

    /// The documentation of the template language: the help page of the expander editor.
    static const std::string& language();
    /// The supported editors and their plug-ins; the help page of a failed expansion.
    static const std::string& editors();
    static const std::string& support();
    static const std::string& introduction();

    /// The page that tells whether a newer version than the given one exists; it stands in
    /// for an update check, so nothing is downloaded by the application itself.
    static std::string updates(const std::string& currentVersion);
    /// The page on which the user sends feedback.
    static const std::string& feedback();

    /// The host name, as it is shown to the user (no scheme).
    static const std::string& host();
    /// "http://" and the host: the site's home page.
    static const std::string& home();
};

} // namespace quillet
