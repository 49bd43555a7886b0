#pragma once

#include "OrvTextView/Attachments/AttributedString.h"
#include "OrvTextView/Attachments/TextAttachmentTransformer.h"
#include "OrvTextView/Completion/Completion.h"
#include "OrvTextView/Completion/View/CompletionWindow.h"
#include "OrvTextView/Highlighting/TextAttachmentPattern.h"
#include "OrvTextView/HighlightingPattern.h"
#include "OrvTextView/OrvTextViewExport.h"
#include "OrvTextView/Pattern/StringHelpers.h"
#include "OrvTextView/TextFormat.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTextEdit>

#include <memory>
#include <optional>
#include <vector>

class QPropertyAnimation;

namespace orv {

class AttributedStringBuilder;

/// The framework's text view: plain-text editing with regular-expression highlighting,
/// token attachments, inline completions, a placeholder and keep-indentation.
///
/// Highlighting: after every edit the whole text is matched against the highlighting
/// patterns, in list order, over the basic font, text colour and paragraph style; where
/// matches overlap a later pattern wins for each attribute it sets. The colours and fonts
/// are display formats of the layout, not edits: highlighting never enters the undo
/// stack, never re-enters itself, keeps the caret and the selection and leaves the
/// attachments alone. Paragraph paddings are block formats joined to the edit that made
/// them, so undo and redo keep text and layout in step.
///
/// Tokens: typed, pasted and inserted text that completes a match of a token pattern
/// anywhere in the text turns every such match into an attachment; copying gives the
/// plain text with every token as its text. A read-only view refuses paste, completion
/// and token insertion.
///
/// The view follows the document it was configured with; after setDocument() call
/// configure() again.
///
/// Subclassing: the constructor runs configure(). As C++ constructors do not dispatch to
/// overrides, a subclass that overrides configure() calls it at the end of its own
/// constructor; configure() may run more than once.
class ORVTEXTVIEW_EXPORT OrvTextView : public QTextEdit,
                                       public TextAttachmentPatternContainer,
                                       public CompletionViewControllerDelegate {
    Q_OBJECT
    Q_PROPERTY(bool isFirstResponder READ isFirstResponder NOTIFY isFirstResponderChanged)
    Q_PROPERTY(QFont basicFont READ basicFont WRITE setBasicFont NOTIFY basicFontChanged)
public:
    explicit OrvTextView(QWidget* parent = nullptr);
    ~OrvTextView() override;

    /// The font of the token cells: the basic font.
    QFont textAttachmentFont() const override;
    TextAttachmentPatternList textAttachmentPatterns() const override { return m_textAttachmentPatterns; }

    /// The colour of text that no pattern colours; until set, the palette's text colour of
    /// an enabled view (also while disabled), followed when the palette changes. A change
    /// shows at the next highlighting pass.
    QColor basicTextColor() const;
    void setBasicTextColor(const QColor& color);

    /// The placeholder shown while the text is empty, the view editable and not focused.
    /// A label without a parent is placed at the view's top-left; it always shows in the basic font.
    QLabel* placeholderLabel() const { return m_placeholderLabel; }
    void setPlaceholderLabel(QLabel* label);

    /// Takes the basic font from the view's font, observes the document and focus changes.
    virtual void configure();

    /// The text inside the selection, as string() reads it.
    QString selectedText() const;

    /// Exactly the characters the view was given and the user typed, each token as its
    /// text: unlike toPlainText(), every line break ("\r\n", a lone "\r", U+2028, U+2029)
    /// and no-break space comes back as it went in.
    QString string() const;
    /// Replaces the whole text with `text`, its tokens made (see setAttributedText()).
    void setString(const QString& text);

    const HighlightingPatternList& highlightingPatterns() const { return m_highlightingPatterns; }

    /// The paragraph layout of the whole text; setting it re-highlights.
    const std::optional<ParagraphSpacing>& paragraphStyle() const { return m_paragraphStyle; }
    void setParagraphStyle(std::optional<ParagraphSpacing> style);

    /// Whether a new line repeats the leading tabs and spaces of the line before it.
    bool keepIndention() const { return m_keepIndention; }
    void setKeepIndention(bool keep) { m_keepIndention = keep; }

    /// The selection's colours; none keeps the palette's.
    std::optional<QColor> selectedTextBackgroundColor() const { return m_selectedTextBackgroundColor; }
    void setSelectedTextBackgroundColor(std::optional<QColor> color);
    std::optional<QColor> selectedTextForegroundColor() const { return m_selectedTextForegroundColor; }
    void setSelectedTextForegroundColor(std::optional<QColor> color);

    /// Re-highlights the whole text now.
    void updateColors();

    /// Appends a pattern and re-highlights.
    void addHighlightingPattern(HighlightingPatternPtr pattern);
    /// Appends a token pattern; it shows for text inserted afterwards and at updateAttachments().
    void addTextAttachmentPattern(TextAttachmentPatternPtr pattern);
    void clearHighlightingPattern();
    void clearTextAttachmentPatterns();

    /// Kept for callers that switch the toolkit's automatic substitutions off; the view
    /// makes none (no smart quotes, dashes or replacements), whatever the value.
    bool isAutomaticReplacementsDisabled() const { return m_isAutomaticReplacementsDisabled; }
    void setAutomaticReplacementsDisabled(bool disabled) { m_isAutomaticReplacementsDisabled = disabled; }

    void updatePlaceholderVisibility(bool animated = true);

    /// Inserts what the chosen completion adds to the line before the caret.
    void completionViewControllerDidChooseCompletion(
        CompletionViewController* controller, const CompletionPtr& completion) override;

    /// Replaces the selection with `string` as one edit and turns every token of the text
    /// into an attachment; the attachments made. Nothing for a read-only view.
    std::vector<TextAttachmentPtr> insertAtCurrentSelection(const QString& string);

    /// Re-makes every token attachment from its text with the current patterns and font.
    void updateAttachments();

    /// The font of all text; every pattern's font derives from it. Setting it re-highlights.
    QFont basicFont() const { return m_basicFont; }
    void setBasicFont(const QFont& font);

    /// Whether the view has the keyboard focus, as the view tracks it.
    bool isFirstResponder() const { return m_isFirstResponder; }

    /// Editable is the opposite of read-only; changing it updates the placeholder.
    bool isEditable() const { return !isReadOnly(); }
    void setEditable(bool editable);

    CompletionController& completionController() { return m_completionController; }
    CompletionWindowController* completionWindowController() const { return m_completionWindowController; }

    /// The whole text with its attachments, exactly as string() reads it.
    AttributedString attributedText() const;
    /// Replaces the whole text (clearing the undo history, as setPlainText() does) with
    /// exactly these characters: attributedText() gives them back unchanged. The caret
    /// keeps its position as far as the new text allows.
    void setAttributedText(const AttributedString& text);

    /// The menu shown on a right click; its shortcuts work while the view has the focus.
    QMenu* menu() const { return m_menu; }
    void setMenu(QMenu* menu);

Q_SIGNALS:
    void isFirstResponderChanged(bool isFirstResponder);
    void basicFontChanged(const QFont& font);

protected:
    /// Inserts a line break and, with keepIndention, the previous line's indentation.
    virtual void insertNewline();
    /// Inserts typed or committed text at `range` (the selection when absent), through
    /// the token path when the resulting text holds a token.
    void insertText(const QString& text, std::optional<TextRange> range = std::nullopt);

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void documentContentsChanged(int position, int charsRemoved, int charsAdded);
    void editDidClose();
    void keepTypingOutOfAttachments();
    enum class ParagraphLayouts { apply, applyWithoutHistory, keep };
    void highlight(ParagraphLayouts paragraphs);
    std::shared_ptr<const AttributedStringBuilder> highlightingFor(const QString& text);
    void applyCharacterFormats(const AttributedStringBuilder& builder);
    enum class EditJoining { ownStep, joinPrevious };
    void applyParagraphLayouts(const AttributedStringBuilder& builder, EditJoining joining = EditJoining::ownStep);
    template <typename Edit> void editScope(Edit&& edit);
    void showOrHideCompletions();
    std::optional<QPoint> recommendedCompletionWindowPositionOnScreen() const;
    bool shouldPlaceholderBeHidden() const;
    void setFirstResponder(bool isFirstResponder);
    void applySelectionPalette();
    bool triggerMenuShortcut(QKeyEvent* event, bool trigger);
    TextRange selectedRange() const;

    std::optional<QColor> m_basicTextColor;
    TextAttachmentPatternList m_textAttachmentPatterns;
    QPointer<QLabel> m_placeholderLabel;
    CompletionController m_completionController;
    CompletionWindowController* m_completionWindowController = nullptr;
    QFont m_basicFont;
    HighlightingPatternList m_highlightingPatterns;
    std::optional<ParagraphSpacing> m_paragraphStyle;
    bool m_keepIndention = false;
    bool m_isAutomaticReplacementsDisabled = true;
    bool m_isFirstResponder = false;
    bool m_highlighting = false;
    bool m_closingEdit = false;
    bool m_configured = false;
    int m_editDepth = 0;
    // The last pass's result, reused while text, patterns and base look are unchanged.
    std::shared_ptr<const AttributedStringBuilder> m_lastHighlighting;
    quint64 m_lastHighlightingGeneration = 0;
    quint64 m_patternGeneration = 1;
    std::optional<QColor> m_selectedTextBackgroundColor;
    std::optional<QColor> m_selectedTextForegroundColor;
    QPointer<QMenu> m_menu;
    QPointer<QPropertyAnimation> m_placeholderAnimation;
    QMetaObject::Connection m_contentsConnection;
    QMetaObject::Connection m_undoConnection;
};

/// A label for the placeholder: neither editable nor selectable, and clicks pass through
/// to the text view beneath it.
class ORVTEXTVIEW_EXPORT OrvPlaceholderLabel : public QLabel {
    Q_OBJECT
public:
    explicit OrvPlaceholderLabel(QWidget* parent = nullptr);
    explicit OrvPlaceholderLabel(const QString& text, QWidget* parent = nullptr);
};

} // namespace orv
