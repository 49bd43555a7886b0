#include "platform/atspi/AtspiAccessibilityBackend.h"

#include "platform/atspi/AccessibilityStatus.h"
#include "platform/atspi/AccessibilityThread.h"
#include "platform/atspi/AtspiConnection.h"
#include "platform/atspi/AtspiElement.h"
#include "platform/atspi/AtspiLog.h"
#include "platform/atspi/CallBudget.h"
#include "platform/atspi/FocusLookup.h"

#include <QMetaObject>

#include <chrono>
#include <thread>
#include <utility>

namespace quillet {
namespace {

constexpr auto focusRetryInterval = std::chrono::milliseconds(15);

} // namespace

AtspiAccessibilityBackend::AtspiAccessibilityBackend(std::function<void()> tellUserToEnableAccess, int focusRetries)
    : m_tellUserToEnableAccess(std::move(tellUserToEnableAccess))
    , m_focusRetries(focusRetries)
    , m_status(std::make_unique<AccessibilityStatus>())
    , m_lookup(std::make_unique<atspi::FocusLookup>())
    , m_receiver(std::make_unique<QObject>())
    , m_thread(std::make_unique<AccessibilityThread>())
{
    // Connected ahead of the first press, on the backend's thread: nothing waits for it.
    m_thread->post([this] {
        try {
            connection(CallBudget::pressBound);
        } catch (const std::exception& error) {
            qCInfo(atspiLog) << "No accessibility bus yet:" << error.what();
        }
    });
}

AtspiAccessibilityBackend::~AtspiAccessibilityBackend()
{
    // Stops the thread before what its work uses goes.
    m_thread.reset();
}

std::shared_ptr<atspi::AtspiConnection> AtspiAccessibilityBackend::connection(std::chrono::milliseconds bound)
{
    // What came since the last press: a bus that closed the connection meanwhile shows here,
    // before any call is sent on it.
    if (m_connection)
        m_connection->refresh();
    if (m_connection && !m_connection->isConnected()) {
        qCInfo(atspiLog) << "The accessibility bus closed the connection: connecting anew";
        m_connection.reset();
        m_lostConnection = true;
    }
    if (!m_connection) {
        m_lookup->forget(true);
        // A bus that did not answer a moment ago is not waited for again at once: a press
        // that came while the last attempt waited would otherwise wait twice.
        const auto now = std::chrono::steady_clock::now();
        try {
            if (m_lastFailedConnection && now - *m_lastFailedConnection < CallBudget::pressBound)
                throw AXError(AXError::CannotComplete);
            try {
                m_connection = atspi::AtspiConnection::open(bound);
            } catch (...) {
                m_lastFailedConnection = std::chrono::steady_clock::now();
                throw;
            }
        } catch (const AXError&) {
            // Where there was a bus a moment ago, the user hears that it went away.
            if (m_lostConnection)
                throw AccessibilityBusLostError();
            throw;
        }
        m_lastFailedConnection.reset();
        m_lostConnection = false;
    }
    return m_connection;
}

void AtspiAccessibilityBackend::perform(std::function<void()> work, std::function<void()> then)
{
    QObject* receiver = m_receiver.get();
    m_thread->post([work = std::move(work), then = std::move(then), receiver]() mutable {
        work();
        work = nullptr;
        // Handed over whole: what `then` holds is released on the receiver's thread, never here.
        QMetaObject::invokeMethod(receiver, std::move(then), Qt::QueuedConnection);
    });
}

bool AtspiAccessibilityBackend::isTrusted(bool prompt)
{
    bool enabled = m_status->isEnabled();
    if (!enabled && prompt) {
        // Once the bus answers, this press goes on: editors that were already running join
        // the bus as they notice, and when none is found the user hears why.
        QString failure;
        enabled = m_status->enable(&failure);
        m_justEnabled = enabled;
        if (!enabled) {
            qCWarning(atspiLog) << "Assistive technologies could not be turned on:" << failure;
            if (m_tellUserToEnableAccess)
                m_tellUserToEnableAccess();
        }
    }
    return enabled;
}

std::shared_ptr<AccessibleElement> AtspiAccessibilityBackend::focusedElement()
{
    auto budget = std::make_shared<CallBudget>();
    {
        std::lock_guard lock(m_activeApplicationMutex);
        m_activeApplication.reset();
    }
    const bool justEnabled = m_justEnabled.exchange(false);
    std::shared_ptr<atspi::AtspiConnection> bus;
    std::optional<atspi::Focus> focus;
    // A connection that the bus dropped (it restarted) is made anew, and the lookup made again
    // on it, once: the press goes on as if nothing had happened.
    for (int connections = 1;; ++connections) {
        const auto started = std::chrono::steady_clock::now();
        try {
            bus = connection(std::chrono::duration_cast<std::chrono::milliseconds>(budget->left()));
        } catch (...) {
            budget->spend(std::chrono::steady_clock::now() - started);
            throw;
        }
        budget->spend(std::chrono::steady_clock::now() - started);
        try {
            // Right after the shortcut the editor may not have taken back its focus from the key
            // grab yet: look again a few times before calling it no focus.
            focus = m_lookup->find(*bus, *budget);
            for (int attempt = 0; attempt < m_focusRetries && (!focus || !focus->element) && !budget->exhausted();
                 ++attempt) {
                qCDebug(atspiLog) << "No focus yet; looking again";
                std::this_thread::sleep_for(focusRetryInterval);
                budget->spend(focusRetryInterval);
                focus = m_lookup->find(*bus, *budget);
            }
            break;
        } catch (const AccessibilityBusLostError&) {
            m_connection.reset();
            m_lostConnection = true;
            if (connections == 2)
                throw;
        } catch (const std::exception& error) {
            qCInfo(atspiLog) << "The focus lookup failed after" << budget->calls() << "calls:" << error.what();
            // Right after this press turned assistive technologies on, the desktop's registry
            // and the editors are still starting up, and may be slow to answer: the user is asked
            // to press again, as when no editor has joined yet.
            const bool slow = dynamic_cast<const EditorNotAnsweringError*>(&error)
                || dynamic_cast<const EditorTooSlowError*>(&error);
            if (justEnabled && slow)
                throw AccessibilityJustEnabledError();
            throw;
        }
    }
    if (focus && !focus->element) {
        // Kept for the failure's notification, which must not look again.
        if (auto name = m_lookup->applicationName(*bus, focus->application, *budget)) {
            std::lock_guard lock(m_activeApplicationMutex);
            m_activeApplication = std::move(name);
        }
    }
    if (!focus || !focus->element) {
        if (justEnabled)
            throw AccessibilityJustEnabledError();
        throw AXError(AXError::NoValue);
    }
    qCDebug(atspiLog) << "Focus found in" << budget->calls() << "calls," << budget->roundTrips() << "round trips,"
                      << budget->spent().count() << "ms";
    const atspi::ObjectReference element = *focus->element;
    return std::make_shared<atspi::AtspiElement>(bus, std::move(budget), element, std::move(*focus));
}

std::optional<std::string> AtspiAccessibilityBackend::activeApplicationIdentifier()
{
    std::lock_guard lock(m_activeApplicationMutex);
    return m_activeApplication;
}

} // namespace quillet
