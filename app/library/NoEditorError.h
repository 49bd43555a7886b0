#pragma once

#include "text/UserErrorDescriptionType.h"

#include <unicode/unistr.h>

#include <optional>
#include <string>

namespace quillet {

/// The text before the caret could not be read: the editor probably needs a plug-in.
class NoEditorError final : public BasicUserError, public ErrorWithURL {
public:
    /// With a recognised editor's name the text names it; without, it asks whether an editor is in use.
    explicit NoEditorError(const std::optional<icu::UnicodeString>& editorName = std::nullopt);

    /// The page of supported editors and their plug-ins (Websites::editors()).
    std::string url() const override;
};

} // namespace quillet
