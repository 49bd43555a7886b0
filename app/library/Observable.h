#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace quillet {

/// A model object whose properties the user interface observes (name, pattern errors, the
/// store's bundles, ...), the way bindings keep views and records in step.
///
/// Observers hear didChange after a property got its new value; a few grouped changes are
/// also announced beforehand (willChange). The new value is not compared with the old one:
/// every assignment is a change. Observers are called synchronously in the order they were
/// added and may remove themselves (or others) while being told. Main thread only.
class Observable {
public:
    /// Every property that some model object announces; each class documents its own.
    /// Named, not keyed by text, so an observer of a property nobody announces does not compile.
    enum class Property {
        name,
        expanderDescription,
        bundleDescription,
        identifier,
        pattern,
        outputTemplate,
        isEnabled,
        supportedLanguagesString,
        supportedLanguageCocoaAdapters,
        patternErrors,
        outputErrors,
        errors,
        expanders,
        bundles,
    };
    enum class Phase { willChange, didChange };
    using Observer = std::function<void(Property property, Phase phase)>;
    using ObserverId = std::uint64_t;

    Observable() = default;
    // Observers belong to one object; a copy starts without any.
    Observable(const Observable&) { }
    Observable& operator=(const Observable&) { return *this; }
    virtual ~Observable() = default;

    /// Registers an observer; keep the id to remove it.
    ObserverId addObserver(Observer observer);
    /// Unregisters an observer; an unknown id is ignored.
    void removeObserver(ObserverId id);

protected:
    void willChangeValue(Property property) const { notify(property, Phase::willChange); }
    void didChangeValue(Property property) const { notify(property, Phase::didChange); }

private:
    void notify(Property property, Phase phase) const;

    struct Entry {
        ObserverId id;
        Observer observer;
    };
    std::vector<Entry> m_observers;
    ObserverId m_nextId = 1;
};

} // namespace quillet
