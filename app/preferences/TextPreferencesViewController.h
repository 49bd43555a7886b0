#pragma once

#include <QWidget>

namespace quillet {

class UserDefaults;

/// The preferences tab of the indentation that expansions use.
class TextPreferencesViewController final : public QWidget {
    Q_OBJECT
public:
    /// No indentation at all, as the expansion honours it.
    static constexpr int minimumIndentSize = 0;
    /// The most spaces an expansion indents with; a larger stored size indents with as many.
    static constexpr int maximumIndentSize = 256;

    explicit TextPreferencesViewController(UserDefaults& defaults, QWidget* parent = nullptr);
};

} // namespace quillet
