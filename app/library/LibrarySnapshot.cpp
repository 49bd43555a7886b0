#include "library/LibrarySnapshot.h"

#include "library/BundleStore.h"
#include "library/CustomExpander.h"

#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace quillet {

namespace {

using Records = std::vector<const JSONDictionary*>;

Records recordsOf(const JSONDictionary& object, const char* key)
{
    Records records;
    const auto found = object.find(key);
    if (found == object.end() || !found->is_array())
        return records;
    for (const auto& record : *found) {
        if (record.is_object())
            records.push_back(&record);
    }
    return records;
}

std::string nameOf(const JSONDictionary& record)
{
    const auto found = record.find("name");
    return found != record.end() && found->is_string() ? found->get<std::string>() : std::string();
}

/// For each record of `theirs`, the record of `base` it stands for, if any: the equal one
/// first (equal records pair off one for one), then the one with the same name, then the
/// first one left between the records its neighbours stand for (an edit in place).
std::vector<std::optional<std::size_t>> pairWithBase(const Records& base, const Records& theirs)
{
    std::vector<std::optional<std::size_t>> baseOf(theirs.size());
    std::vector<bool> taken(base.size());
    std::multimap<std::string, std::size_t> byContent;
    for (std::size_t b = 0; b < base.size(); ++b)
        byContent.emplace(base[b]->dump(), b);
    for (std::size_t t = 0; t < theirs.size(); ++t) {
        // equal_range keeps insertion order, so equal records pair off in order.
        const std::string content = theirs[t]->dump();
        if (const auto found = byContent.lower_bound(content); found != byContent.end() && found->first == content) {
            baseOf[t] = found->second;
            taken[found->second] = true;
            byContent.erase(found);
        }
    }
    auto pair = [&](std::size_t t, std::size_t b) {
        baseOf[t] = b;
        taken[b] = true;
    };
    std::multimap<std::string, std::size_t> byName;
    for (std::size_t b = 0; b < base.size(); ++b) {
        if (!taken[b])
            byName.emplace(nameOf(*base[b]), b);
    }
    for (std::size_t t = 0; t < theirs.size(); ++t) {
        if (baseOf[t])
            continue;
        const std::string name = nameOf(*theirs[t]);
        if (const auto found = byName.lower_bound(name);
            !name.empty() && found != byName.end() && found->first == name) {
            pair(t, found->second);
            byName.erase(found);
        }
    }
    // The base record that the next record of the file paired so far stands for, from the right.
    std::vector<std::size_t> upperOf(theirs.size());
    for (std::size_t t = theirs.size(), upper = base.size(); t-- > 0;) {
        upperOf[t] = upper;
        if (baseOf[t])
            upper = *baseOf[t];
    }
    std::size_t lower = 0;
    for (std::size_t t = 0; t < theirs.size(); ++t) {
        if (!baseOf[t]) {
            for (std::size_t b = lower; b < upperOf[t]; ++b) {
                if (!taken[b]) {
                    pair(t, b);
                    break;
                }
            }
        }
        if (baseOf[t])
            lower = *baseOf[t] + 1;
    }
    return baseOf;
}

/// One record as this process has it now, and which base record it was, if any.
struct MineRecord {
    std::optional<std::size_t> base;
    JSONDictionary current;
};

/// What the merged list holds at one place.
enum class Step {
    keepMine, // new here, or unchanged in the file
    update, // the file changed it: merge the file's version into this process's
    keepMineDeletedElsewhere, // conflict: the file lost it, this process changed it
    addTheirs, // new in the file
    bringBackTheirs, // conflict: this process deleted it, the file changed it
};

struct Merged {
    Step step;
    std::size_t mine = 0;
    /// The file's record that this place holds or stands for, if any.
    std::optional<std::size_t> theirs;
};

/// The three-way merge of one list. The order is this process's, with what the file added
/// after it, unless this process changed nothing of the list's structure (no record added,
/// removed or moved): then it is the file's.
std::vector<Merged> mergeLists(const Records& base, const std::vector<MineRecord>& mine, const Records& theirs)
{
    const auto baseOfTheirs = pairWithBase(base, theirs);
    std::vector<std::optional<std::size_t>> theirsOf(base.size());
    std::vector<std::optional<std::size_t>> mineOf(base.size());
    for (std::size_t t = 0; t < theirs.size(); ++t) {
        if (baseOfTheirs[t])
            theirsOf[*baseOfTheirs[t]] = t;
    }
    bool keptStructure = mine.size() == base.size();
    for (std::size_t m = 0; m < mine.size(); ++m) {
        if (mine[m].base && *mine[m].base < base.size() && !mineOf[*mine[m].base])
            mineOf[*mine[m].base] = m;
        keptStructure = keptStructure && mine[m].base == m;
    }

    auto stepFor = [&](std::size_t b) -> std::optional<Merged> {
        const auto m = mineOf[b];
        const auto t = theirsOf[b];
        const bool theirsChanged = t && *theirs[*t] != *base[b];
        if (m && t)
            return Merged { theirsChanged ? Step::update : Step::keepMine, *m, t };
        if (m && mine[*m].current != *base[b])
            return Merged { Step::keepMineDeletedElsewhere, *m, std::nullopt };
        if (t && theirsChanged)
            return Merged { Step::bringBackTheirs, 0, t };
        return std::nullopt; // deleted on one side and left alone on the other, or on both
    };

    std::vector<Merged> merged;
    std::vector<bool> placed(base.size());
    auto place = [&](std::size_t b) {
        placed[b] = true;
        if (const auto step = stepFor(b))
            merged.push_back(*step);
    };
    if (keptStructure) {
        std::size_t lost = 0;
        for (std::size_t t = 0; t < theirs.size(); ++t) {
            if (baseOfTheirs[t]) {
                // What the file lost before this record keeps its place, if it is kept.
                for (; lost < *baseOfTheirs[t]; ++lost) {
                    if (!placed[lost] && !theirsOf[lost])
                        place(lost);
                }
                place(*baseOfTheirs[t]);
            } else
                merged.push_back({ Step::addTheirs, 0, t });
        }
    } else {
        for (std::size_t m = 0; m < mine.size(); ++m) {
            if (mine[m].base && mineOf[*mine[m].base] == m)
                place(*mine[m].base);
            else
                merged.push_back({ Step::keepMine, m, std::nullopt });
        }
        for (std::size_t t = 0; t < theirs.size(); ++t) {
            if (!baseOfTheirs[t])
                merged.push_back({ Step::addTheirs, 0, t });
        }
    }
    for (std::size_t b = 0; b < base.size(); ++b) {
        if (!placed[b])
            place(b);
    }
    return merged;
}

/// The place in the base of each object still alive among `known` (its first `count`).
template <typename Object>
std::unordered_map<const Object*, std::size_t> placesOf(
    const std::vector<std::weak_ptr<Object>>& known, std::size_t count)
{
    std::unordered_map<const Object*, std::size_t> places;
    for (std::size_t i = 0; i < known.size() && i < count; ++i) {
        // Only live objects: a dead one's address may belong to a new object by now.
        if (const auto object = known[i].lock())
            places.emplace(object.get(), i);
    }
    return places;
}

template <typename Object>
std::optional<std::size_t> placeOf(const Object* object, const std::unordered_map<const Object*, std::size_t>& places)
{
    const auto found = places.find(object);
    return found == places.end() ? std::nullopt : std::optional<std::size_t>(found->second);
}

bool sameLanguages(
    const std::vector<ProgrammingLanguageContainer>& a, const std::vector<ProgrammingLanguageContainer>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].identifier != b[i].identifier)
            return false;
    }
    return true;
}

/// Gives the expander the stored fields of `from`, setting only those that differ (each set
/// is an edit its observers see).
void takeFields(CustomExpander& expander, const CustomExpander& from)
{
    if (expander.name() != from.name())
        expander.setName(from.name());
    if (expander.expanderDescription() != from.expanderDescription())
        expander.setExpanderDescription(from.expanderDescription());
    if (expander.identifier() != from.identifier())
        expander.setIdentifier(from.identifier());
    if (expander.pattern() != from.pattern())
        expander.setPattern(from.pattern());
    if (expander.outputTemplate() != from.outputTemplate())
        expander.setOutputTemplate(from.outputTemplate());
    if (expander.isEnabled() != from.isEnabled())
        expander.setEnabled(from.isEnabled());
    if (!sameLanguages(expander.supportedLanguageContainers(), from.supportedLanguageContainers()))
        expander.setSupportedLanguageContainers(from.supportedLanguageContainers());
}

icu::UnicodeString quoted(const icu::UnicodeString& name)
{
    return icu::UnicodeString(u"\u201C").append(name).append(u"\u201D");
}

using KnownExpanders = std::vector<std::weak_ptr<CustomExpander>>;

/// The objects that stand for the records of a list of the file, one per record (none where
/// this process deleted the record).
template <typename Object> KnownExpanders knownAs(const std::vector<std::shared_ptr<Object>>& objects)
{
    return KnownExpanders(objects.begin(), objects.end());
}

class Merger {
public:
    std::vector<icu::UnicodeString> conflicts;

    struct BundleMerge {
        /// The file's version, to keep beside this process's when both changed one of the
        /// bundle's own fields differently; none otherwise.
        BundlePtr theirVersion;
        /// The expanders that now stand for the file's expanders of the bundle, in its order.
        KnownExpanders recordExpanders;
    };

    /// Merges the file's version of one bundle into this process's.
    BundleMerge mergeBundle(
        Bundle& bundle, const KnownExpanders& knownExpanders, const JSONDictionary& base, const JSONDictionary& theirs)
    {
        const JSONDictionary current = bundle.dictionary();
        if (current == theirs)
            return { nullptr, knownAs(bundle.expanders()) };
        static constexpr const char* fieldKeys[] = { "name", "description", "is_enabled", "supported_languages" };
        for (const char* key : fieldKeys) {
            const auto& their = theirs.at(key);
            if (their != base.at(key) && their != current.at(key) && current.at(key) != base.at(key)) {
                conflicts.push_back(quoted(bundle.name()));
                auto theirVersion = std::make_shared<Bundle>(theirs);
                auto recordExpanders = knownAs(theirVersion->expanders());
                return { std::move(theirVersion), std::move(recordExpanders) };
            }
        }
        const Bundle from(theirs);
        if (theirs.at("name") != base.at("name") && bundle.name() != from.name())
            bundle.setName(from.name());
        if (theirs.at("description") != base.at("description")
            && bundle.bundleDescription() != from.bundleDescription())
            bundle.setBundleDescription(from.bundleDescription());
        if (theirs.at("is_enabled") != base.at("is_enabled") && bundle.isEnabled() != from.isEnabled())
            bundle.setEnabled(from.isEnabled());
        if (theirs.at("supported_languages") != base.at("supported_languages")
            && !sameLanguages(bundle.supportedLanguageContainers(), from.supportedLanguageContainers()))
            bundle.setSupportedLanguageContainers(from.supportedLanguageContainers());

        const auto baseExpanders = recordsOf(base, "expanders");
        const auto theirExpanders = recordsOf(theirs, "expanders");
        const auto expanders = bundle.expanders();
        std::vector<MineRecord> mine;
        mine.reserve(expanders.size());
        const auto places = placesOf(knownExpanders, baseExpanders.size());
        for (const auto& expander : expanders) {
            // Only a record of the base is compared with it: a new one is not written out.
            const auto place = placeOf<CustomExpander>(expander.get(), places);
            mine.push_back({ place, place ? expander->dictionary() : JSONDictionary() });
        }

        auto conflictIn = [&](const CustomExpander& expander) {
            conflicts.push_back(quoted(bundle.name()).append(u" \u203A ").append(quoted(expander.name())));
        };
        std::vector<CustomExpanderPtr> result;
        KnownExpanders recordExpanders(theirExpanders.size());
        for (const auto& step : mergeLists(baseExpanders, mine, theirExpanders)) {
            switch (step.step) {
            case Step::keepMine:
                result.push_back(expanders[step.mine]);
                break;
            case Step::update: {
                const auto& expander = expanders[step.mine];
                const auto& their = *theirExpanders[*step.theirs];
                result.push_back(expander);
                if (mine[step.mine].current == *baseExpanders[*mine[step.mine].base]) {
                    takeFields(*expander, CustomExpander(their));
                } else if (mine[step.mine].current != their) {
                    conflictIn(*expander);
                    result.push_back(std::make_shared<CustomExpander>(their));
                }
                break;
            }
            case Step::keepMineDeletedElsewhere:
                result.push_back(expanders[step.mine]);
                conflictIn(*expanders[step.mine]);
                break;
            case Step::addTheirs:
                result.push_back(std::make_shared<CustomExpander>(*theirExpanders[*step.theirs]));
                break;
            case Step::bringBackTheirs:
                result.push_back(std::make_shared<CustomExpander>(*theirExpanders[*step.theirs]));
                conflictIn(*result.back());
                break;
            }
            // The last one placed holds the file's version of the record: a conflict's copy
            // rather than this process's own.
            if (step.theirs)
                recordExpanders[*step.theirs] = result.back();
        }
        if (result != expanders)
            bundle.setExpanders(std::move(result));
        return { nullptr, std::move(recordExpanders) };
    }
};

} // namespace

LibrarySnapshot LibrarySnapshot::of(const BundleStore& store)
{
    LibrarySnapshot snapshot;
    snapshot.m_entries.reserve(store.bundles().size());
    for (const auto& bundle : store.bundles())
        snapshot.m_entries.push_back({ .bundle = bundle, .expanders = knownAs(bundle->expanders()) });
    return snapshot;
}

LibrarySnapshot::Merge LibrarySnapshot::mergeInto(
    BundleStore& store, const JSONDictionary& base, const JSONDictionary& theirs) const
{
    const auto baseBundles = recordsOf(base, "bundles");
    const auto theirBundles = recordsOf(theirs, "bundles");
    std::vector<std::weak_ptr<Bundle>> known;
    for (const auto& entry : m_entries)
        known.push_back(entry.bundle);
    // Entries past the base's bundles would stand for records the file never held.
    const auto places = placesOf(known, baseBundles.size());

    const auto bundles = store.bundles();
    std::vector<MineRecord> mine;
    mine.reserve(bundles.size());
    for (const auto& bundle : bundles) {
        // Only a record of the base is compared with it: the others (added here since) are not
        // written out, so that a merge takes time with the base and the file, not the library.
        const auto place = placeOf<Bundle>(bundle.get(), places);
        mine.push_back({ place, place ? bundle->dictionary() : JSONDictionary() });
    }

    Merger merger;
    Merge merge;
    merge.snapshotOfTheirs.m_entries.resize(theirBundles.size());
    std::vector<BundlePtr> result;
    store.groupChanges([&] {
        for (const auto& step : mergeLists(baseBundles, mine, theirBundles)) {
            KnownExpanders recordExpanders;
            switch (step.step) {
            case Step::keepMine:
                result.push_back(bundles[step.mine]);
                // Unchanged in the file: its expanders are the file's as they were.
                if (step.theirs)
                    recordExpanders = m_entries[*mine[step.mine].base].expanders;
                break;
            case Step::update: {
                const std::size_t b = *mine[step.mine].base;
                result.push_back(bundles[step.mine]);
                auto bundleMerge = merger.mergeBundle(
                    *bundles[step.mine], m_entries[b].expanders, *baseBundles[b], *theirBundles[*step.theirs]);
                if (bundleMerge.theirVersion)
                    result.push_back(std::move(bundleMerge.theirVersion));
                recordExpanders = std::move(bundleMerge.recordExpanders);
                break;
            }
            case Step::keepMineDeletedElsewhere:
                result.push_back(bundles[step.mine]);
                merger.conflicts.push_back(quoted(bundles[step.mine]->name()));
                break;
            case Step::addTheirs:
                result.push_back(std::make_shared<Bundle>(*theirBundles[*step.theirs]));
                recordExpanders = knownAs(result.back()->expanders());
                break;
            case Step::bringBackTheirs:
                result.push_back(std::make_shared<Bundle>(*theirBundles[*step.theirs]));
                recordExpanders = knownAs(result.back()->expanders());
                merger.conflicts.push_back(quoted(result.back()->name()));
                break;
            }
            if (step.theirs)
                merge.snapshotOfTheirs.m_entries[*step.theirs] = { result.back(), std::move(recordExpanders) };
        }
        if (result != bundles)
            store.setBundles(std::move(result));
    });
    merge.conflicts = std::move(merger.conflicts);
    return merge;
}

LibrarySnapshot::Base LibrarySnapshot::asSeenBy(const JSONDictionary& base, const JSONDictionary& theirs,
    const LibrarySnapshot& foreign, const JSONDictionary& foreignBase) const
{
    const Records baseBundles = recordsOf(base, "bundles");
    if (baseBundles.size() != m_entries.size())
        return { *this, base };
    const Records foreignBundles = recordsOf(foreignBase, "bundles");
    std::unordered_map<const Bundle*, std::size_t> foreignBundleAt;
    std::unordered_set<const CustomExpander*> foreignExpanders;
    if (foreignBundles.size() == foreign.m_entries.size()) {
        for (std::size_t f = 0; f < foreign.m_entries.size(); ++f) {
            if (const auto bundle = foreign.m_entries[f].bundle.lock())
                foreignBundleAt.emplace(bundle.get(), f);
            for (const auto& weak : foreign.m_entries[f].expanders) {
                if (const auto expander = weak.lock())
                    foreignExpanders.insert(expander.get());
            }
        }
    }
    std::unordered_set<std::string> theirBundles;
    std::unordered_set<std::string> theirExpanders;
    for (const auto* bundle : recordsOf(theirs, "bundles")) {
        theirBundles.insert(bundle->dump());
        for (const auto* expander : recordsOf(*bundle, "expanders"))
            theirExpanders.insert(expander->dump());
    }

    Base result { {}, base };
    JSONDictionary bundles = JSONDictionary::array();
    for (std::size_t b = 0; b < m_entries.size(); ++b) {
        const Entry& entry = m_entries[b];
        const JSONDictionary& record = *baseBundles[b];
        const auto bundle = entry.bundle.lock();
        if (!bundle || theirBundles.contains(record.dump())) {
            bundles.push_back(record);
            result.snapshot.m_entries.push_back(entry);
            continue;
        }
        const auto foreignAt = foreignBundleAt.find(bundle.get());
        if (foreignAt == foreignBundleAt.end())
            continue; // made here since, and never seen there
        if (theirBundles.contains(foreignBundles[foreignAt->second]->dump())) {
            bundles.push_back(*foreignBundles[foreignAt->second]);
            result.snapshot.m_entries.push_back(foreign.m_entries[foreignAt->second]);
            continue;
        }
        // Expanders made here since that the other version lacks are left out of the bundle.
        Entry kept { entry.bundle, {} };
        JSONDictionary keptRecord = record;
        const Records expanders = recordsOf(record, "expanders");
        if (expanders.size() == entry.expanders.size() && keptRecord.contains("expanders")) {
            JSONDictionary list = JSONDictionary::array();
            for (std::size_t e = 0; e < expanders.size(); ++e) {
                const auto expander = entry.expanders[e].lock();
                if (expander && !foreignExpanders.contains(expander.get())
                    && !theirExpanders.contains(expanders[e]->dump()))
                    continue;
                list.push_back(*expanders[e]);
                kept.expanders.push_back(entry.expanders[e]);
            }
            keptRecord["expanders"] = std::move(list);
        } else {
            kept.expanders = entry.expanders;
        }
        bundles.push_back(std::move(keptRecord));
        result.snapshot.m_entries.push_back(std::move(kept));
    }
    result.dictionary["bundles"] = std::move(bundles);
    return result;
}

} // namespace quillet
