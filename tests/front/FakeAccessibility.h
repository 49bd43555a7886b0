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
    icu::UnicodeString value() override
    {
        m_editor.log.push_back("value");
        return m_editor.text;
    }
    TextRange selectedRange() override
    {
        m_editor.log.push_back("selectedRange");
        return m_editor.selection;
    }
    void setSelectedRange(TextRange range) override
    {
        m_editor.log.push_back("setSelectedRange" + describe(range));
        if (range.location < 0 || range.length < 0 || range.location + range.length > m_editor.text.length())
            throw AXError(AXError::IllegalArgument);
        m_editor.selection = range;
    }
    icu::UnicodeString selectedText() override
    {
        m_editor.log.push_back("selectedText");
        return icu::UnicodeString(m_editor.text, m_editor.selection.location, m_editor.selection.length);
    }
    void setSelectedText(const icu::UnicodeString& text) override
    {
        m_editor.log.push_back("setSelectedText(" + toUtf8(text) + ")");
        m_editor.text.replace(m_editor.selection.location, m_editor.selection.length, text);
        m_editor.selection = { m_editor.selection.location + text.length(), 0 };
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
    std::optional<TextRect> bounds(TextRange) override { return std::nullopt; }
    CaretLine caretLine() override
    {
        m_editor.log.push_back("caretLine");
        const int32_t caret = m_editor.selection.location;
        m_lineStart = caret == 0 ? 0 : m_editor.text.lastIndexOf(u'\n', 0, caret) + 1;
        CaretLine line { icu::UnicodeString(m_editor.text, m_lineStart, caret - m_lineStart) };
        if (m_editor.afterLineRead)
            m_editor.afterLineRead(m_editor);
        return line;
    }
    bool isEditable() override
    {
        m_editor.log.push_back("editable");
        return m_editor.editable;
    }
    void replaceOnLine(const icu::UnicodeString& before, const icu::UnicodeString& removed,
        const icu::UnicodeString& inserted) override
    {
        const int32_t start = m_lineStart + before.length();
        if (!removed.isEmpty()) {
            m_editor.log.push_back("delete" + describe({ start, removed.length() }));
            if (icu::UnicodeString(m_editor.text, start, removed.length()) != removed)
                throw AXError(AXError::IllegalArgument);
            if (!m_editor.swallowsEdits)
                m_editor.text.remove(start, removed.length());
        }
        if (!inserted.isEmpty()) {
            m_editor.log.push_back("insert(" + std::to_string(start) + "," + toUtf8(inserted) + ")");
            if (!m_editor.swallowsEdits)
                m_editor.text.insert(start, inserted);
        }
    }
    void setCaretOnLine(const icu::UnicodeString& before) override
    {
        m_editor.log.push_back("caret(" + std::to_string(m_lineStart + before.length()) + ")");
        m_editor.selection = { std::min(m_lineStart + before.length(), m_editor.text.length()), 0 };
    }
    icu::UnicodeString readOnLine(const icu::UnicodeString& expected) override
    {
        m_editor.log.push_back("readOnLine(" + std::to_string(expected.length()) + ")");
        return icu::UnicodeString(m_editor.text, m_lineStart, expected.length());
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
