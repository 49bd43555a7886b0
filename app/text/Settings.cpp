#include "text/Settings.h"

#include <mutex>

namespace quillet {
namespace {

std::mutex sharedMutex;

std::shared_ptr<Settings>& sharedSlot()
{
    static std::shared_ptr<Settings> slot = std::make_shared<InMemorySettings>();
    return slot;
}

} // namespace

Settings& Settings::shared()
{
    std::lock_guard lock(sharedMutex);
    return *sharedSlot();
}

void Settings::setShared(std::shared_ptr<Settings> settings)
{
    std::lock_guard lock(sharedMutex);
    sharedSlot() = settings ? std::move(settings) : std::make_shared<InMemorySettings>();
}

void InMemorySettings::registerDefaults(const std::map<std::string, Value>& defaults)
{
    for (const auto& [key, value] : defaults)
        m_defaults[key] = value;
}

void InMemorySettings::set(const std::string& key, Value value)
{
    m_values[key] = value;
}

void InMemorySettings::remove(const std::string& key)
{
    m_values.erase(key);
}

std::optional<InMemorySettings::Value> InMemorySettings::lookup(const std::string& key) const
{
    if (auto it = m_values.find(key); it != m_values.end())
        return it->second;
    if (auto it = m_defaults.find(key); it != m_defaults.end())
        return it->second;
    return std::nullopt;
}

std::optional<bool> InMemorySettings::boolValue(const std::string& key) const
{
    const auto value = lookup(key);
    if (!value)
        return std::nullopt;
    if (const auto* b = std::get_if<bool>(&*value))
        return *b;
    return std::get<long long>(*value) != 0;
}

std::optional<long long> InMemorySettings::integerValue(const std::string& key) const
{
    const auto value = lookup(key);
    if (!value)
        return std::nullopt;
    if (const auto* i = std::get_if<long long>(&*value))
        return *i;
    return std::get<bool>(*value) ? 1 : 0;
}

} // namespace quillet
