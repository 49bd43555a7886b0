#pragma once

#include "front/Accessibility.h"
#include "platform/atspi/AtspiConnection.h"
#include "platform/atspi/AtspiMessages.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillet {

class CallBudget;

namespace atspi {

/// What does not change while an application runs, by its name on the accessibility bus.
struct ApplicationFacts {
    uint32_t process = 0;
    TextOffsetUnit unit = TextOffsetUnit::codePoints;
    /// Its texts put U+FEFF after each character outside the BMP.
    bool padded = false;
};

/// What stays true of one element while it lives, kept from one press to the next.
struct ElementFacts {
    std::optional<std::string> name;
    std::optional<TextOffsetUnit> unit; // once a read proved it
    std::optional<bool> hasText;
    std::optional<bool> hasEditableText;
    /// It refused an edit of other programs (or answered it as done and kept its text): it is
    /// written through the keyboard (AccessibleElement::noteEditsRefused()).
    bool refusesEdits = false;
    /// It answers nothing for a span that runs past the end of its text (Gecko), rather than
    /// what the text holds of it: its length is asked with every read.
    bool emptyPastEnd = false;
};

/// The focused element as a lookup found it, with what it read of it on the way.
struct Focus {
    ObjectReference application {};
    ObjectReference frame {};
    std::optional<ObjectReference> element {}; // none: an ACTIVE frame without a focused text
    ApplicationFacts facts {};
    std::shared_ptr<ElementFacts> elementFacts = std::make_shared<ElementFacts>();
    std::optional<StateSet> elementStates {};
    std::optional<int32_t> caret {};
    std::optional<std::string> frameName {};
};

/// Finds the focused text of the desktop: the deepest object with state FOCUSED that has Text
/// inside the ACTIVE frame of another application (see deepestFocusedText()). Keeps where it
/// found it last, and what it learnt of each application, for the next press. Lives on the
/// accessibility thread.
///
/// An application that did not answer in time (stopped, or hung) costs the press that met it,
/// not the next ones: it is left out of the lookups from then on, and asked once in a while,
/// without waiting for the answer, whether it answers again; once it has, it takes part again.
class FocusLookup {
public:
    /// Throws EditorNotAnsweringError when the application that may hold the focus does not
    /// answer in time (or did not at an earlier press, and has not answered since), and AXError
    /// when the bus fails.
    std::optional<Focus> find(AtspiConnection& connection, CallBudget& budget);
    /// The name of an application (its root's Name); none when it does not answer.
    std::optional<std::string> applicationName(
        AtspiConnection& connection, const ObjectReference& application, CallBudget& budget);
    /// Forgets the last focus and the applications (after a failure, or on a new connection).
    void forget(bool applicationsToo);

private:
    std::optional<Focus> findInLastFrame(AtspiConnection& connection, CallBudget& budget);
    std::optional<Focus> scan(AtspiConnection& connection, CallBudget& budget);
    /// Learns the facts of the applications not known yet, all together; false for those that
    /// did not answer in time.
    void learn(AtspiConnection& connection, const std::vector<ObjectReference>& applications, CallBudget& budget,
        bool& someUnanswered);

    /// Leaves the application out of the lookups until it answers again.
    void markUnresponsive(const std::string& bus);
    bool isUnresponsive(const std::string& bus) const { return m_unresponsive.contains(bus); }
    /// Takes back the applications that answered since; those asked long ago are asked again.
    void recheckUnresponsive(AtspiConnection& connection);
    /// Asks those not asked yet whether they answer again, without waiting for the answer.
    void askUnresponsive(AtspiConnection& connection);

    struct Unresponsive {
        std::unique_ptr<PendingAnswer> probe;
        std::chrono::steady_clock::time_point asked {};
    };

    std::map<std::string, ApplicationFacts> m_applications;
    std::map<std::string, Unresponsive> m_unresponsive;
    std::optional<Focus> m_last;
};

} // namespace atspi
} // namespace quillet
