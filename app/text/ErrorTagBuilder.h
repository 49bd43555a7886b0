#pragma once

#include "text/Tag.h"

namespace quillet {

class UserErrorDescriptionType;

/// The error box that stands in a page where a part could not be generated:
/// <div class="error"><div class="title">T</div><div class="description">D</div></div>.
class ErrorTagBuilder {
public:
    /// The box for the error; "<" and ">" of its texts are escaped, nothing else. Never fails.
    Tag build(const UserErrorDescriptionType& error) const;
};

} // namespace quillet
