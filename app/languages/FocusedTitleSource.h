#pragma once

#include <unicode/unistr.h>

#include <memory>
#include <optional>

namespace quillet {

/// Reads the titles that tell which file the user is editing: the title of the focused
/// element of the frontmost application and the title of the window that holds it.
///
/// The desktop application implements this over the accessibility bus; tests use fakes.
/// A read that fails (no accessibility access, nothing focused, an unreadable attribute)
/// gives none, or throws; a title that reads fine but is empty is the empty text.
class FocusedTitleSource {
public:
    virtual ~FocusedTitleSource() = default;

    virtual std::optional<icu::UnicodeString> focusedElementTitle() = 0;
    virtual std::optional<icu::UnicodeString> focusedWindowTitle() = 0;

    /// The process-wide source. Until setShared is called, one whose every read fails.
    static std::shared_ptr<FocusedTitleSource> shared();
    /// Installs the process-wide source (the application does this at start-up); null
    /// restores the failing one.
    static void setShared(std::shared_ptr<FocusedTitleSource> source);
};

} // namespace quillet
