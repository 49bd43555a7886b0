#pragma once

// An editor's text element in memory for the tests of the expansion at the caret.

#include "front/Accessibility.h"
#include "text/UnicodeConversion.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quillet::test {

/// An editor's text element in memory that writes down every call, in order.
struct FakeEditor {
    icu::UnicodeString text;
    TextRange selection;
    icu::UnicodeString elementTitle;
    icu::UnicodeString windowTitle = u"main.swift - Editor";
    bool trusted = true;
    bool focused = true;
    bool editable = true;
    /// Answers every edit with success and keeps its text (as some toolkits do).
    bool swallowsEdits = false;
    /// Answers these parts of an edit with failure and leaves them undone.
    bool refusesDeletion = false;
    bool refusesInsertion = false;
    /// Refuses every edit that puts back what an earlier one left half done.
    bool refusesRestoring = false;
    /// Carries out the whole edit, but answers nothing after its first part (it stopped).
    bool stopsAnsweringInEdits = false;
    /// Runs after every read of the caret's line: the user typing on meanwhile.
    std::function<void(FakeEditor&)> afterLineRead;
    std::vector<std::string> log;
};

inline std::string describe(TextRange range)
{
    return "(" + std::to_string(range.location) + "," + std::to_string(range.length) + ")";
}

class FakeElement final : public AccessibleElement {
public:
    FakeElement(FakeEditor& editor, bool window)
        : m_editor(editor)
        , m_window(window)
    {
    }
    icu::UnicodeString title() override
    {
        m_editor.log.push_back(m_window ? "windowTitle" : "title");
        const auto& title = m_window ? m_editor.windowTitle : m_editor.elementTitle;
        if (title.isEmpty())
            throw AXError(AXError::NoValue);
        return title;
    }
    std::shared_ptr<AccessibleElement> topLevelElement() override
    {
        m_editor.log.push_back("topLevel");
        return std::make_shared<FakeElement>(m_editor, true);
    }
    CaretLine caretLine() override
    {
        m_editor.log.push_back("caretLine");
        const int32_t caret = m_editor.selection.location;
        m_lineStart = caret == 0 ? 0 : m_editor.text.lastIndexOf(u'\n', 0, caret) + 1;
        CaretLine line { icu::UnicodeString(m_editor.text, m_lineStart, caret - m_lineStart),
            m_lineStart > 1 && m_editor.text[m_lineStart - 2] == u'\r' };
        if (m_editor.afterLineRead)
            m_editor.afterLineRead(m_editor);
        return line;
    }
    bool isEditable() override
    {
        m_editor.log.push_back("editable");
        return m_editor.editable;
    }
    LineEditAnswers editLine(const LineEdit& edit) override
    {
        using Answer = LineEditAnswers::Answer;
        const int32_t start = m_lineStart + edit.before.length();
        std::string logged = edit.restores ? "restore(" : "write(";
        LineEditAnswers answers;
        bool answering = true;
        const auto answer = [&](bool done) {
            const Answer given = !answering ? Answer::unanswered : done ? Answer::done : Answer::refused;
            answering = answering && !m_editor.stopsAnsweringInEdits;
            return given;
        };
        const bool refusesAll = edit.restores && m_editor.refusesRestoring;
        if (!edit.removed.isEmpty()) {
            logged += "delete" + describe({ start, edit.removed.length() }) + " ";
            const bool refused = refusesAll || (!edit.restores && m_editor.refusesDeletion)
                || icu::UnicodeString(m_editor.text, start, edit.removed.length()) != edit.removed;
            if (!refused && !m_editor.swallowsEdits)
                m_editor.text.remove(start, edit.removed.length());
            answers.deletion = answer(!refused);
        }
        if (!edit.inserted.isEmpty()) {
            logged += "insert(" + std::to_string(start) + "," + toUtf8(edit.inserted) + ") ";
            const bool refused = refusesAll || (!edit.restores && m_editor.refusesInsertion);
            if (!refused && !m_editor.swallowsEdits)
                m_editor.text.insert(start, edit.inserted);
            answers.insertion = answer(!refused);
        }
        const int32_t caret = m_lineStart + edit.caretAfter.length();
        logged += "caret(" + std::to_string(caret) + ") read(" + std::to_string(edit.shown.length()) + "))";
        m_editor.selection = { std::min(caret, m_editor.text.length()), 0 };
        (void)answer(true);
        if (answering)
            answers.shown = icu::UnicodeString(m_editor.text, m_lineStart, edit.shown.length());
        m_editor.log.push_back(logged);
        return answers;
    }

private:
    FakeEditor& m_editor;
    bool m_window;
    int32_t m_lineStart = 0;
};

class FakeBackend final : public AccessibilityBackend {
public:
    explicit FakeBackend(FakeEditor& editor)
        : m_editor(editor)
    {
    }
    bool isTrusted(bool prompt) override
    {
        m_editor.log.push_back(prompt ? "trust(prompt)" : "trust");
        return m_editor.trusted;
    }
    std::shared_ptr<AccessibleElement> focusedElement() override
    {
        m_editor.log.push_back("focus");
        if (!m_editor.focused)
            throw AXError(AXError::NoValue);
        return std::make_shared<FakeElement>(m_editor, false);
    }
    void perform(std::function<void()> work, std::function<void()> then) override
    {
        if (!deferred)
            return AccessibilityBackend::perform(std::move(work), std::move(then));
        steps.push_back([work = std::move(work), then = std::move(then)] {
            work();
            then();
        });
    }
    /// Runs the step that waits longest; false when none waits.
    bool runStep()
    {
        if (steps.empty())
            return false;
        auto step = std::move(steps.front());
        steps.erase(steps.begin());
        step();
        return true;
    }

    /// Keeps the work of perform() until runStep(), as a backend on a thread of its own does.
    bool deferred = false;
    std::vector<std::function<void()>> steps;

private:
    FakeEditor& m_editor;
};

} // namespace quillet::test
