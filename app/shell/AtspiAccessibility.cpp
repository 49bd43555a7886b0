#include "shell/AtspiAccessibility.h"

#include "text/UnicodeConversion.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QLoggingCategory>

#include <atspi/atspi.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <thread>

namespace quillet {
namespace {

Q_LOGGING_CATEGORY(atspiLog, "quillet.atspi")

constexpr int focusRetryMilliseconds = 15;

// A subtree larger than this is not searched by hand for the focused object.
constexpr int maximumSearchedObjects = 4000;

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

bool hasState(AtspiAccessible* object, AtspiStateType state)
{
    AtspiStateSet* states = atspi_accessible_get_state_set(object);
    if (!states)
        return false;
    const bool contains = atspi_state_set_contains(states, state);
    g_object_unref(states);
    return contains;
}

int childCount(AtspiAccessible* object)
{
    GError* error = nullptr;
    const int count = atspi_accessible_get_child_count(object, &error);
    if (error) {
        g_error_free(error);
        return 0;
    }
    return count;
}

Object childAt(AtspiAccessible* object, int index)
{
    GError* error = nullptr;
    AtspiAccessible* child = atspi_accessible_get_child_at_index(object, index, &error);
    if (error) {
        g_error_free(error);
        return {};
    }
    return Object(child);
}

/// The focused object below the frame: one Collection query where the toolkit offers it,
/// else a search of the tree (showing objects only).
Object focusedDescendant(AtspiAccessible* frame)
{
    if (AtspiCollection* collection = atspi_accessible_get_collection_iface(frame)) {
        AtspiStateSet* states = atspi_state_set_new(nullptr);
        atspi_state_set_add(states, ATSPI_STATE_FOCUSED);
        AtspiMatchRule* rule
            = atspi_match_rule_new(states, ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, nullptr,
                ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, FALSE);
        GError* error = nullptr;
        GArray* matches
            = atspi_collection_get_matches(collection, rule, ATSPI_Collection_SORT_ORDER_CANONICAL, 1, TRUE, &error);
        g_object_unref(rule);
        g_object_unref(states);
        g_object_unref(collection);
        if (!error) {
            Object found;
            if (matches && matches->len > 0)
                found
                    = Object(static_cast<AtspiAccessible*>(g_object_ref(g_array_index(matches, AtspiAccessible*, 0))));
            if (matches) {
                for (guint i = 0; i < matches->len; ++i)
                    g_object_unref(g_array_index(matches, AtspiAccessible*, i));
                g_array_free(matches, TRUE);
            }
            return found;
        }
        g_error_free(error);
    }
    std::vector<Object> pending { Object(static_cast<AtspiAccessible*>(g_object_ref(frame))) };
    int visited = 0;
    while (!pending.empty() && visited++ < maximumSearchedObjects) {
        Object object = pending.back();
        pending.pop_back();
        AtspiStateSet* states = atspi_accessible_get_state_set(object.get());
        const bool focused = states && atspi_state_set_contains(states, ATSPI_STATE_FOCUSED);
        const bool showing = !states || atspi_state_set_contains(states, ATSPI_STATE_SHOWING) || object.get() == frame;
        if (states)
            g_object_unref(states);
        if (focused)
            return object;
        if (!showing)
            continue;
        const int count = childCount(object.get());
        for (int i = count - 1; i >= 0; --i)
            if (Object child = childAt(object.get(), i))
                pending.push_back(child);
    }
    return {};
}

/// How a toolkit counts text offsets.
enum class OffsetUnit { codePoints, utf16 };

class AtspiElement final : public AccessibleElement {
public:
    AtspiElement(Object object, Object frame, OffsetUnit unit)
        : m_object(std::move(object))
        , m_frame(std::move(frame))
        , m_unit(unit)
    {
    }

    icu::UnicodeString value() override
    {
        GRef<AtspiText> text = textInterface();
        GError* error = nullptr;
        gchar* content = atspi_text_get_text(text.get(), 0, -1, &error);
        check(error);
        m_text = fromUtf8(takeString(content));
        return *m_text;
    }

    TextRange selectedRange() override
    {
        GRef<AtspiText> text = textInterface();
        GError* error = nullptr;
        const int selections = atspi_text_get_n_selections(text.get(), &error);
        check(error);
        if (selections > 0) {
            AtspiRange* range = atspi_text_get_selection(text.get(), 0, &error);
            check(error);
            const int start = range->start_offset;
            const int end = range->end_offset;
            g_free(range);
            if (end > start) {
                const int32_t location = toUnits(start);
                return { location, toUnits(end) - location };
            }
        }
        const int caret = atspi_text_get_caret_offset(text.get(), &error);
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
            atspi_text_set_caret_offset(text.get(), start, &error);
            check(error);
            return;
        }
        const int end = toOffset(range.location + range.length);
        // Toolkits take the first selection's range also when there is none yet; where one
        // refuses, a new selection is added.
        gboolean done = atspi_text_set_selection(text.get(), 0, start, end, &error);
        check(error);
        if (!done) {
            done = atspi_text_add_selection(text.get(), start, end, &error);
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
        gchar* content = atspi_text_get_text(
            text.get(), toOffset(range.location), toOffset(range.location + range.length), &error);
        check(error);
        return fromUtf8(takeString(content));
    }

    void setSelectedText(const icu::UnicodeString& replacement) override
    {
        GRef<AtspiEditableText> editable(atspi_accessible_get_editable_text_iface(m_object.get()));
        if (!editable)
            throw AXError(AXError::AttributeUnsupported);
        const TextRange range = m_selection ? *m_selection : selectedRange();
        const int start = toOffset(range.location);
        const int end = toOffset(range.location + range.length);
        GError* error = nullptr;
        if (end > start) {
            if (!atspi_editable_text_delete_text(editable.get(), start, end, &error)) {
                check(error);
                throw AXError(AXError::CannotComplete);
            }
        }
        if (m_text)
            m_text->replace(range.location, range.length, replacement);
        if (!replacement.isEmpty()) {
            const std::string utf8 = toUtf8(replacement);
            if (!atspi_editable_text_insert_text(editable.get(), start, utf8.c_str(), gint(utf8.size()), &error)) {
                check(error);
                throw AXError(AXError::CannotComplete);
            }
        }
        m_selection.reset();
    }

    icu::UnicodeString title() override
    {
        GError* error = nullptr;
        const std::string name = takeString(atspi_accessible_get_name(m_object.get(), &error));
        check(error);
        // An element without a name gives its window's title its turn.
        if (name.empty())
            throw AXError(AXError::NoValue);
        return fromUtf8(name);
    }

    std::shared_ptr<AccessibleElement> topLevelElement() override
    {
        if (!m_frame)
            throw AXError(AXError::NoValue);
        return std::make_shared<AtspiElement>(m_frame, m_frame, m_unit);
    }

    std::optional<TextRect> bounds(TextRange range) override
    {
        GRef<AtspiText> text = textInterface();
        GError* error = nullptr;
        AtspiRect* rect = atspi_text_get_range_extents(text.get(), toOffset(range.location),
            toOffset(range.location + range.length), ATSPI_COORD_TYPE_SCREEN, &error);
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

private:
    GRef<AtspiText> textInterface()
    {
        GRef<AtspiText> text(atspi_accessible_get_text_iface(m_object.get()));
        if (!text)
            throw AXError(AXError::AttributeUnsupported);
        return text;
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

    Object m_object;
    Object m_frame;
    OffsetUnit m_unit;
    std::optional<icu::UnicodeString> m_text;
    std::optional<TextRange> m_selection;
};

/// What does not change while an application runs, by its name on the accessibility bus:
/// its process and its toolkit's offset unit. Saves two calls per application and lookup.
struct ApplicationFacts {
    guint process = 0;
    OffsetUnit unit = OffsetUnit::codePoints;
};

std::string busName(AtspiAccessible* object)
{
    const AtspiApplication* application = object ? object->parent.app : nullptr;
    return application && application->bus_name ? application->bus_name : std::string();
}

OffsetUnit readOffsetUnit(AtspiAccessible* application)
{
    GError* error = nullptr;
    const std::string toolkit = takeString(atspi_accessible_get_toolkit_name(application, &error));
    if (error)
        g_error_free(error);
    return QString::fromStdString(toolkit).compare(QLatin1String("Qt"), Qt::CaseInsensitive) == 0
        ? OffsetUnit::utf16
        : OffsetUnit::codePoints;
}

/// The facts of the application; none when it does not answer.
std::optional<ApplicationFacts> applicationFacts(AtspiAccessible* application)
{
    static std::map<std::string, ApplicationFacts> known;
    const std::string name = busName(application);
    if (!name.empty()) {
        const auto found = known.find(name);
        if (found != known.end())
            return found->second;
    }
    GError* error = nullptr;
    ApplicationFacts facts;
    facts.process = atspi_accessible_get_process_id(application, &error);
    if (error) {
        g_error_free(error);
        return std::nullopt;
    }
    // Never ask this process's own application: it would answer on the thread that waits.
    if (facts.process != guint(getpid()))
        facts.unit = readOffsetUnit(application);
    if (!name.empty())
        known[name] = facts;
    return facts;
}

struct Focus {
    Object application;
    Object frame;
    Object element;
    OffsetUnit unit = OffsetUnit::codePoints;
};

/// The ACTIVE frame of another application and the FOCUSED object inside it.
/// The frame where the focus was found last, tried first: while the user stays in one
/// editor window this takes two calls instead of a walk over every application.
std::optional<Focus>& lastFocus()
{
    static std::optional<Focus> focus;
    return focus;
}

std::optional<Focus> findFocusInLastFrame()
{
    auto& last = lastFocus();
    if (!last)
        return std::nullopt;
    atspi_accessible_clear_cache(last->frame.get());
    if (!hasState(last->frame.get(), ATSPI_STATE_ACTIVE))
        return std::nullopt;
    Object element = focusedDescendant(last->frame.get());
    if (!element)
        return std::nullopt;
    return Focus { last->application, last->frame, element, last->unit };
}

std::optional<Focus> scanForFocus()
{
    Object desktop(atspi_get_desktop(0));
    if (!desktop)
        return std::nullopt;
    atspi_accessible_clear_cache(desktop.get());
    const guint ownProcess = guint(getpid());
    const int applications = childCount(desktop.get());
    std::optional<Focus> activeWithoutFocus;
    for (int a = 0; a < applications; ++a) {
        Object application = childAt(desktop.get(), a);
        if (!application)
            continue;
        const auto facts = applicationFacts(application.get());
        if (!facts || facts->process == ownProcess)
            continue;
        // Read afresh: what the library remembered may be out of date.
        atspi_accessible_clear_cache(application.get());
        const int frames = childCount(application.get());
        for (int f = 0; f < frames; ++f) {
            Object frame = childAt(application.get(), f);
            if (!frame || !hasState(frame.get(), ATSPI_STATE_ACTIVE))
                continue;
            if (Object element = focusedDescendant(frame.get()))
                return Focus { application, frame, element, facts->unit };
            if (!activeWithoutFocus)
                activeWithoutFocus = Focus { application, frame, {}, facts->unit };
        }
    }
    return activeWithoutFocus;
}

/// The ACTIVE frame of another application and the FOCUSED object inside it, checked
/// afresh on every call.
std::optional<Focus> findFocus()
{
    if (auto focus = findFocusInLastFrame())
        return focus;
    auto focus = scanForFocus();
    if (focus && focus->element)
        lastFocus() = Focus { focus->application, focus->frame, {}, focus->unit };
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
{
}

AtspiAccessibilityBackend::~AtspiAccessibilityBackend() = default;

bool AtspiAccessibilityBackend::isTrusted(bool prompt)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage get = QDBusMessage::createMethodCall(
        a11yService, a11yPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
    bool enabled = false;
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
        enabled = reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
    if (enabled) {
        if (!m_initialized) {
            atspi_init();
            m_initialized = true;
        }
        return true;
    }
    if (prompt) {
        QDBusMessage set = QDBusMessage::createMethodCall(
            a11yService, a11yPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        set << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled")
            << QVariant::fromValue(QDBusVariant(true));
        const QDBusMessage answer = bus.call(set, QDBus::Block, 2000);
        if (answer.type() != QDBusMessage::ReplyMessage) {
            qCWarning(atspiLog) << "Assistive technologies could not be turned on:" << answer.errorMessage();
            if (m_tellUserToEnableAccess)
                m_tellUserToEnableAccess();
        }
    }
    return false;
}

std::shared_ptr<AccessibleElement> AtspiAccessibilityBackend::focusedElement()
{
    if (!m_initialized) {
        atspi_init();
        m_initialized = true;
    }
    // Right after the shortcut the editor may not have taken back its focus from the key
    // grab yet: look again a few times before calling it no focus.
    auto focus = findFocus();
    for (int attempt = 0; attempt < m_focusRetries && (!focus || !focus->element); ++attempt) {
        qCDebug(atspiLog) << "No focus yet; looking again";
        std::this_thread::sleep_for(std::chrono::milliseconds(focusRetryMilliseconds));
        focus = findFocus();
    }
    if (!focus || !focus->element)
        throw AXError(AXError::NoValue);
    return std::make_shared<AtspiElement>(focus->element, focus->frame, focus->unit);
}

std::optional<std::string> AtspiAccessibilityBackend::activeApplicationIdentifier()
{
    if (!m_initialized)
        return std::nullopt;
    const auto focus = findFocus();
    if (!focus)
        return std::nullopt;
    GError* error = nullptr;
    std::string name = takeString(atspi_accessible_get_name(focus->application.get(), &error));
    if (error) {
        g_error_free(error);
        return std::nullopt;
    }
    return name;
}

} // namespace quillet
