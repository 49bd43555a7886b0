#include "shell/AtspiAccessibility.h"

#include "text/UnicodeConversion.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QLoggingCategory>

#include <atspi/atspi.h>
// After the library's main header, which it needs.
#include <atspi/atspi-gmain.h>
#include <dbus/dbus.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace quillet {

namespace {

// A hung editor costs at most this much a call.
constexpr int callTimeoutMilliseconds = 250;
// The longest wait for the Qt thread to ready the library.
constexpr auto readyBound = std::chrono::milliseconds(1000);

} // namespace

/// One thread with a GLib context of its own, its thread-default, where every AT-SPI call
/// is made and every message of the accessibility bus is handled.
class AtspiAccessibilityBackend::Thread {
public:
    Thread()
        : m_context(g_main_context_new())
    {
        m_thread = std::thread([this] { run(); });
    }
    ~Thread()
    {
        m_running = false;
        g_main_context_wakeup(m_context);
        if (m_thread.joinable()) {
            if (isCurrent())
                m_thread.detach();
            else
                m_thread.join();
        }
        g_main_context_unref(m_context);
    }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    GMainContext* context() const noexcept { return m_context; }
    bool isCurrent() const { return std::this_thread::get_id() == m_thread.get_id(); }

    /// Runs the work on this thread: at once when called there, else when the thread gets to it.
    void post(std::function<void()> work)
    {
        g_main_context_invoke_full(
            m_context, G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                (*static_cast<std::function<void()>*>(data))();
                return G_SOURCE_REMOVE;
            },
            new std::function<void()>(std::move(work)),
            [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
    }

    /// Where the direct connections are moved to this thread: a call on the thread of the Qt
    /// event loop. Set before the first call.
    void setMainThreadPoster(std::function<void(std::function<void()>)> poster) { m_postToMain = std::move(poster); }

    /// Readies the library with every message of its bus handled on this thread, from this
    /// thread. False when it is not ready yet (no accessibility bus, or the Qt thread was busy).
    ///
    /// The library hands its bus to the default context, which the Qt thread runs, so the bus
    /// is moved over here by the Qt thread itself: moved by any other thread, one of its
    /// watches could go while the Qt thread was handling it. The bus is opened here first,
    /// as that may wait long, and the Qt thread must never wait on it.
    bool readyLibrary()
    {
        if (m_libraryReady)
            return true;
        if (!atspi_get_a11y_bus() || !m_postToMain)
            return false;
        struct Hop {
            std::mutex mutex;
            std::condition_variable done;
            bool ran = false;
        };
        auto hop = std::make_shared<Hop>();
        g_main_context_ref(m_context);
        m_postToMain([hop, context = m_context, ready = m_libraryReadyFlag] {
            atspi_init();
            // Both bounds: the second one replaces the far longer wait the library grants
            // an application that has just started.
            atspi_set_timeout(callTimeoutMilliseconds, callTimeoutMilliseconds);
            atspi_set_main_context(context);
            g_main_context_unref(context);
            *ready = true;
            std::lock_guard lock(hop->mutex);
            hop->ran = true;
            hop->done.notify_all();
        });
        std::unique_lock lock(hop->mutex);
        hop->done.wait_for(lock, readyBound, [&] { return hop->ran; });
        return m_libraryReady;
    }

    /// The library opens a direct connection to each application that offers one (GTK 3),
    /// hands it to the default context, which the Qt event loop runs, and hands it there again
    /// at every call over it. So that no message of the library is ever handled beside this
    /// thread, every application is reached over the accessibility bus instead, as soon as
    /// its direct connection appears.
    void keepApplicationsOnTheBus()
    {
        if (!m_libraryReady)
            return;
        AtspiAccessible* desktop = atspi_get_desktop(0);
        if (!desktop)
            return;
        DBusConnection* bus = atspi_get_a11y_bus();
        for (guint i = 0; bus && desktop->children && i < desktop->children->len; ++i) {
            auto* root = static_cast<AtspiAccessible*>(g_ptr_array_index(desktop->children, i));
            AtspiApplication* application = root ? root->parent.app : nullptr;
            if (!application || !application->bus || application->bus == bus)
                continue;
            // The direct connection stays open (the library may still await an answer on it)
            // and is handled here, where nothing calls over it any more. It is moved by the
            // thread that handles it now: its watches must not go while that thread may be
            // handling one of them.
            DBusConnection* direct = application->bus;
            m_directConnections.push_back(direct);
            application->bus = dbus_connection_ref(bus);
            if (m_postToMain) {
                dbus_connection_ref(direct);
                g_main_context_ref(m_context);
                m_postToMain([direct, context = m_context] {
                    atspi_dbus_connection_setup_with_g_main(direct, context);
                    g_main_context_unref(context);
                    dbus_connection_unref(direct);
                });
            }
        }
        g_object_unref(desktop);
    }

private:
    void run()
    {
        g_main_context_push_thread_default(m_context);
        while (m_running) {
            g_main_context_iteration(m_context, TRUE);
            keepApplicationsOnTheBus();
        }
        g_main_context_pop_thread_default(m_context);
    }

    GMainContext* m_context;
    std::vector<DBusConnection*> m_directConnections; // owned, on this thread
    std::function<void(std::function<void()>)> m_postToMain;
    std::shared_ptr<std::atomic<bool>> m_libraryReadyFlag = std::make_shared<std::atomic<bool>>(false);
    std::atomic<bool>& m_libraryReady = *m_libraryReadyFlag;
    std::atomic<bool> m_running = true;
    std::thread m_thread;
};

namespace {

Q_LOGGING_CATEGORY(atspiLog, "quillet.atspi")

constexpr int focusRetryMilliseconds = 15;

// A hung editor costs at most the call timeout a call, and an expansion at most the whole bound.
constexpr auto slowCall = std::chrono::milliseconds(callTimeoutMilliseconds - 10);
constexpr auto expansionBound = std::chrono::milliseconds(1000);

// A subtree larger than this is not searched by hand for the focused object.
constexpr int maximumSearchedObjects = 4000;
// Calls sent together at most (the bus bounds the answers one connection may await).
constexpr std::size_t maximumCallsTogether = 128;

// Lines longer than this before the caret are not read.
constexpr int maximumLineLength = 1 << 20;
constexpr int firstLineWindow = 256;

using Clock = std::chrono::steady_clock;

/// The time one lookup and what follows it may spend on the accessibility bus. A call that
/// runs into its timeout ends the lookup (the application is hung: more calls would only
/// wait again), and so does the end of the whole bound.
class CallBudget {
public:
    CallBudget() = default;
    CallBudget(const CallBudget&) = delete;
    CallBudget& operator=(const CallBudget&) = delete;
    ~CallBudget()
    {
        qCDebug(atspiLog) << "Accessibility calls of this lookup and its element:" << m_calls << "in" << m_roundTrips
                          << "round trips";
    }

    /// Runs one call of the accessibility bus.
    template <typename Call> auto run(Call&& call)
    {
        spend(1);
        const auto started = Clock::now();
        struct Timed {
            CallBudget& budget;
            Clock::time_point started;
            ~Timed()
            {
                const auto spent = Clock::now() - started;
                if (spent >= slowCall) {
                    budget.m_slow = true;
                    qCDebug(atspiLog) << "A call took"
                                      << std::chrono::duration_cast<std::chrono::milliseconds>(spent).count() << "ms";
                }
            }
        } timed { *this, started };
        return call();
    }

    /// After a call whose result says nothing about its failure (state sets): a call that
    /// ran into its timeout fails.
    void failIfSlow()
    {
        if (m_slow) {
            m_slow = false;
            throw AXError(AXError::CannotComplete);
        }
    }

    /// Runs `calls` calls sent together, which fail by their answers rather than by the time
    /// they take all together.
    template <typename Call> auto runTogether(int calls, Call&& call)
    {
        spend(calls);
        return call();
    }

    bool exhausted() const { return m_spent || Clock::now() - m_start >= expansionBound; }
    int calls() const noexcept { return m_calls; }
    int roundTrips() const noexcept { return m_roundTrips; }
    std::chrono::milliseconds elapsed() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_start);
    }

private:
    void spend(int calls)
    {
        if (m_spent || Clock::now() - m_start >= expansionBound) {
            m_spent = true;
            throw AXError(AXError::CannotComplete);
        }
        m_calls += calls;
        ++m_roundTrips;
    }

    Clock::time_point m_start = Clock::now();
    bool m_spent = false;
    bool m_slow = false;
    int m_calls = 0;
    int m_roundTrips = 0;
};

using Budget = std::shared_ptr<CallBudget>;

/// Owns one GObject reference.
template <typename T> class GRef {
public:
    GRef() = default;
    explicit GRef(T* object) noexcept
        : m_object(object)
    {
    }
    GRef(const GRef& other) noexcept
        : m_object(other.m_object)
    {
        if (m_object)
            g_object_ref(m_object);
    }
    GRef& operator=(GRef other) noexcept
    {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~GRef()
    {
        if (m_object)
            g_object_unref(m_object);
    }
    T* get() const noexcept { return m_object; }
    explicit operator bool() const noexcept { return m_object != nullptr; }

private:
    T* m_object = nullptr;
};

using Object = GRef<AtspiAccessible>;

/// Throws the error of a failed call (and frees it).
void check(GError* error, AXError::Code code = AXError::CannotComplete)
{
    if (!error)
        return;
    qCDebug(atspiLog) << "AT-SPI call failed:" << error->message;
    g_error_free(error);
    throw AXError(code);
}

std::string takeString(gchar* text)
{
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

/// Whether the object still belongs to a running application. The library forgets the
/// application of an object when it leaves the bus, also during a call, and its calls
/// would then read through a null application.
bool alive(AtspiAccessible* object)
{
    return object && object->parent.app && object->parent.app->bus_name;
}

void requireAlive(AtspiAccessible* object)
{
    if (!alive(object))
        throw AXError(AXError::InvalidUIElement);
}

DBusMessage* callDirectly(DBusMessage* message);
std::string busName(AtspiAccessible* object);

/// The states of a GetState answer.
GRef<AtspiStateSet> stateSetOf(DBusMessage* reply)
{
    GRef<AtspiStateSet> set(atspi_state_set_new(nullptr));
    DBusMessageIter iterator;
    DBusMessageIter words;
    if (reply && dbus_message_iter_init(reply, &iterator)
        && dbus_message_iter_get_arg_type(&iterator) == DBUS_TYPE_ARRAY) {
        dbus_message_iter_recurse(&iterator, &words);
        for (int word = 0; dbus_message_iter_get_arg_type(&words) == DBUS_TYPE_UINT32 && word < 2; ++word) {
            dbus_uint32_t bits = 0;
            dbus_message_iter_get_basic(&words, &bits);
            for (int bit = 0; bit < 32; ++bit)
                if ((bits >> bit) & 1U && word * 32 + bit < ATSPI_STATE_LAST_DEFINED)
                    atspi_state_set_add(set.get(), AtspiStateType(word * 32 + bit));
            dbus_message_iter_next(&words);
        }
    }
    return set;
}

DBusMessage* stateQuery(const std::string& bus, const std::string& path)
{
    return dbus_message_new_method_call(bus.c_str(), path.c_str(), "org.a11y.atspi.Accessible", "GetState");
}

/// The object's states, read past the library: its own wait for an answer can run far
/// beyond the timeout, and the states are the first thing asked of an application.
/// Throws when the application does not answer in time.
GRef<AtspiStateSet> states(AtspiAccessible* object, CallBudget& budget)
{
    requireAlive(object);
    DBusMessage* message = stateQuery(object->parent.app->bus_name, object->parent.path ? object->parent.path : "");
    DBusMessage* reply = budget.run([&] { return callDirectly(message); });
    if (!reply)
        throw AXError(AXError::CannotComplete);
    GRef<AtspiStateSet> set = stateSetOf(reply);
    dbus_message_unref(reply);
    return set;
}

bool contains(const GRef<AtspiStateSet>& set, AtspiStateType state)
{
    return set && atspi_state_set_contains(set.get(), state);
}

bool hasText(AtspiAccessible* object, CallBudget& budget)
{
    requireAlive(object);
    GRef<AtspiText> text(budget.run([&] { return atspi_accessible_get_text_iface(object); }));
    budget.failIfSlow();
    return bool(text);
}

std::vector<Object> children(AtspiAccessible* object, CallBudget& budget)
{
    requireAlive(object);
    GError* error = nullptr;
    const int count = budget.run([&] { return atspi_accessible_get_child_count(object, &error); });
    check(error);
    std::vector<Object> result;
    for (int i = 0; i < count && alive(object); ++i) {
        Object child(budget.run([&] { return atspi_accessible_get_child_at_index(object, i, &error); }));
        check(error);
        if (alive(child.get()))
            result.push_back(child);
    }
    return result;
}

/// The FOCUSED objects below the frame in the tree's order, through one Collection query;
/// none when the toolkit offers no Collection.
std::optional<std::vector<Object>> focusedByCollection(AtspiAccessible* frame, CallBudget& budget)
{
    requireAlive(frame);
    GRef<AtspiCollection> collection(budget.run([&] { return atspi_accessible_get_collection_iface(frame); }));
    if (!collection)
        return std::nullopt;
    GRef<AtspiStateSet> wanted(atspi_state_set_new(nullptr));
    atspi_state_set_add(wanted.get(), ATSPI_STATE_FOCUSED);
    GRef<AtspiMatchRule> rule(atspi_match_rule_new(wanted.get(), ATSPI_Collection_MATCH_ALL, nullptr,
        ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, FALSE));
    GError* error = nullptr;
    GArray* matches = budget.run([&] {
        return atspi_collection_get_matches(
            collection.get(), rule.get(), ATSPI_Collection_SORT_ORDER_CANONICAL, 0, TRUE, &error);
    });
    if (error) {
        qCDebug(atspiLog) << "Collection query failed:" << error->message;
        g_error_free(error);
        budget.failIfSlow();
        return std::nullopt;
    }
    std::vector<Object> result;
    if (matches) {
        for (guint i = 0; i < matches->len; ++i)
            result.emplace_back(g_array_index(matches, AtspiAccessible*, i)); // takes the array's reference
        g_array_free(matches, TRUE);
    }
    return result;
}

struct MessageUnref {
    void operator()(DBusMessage* message) const noexcept
    {
        if (message)
            dbus_message_unref(message);
    }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

/// Calls sent together and waited for together: the application answers one after the
/// other without a round trip through this process in between. The answers come in the
/// calls' order; an error answer (an object that has gone) is none. An application that
/// does not answer in time fails them all.
std::vector<Message> callTogether(std::vector<Message> messages, CallBudget& budget)
{
    DBusConnection* bus = atspi_get_a11y_bus();
    if (!bus)
        throw AXError(AXError::CannotComplete);
    std::vector<Message> replies(messages.size());
    for (std::size_t first = 0; first < messages.size(); first += maximumCallsTogether) {
        const std::size_t end = std::min(messages.size(), first + maximumCallsTogether);
        budget.runTogether(int(end - first), [&] {
            std::vector<DBusPendingCall*> pending(end - first, nullptr);
            for (std::size_t i = first; i < end; ++i)
                if (messages[i]
                    && !dbus_connection_send_with_reply(
                        bus, messages[i].get(), &pending[i - first], callTimeoutMilliseconds))
                    pending[i - first] = nullptr;
            // Waiting neither dispatches nor handles other messages, as in callDirectly.
            bool hung = false;
            for (std::size_t i = first; i < end; ++i) {
                DBusPendingCall* call = pending[i - first];
                if (!call)
                    continue;
                dbus_pending_call_block(call);
                Message reply(dbus_pending_call_steal_reply(call));
                dbus_pending_call_unref(call);
                if (reply && dbus_message_get_type(reply.get()) == DBUS_MESSAGE_TYPE_ERROR) {
                    hung = hung || dbus_message_is_error(reply.get(), DBUS_ERROR_NO_REPLY);
                    reply.reset();
                }
                replies[i] = std::move(reply);
            }
            if (hung) {
                qCDebug(atspiLog) << "An application did not answer calls sent together";
                throw AXError(AXError::CannotComplete);
            }
        });
    }
    return replies;
}

/// An object met by the walk: where it is on the bus, and how it was reached from the window.
struct WalkedObject {
    std::string bus;
    std::string path;
    int parent = -1; // among the walk's objects
    int index = 0; // among its parent's children
};

/// The object of a GetChildAtIndex answer; none for the null object.
std::optional<std::pair<std::string, std::string>> referenceOf(DBusMessage* reply)
{
    DBusMessageIter iterator;
    DBusMessageIter reference;
    if (!reply || !dbus_message_iter_init(reply, &iterator)
        || dbus_message_iter_get_arg_type(&iterator) != DBUS_TYPE_STRUCT)
        return std::nullopt;
    dbus_message_iter_recurse(&iterator, &reference);
    const char* bus = nullptr;
    const char* path = nullptr;
    if (dbus_message_iter_get_arg_type(&reference) != DBUS_TYPE_STRING)
        return std::nullopt;
    dbus_message_iter_get_basic(&reference, &bus);
    dbus_message_iter_next(&reference);
    if (dbus_message_iter_get_arg_type(&reference) != DBUS_TYPE_OBJECT_PATH)
        return std::nullopt;
    dbus_message_iter_get_basic(&reference, &path);
    if (!bus || !*bus || !path || std::strcmp(path, "/org/a11y/atspi/null") == 0)
        return std::nullopt;
    return std::pair<std::string, std::string>(bus, path);
}

/// The number of a ChildCount answer.
int countOf(DBusMessage* reply)
{
    DBusMessageIter iterator;
    DBusMessageIter variant;
    if (!reply || !dbus_message_iter_init(reply, &iterator)
        || dbus_message_iter_get_arg_type(&iterator) != DBUS_TYPE_VARIANT)
        return 0;
    dbus_message_iter_recurse(&iterator, &variant);
    if (dbus_message_iter_get_arg_type(&variant) != DBUS_TYPE_INT32)
        return 0;
    dbus_int32_t count = 0;
    dbus_message_iter_get_basic(&variant, &count);
    return std::max(0, int(count));
}

/// A Properties.Get of the object's property.
Message propertyQuery(const std::string& bus, const std::string& path, const char* interface, const char* property)
{
    Message query(dbus_message_new_method_call(bus.c_str(), path.c_str(), "org.freedesktop.DBus.Properties", "Get"));
    if (query)
        dbus_message_append_args(
            query.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property, DBUS_TYPE_INVALID);
    return query;
}

/// The value of a Properties.Get answer or of a plain answer, when it is of the type.
template <typename T> std::optional<T> answerOf(DBusMessage* reply, int type)
{
    DBusMessageIter iterator;
    DBusMessageIter variant;
    if (!reply || !dbus_message_iter_init(reply, &iterator))
        return std::nullopt;
    DBusMessageIter* value = &iterator;
    if (dbus_message_iter_get_arg_type(&iterator) == DBUS_TYPE_VARIANT) {
        dbus_message_iter_recurse(&iterator, &variant);
        value = &variant;
    }
    if (dbus_message_iter_get_arg_type(value) != type)
        return std::nullopt;
    if constexpr (std::is_same_v<T, std::string>) {
        const char* text = nullptr;
        dbus_message_iter_get_basic(value, &text);
        return std::string(text ? text : "");
    } else {
        dbus_int32_t number = 0;
        dbus_message_iter_get_basic(value, &number);
        return T(number);
    }
}

/// A Text.GetText of the range, in the toolkit's offsets.
Message textQuery(const std::string& bus, const std::string& path, dbus_int32_t start, dbus_int32_t end)
{
    Message query(dbus_message_new_method_call(bus.c_str(), path.c_str(), "org.a11y.atspi.Text", "GetText"));
    if (query)
        dbus_message_append_args(query.get(), DBUS_TYPE_INT32, &start, DBUS_TYPE_INT32, &end, DBUS_TYPE_INVALID);
    return query;
}

std::string pathOf(AtspiAccessible* object)
{
    return object && object->parent.path ? object->parent.path : "";
}

bool hasTextInterface(const WalkedObject& object, CallBudget& budget)
{
    std::vector<Message> query;
    query.emplace_back(dbus_message_new_method_call(
        object.bus.c_str(), object.path.c_str(), "org.a11y.atspi.Accessible", "GetInterfaces"));
    const auto replies = callTogether(std::move(query), budget);
    DBusMessageIter iterator;
    DBusMessageIter names;
    if (!replies.front() || !dbus_message_iter_init(replies.front().get(), &iterator)
        || dbus_message_iter_get_arg_type(&iterator) != DBUS_TYPE_ARRAY)
        return false;
    dbus_message_iter_recurse(&iterator, &names);
    for (; dbus_message_iter_get_arg_type(&names) == DBUS_TYPE_STRING; dbus_message_iter_next(&names)) {
        const char* name = nullptr;
        dbus_message_iter_get_basic(&names, &name);
        if (name && std::strcmp(name, "org.a11y.atspi.Text") == 0)
            return true;
    }
    return false;
}

/// The deepest FOCUSED object with Text below the frame (see deepestFocusedText), by a walk
/// of the tree where the toolkit has no Collection. The walk asks about a whole level at
/// once and goes by bus names and paths; the object found is then reached from the frame
/// through the library, one child a level. It never skips objects that are not SHOWING:
/// GTK 4 containers only say VISIBLE.
Object walkToFocusedText(AtspiAccessible* frame, CallBudget& budget, GRef<AtspiStateSet>* foundStates)
{
    requireAlive(frame);
    std::vector<WalkedObject> objects { { busName(frame), frame->parent.path ? frame->parent.path : "" } };
    std::map<int, GRef<AtspiStateSet>> focusedStates;
    FocusSearch<int> search;
    search.states = [&](const std::vector<int>& level) {
        std::vector<Message> queries;
        for (int object : level)
            queries.emplace_back(stateQuery(objects[object].bus, objects[object].path));
        const auto replies = callTogether(std::move(queries), budget);
        std::vector<FocusSearch<int>::States> result;
        for (std::size_t i = 0; i < level.size(); ++i) {
            GRef<AtspiStateSet> set = stateSetOf(replies[i].get());
            const bool focused = contains(set, ATSPI_STATE_FOCUSED);
            if (focused)
                focusedStates[level[i]] = set;
            result.push_back({ focused, contains(set, ATSPI_STATE_VISIBLE) });
        }
        return result;
    };
    search.hasText = [&](const int& object) { return hasTextInterface(objects[object], budget); };
    // The children as GetChildAtIndex counts them, which is how the library reaches the
    // object found (GTK 4 orders GetChildren otherwise).
    search.children = [&](const std::vector<int>& parents) {
        std::vector<Message> queries;
        const char* interface = "org.a11y.atspi.Accessible";
        const char* property = "ChildCount";
        for (int object : parents) {
            Message query(dbus_message_new_method_call(
                objects[object].bus.c_str(), objects[object].path.c_str(), "org.freedesktop.DBus.Properties", "Get"));
            if (query)
                dbus_message_append_args(
                    query.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property, DBUS_TYPE_INVALID);
            queries.push_back(std::move(query));
        }
        const auto counts = callTogether(std::move(queries), budget);
        std::vector<std::pair<std::size_t, dbus_int32_t>> asked; // parent and index
        for (std::size_t i = 0; i < parents.size(); ++i) {
            const int count = std::min(countOf(counts[i].get()), maximumSearchedObjects);
            for (dbus_int32_t index = 0; index < count; ++index) {
                Message query(dbus_message_new_method_call(objects[parents[i]].bus.c_str(),
                    objects[parents[i]].path.c_str(), "org.a11y.atspi.Accessible", "GetChildAtIndex"));
                if (query)
                    dbus_message_append_args(query.get(), DBUS_TYPE_INT32, &index, DBUS_TYPE_INVALID);
                queries.push_back(std::move(query));
                asked.emplace_back(i, index);
            }
        }
        const auto replies = callTogether(std::move(queries), budget);
        std::vector<std::vector<int>> result(parents.size());
        for (std::size_t i = 0; i < asked.size() && int(objects.size()) < maximumSearchedObjects; ++i) {
            if (auto reference = referenceOf(replies[i].get())) {
                const auto [parent, index] = asked[i];
                result[parent].push_back(int(objects.size()));
                objects.push_back(
                    { std::move(reference->first), std::move(reference->second), parents[parent], index });
            }
        }
        return result;
    };
    search.exhausted = [&] { return int(objects.size()) >= maximumSearchedObjects || budget.exhausted(); };
    const auto found = deepestFocusedText(0, search);
    if (!found)
        return {};
    std::vector<int> route;
    for (int object = *found; objects[object].parent >= 0; object = objects[object].parent)
        route.push_back(objects[object].index);
    Object current(static_cast<AtspiAccessible*>(g_object_ref(frame)));
    for (auto index = route.rbegin(); index != route.rend(); ++index) {
        requireAlive(current.get());
        GError* error = nullptr;
        current
            = Object(budget.run([&] { return atspi_accessible_get_child_at_index(current.get(), *index, &error); }));
        check(error);
        if (!alive(current.get()))
            return {};
    }
    // The tree may have changed since it was walked: then the lookup looks again.
    const WalkedObject& wanted = objects[*found];
    if (busName(current.get()) != wanted.bus || !current.get()->parent.path
        || wanted.path != current.get()->parent.path) {
        qCDebug(atspiLog) << "The focused object moved while the tree was walked";
        return {};
    }
    if (foundStates)
        *foundStates = focusedStates[*found];
    return current;
}

/// The deepest FOCUSED object with Text below the frame (see deepestFocusedText).
Object focusedText(AtspiAccessible* frame, CallBudget& budget, GRef<AtspiStateSet>* foundStates = nullptr)
{
    if (auto matches = focusedByCollection(frame, budget)) {
        // The tree's order puts an object before its descendants: the last one is deepest.
        for (auto match = matches->rbegin(); match != matches->rend(); ++match)
            if (alive(match->get()) && hasText(match->get(), budget))
                return *match;
        if (!matches->empty())
            return {};
    }
    return walkToFocusedText(frame, budget, foundStates);
}

using OffsetUnit = TextOffsetUnit;

/// The length of the text in the toolkit's offsets.
int toolkitLength(const icu::UnicodeString& text, OffsetUnit unit)
{
    return unit == OffsetUnit::utf16 ? text.length() : text.countChar32();
}

/// What stays true of one element while it lives, kept from one press to the next.
struct ElementFacts {
    std::optional<std::string> name;
    std::optional<OffsetUnit> unit; // once a read proved it
};

class AtspiElement final : public AccessibleElement {
public:
    /// With what the lookup already read of the element: its states, its caret, and its
    /// window's name.
    AtspiElement(std::weak_ptr<AtspiAccessibilityBackend::Thread> thread, Object object, Object frame, OffsetUnit unit,
        Budget budget, GRef<AtspiStateSet> states = {}, std::shared_ptr<ElementFacts> facts = {},
        std::optional<int> caret = {}, std::optional<std::string> frameName = {})
        : m_thread(std::move(thread))
        , m_object(std::move(object))
        , m_frame(std::move(frame))
        , m_unit(unit)
        , m_budget(std::move(budget))
        , m_states(std::move(states))
        , m_facts(facts ? std::move(facts) : std::make_shared<ElementFacts>())
        , m_caretRead(caret)
        , m_frameName(std::move(frameName))
    {
        if (m_facts->unit)
            m_unit = *m_facts->unit;
    }
    ~AtspiElement() override
    {
        // The last reference to an object may only go where the library runs: it forgets the
        // object in tables that the bus's messages change there.
        if (auto thread = m_thread.lock(); thread && !thread->isCurrent())
            thread->post(
                [object = m_object, frame = m_frame, text = m_textInterface, editable = m_editableInterface] {});
    }
    AtspiElement(const AtspiElement&) = delete;
    AtspiElement& operator=(const AtspiElement&) = delete;

    icu::UnicodeString value() override
    {
        GRef<AtspiText> text = textInterface();
        GError* error = nullptr;
        gchar* content = run([&] { return atspi_text_get_text(text.get(), 0, -1, &error); });
        check(error);
        m_text = fromUtf8(takeString(content));
        return *m_text;
    }

    TextRange selectedRange() override
    {
        GRef<AtspiText> text = textInterface();
        GError* error = nullptr;
        const int selections = run([&] { return atspi_text_get_n_selections(text.get(), &error); });
        check(error);
        if (selections > 0) {
            AtspiRange* range = run([&] { return atspi_text_get_selection(text.get(), 0, &error); });
            check(error);
            if (!range)
                throw AXError(AXError::NoValue);
            const int start = range->start_offset;
            const int end = range->end_offset;
            g_free(range);
            if (end > start) {
                const int32_t location = toUnits(start);
                return { location, toUnits(end) - location };
            }
        }
        const int caret = run([&] { return atspi_text_get_caret_offset(text.get(), &error); });
        check(error);
        return { toUnits(caret), 0 };
    }

    void setSelectedRange(TextRange range) override
    {
        // The text may have changed through another element object since it was read here.
        struct Forget {
            std::optional<icu::UnicodeString>& text;
            ~Forget() { text.reset(); }
        } forget { m_text };
        GRef<AtspiText> text = textInterface();
        GError* error = nullptr;
        const int start = toOffset(range.location);
        if (range.length == 0) {
            run([&] { return atspi_text_set_caret_offset(text.get(), start, &error); });
            check(error);
            return;
        }
        const int end = toOffset(range.location + range.length);
        // Toolkits take the first selection's range also when there is none yet; where one
        // refuses, a new selection is added.
        gboolean done = run([&] { return atspi_text_set_selection(text.get(), 0, start, end, &error); });
        check(error);
        if (!done) {
            done = run([&] { return atspi_text_add_selection(text.get(), start, end, &error); });
            check(error);
        }
        if (!done)
            throw AXError(AXError::CannotComplete);
    }

    icu::UnicodeString selectedText() override
    {
        const TextRange range = selectedRange();
        m_selection = range;
        if (range.length == 0)
            return {};
        GRef<AtspiText> text = textInterface();
        GError* error = nullptr;
        gchar* content = run([&] {
            return atspi_text_get_text(
                text.get(), toOffset(range.location), toOffset(range.location + range.length), &error);
        });
        check(error);
        return fromUtf8(takeString(content));
    }

    void setSelectedText(const icu::UnicodeString& replacement) override
    {
        GRef<AtspiEditableText> editable = editableInterface();
        if (!editable)
            throw AXError(AXError::AttributeUnsupported);
        const TextRange range = m_selection ? *m_selection : selectedRange();
        const int start = toOffset(range.location);
        const int end = toOffset(range.location + range.length);
        if (end > start)
            deleteText(editable, start, end);
        if (m_text)
            m_text->replace(range.location, range.length, replacement);
        insertText(editable, start, replacement);
        m_selection.reset();
    }

    icu::UnicodeString title() override
    {
        requireAlive(m_object.get());
        if (!m_facts->name) {
            GError* error = nullptr;
            std::string read = takeString(run([&] { return atspi_accessible_get_name(m_object.get(), &error); }));
            check(error);
            m_facts->name = std::move(read);
        }
        const std::string& name = *m_facts->name;
        // An element without a name gives its window's title its turn.
        if (name.empty())
            throw AXError(AXError::NoValue);
        return fromUtf8(name);
    }

    std::shared_ptr<AccessibleElement> topLevelElement() override
    {
        if (!m_frame)
            throw AXError(AXError::NoValue);
        // A window's title changes with its file: it is read at every press.
        auto facts = std::make_shared<ElementFacts>();
        facts->name = m_frameName;
        return std::make_shared<AtspiElement>(
            m_thread, m_frame, m_frame, m_unit, m_budget, GRef<AtspiStateSet>(), facts);
    }

    std::optional<TextRect> bounds(TextRange range) override
    {
        GRef<AtspiText> text = textInterface();
        GError* error = nullptr;
        AtspiRect* rect = run([&] {
            return atspi_text_get_range_extents(text.get(), toOffset(range.location),
                toOffset(range.location + range.length), ATSPI_COORD_TYPE_SCREEN, &error);
        });
        if (error) {
            g_error_free(error);
            return std::nullopt;
        }
        if (!rect)
            return std::nullopt;
        TextRect result { double(rect->x), double(rect->y), double(rect->width), double(rect->height) };
        g_free(rect);
        return result;
    }

    CaretLine caretLine() override
    {
        GRef<AtspiText> text = textInterface();
        GError* error = nullptr;
        int caret = 0;
        if (m_caretRead) {
            caret = *std::exchange(m_caretRead, std::nullopt);
        } else if (m_lineStart && m_caret) {
            // Read again before a write: the caret and the line up to where it stood, in one
            // round trip. Unchanged, that is the line; else the line is read afresh.
            const std::string bus = busName(m_object.get());
            const std::string path = pathOf(m_object.get());
            std::vector<Message> queries;
            queries.push_back(propertyQuery(bus, path, "org.a11y.atspi.Text", "CaretOffset"));
            queries.push_back(textQuery(bus, path, *m_lineStart, *m_caret));
            requireAlive(m_object.get());
            const auto replies = callTogether(std::move(queries), *m_budget);
            const auto now = answerOf<int>(replies[0].get(), DBUS_TYPE_INT32);
            const auto line = answerOf<std::string>(replies[1].get(), DBUS_TYPE_STRING);
            if (!now || !line)
                throw AXError(AXError::CannotComplete);
            if (*now == *m_caret) {
                icu::UnicodeString read = fromUtf8(*line);
                if (read.indexOf(u'\n') < 0)
                    return { read };
            }
            caret = *now;
        } else {
            caret = run([&] { return atspi_text_get_caret_offset(text.get(), &error); });
            check(error);
        }
        if (caret < 0)
            throw AXError(AXError::NoValue);
        m_caret = caret;
        // Read back from the caret until a line feed or the start of the text shows up:
        // usually one short read, whatever the size of the document.
        for (int window = firstLineWindow;; window *= 4) {
            const int start = std::max(0, caret - window);
            gchar* content = run([&] { return atspi_text_get_text(text.get(), start, caret, &error); });
            check(error);
            const icu::UnicodeString read = fromUtf8(takeString(content));
            // The application's names can promise the wrong unit: what it returned proves it.
            if (const auto shown = offsetUnitShownBy(read, caret - start))
                m_facts->unit = m_unit = *shown;
            const int32_t lineFeed = read.lastIndexOf(u'\n');
            if (lineFeed >= 0 || start == 0 || window >= maximumLineLength) {
                const icu::UnicodeString line(read, lineFeed + 1);
                m_lineStart = caret - toolkitLength(line, m_unit);
                return { line };
            }
        }
    }

    bool isEditable() override
    {
        if (!m_states)
            m_states = states(m_object.get(), *m_budget);
        if (contains(m_states, ATSPI_STATE_READ_ONLY) || !contains(m_states, ATSPI_STATE_EDITABLE))
            return false;
        return bool(editableInterface());
    }

    void replaceOnLine(const icu::UnicodeString& before, const icu::UnicodeString& removed,
        const icu::UnicodeString& inserted) override
    {
        GRef<AtspiEditableText> editable = editableInterface();
        if (!editable)
            throw AXError(AXError::AttributeUnsupported);
        const int start = lineOffset(before);
        if (!removed.isEmpty())
            deleteText(editable, start, start + toolkitLength(removed, m_unit));
        insertText(editable, start, inserted);
    }

    void setCaretOnLine(const icu::UnicodeString& before) override
    {
        GRef<AtspiText> text = textInterface();
        GError* error = nullptr;
        const int offset = lineOffset(before);
        run([&] { return atspi_text_set_caret_offset(text.get(), offset, &error); });
        check(error);
    }

    icu::UnicodeString readOnLine(const icu::UnicodeString& expected) override
    {
        GRef<AtspiText> text = textInterface();
        const int start = lineOffset({});
        GError* error = nullptr;
        gchar* content = run(
            [&] { return atspi_text_get_text(text.get(), start, start + toolkitLength(expected, m_unit), &error); });
        check(error);
        return fromUtf8(takeString(content));
    }

private:
    template <typename Call> auto run(Call&& call) -> std::invoke_result_t<Call&>
    {
        requireAlive(m_object.get());
        return m_budget->run(std::forward<Call>(call));
    }

    int lineOffset(const icu::UnicodeString& before) const
    {
        if (!m_lineStart)
            throw AXError(AXError::NoValue);
        return *m_lineStart + toolkitLength(before, m_unit);
    }

    void deleteText(const GRef<AtspiEditableText>& editable, int start, int end)
    {
        GError* error = nullptr;
        if (!run([&] { return atspi_editable_text_delete_text(editable.get(), start, end, &error); })) {
            check(error);
            throw AXError(AXError::CannotComplete);
        }
    }

    void insertText(const GRef<AtspiEditableText>& editable, int position, const icu::UnicodeString& inserted)
    {
        if (inserted.isEmpty())
            return;
        const std::string utf8 = toUtf8(inserted);
        GError* error = nullptr;
        if (!run([&] {
                return atspi_editable_text_insert_text(
                    editable.get(), position, utf8.c_str(), gint(utf8.size()), &error);
            })) {
            check(error);
            throw AXError(AXError::CannotComplete);
        }
    }

    /// Runs a call that asks the application only when the library does not know the
    /// element's interfaces yet (they never change).
    template <typename Call> auto interfaceCall(Call&& call) -> std::invoke_result_t<Call&>
    {
        requireAlive(m_object.get());
        if (m_object.get()->cached_properties & ATSPI_CACHE_INTERFACES)
            return call();
        auto result = run(std::forward<Call>(call));
        m_budget->failIfSlow();
        return result;
    }

    GRef<AtspiText> textInterface()
    {
        if (!m_textInterface)
            m_textInterface
                = GRef<AtspiText>(interfaceCall([&] { return atspi_accessible_get_text_iface(m_object.get()); }));
        if (!m_textInterface)
            throw AXError(AXError::AttributeUnsupported);
        return m_textInterface;
    }

    GRef<AtspiEditableText> editableInterface()
    {
        if (!m_editableInterface)
            m_editableInterface = GRef<AtspiEditableText>(
                interfaceCall([&] { return atspi_accessible_get_editable_text_iface(m_object.get()); }));
        return m_editableInterface;
    }

    const icu::UnicodeString& currentText()
    {
        if (!m_text)
            value();
        return *m_text;
    }

    /// A toolkit offset as UTF-16 units.
    int32_t toUnits(int offset)
    {
        if (m_unit == OffsetUnit::utf16 || offset <= 0)
            return offset;
        const icu::UnicodeString& text = currentText();
        return text.moveIndex32(0, offset);
    }

    /// UTF-16 units as a toolkit offset.
    int toOffset(int32_t units)
    {
        if (m_unit == OffsetUnit::utf16 || units <= 0)
            return units;
        const icu::UnicodeString& text = currentText();
        return text.countChar32(0, std::min(units, text.length()));
    }

    std::weak_ptr<AtspiAccessibilityBackend::Thread> m_thread;
    Object m_object;
    Object m_frame;
    OffsetUnit m_unit;
    Budget m_budget;
    GRef<AtspiStateSet> m_states;
    GRef<AtspiText> m_textInterface;
    GRef<AtspiEditableText> m_editableInterface;
    std::optional<icu::UnicodeString> m_text;
    std::optional<TextRange> m_selection;
    std::optional<int> m_lineStart; // in toolkit offsets
    std::shared_ptr<ElementFacts> m_facts;
    std::optional<int> m_caretRead; // by the lookup, for the first read of the line
    std::optional<int> m_caret; // at the last read of the line, in toolkit offsets
    std::optional<std::string> m_frameName;
};

// MARK: Applications

std::string busName(AtspiAccessible* object)
{
    return alive(object) ? std::string(object->parent.app->bus_name) : std::string();
}

/// One call on the accessibility bus outside the library, which waits for its own answer
/// only: no other message is handled meanwhile, so no application can leave the bus (and
/// be freed by the library) in the middle of it.
DBusMessage* callDirectly(DBusMessage* message)
{
    DBusConnection* bus = atspi_get_a11y_bus();
    if (!bus || !message) {
        if (message)
            dbus_message_unref(message);
        return nullptr;
    }
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, message, callTimeoutMilliseconds, &error);
    dbus_message_unref(message);
    if (dbus_error_is_set(&error)) {
        qCDebug(atspiLog) << "Call failed:" << error.message;
        dbus_error_free(&error);
    }
    return reply;
}

std::optional<guint> processOf(const std::string& bus)
{
    DBusMessage* message = dbus_message_new_method_call(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionUnixProcessID");
    const char* name = bus.c_str();
    if (!message || !dbus_message_append_args(message, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID)) {
        if (message)
            dbus_message_unref(message);
        return std::nullopt;
    }
    DBusMessage* reply = callDirectly(message);
    if (!reply)
        return std::nullopt;
    dbus_uint32_t process = 0;
    const bool read = dbus_message_get_args(reply, nullptr, DBUS_TYPE_UINT32, &process, DBUS_TYPE_INVALID);
    dbus_message_unref(reply);
    return read ? std::optional<guint>(process) : std::nullopt;
}

/// A text property of the application's root object; empty when it does not answer.
std::string rootProperty(const std::string& bus, const char* interface, const char* property)
{
    DBusMessage* message = dbus_message_new_method_call(
        bus.c_str(), "/org/a11y/atspi/accessible/root", "org.freedesktop.DBus.Properties", "Get");
    if (!message
        || !dbus_message_append_args(
            message, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property, DBUS_TYPE_INVALID)) {
        if (message)
            dbus_message_unref(message);
        return {};
    }
    DBusMessage* reply = callDirectly(message);
    if (!reply)
        return {};
    std::string toolkit;
    DBusMessageIter iterator;
    DBusMessageIter variant;
    if (dbus_message_iter_init(reply, &iterator) && dbus_message_iter_get_arg_type(&iterator) == DBUS_TYPE_VARIANT) {
        dbus_message_iter_recurse(&iterator, &variant);
        if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_STRING) {
            const char* value = nullptr;
            dbus_message_iter_get_basic(&variant, &value);
            toolkit = value ? value : "";
        }
    }
    dbus_message_unref(reply);
    return toolkit;
}

/// What does not change while an application runs, by its name on the accessibility bus:
/// its process and the offset unit its names promise.
struct ApplicationFacts {
    guint process = 0;
    OffsetUnit unit = OffsetUnit::codePoints;
};

/// The facts of the application; none when it does not answer.
std::optional<ApplicationFacts> applicationFacts(const std::string& bus, CallBudget& budget)
{
    static std::map<std::string, ApplicationFacts> known;
    if (bus.empty())
        return std::nullopt;
    const auto found = known.find(bus);
    if (found != known.end())
        return found->second;
    const auto process = budget.run([&] { return processOf(bus); });
    if (!process)
        return std::nullopt;
    ApplicationFacts facts;
    facts.process = *process;
    // Never ask this process's own application: it would answer on the thread that waits.
    if (facts.process != guint(getpid())) {
        const std::string toolkit
            = budget.run([&] { return rootProperty(bus, "org.a11y.atspi.Application", "ToolkitName"); });
        budget.failIfSlow();
        const std::string name = budget.run([&] { return rootProperty(bus, "org.a11y.atspi.Accessible", "Name"); });
        budget.failIfSlow();
        facts.unit = offsetUnitOf(toolkit, name);
    }
    known[bus] = facts;
    return facts;
}

std::shared_ptr<ElementFacts> newFacts()
{
    return std::make_shared<ElementFacts>();
}

struct Focus {
    Object application;
    Object frame;
    Object element;
    OffsetUnit unit = OffsetUnit::codePoints;
    GRef<AtspiStateSet> elementStates; // as the lookup read them, when it did
    std::shared_ptr<ElementFacts> facts;
    std::optional<int> caret; // as the lookup read it, when it did
    std::optional<std::string> frameName; // likewise
};

/// Where the focus was found last: while the user stays in one editor window, checking
/// that its frame is still ACTIVE and the element still FOCUSED takes two calls instead of
/// a walk over every application.
std::optional<Focus>& lastFocus()
{
    static std::optional<Focus> focus;
    return focus;
}

std::optional<Focus> findFocusInLastFrame(CallBudget& budget)
{
    auto& last = lastFocus();
    if (!last || !alive(last->frame.get()))
        return std::nullopt;
    if (alive(last->element.get())) {
        // One round trip asks whether the window is still ACTIVE and the element still
        // FOCUSED, and what the press reads next: the window's title and the caret. States
        // and names come from the application, never from what the library remembered.
        const std::string frameBus = busName(last->frame.get());
        const std::string frame = pathOf(last->frame.get());
        const std::string elementBus = busName(last->element.get());
        const std::string element = pathOf(last->element.get());
        std::vector<Message> queries;
        queries.emplace_back(stateQuery(frameBus, frame));
        queries.emplace_back(stateQuery(elementBus, element));
        queries.push_back(propertyQuery(frameBus, frame, "org.a11y.atspi.Accessible", "Name"));
        queries.push_back(propertyQuery(elementBus, element, "org.a11y.atspi.Text", "CaretOffset"));
        const auto replies = callTogether(std::move(queries), budget);
        if (!contains(stateSetOf(replies[0].get()), ATSPI_STATE_ACTIVE))
            return std::nullopt;
        GRef<AtspiStateSet> set = stateSetOf(replies[1].get());
        if (contains(set, ATSPI_STATE_FOCUSED))
            return Focus { last->application, last->frame, last->element, last->unit, set, last->facts,
                answerOf<int>(replies[3].get(), DBUS_TYPE_INT32),
                answerOf<std::string>(replies[2].get(), DBUS_TYPE_STRING) };
    } else if (!contains(states(last->frame.get(), budget), ATSPI_STATE_ACTIVE)) {
        return std::nullopt;
    }
    GRef<AtspiStateSet> set;
    if (Object element = focusedText(last->frame.get(), budget, &set))
        return Focus { last->application, last->frame, element, last->unit, set, newFacts(), {}, {} };
    return std::nullopt;
}

std::optional<Focus> scanForFocus(CallBudget& budget)
{
    Object desktop(atspi_get_desktop(0));
    if (!desktop)
        return std::nullopt;
    atspi_accessible_clear_cache(desktop.get());
    const guint ownProcess = guint(getpid());
    std::optional<Focus> activeWithoutFocus;
    for (const Object& application : children(desktop.get(), budget)) {
        const std::string bus = busName(application.get());
        try {
            const auto facts = applicationFacts(bus, budget);
            if (!facts || facts->process == ownProcess)
                continue;
            atspi_accessible_clear_cache(application.get());
            for (const Object& frame : children(application.get(), budget)) {
                if (!contains(states(frame.get(), budget), ATSPI_STATE_ACTIVE))
                    continue;
                GRef<AtspiStateSet> set;
                if (Object element = focusedText(frame.get(), budget, &set))
                    return Focus { application, frame, element, facts->unit, set, newFacts(), {}, {} };
                if (!activeWithoutFocus)
                    activeWithoutFocus = Focus { application, frame, {}, facts->unit, {}, newFacts(), {}, {} };
            }
        } catch (const AXError& error) {
            // An application that left or hangs: the others may still hold the focus.
            qCDebug(atspiLog) << "Skipped an application:" << bus.c_str() << error.what();
            if (budget.exhausted())
                throw;
        }
    }
    return activeWithoutFocus;
}

/// The ACTIVE frame of another application and the FOCUSED text inside it.
std::optional<Focus> findFocus(CallBudget& budget)
{
    if (auto focus = findFocusInLastFrame(budget)) {
        lastFocus() = focus;
        return focus;
    }
    auto focus = scanForFocus(budget);
    if (focus && focus->element)
        lastFocus() = focus;
    else
        lastFocus().reset();
    return focus;
}

const QString a11yService = QStringLiteral("org.a11y.Bus");
const QString a11yPath = QStringLiteral("/org/a11y/bus");

} // namespace

AtspiAccessibilityBackend::AtspiAccessibilityBackend(std::function<void()> tellUserToEnableAccess, int focusRetries)
    : m_tellUserToEnableAccess(std::move(tellUserToEnableAccess))
    , m_focusRetries(focusRetries)
    , m_thread(std::make_shared<Thread>())
    , m_receiver(std::make_unique<QObject>())
{
    m_thread->setMainThreadPoster([receiver = m_receiver.get()](std::function<void()> work) {
        QMetaObject::invokeMethod(receiver, std::move(work), Qt::QueuedConnection);
    });
}

AtspiAccessibilityBackend::~AtspiAccessibilityBackend()
{
    // Stops the thread before the receiver of its continuations goes.
    m_thread.reset();
}

void AtspiAccessibilityBackend::initialize()
{
    if (m_initialized)
        return;
    if (!m_thread->readyLibrary()) {
        qCWarning(atspiLog) << "The accessibility bus cannot be reached yet";
        throw AXError(AXError::CannotComplete);
    }
    m_initialized = true;
}

void AtspiAccessibilityBackend::perform(std::function<void()> work, std::function<void()> then)
{
    QObject* receiver = m_receiver.get();
    m_thread->post([this, work = std::move(work), then = std::move(then), receiver] {
        m_thread->keepApplicationsOnTheBus();
        work();
        m_thread->keepApplicationsOnTheBus();
        QMetaObject::invokeMethod(receiver, then, Qt::QueuedConnection);
    });
}

bool AtspiAccessibilityBackend::isTrusted(bool prompt)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto readEnabled = [&bus] {
        QDBusMessage get = QDBusMessage::createMethodCall(
            a11yService, a11yPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled");
        const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
        return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
            && reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
    };
    bool enabled = readEnabled();
    if (!enabled && prompt) {
        QDBusMessage set = QDBusMessage::createMethodCall(
            a11yService, a11yPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        set << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled")
            << QVariant::fromValue(QDBusVariant(true));
        const QDBusMessage answer = bus.call(set, QDBus::Block, 2000);
        // Once the bus answers, this press goes on: editors that were already running join
        // the bus as they notice, and when none is found the user hears why.
        enabled = answer.type() == QDBusMessage::ReplyMessage && readEnabled();
        m_justEnabled = enabled;
        if (!enabled) {
            qCWarning(atspiLog) << "Assistive technologies could not be turned on:" << answer.errorMessage();
            if (m_tellUserToEnableAccess)
                m_tellUserToEnableAccess();
        }
    }
    return enabled;
}

std::shared_ptr<AccessibleElement> AtspiAccessibilityBackend::focusedElement()
{
    initialize();
    auto budget = std::make_shared<CallBudget>();
    {
        std::lock_guard lock(m_activeApplicationMutex);
        m_activeApplication.reset();
    }
    const bool justEnabled = m_justEnabled.exchange(false);
    std::optional<Focus> focus;
    try {
        // Right after the shortcut the editor may not have taken back its focus from the
        // key grab yet: look again a few times before calling it no focus.
        focus = findFocus(*budget);
        for (int attempt = 0; attempt < m_focusRetries && (!focus || !focus->element) && !budget->exhausted();
             ++attempt) {
            qCDebug(atspiLog) << "No focus yet; looking again";
            std::this_thread::sleep_for(std::chrono::milliseconds(focusRetryMilliseconds));
            focus = findFocus(*budget);
        }
    } catch (const AXError& error) {
        qCInfo(atspiLog) << "The focus lookup failed after" << budget->calls() << "calls:" << error.what();
        lastFocus().reset();
        throw;
    }
    if (focus && !focus->element && alive(focus->application.get())) {
        // Kept for the failure's notification, which must not look again.
        GError* error = nullptr;
        try {
            std::string name
                = takeString(budget->run([&] { return atspi_accessible_get_name(focus->application.get(), &error); }));
            if (!error) {
                std::lock_guard lock(m_activeApplicationMutex);
                m_activeApplication = std::move(name);
            }
        } catch (const AXError&) {
        }
        if (error)
            g_error_free(error);
    }
    if (!focus || !focus->element) {
        if (justEnabled)
            throw AccessibilityJustEnabledError();
        throw AXError(AXError::NoValue);
    }
    qCDebug(atspiLog) << "Focus found in" << budget->calls() << "calls," << budget->roundTrips() << "round trips,"
                      << budget->elapsed().count() << "ms";
    return std::make_shared<AtspiElement>(m_thread, focus->element, focus->frame, focus->unit, budget,
        focus->elementStates, focus->facts, focus->caret, focus->frameName);
}

std::optional<std::string> AtspiAccessibilityBackend::activeApplicationIdentifier()
{
    std::lock_guard lock(m_activeApplicationMutex);
    return m_activeApplication;
}

} // namespace quillet
