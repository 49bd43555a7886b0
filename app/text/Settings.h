#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace quillet {

/// The application's settings as the core reads them ("IndentSize", "IndentWithSpaces", …).
///
/// The desktop application backs this with its settings store; the command line and the
/// tests use InMemorySettings. Registered defaults answer for keys that were never set.
class Settings {
public:
    virtual ~Settings() = default;

    virtual std::optional<bool> boolValue(const std::string& key) const = 0;
    virtual std::optional<long long> integerValue(const std::string& key) const = 0;
    /// Picks up changes made by other processes before a read.
    virtual void synchronize() { }

    /// False when unset and without a registered default.
    bool boolForKey(const std::string& key) const { return boolValue(key).value_or(false); }
    /// 0 when unset and without a registered default.
    long long integerForKey(const std::string& key) const { return integerValue(key).value_or(0); }

    /// The process-wide settings. Until setShared is called, an InMemorySettings.
    static Settings& shared();
    /// Installs the process-wide settings (the application does this at start-up).
    static void setShared(std::shared_ptr<Settings> settings);
};

/// Settings held in memory: registered defaults beneath explicitly set values.
class InMemorySettings final : public Settings {
public:
    using Value = std::variant<bool, long long>;

    void registerDefaults(const std::map<std::string, Value>& defaults);
    void set(const std::string& key, Value value);
    void remove(const std::string& key);

    std::optional<bool> boolValue(const std::string& key) const override;
    std::optional<long long> integerValue(const std::string& key) const override;

private:
    std::optional<Value> lookup(const std::string& key) const;

    std::map<std::string, Value> m_defaults;
    std::map<std::string, Value> m_values;
};

} // namespace quillet
