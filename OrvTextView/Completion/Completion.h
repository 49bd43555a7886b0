#pragma once

#include "OrvTextView/OrvTextViewExport.h"

#include <QString>

#include <map>
#include <memory>
#include <vector>

namespace orv {

/// One completion entry: offered when the text before the caret ends with a match of
/// `prefixRegEx` followed by a leading part of `completion` (nothing, some characters or
/// all of them). Matching is case-sensitive; the typed part is matched literally.
class ORVTEXTVIEW_EXPORT Completion {
public:
    /// An entry triggered after white space or at the start of the text.
    explicit Completion(QString completion);
    Completion(QString prefixRegEx, QString completion);

    const QString& prefixRegEx() const { return m_prefixRegEx; }
    const QString& completion() const { return m_completion; }
    /// Documentation of the entry; always empty.
    const QString& docsHTML() const { return m_docsHTML; }
    /// The text shown for the entry in the list; "completion" until set.
    const QString& label() const { return m_label; }
    void setLabel(QString label) { m_label = std::move(label); }

    /// Whether the entry applies to `text`, the current line up to the caret.
    bool matches(const QString& text) const;
    /// `line` with the rest of the completion appended (the longest typed part wins);
    /// `line` unchanged when the entry does not apply.
    QString completed(const QString& line) const;

private:
    friend class CompletionController;
    // Whether a prefix expression matches right before a position of a text, by expression
    // and position: every entry of a list shares its few expressions and the one text.
    using PrefixMatches = std::map<std::pair<QString, qsizetype>, bool>;

    bool matches(const QString& text, PrefixMatches& known) const;
    // The lengths (UTF-16) of the leading parts of whole characters of the completion that
    // `text` ends with, longest first, ending with 0 (nothing typed yet).
    std::vector<qsizetype> typedLengths(const QString& text) const;
    bool prefixMatchesBefore(const QString& text, qsizetype end, PrefixMatches& known) const;

    QString m_prefixRegEx;
    QString m_completion;
    QString m_docsHTML;
    QString m_label = QStringLiteral("completion");
};

using CompletionPtr = std::shared_ptr<Completion>;

/// The completions registered for one text view, in registration order.
class ORVTEXTVIEW_EXPORT CompletionController {
public:
    const std::vector<CompletionPtr>& completions() const { return m_completions; }

    /// Appends the entry (an entry registered twice is listed twice).
    void registerCompletion(CompletionPtr completion);
    /// The registered entries that match `text`, in registration order.
    std::vector<CompletionPtr> completions(const QString& text) const;
    void clear() { m_completions.clear(); }

private:
    std::vector<CompletionPtr> m_completions;
};

} // namespace orv
