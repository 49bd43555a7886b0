#include "platform/atspi/FocusLookup.h"

#include "platform/atspi/AtspiConnection.h"
#include "platform/atspi/AtspiLog.h"
#include "platform/atspi/CallBudget.h"

#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace quillet::atspi {
namespace {

// A subtree larger than this is not searched by hand for the focused object.
constexpr int maximumSearchedObjects = 4000;
// An application that did not answer is asked again after this long, in case the question
// was lost (a bus forgets the answers it expects after a while).
constexpr auto reaskUnresponsive = std::chrono::seconds(10);

/// A cheap question that an application answers on the thread that answers the rest.
Message probeQuery(const std::string& bus)
{
    return propertyQuery({ bus, applicationRootPath }, applicationInterface, "ToolkitName");
}

Message stateQuery(const ObjectReference& object)
{
    return methodCall(object, accessibleInterface, "GetState");
}

Message interfacesQuery(const ObjectReference& object)
{
    return methodCall(object, accessibleInterface, "GetInterfaces");
}

Message childrenQuery(const ObjectReference& object)
{
    return methodCall(object, accessibleInterface, "GetChildren");
}

bool holds(const std::vector<std::string>& interfaces, const char* interface)
{
    return std::find(interfaces.begin(), interfaces.end(), interface) != interfaces.end();
}

/// An object met by the walk, and how it was reached from the window.
struct WalkedObject {
    ObjectReference reference;
    int parent = -1; // among the walk's objects
};

/// The deepest FOCUSED object with Text below the frame, by a walk of the tree where the
/// toolkit has no Collection. The walk asks about a whole level at once. It never skips
/// objects that are not SHOWING: GTK 4 containers only say VISIBLE.
std::optional<ObjectReference> walkToFocusedText(
    AtspiConnection& connection, const ObjectReference& frame, CallBudget& budget, std::optional<StateSet>& found)
{
    std::vector<WalkedObject> objects { { frame, -1 } };
    std::map<int, StateSet> focusedStates;
    FocusSearch<int> search;
    search.states = [&](const std::vector<int>& level) {
        std::vector<Message> queries;
        for (int object : level)
            queries.push_back(stateQuery(objects[object].reference));
        const auto replies = connection.callTogether(std::move(queries), budget);
        std::vector<FocusSearch<int>::States> result;
        for (std::size_t i = 0; i < level.size(); ++i) {
            const StateSet set = statesOf(replies[i].get());
            if (set.has(State::focused))
                focusedStates[level[i]] = set;
            result.push_back({ set.has(State::focused), set.has(State::visible) });
        }
        return result;
    };
    search.hasText = [&](const int& object) {
        return holds(
            stringsOf(connection.call(interfacesQuery(objects[object].reference), budget).get()), textInterface);
    };
    // The children as GetChildAtIndex counts them: GTK 4 orders GetChildren otherwise.
    search.children = [&](const std::vector<int>& parents) {
        std::vector<Message> queries;
        for (int object : parents)
            queries.push_back(propertyQuery(objects[object].reference, accessibleInterface, "ChildCount"));
        const auto counts = connection.callTogether(std::move(queries), budget);
        queries.clear();
        std::vector<std::size_t> askedParent;
        for (std::size_t i = 0; i < parents.size(); ++i) {
            const int count = std::clamp(int32Of(counts[i].get()).value_or(0), 0, maximumSearchedObjects);
            for (int32_t index = 0; index < count; ++index) {
                queries.push_back(
                    methodCall(objects[parents[i]].reference, accessibleInterface, "GetChildAtIndex", { index }));
                askedParent.push_back(i);
            }
        }
        const auto replies = connection.callTogether(std::move(queries), budget);
        std::vector<std::vector<int>> result(parents.size());
        for (std::size_t i = 0; i < askedParent.size() && int(objects.size()) < maximumSearchedObjects; ++i) {
            if (auto reference = referenceOf(replies[i].get())) {
                result[askedParent[i]].push_back(int(objects.size()));
                objects.push_back({ std::move(*reference), parents[askedParent[i]] });
            }
        }
        return result;
    };
    search.exhausted = [&] { return int(objects.size()) >= maximumSearchedObjects || budget.exhausted(); };
    const auto deepest = deepestFocusedText(0, search);
    if (!deepest)
        return std::nullopt;
    found = focusedStates[*deepest];
    return objects[*deepest].reference;
}

/// The deepest FOCUSED object with Text below the frame (see deepestFocusedText()).
std::optional<ObjectReference> focusedText(
    AtspiConnection& connection, const ObjectReference& frame, CallBudget& budget, std::optional<StateSet>& found)
{
    const Message matched = connection.call(focusedMatchesQuery(frame), budget);
    if (!matched) {
        qCDebug(atspiLog) << "No Collection in" << frame.bus.c_str() << ": walking its tree";
        return walkToFocusedText(connection, frame, budget, found);
    }
    const auto matches = referencesOf(matched.get());
    if (matches.empty())
        return walkToFocusedText(connection, frame, budget, found);
    // The interfaces and states of every match in one round trip; the tree's order puts an
    // object before its descendants, so the last one with Text is the deepest.
    std::vector<Message> queries;
    for (const auto& match : matches) {
        queries.push_back(interfacesQuery(match));
        queries.push_back(stateQuery(match));
    }
    const auto replies = connection.callTogether(std::move(queries), budget);
    for (std::size_t i = matches.size(); i-- > 0;) {
        if (holds(stringsOf(replies[2 * i].get()), textInterface)) {
            found = statesOf(replies[2 * i + 1].get());
            return matches[i];
        }
    }
    return std::nullopt;
}

} // namespace

void FocusLookup::learn(AtspiConnection& connection, const std::vector<ObjectReference>& applications,
    CallBudget& budget, bool& someUnanswered)
{
    std::vector<std::string> unknown;
    for (const auto& application : applications) {
        if (isUnresponsive(application.bus))
            someUnanswered = true;
        else if (!m_applications.contains(application.bus))
            unknown.push_back(application.bus);
    }
    if (unknown.empty())
        return;
    // The processes, from the bus itself; then, in one round trip for all the others, what
    // each application's root says of its toolkit and name. This process's own application is
    // never asked: nothing there is an editor.
    std::vector<Message> queries;
    for (const auto& bus : unknown)
        queries.push_back(methodCall(
            { DBUS_SERVICE_DBUS, DBUS_PATH_DBUS }, DBUS_INTERFACE_DBUS, "GetConnectionUnixProcessID", { bus }));
    std::vector<bool> unanswered;
    const auto processes = connection.callTogether(std::move(queries), budget, &unanswered);
    const uint32_t ownProcess = uint32_t(getpid());
    queries.clear();
    std::vector<std::pair<std::string, uint32_t>> asked;
    for (std::size_t i = 0; i < unknown.size(); ++i) {
        const auto process = uint32Of(processes[i].get());
        if (!process)
            continue;
        if (*process == ownProcess) {
            m_applications[unknown[i]] = ApplicationFacts { .process = *process };
            continue;
        }
        const ObjectReference root { unknown[i], applicationRootPath };
        queries.push_back(propertyQuery(root, applicationInterface, "ToolkitName"));
        queries.push_back(propertyQuery(root, accessibleInterface, "Name"));
        asked.emplace_back(unknown[i], *process);
    }
    if (asked.empty())
        return;
    const auto names = connection.callTogether(std::move(queries), budget, &unanswered);
    for (std::size_t i = 0; i < asked.size(); ++i) {
        if (unanswered[2 * i] || unanswered[2 * i + 1]) {
            // An application that hangs: left out until it answers again.
            qCDebug(atspiLog) << "Skipped an application that does not answer:" << asked[i].first.c_str();
            markUnresponsive(asked[i].first);
            someUnanswered = true;
            continue;
        }
        const std::string toolkit = stringOf(names[2 * i].get()).value_or("");
        m_applications[asked[i].first] = ApplicationFacts { .process = asked[i].second,
            .unit = offsetUnitOf(toolkit, stringOf(names[2 * i + 1].get()).value_or("")),
            .padded = padsCharactersOutsideBmp(toolkit) };
    }
}

std::optional<Focus> FocusLookup::findInLastFrame(AtspiConnection& connection, CallBudget& budget)
{
    if (!m_last || !m_last->element || isUnresponsive(m_last->application.bus))
        return std::nullopt;
    // One round trip asks whether the window is still ACTIVE and the element still FOCUSED,
    // and what the press reads next: the window's title and the caret.
    const ObjectReference& element = *m_last->element;
    std::vector<Message> queries;
    queries.push_back(stateQuery(m_last->frame));
    queries.push_back(stateQuery(element));
    queries.push_back(propertyQuery(m_last->frame, accessibleInterface, "Name"));
    queries.push_back(propertyQuery(element, textInterface, "CaretOffset"));
    const auto replies = connection.callTogether(std::move(queries), budget);
    if (!statesOf(replies[0].get()).has(State::active))
        return std::nullopt;
    const StateSet states = statesOf(replies[1].get());
    if (states.has(State::focused)) {
        Focus focus = *m_last;
        focus.elementStates = states;
        focus.caret = int32Of(replies[3].get());
        focus.frameName = stringOf(replies[2].get());
        return focus;
    }
    std::optional<StateSet> found;
    if (auto moved = focusedText(connection, m_last->frame, budget, found)) {
        Focus focus { .application = m_last->application,
            .frame = m_last->frame,
            .element = std::move(moved),
            .facts = m_last->facts };
        focus.elementStates = found;
        return focus;
    }
    return std::nullopt;
}

std::optional<Focus> FocusLookup::scan(AtspiConnection& connection, CallBudget& budget)
{
    const auto applications = referencesOf(connection.call(childrenQuery(desktopRoot), budget).get());
    const uint32_t ownProcess = uint32_t(getpid());
    bool someUnanswered = false;
    learn(connection, applications, budget, someUnanswered);
    // Each application's windows, in one round trip for all of them.
    std::vector<std::pair<ObjectReference, ApplicationFacts>> others;
    for (const auto& application : applications) {
        const auto facts = m_applications.find(application.bus);
        if (facts != m_applications.end() && facts->second.process != ownProcess && !isUnresponsive(application.bus))
            others.emplace_back(application, facts->second);
    }
    std::vector<Message> queries;
    for (const auto& [application, facts] : others)
        queries.push_back(childrenQuery(application));
    std::vector<bool> unanswered;
    const auto frameLists = connection.callTogether(std::move(queries), budget, &unanswered);
    for (std::size_t i = 0; i < others.size(); ++i) {
        if (unanswered[i]) {
            markUnresponsive(others[i].first.bus);
            someUnanswered = true;
        }
    }
    std::vector<std::pair<std::size_t, ObjectReference>> frames; // application and frame
    for (std::size_t i = 0; i < others.size(); ++i)
        for (auto& frame : referencesOf(frameLists[i].get()))
            frames.emplace_back(i, std::move(frame));
    queries.clear();
    for (const auto& [application, frame] : frames)
        queries.push_back(stateQuery(frame));
    const auto frameStates = connection.callTogether(std::move(queries), budget, &unanswered);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (unanswered[i]) {
            markUnresponsive(others[frames[i].first].first.bus);
            someUnanswered = true;
        }
    }
    std::optional<Focus> activeWithoutFocus;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (!statesOf(frameStates[i].get()).has(State::active))
            continue;
        const auto& [application, facts] = others[frames[i].first];
        Focus focus { .application = application, .frame = frames[i].second, .facts = facts };
        try {
            std::optional<StateSet> found;
            focus.element = focusedText(connection, focus.frame, budget, found);
            focus.elementStates = found;
        } catch (const EditorNotAnsweringError&) {
            markUnresponsive(application.bus);
            someUnanswered = true;
            continue;
        }
        if (focus.element)
            return focus;
        if (!activeWithoutFocus)
            activeWithoutFocus = std::move(focus);
    }
    if (someUnanswered && !activeWithoutFocus)
        throw EditorNotAnsweringError();
    return activeWithoutFocus;
}

std::optional<Focus> FocusLookup::find(AtspiConnection& connection, CallBudget& budget)
{
    recheckUnresponsive(connection);
    // Those that did not answer this time are asked at once whether they answer again, so that
    // one continued meanwhile takes part at the next press.
    struct AskAfterwards {
        FocusLookup& lookup;
        AtspiConnection& connection;
        ~AskAfterwards() { lookup.askUnresponsive(connection); }
    } askAfterwards { *this, connection };
    try {
        std::optional<Focus> focus;
        try {
            focus = findInLastFrame(connection, budget);
        } catch (const EditorNotAnsweringError&) {
            markUnresponsive(m_last->application.bus);
            throw;
        }
        if (!focus)
            focus = scan(connection, budget);
        if (focus && focus->element)
            m_last = focus;
        else
            m_last.reset();
        return focus;
    } catch (...) {
        m_last.reset();
        throw;
    }
}

std::optional<std::string> FocusLookup::applicationName(
    AtspiConnection& connection, const ObjectReference& application, CallBudget& budget)
{
    try {
        return stringOf(connection.call(propertyQuery(application, accessibleInterface, "Name"), budget).get());
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void FocusLookup::forget(bool applicationsToo)
{
    m_last.reset();
    if (applicationsToo) {
        m_applications.clear();
        m_unresponsive.clear();
    }
}

void FocusLookup::markUnresponsive(const std::string& bus)
{
    if (!m_unresponsive.contains(bus))
        m_unresponsive[bus] = Unresponsive {};
}

void FocusLookup::recheckUnresponsive(AtspiConnection& connection)
{
    if (m_unresponsive.empty())
        return;
    connection.refresh();
    const auto now = std::chrono::steady_clock::now();
    for (auto it = m_unresponsive.begin(); it != m_unresponsive.end();) {
        auto& [bus, entry] = *it;
        if (entry.probe && entry.probe->answered()) {
            qCDebug(atspiLog) << "An application answers again:" << bus.c_str();
            it = m_unresponsive.erase(it);
            continue;
        }
        if (now - entry.asked >= reaskUnresponsive)
            entry.probe.reset();
        ++it;
    }
}

void FocusLookup::askUnresponsive(AtspiConnection& connection)
{
    // Asked without waiting: the answer is looked at by a later press.
    for (auto& [bus, entry] : m_unresponsive) {
        if (entry.probe)
            continue;
        try {
            entry.probe = connection.send(probeQuery(bus));
            entry.asked = std::chrono::steady_clock::now();
        } catch (...) {
            return; // asked at the next press
        }
    }
}

} // namespace quillet::atspi
