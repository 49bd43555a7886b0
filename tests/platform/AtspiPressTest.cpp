// Presses of the expand shortcut through the AT-SPI backend, as the application makes them,
// against scripted editors on a private accessibility bus (scripted_desktop.py): the editors
// are processes of their own, slowed, stopped or refusing edits on command, and the bus can
// restart under them.

#include "front/ExpandingController.h"
#include "library/BundleStore.h"
#include "platform/atspi/AtspiAccessibilityBackend.h"
#include "platform/atspi/CallBudget.h"
#include "support/TestSupport.h"
#include "text/UnicodeConversion.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillet {
namespace {

/// The scripted desktop, one JSON command a line.
class ScriptedDesktop {
public:
    ScriptedDesktop()
    {
        m_process.setProgram(QStringLiteral(QUILLET_GI_PYTHON));
        m_process.setArguments({ QStringLiteral(QUILLET_SCRIPTED_DESKTOP) });
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        ready = m_process.waitForStarted(10000) && answer().value(QStringLiteral("ready")).toBool();
    }
    ~ScriptedDesktop()
    {
        m_process.write("{\"command\": \"quit\"}\n");
        if (!m_process.waitForFinished(10000))
            m_process.kill();
    }

    QJsonObject command(QJsonObject order)
    {
        m_process.write(QJsonDocument(order).toJson(QJsonDocument::Compact) + "\n");
        const QJsonObject reply = answer();
        EXPECT_FALSE(reply.contains(QStringLiteral("error")))
            << reply.value(QStringLiteral("error")).toString().toStdString();
        return reply;
    }
    void start(const QString& name, const QString& text, bool active, int fastest = 0, int slowest = 0,
        const QStringList& refused = {})
    {
        command({ { "command", "start" }, { "name", name }, { "text", text }, { "active", active },
            { "delay", QJsonArray { fastest, slowest } }, { "refuse", QJsonArray::fromStringList(refused) } });
    }
    void set(const QString& name, const QString& text, bool active)
    {
        command({ { "command", "set" }, { "name", name }, { "text", text }, { "active", active } });
    }
    QString text(const QString& name) { return read(name).value(QStringLiteral("text")).toString(); }
    QJsonObject read(const QString& name) { return command({ { "command", "read" }, { "name", name } }); }
    void order(const char* what, const QString& name = {}) { command({ { "command", what }, { "name", name } }); }

    bool ready = false;

private:
    QJsonObject answer()
    {
        const QDeadlineTimer deadline(60000);
        while (!m_process.canReadLine() && !deadline.hasExpired())
            m_process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        return QJsonDocument::fromJson(m_process.readLine()).object();
    }

    QProcess m_process;
};

JSONDictionary expander(const std::string& pattern, const std::string& output)
{
    return { { "name", pattern }, { "pattern", pattern }, { "output_template", output }, { "is_enabled", true },
        { "supported_languages", { "any" } } };
}

/// What a press failed with: the error's type, "" for none.
std::string failureOf(const ExpandingController::PressOutcome& outcome)
{
    if (!outcome.error)
        return "";
    try {
        std::rethrow_exception(outcome.error);
    } catch (const EditRefusedError&) {
        return "EditRefusedError";
    } catch (const EditNotPutBackError&) {
        return "EditNotPutBackError";
    } catch (const EditorTooSlowError&) {
        return "EditorTooSlowError";
    } catch (const EditorNotAnsweringError&) {
        return "EditorNotAnsweringError";
    } catch (const AccessibilityBusLostError&) {
        return "AccessibilityBusLostError";
    } catch (const UserErrorDescriptionType& error) {
        return "user error " + toUtf8(error.userErrorTitle());
    } catch (const std::exception& error) {
        return std::string("error ") + error.what();
    }
}

class AtspiPressTest : public ::testing::Test {
protected:
    AtspiPressTest()
    {
        // The backend finds the bus as the desktop tells it, never through a variable left over.
        unsetenv("AT_SPI_BUS_ADDRESS");
        m_store = std::make_unique<BundleStore>(JSONDictionary { { "bundles",
            JSONDictionary::array({ JSONDictionary { { "name", "Test" },
                { "expanders",
                    JSONDictionary::array({ expander("for ${i:word} from ${a:word} to ${b:word}",
                        "for ${i} in ${a}...${b} {\n\t#\n}") }) } } }) } });
    }

    void SetUp() override
    {
        ASSERT_TRUE(m_desktop.ready) << "the scripted desktop did not start";
        m_controller.setAccessibilityBackend(std::make_shared<AtspiAccessibilityBackend>(nullptr, 0));
    }

    /// One press, run to its end while the event loop turns.
    ExpandingController::PressOutcome press()
    {
        std::optional<ExpandingController::PressOutcome> outcome;
        EXPECT_TRUE(m_controller.startExpanding(
            [&outcome](const ExpandingController::PressOutcome& ended) { outcome = ended; }));
        const QDeadlineTimer deadline(20000);
        while (!outcome && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_TRUE(outcome) << "the press never ended";
        return outcome.value_or(ExpandingController::PressOutcome {});
    }

    /// A press meant to expand in the editor NAME, made again while a machine busy with other
    /// tests starved the editor past the bound of a call: such a press must fail as one the
    /// editor did not answer, and leave its text as it was.
    ExpandingController::PressOutcome pressToExpand(const QString& name)
    {
        auto outcome = press();
        for (int again = 0; again < 2 && !outcome.expanded; ++again) {
            const std::string failure = failureOf(outcome);
            if (failure != "EditorNotAnsweringError" && failure != "EditorTooSlowError")
                break;
            EXPECT_EQ(m_desktop.text(name), m_line) << "after a press the editor did not answer in time: " << failure;
            m_desktop.set(name, m_line, true);
            outcome = press();
        }
        return outcome;
    }

    /// The line as the expansion turns it, by the search alone.
    QString expansionOf(const QString& line)
    {
        const auto expression = m_controller.expand(fromUtf8(line.toStdString()), icu::UnicodeString(u"swift"));
        EXPECT_TRUE(expression);
        return expression ? QString::fromStdString(toUtf8(expression->text)) : line;
    }

    const QString m_line = QStringLiteral("xy for i from 1 to n");
    ScriptedDesktop m_desktop;
    std::unique_ptr<BundleStore> m_store;
    ExpandingController m_controller { [this]() -> const BundleStore& { return *m_store; } };
};

TEST_F(AtspiPressTest, ThePressEndsWithTheTextAsItWasOrAsTheExpansionAndSaysWhich)
{
    struct Case {
        const char* name;
        int fastest, slowest; // ms a call
        QStringList refused;
        int presses;
        bool expands; // every press; otherwise each either expands or fails as one of `failures` says
        std::vector<std::string> failures;
    };
    // The expansion deletes "from 1 to n" and inserts what takes its place.
    const std::vector<Case> cases {
        { "an editor that answers at once", 0, 0, {}, 2, true, {} },
        // The deleted text is put back.
        { "an editor that refuses to insert more than one line", 0, 0, { "insert lines" }, 2, false,
            { "EditRefusedError" } },
        // Last, as every later case would ask it too while it looks for the focus. On a busy
        // machine one of its answers may come later than the call bound: then it did not answer.
        { "an editor answering each call in 66 to 96 ms, one at a time", 66, 96, {}, 6, false,
            { "EditorTooSlowError", "EditorNotAnsweringError" } },
    };
    const QString expansion = expansionOf(m_line);
    int editor = 0;
    for (const auto& c : cases) {
        // Each case in an editor of its own; the one before leaves the focus.
        const QString name = QStringLiteral("E%1").arg(++editor);
        if (editor > 1)
            m_desktop.set(QStringLiteral("E%1").arg(editor - 1), m_line, false);
        m_desktop.start(name, m_line, true, c.fastest, c.slowest, c.refused);
        for (int i = 0; i < c.presses; ++i) {
            m_desktop.set(name, m_line, true);
            const auto outcome = c.expands ? pressToExpand(name) : press();
            const QString after = m_desktop.text(name);
            const std::string failure = failureOf(outcome);
            if (outcome.expanded) {
                EXPECT_EQ(after, expansion) << c.name << ", press " << i;
            } else {
                EXPECT_FALSE(c.expands) << c.name << ", press " << i << ": " << failure;
                EXPECT_NE(std::find(c.failures.begin(), c.failures.end(), failure), c.failures.end())
                    << c.name << ", press " << i << ": " << failure;
                EXPECT_EQ(after, m_line) << c.name << ", press " << i << ": " << failure;
            }
        }
    }
}

TEST_F(AtspiPressTest, TheExpansionsLinesEndAsTheTextsAroundTheCaret)
{
    QString crLfExpansion = expansionOf(m_line);
    crLfExpansion.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    struct Case {
        QString text; // the caret at its end
        QString expanded;
    };
    const std::vector<Case> cases {
        { "let a = 1\r\n" + m_line, "let a = 1\r\n" + crLfExpansion },
        // Paragraphs that keep the carriage return of their line: a line typed after it, and
        // the caret after it.
        { "let a = 1\r" + m_line, "let a = 1\r" + crLfExpansion },
        { m_line + "\r", crLfExpansion + "\r" },
    };
    int editor = 0;
    for (const auto& c : cases) {
        const QString name = QStringLiteral("C%1").arg(++editor);
        if (editor > 1)
            m_desktop.set(QStringLiteral("C%1").arg(editor - 1), m_line, false);
        m_desktop.start(name, c.text, true, 0, 0, {});
        const auto outcome = press();
        EXPECT_TRUE(outcome.expanded) << failureOf(outcome);
        EXPECT_EQ(m_desktop.text(name), c.expanded);
    }
}

TEST_F(AtspiPressTest, AStoppedApplicationCostsOnePressAndTakesPartAgainOnceContinued)
{
    // The focus goes from A to C and back, so that every press looks for it among all the
    // applications, the stopped B among them.
    m_desktop.start("A", m_line, true);
    m_desktop.start("B", m_line, false);
    m_desktop.start("C", m_line, false);
    m_desktop.order("stop", "B");
    const QString expansion = expansionOf(m_line);
    // A press that waits for B's answer waits the bound of a call, as B never answers: only the
    // first press may; the later ones leave B out, and take a fraction of that.
    std::string durations;
    int pressed = 0;
    for (const char* focused : { "A", "C", "A", "C" }) {
        for (const char* name : { "A", "C" })
            m_desktop.set(name, m_line, QString::fromLatin1(name) == QLatin1String(focused));
        QElapsedTimer took;
        took.start();
        const auto outcome = press();
        const std::chrono::milliseconds duration { took.elapsed() };
        durations += std::to_string(duration.count()) + " ms; ";
        if (++pressed > 1) {
            EXPECT_LT(duration, CallBudget::callBound) << "press " << pressed << " waited for the stopped application";
        }
        EXPECT_TRUE(outcome.expanded) << focused << ": " << failureOf(outcome);
        EXPECT_EQ(m_desktop.text(focused), expansion) << focused;
    }
    m_desktop.order("continue", "B");
    // What it was asked while stopped, answered now: it was asked.
    EXPECT_GE(m_desktop.read("B").value(QStringLiteral("calls")).toInt(), 1) << "the presses took " << durations;

    // Continued, it answers again: the press after next finds the focus there at the latest.
    for (const char* name : { "A", "C" })
        m_desktop.set(name, m_line, false);
    m_desktop.set("B", m_line, true);
    auto outcome = press();
    if (!outcome.expanded) {
        EXPECT_EQ(failureOf(outcome), "EditorNotAnsweringError");
        outcome = press();
    }
    EXPECT_TRUE(outcome.expanded) << failureOf(outcome);
    EXPECT_EQ(m_desktop.text("B"), expansion);
}

TEST_F(AtspiPressTest, AfterTheBusRestartsThePressConnectsAnewAndTellsTheTruth)
{
    m_desktop.start("A", m_line, true);
    const QString expansion = expansionOf(m_line);
    const auto before = pressToExpand(QStringLiteral("A"));
    ASSERT_TRUE(before.expanded) << failureOf(before);

    m_desktop.order("restart");
    m_desktop.set("A", m_line, true);
    const auto first = press();
    if (first.expanded)
        EXPECT_EQ(m_desktop.text("A"), expansion);
    else
        EXPECT_EQ(failureOf(first), "AccessibilityBusLostError") << "the first press after the restart";
    m_desktop.set("A", m_line, true);
    const auto next = pressToExpand(QStringLiteral("A"));
    EXPECT_TRUE(next.expanded) << failureOf(next);
    EXPECT_EQ(m_desktop.text("A"), expansion);
}

TEST_F(AtspiPressTest, APressThatTurnsAccessibilityOnAsksForAnotherWhileTheDesktopStartsUp)
{
    m_desktop.start("A", m_line, true);
    const QString expansion = expansionOf(m_line);
    // A registry that is starting answers later than any call may wait; one that answers at
    // once has nothing focused yet. Either way the user hears to press again.
    for (const int registryDelay : { 600, 0 }) {
        m_desktop.command({ { "command", "switch off" }, { "delay", registryDelay } });
        m_desktop.set("A", m_line, false);
        m_controller.setAccessibilityBackend(std::make_shared<AtspiAccessibilityBackend>(nullptr, 0));
        const auto first = press();
        EXPECT_EQ(failureOf(first), "user error Accessibility is now on") << registryDelay << " ms";
        EXPECT_EQ(m_desktop.text("A"), m_line);
        m_desktop.set("A", m_line, true);
        const auto next = pressToExpand(QStringLiteral("A"));
        EXPECT_TRUE(next.expanded) << registryDelay << " ms: " << failureOf(next);
        EXPECT_EQ(m_desktop.text("A"), expansion);
    }
}

} // namespace
} // namespace quillet

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
