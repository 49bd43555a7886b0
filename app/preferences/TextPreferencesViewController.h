#pragma once

#include <QWidget>

namespace quillet {

class UserDefaults;

/// The preferences tab of the indentation that expansions use.
class TextPreferencesViewController final : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumIndentSize = 1;
    static constexpr int maximumIndentSize = 16;

    explicit TextPreferencesViewController(UserDefaults& defaults, QWidget* parent = nullptr);
};

} // namespace quillet
