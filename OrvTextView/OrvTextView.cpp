#include "OrvTextView/OrvTextView.h"

#include "OrvTextView/Attachments/AttachmentObjectHandlerPrivate.h"
#include "OrvTextView/Attachments/LineBreaksPrivate.h"
#include "OrvTextView/Attachments/TextAttachmentBuilder.h"
#include "OrvTextView/Attachments/TextAttachmentReplacer.h"
#include "OrvTextView/Highlighting/AttributedStringBuilder.h"
#include "OrvTextView/Highlighting/TextFormatAttributes.h"
#include "OrvTextView/Misc/QtColor.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPropertyAnimation>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QWindow>

#include <algorithm>

namespace orv {

namespace {

constexpr int placeholderFadeMilliseconds = 300;
const QString indentationExpression = QStringLiteral("^[\\t\\ ]+");

bool sameParagraphLayout(const QTextBlockFormat& current, const QTextBlockFormat& wanted)
{
    return qFuzzyCompare(1 + current.topMargin(), 1 + wanted.topMargin())
        && qFuzzyCompare(1 + current.leftMargin(), 1 + wanted.leftMargin())
        && qFuzzyCompare(1 + current.rightMargin(), 1 + wanted.rightMargin())
        && qFuzzyCompare(1 + current.textIndent(), 1 + wanted.textIndent())
        && current.lineHeightType() == wanted.lineHeightType()
        && qFuzzyCompare(1 + current.lineHeight(), 1 + wanted.lineHeight());
}

// Typed text that the view inserts itself: printable characters without a command modifier.
bool isTypedText(const QKeyEvent& event)
{
    const QString text = event.text();
    if (text.isEmpty() || (event.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)))
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint() || c == u'\t'; });
}

// The text of a block's last line: a line break that is no paragraph break stays inside
// the block as a line separator.
QString lastLine(const QString& blockText)
{
    return blockText.mid(blockText.lastIndexOf(QChar(detail::lineBreakStandIn)) + 1);
}

QList<QAction*> allActions(const QMenu& menu)
{
    QList<QAction*> actions;
    for (QAction* action : menu.actions()) {
        if (action->menu())
            actions += allActions(*action->menu());
        else
            actions.append(action);
    }
    return actions;
}

} // namespace

OrvTextView::OrvTextView(QWidget* parent)
    : QTextEdit(parent)
    , m_completionWindowController(new CompletionWindowController(this))
{
    setAcceptRichText(false);
    OrvTextView::configure();
}

OrvTextView::~OrvTextView()
{
    QObject::disconnect(m_contentsConnection);
    QObject::disconnect(m_undoConnection);
}

void OrvTextView::editDidClose()
{
    if (m_highlighting || m_editDepth > 0 || m_closingEdit)
        return;
    // An edit the view did not make itself (a Cut or Delete from the standard menu, a drop)
    // gets its paragraph layouts in its own undo step, as the view's own edits do.
    QScopedValueRollback guard(m_closingEdit, true);
    applyParagraphLayouts(*highlightingFor(document()->toPlainText()), EditJoining::joinPrevious);
}

void OrvTextView::configure()
{
    setBasicFont(font());
    detail::AttachmentObjectHandler::install(document());
    QObject::disconnect(m_contentsConnection);
    m_contentsConnection
        = connect(document(), &QTextDocument::contentsChange, this, &OrvTextView::documentContentsChanged);
    QObject::disconnect(m_undoConnection);
    m_undoConnection = connect(document(), &QTextDocument::undoCommandAdded, this, &OrvTextView::editDidClose);
    if (m_configured)
        return;
    m_configured = true;
    // Any window taking or losing the focus closes the popup.
    connect(
        qApp, &QGuiApplication::focusWindowChanged, m_completionWindowController, &CompletionWindowController::close);
    connect(this, &QTextEdit::cursorPositionChanged, this, &OrvTextView::keepTypingOutOfAttachments);
}

void OrvTextView::keepTypingOutOfAttachments()
{
    // Text typed next to an attachment or a kept line break must not become part of it.
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection() && (attachmentOf(cursor.charFormat()) || detail::lineBreakOf(cursor.charFormat()))) {
        cursor.setCharFormat(withoutAttachment(cursor.charFormat()));
        setTextCursor(cursor);
    }
}

QFont OrvTextView::textAttachmentFont() const
{
    return m_basicFont;
}

QColor OrvTextView::basicTextColor() const
{
    // The enabled colour, also while the view is disabled: the colours laid over the text
    // are kept until the next change, and a view is often filled before it is enabled.
    return m_basicTextColor.value_or(palette().color(QPalette::Active, QPalette::Text));
}

void OrvTextView::setBasicTextColor(const QColor& color)
{
    ++m_patternGeneration;
    m_basicTextColor = color;
}

void OrvTextView::setPlaceholderLabel(QLabel* label)
{
    if (m_placeholderLabel && m_placeholderLabel != label)
        m_placeholderLabel->hide();
    m_placeholderLabel = label;
    if (!label)
        return;
    if (!label->parentWidget()) {
        label->setParent(viewport());
        const int margin = int(document()->documentMargin());
        label->move(margin, margin);
    }
    label->setFont(m_basicFont);
    label->adjustSize();
    updatePlaceholderVisibility(false);
}

QString OrvTextView::selectedText() const
{
    const TextRange range = selectedRange();
    return AttributedString::fromDocument(*document(), range.location, range.length).text;
}

TextRange OrvTextView::selectedRange() const
{
    const QTextCursor cursor = textCursor();
    return TextRange { .location = cursor.selectionStart(), .length = cursor.selectionEnd() - cursor.selectionStart() };
}

void OrvTextView::setParagraphStyle(std::optional<ParagraphSpacing> style)
{
    ++m_patternGeneration;
    m_paragraphStyle = std::move(style);
    updateColors();
}

void OrvTextView::setSelectedTextBackgroundColor(std::optional<QColor> color)
{
    m_selectedTextBackgroundColor = std::move(color);
    applySelectionPalette();
}

void OrvTextView::setSelectedTextForegroundColor(std::optional<QColor> color)
{
    m_selectedTextForegroundColor = std::move(color);
    applySelectionPalette();
}

void OrvTextView::applySelectionPalette()
{
    QPalette palette = this->palette();
    const QPalette standard = QApplication::palette(this);
    palette.setColor(QPalette::Highlight, m_selectedTextBackgroundColor.value_or(standard.color(QPalette::Highlight)));
    palette.setColor(
        QPalette::HighlightedText, m_selectedTextForegroundColor.value_or(standard.color(QPalette::HighlightedText)));
    setPalette(palette);
}

void OrvTextView::addHighlightingPattern(HighlightingPatternPtr pattern)
{
    m_highlightingPatterns.push_back(std::move(pattern));
    updateColors();
}

void OrvTextView::addTextAttachmentPattern(TextAttachmentPatternPtr pattern)
{
    m_textAttachmentPatterns.push_back(std::move(pattern));
}

void OrvTextView::clearHighlightingPattern()
{
    m_highlightingPatterns.clear();
    updateColors();
}

void OrvTextView::clearTextAttachmentPatterns()
{
    m_textAttachmentPatterns.clear();
}

void OrvTextView::setBasicFont(const QFont& font)
{
    m_basicFont = font;
    {
        // The document's default font sizes empty lines and the caret; it is no edit.
        QScopedValueRollback guard(m_highlighting, true);
        document()->setDefaultFont(font);
    }
    if (m_placeholderLabel) {
        m_placeholderLabel->setFont(font);
        m_placeholderLabel->adjustSize();
    }
    {
        // The tokens are laid out in the basic font too; their sizes change with it.
        QScopedValueRollback guard(m_highlighting, true);
        const auto attachments = detail::documentAttachments(*document());
        for (const auto& [position, attachment] : attachments)
            setAttachmentFont(*attachment, font);
        if (!attachments.empty())
            document()->markContentsDirty(0, document()->characterCount());
    }
    Q_EMIT basicFontChanged(font);
    updateColors();
}

void OrvTextView::setEditable(bool editable)
{
    setReadOnly(!editable);
    updatePlaceholderVisibility(true);
}

void OrvTextView::setMenu(QMenu* menu)
{
    m_menu = menu;
}

void OrvTextView::documentContentsChanged(int, int, int)
{
    if (m_highlighting)
        return;
    // Inside the view's own edits the paragraph layouts were fixed before the edit closed.
    // Undo and redo bring back the layouts recorded with the text, so they are kept. A
    // document without history (new text) gets its layouts without leaving any history.
    const bool freshDocument = !document()->isUndoAvailable() && !document()->isRedoAvailable();
    highlight(freshDocument ? ParagraphLayouts::applyWithoutHistory : ParagraphLayouts::keep);
    updatePlaceholderVisibility(true);
}

void OrvTextView::updateColors()
{
    ++m_patternGeneration;
    highlight(m_editDepth > 0 ? ParagraphLayouts::keep : ParagraphLayouts::apply);
}

std::shared_ptr<const AttributedStringBuilder> OrvTextView::highlightingFor(const QString& text)
{
    if (m_lastHighlighting && m_lastHighlighting->text() == text && m_lastHighlightingGeneration == m_patternGeneration)
        return m_lastHighlighting;
    auto builder = std::make_shared<AttributedStringBuilder>(text, basicTextColor());
    builder->initializeFormatting(m_basicFont, m_paragraphStyle);
    builder->addHighlightingPatterns(m_highlightingPatterns, m_basicFont);
    m_lastHighlighting = builder;
    m_lastHighlightingGeneration = m_patternGeneration;
    return builder;
}

void OrvTextView::highlight(ParagraphLayouts paragraphs)
{
    if (m_highlighting)
        return;
    const QString text = document()->toPlainText();
    if (text.isEmpty())
        return;
    QScopedValueRollback guard(m_highlighting, true);
    const auto builder = highlightingFor(text);
    applyCharacterFormats(*builder);
    if (paragraphs == ParagraphLayouts::keep)
        return;
    const bool hadHistory = document()->isUndoAvailable() || document()->isRedoAvailable();
    applyParagraphLayouts(*builder);
    if (paragraphs == ParagraphLayouts::applyWithoutHistory && !hadHistory)
        document()->clearUndoRedoStacks();
}

template <typename Edit> void OrvTextView::editScope(Edit&& edit)
{
    if (m_editDepth > 0) {
        edit();
        return;
    }
    // The view's edits are closed only after their paragraph layouts are fixed, so each
    // layout change belongs to the undo step of the text change that caused it.
    QTextCursor scope = textCursor();
    scope.beginEditBlock();
    ++m_editDepth;
    edit();
    --m_editDepth;
    if (!m_highlighting) {
        // Also for a text the edit emptied: its last paragraph must not keep a list's indent.
        QScopedValueRollback guard(m_highlighting, true);
        applyParagraphLayouts(*highlightingFor(document()->toPlainText()));
    }
    scope.endEditBlock();
}

namespace {

// The blocks of a document with their start positions, in order.
struct BlockIndex {
    std::vector<QTextBlock> blocks;
    std::vector<int> starts;

    explicit BlockIndex(const QTextDocument& document)
    {
        blocks.reserve(std::size_t(document.blockCount()));
        starts.reserve(std::size_t(document.blockCount()));
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            blocks.push_back(block);
            starts.push_back(block.position());
        }
    }

    // The index of the block that holds `position`.
    std::size_t blockAt(int position) const
    {
        const auto after = std::upper_bound(starts.begin(), starts.end(), position);
        return after == starts.begin() ? 0 : std::size_t(after - starts.begin() - 1);
    }
};

} // namespace

void OrvTextView::applyCharacterFormats(const AttributedStringBuilder& builder)
{
    QTextDocument* document = this->document();
    const BlockIndex index(*document);
    const std::size_t count = index.blocks.size();
    std::vector<QList<QTextLayout::FormatRange>> formats(count);
    for (std::size_t i = 0; i < count; ++i) {
        const int length = index.blocks[i].length() - 1;
        if (length > 0)
            formats[i].append(QTextLayout::FormatRange { 0, length, builder.baseFormat() });
    }
    // The patterns' colours are chosen for a light ground, where they are kept. On a dark
    // palette a colour that would be hard to read (a code span's or a quote's grey, an optional
    // part's) is lifted towards the palette's text until it reads at 5:1: light letters
    // smoothed at their edges show darker than their colour.
    // The active colours, as the basic text colour takes them: a view made or highlighted while
    // it (or its pane) is disabled would otherwise lift towards the disabled text, and keep that
    // once enabled.
    QPalette shownPalette = viewport()->palette();
    shownPalette.setCurrentColorGroup(QPalette::Active);
    const bool dark = isDarkPalette(shownPalette);
    for (const auto& run : builder.runs()) {
        const int runEnd = run.range.end();
        QTextCharFormat format = run.format;
        if (dark && format.foreground().style() != Qt::NoBrush) {
            const QColor ground = format.background().style() != Qt::NoBrush ? format.background().color()
                                                                             : shownPalette.color(QPalette::Base);
            const QColor text = shownPalette.color(QPalette::Text);
            format.setForeground(
                readableColor(format.foreground().color(), ground, text, readableContrastOn(ground, text)));
        }
        for (std::size_t i = index.blockAt(run.range.location); i < count && index.starts[i] < runEnd; ++i) {
            const int blockStart = index.starts[i];
            const int from = std::max(run.range.location, blockStart);
            const int to = std::min(runEnd, blockStart + index.blocks[i].length() - 1);
            if (to > from)
                formats[i].append(QTextLayout::FormatRange { from - blockStart, to - from, format });
        }
    }

    int dirtyFrom = -1;
    int dirtyTo = -1;
    for (std::size_t i = 0; i < count; ++i) {
        QTextLayout* layout = index.blocks[i].layout();
        if (!layout)
            continue;
        auto& ranges = formats[i];
        const int preeditPosition = layout->preeditAreaPosition();
        const int preeditLength = int(layout->preeditAreaText().size());
        if (preeditPosition >= 0 && preeditLength > 0) {
            for (auto& range : ranges) {
                if (range.start >= preeditPosition)
                    range.start += preeditLength;
                else if (range.start + range.length > preeditPosition)
                    range.length += preeditLength;
            }
        }
        if (layout->formats() != ranges) {
            layout->setFormats(ranges);
            dirtyFrom = dirtyFrom < 0 ? index.starts[i] : dirtyFrom;
            dirtyTo = index.starts[i] + index.blocks[i].length();
        }
    }
    // Display formats are no edit: only the layout of the changed blocks is redone.
    if (dirtyFrom >= 0)
        document->markContentsDirty(dirtyFrom, dirtyTo - dirtyFrom);
}

void OrvTextView::applyParagraphLayouts(const AttributedStringBuilder& builder, EditJoining joining)
{
    QTextDocument* document = this->document();
    const BlockIndex index(*document);
    const std::size_t count = index.blocks.size();
    std::vector<std::optional<ParagraphSpacing>> paragraphs(count, builder.baseParagraph());
    for (const auto& run : builder.runs()) {
        if (!run.paragraph)
            continue;
        // A paragraph's layout comes from the run that covers its first character.
        const auto first = std::lower_bound(index.starts.begin(), index.starts.end(), run.range.location);
        for (auto i = std::size_t(first - index.starts.begin()); i < count && index.starts[i] < run.range.end(); ++i)
            paragraphs[i] = run.paragraph;
    }
    QTextCursor cursor(document);
    bool editing = false;
    for (std::size_t i = 0; i < count; ++i) {
        const QTextBlockFormat wanted = blockFormat(paragraphs[i]);
        if (sameParagraphLayout(index.blocks[i].blockFormat(), wanted))
            continue;
        if (!editing) {
            if (joining == EditJoining::joinPrevious)
                cursor.joinPreviousEditBlock();
            else
                cursor.beginEditBlock();
            editing = true;
        }
        cursor.setPosition(index.starts[i]);
        cursor.mergeBlockFormat(wanted);
    }
    if (editing)
        cursor.endEditBlock();
}

void OrvTextView::updateAttachments()
{
    // Tokens re-made on text without history are no step to undo.
    const bool hadHistory = document()->isUndoAvailable() || document()->isRedoAvailable();
    TextAttachmentUpdater(document()).update(m_textAttachmentPatterns, m_basicFont);
    if (!hadHistory)
        document()->clearUndoRedoStacks();
}

bool OrvTextView::shouldPlaceholderBeHidden() const
{
    return !document()->isEmpty() || isReadOnly() || m_isFirstResponder;
}

void OrvTextView::updatePlaceholderVisibility(bool animated)
{
    QLabel* label = m_placeholderLabel;
    if (!label)
        return;
    const bool hidden = shouldPlaceholderBeHidden();
    if (m_placeholderAnimation)
        m_placeholderAnimation->stop();
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(label->graphicsEffect());
    if (!animated) {
        if (effect)
            effect->setOpacity(1);
        label->setHidden(hidden);
        return;
    }
    if (hidden == label->isHidden())
        return;
    if (!effect) {
        effect = new QGraphicsOpacityEffect(label);
        label->setGraphicsEffect(effect);
    }
    auto* animation = new QPropertyAnimation(effect, "opacity", label);
    animation->setDuration(placeholderFadeMilliseconds);
    if (hidden) {
        animation->setStartValue(effect->opacity());
        animation->setEndValue(0.0);
        connect(animation, &QPropertyAnimation::finished, label, [label] { label->hide(); });
    } else {
        effect->setOpacity(0);
        label->show();
        animation->setStartValue(0.0);
        animation->setEndValue(1.0);
    }
    m_placeholderAnimation = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void OrvTextView::setFirstResponder(bool isFirstResponder)
{
    if (m_isFirstResponder == isFirstResponder)
        return;
    m_isFirstResponder = isFirstResponder;
    updatePlaceholderVisibility(true);
    Q_EMIT isFirstResponderChanged(isFirstResponder);
}

void OrvTextView::focusInEvent(QFocusEvent* event)
{
    setFirstResponder(true);
    QTextEdit::focusInEvent(event);
}

void OrvTextView::focusOutEvent(QFocusEvent* event)
{
    setFirstResponder(false);
    m_completionWindowController->close();
    QTextEdit::focusOutEvent(event);
}

void OrvTextView::changeEvent(QEvent* event)
{
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::ReadOnlyChange)
        updatePlaceholderVisibility(true);
    // The basic colour may follow the palette, and the patterns' colours are checked against it.
    if (event->type() == QEvent::PaletteChange)
        updateColors();
}

std::vector<TextAttachmentPtr> OrvTextView::insertAtCurrentSelection(const QString& string)
{
    if (isReadOnly() || !document())
        return {};
    std::vector<TextAttachmentPtr> made;
    editScope([&] {
        made = TextAttachmentReplacer(document(), string, selectedRange())
                   .replace(m_textAttachmentPatterns, m_basicFont);
    });
    ensureCursorVisible();
    return made;
}

void OrvTextView::insertText(const QString& text, std::optional<TextRange> range)
{
    const TextRange target = range.value_or(selectedRange());
    if (!m_textAttachmentPatterns.empty()) {
        QString resulting = document()->toPlainText();
        resulting.replace(target.location, target.length, text);
        const bool makesToken = std::any_of(m_textAttachmentPatterns.begin(), m_textAttachmentPatterns.end(),
            [&](const TextAttachmentPatternPtr& pattern) {
                return pattern && !extractTokenMatches(*pattern, resulting).empty();
            });
        if (makesToken) {
            TextAttachmentReplacer(document(), text, target).replace(m_textAttachmentPatterns, m_basicFont);
            ensureCursorVisible();
            return;
        }
    }
    QTextCursor cursor = textCursor();
    cursor.setPosition(target.location);
    cursor.setPosition(target.end(), QTextCursor::KeepAnchor);
    detail::insertExactText(cursor, text, withoutAttachment(cursor.charFormat()));
    setTextCursor(cursor);
    ensureCursorVisible();
}

void OrvTextView::insertNewline()
{
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.insertBlock();
    setTextCursor(cursor);
    if (m_keepIndention) {
        const QTextBlock previous = cursor.block().previous();
        if (previous.isValid()) {
            // The line before the break: the previous block from its last line break on.
            const QString line = lastLine(previous.text());
            const QString indentation = text::firstMatchRegEx(line, indentationExpression, false).value_or(QString());
            if (!indentation.isEmpty())
                insertText(indentation);
        }
    }
    cursor.endEditBlock();
    ensureCursorVisible();
}

bool OrvTextView::triggerMenuShortcut(QKeyEvent* event, bool trigger)
{
    if (!m_menu)
        return false;
    const QKeySequence pressed(event->keyCombination());
    for (QAction* action : allActions(*m_menu)) {
        if (!action->isEnabled())
            continue;
        const auto shortcuts = action->shortcuts();
        if (std::any_of(shortcuts.begin(), shortcuts.end(),
                [&](const QKeySequence& shortcut) { return shortcut.matches(pressed) == QKeySequence::ExactMatch; })) {
            if (trigger)
                action->trigger();
            return true;
        }
    }
    return false;
}

bool OrvTextView::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (triggerMenuShortcut(key, false)) {
            event->accept();
            return true;
        }
    }
    return QTextEdit::event(event);
}

void OrvTextView::keyPressEvent(QKeyEvent* event)
{
    if (m_completionWindowController->isVisible()) {
        auto* content = m_completionWindowController->contentViewController();
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            content->applyCompletion();
            event->accept();
            return;
        case Qt::Key_Escape:
            m_completionWindowController->close();
            event->accept();
            return;
        case Qt::Key_Down:
            content->tableView()->moveSelectionDown();
            event->accept();
            return;
        case Qt::Key_Up:
            content->tableView()->moveSelectionUp();
            event->accept();
            return;
        default:
            break;
        }
    }
    if (triggerMenuShortcut(event, true)) {
        event->accept();
        return;
    }
    // Shift+Return is a new line like Return, with its indentation.
    const bool isNewline = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier | Qt::AltModifier));
    const bool isTab = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    if (isTab && (tabChangesFocus() || (event->modifiers() & Qt::ControlModifier))) {
        // Ctrl+Tab always leaves the view, also where Tab types a tab.
        const bool forward = event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier);
        // The text edit's own override refuses while Tab types tabs.
        QWidget::focusNextPrevChild(forward);
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        QTextEdit::keyPressEvent(event);
        showOrHideCompletions();
        return;
    }
    bool insertedHere = false;
    editScope([&] {
        if (!isReadOnly() && isNewline) {
            insertNewline();
            insertedHere = true;
            event->accept();
        } else if (!isReadOnly() && !m_textAttachmentPatterns.empty() && isTypedText(*event)) {
            insertText(event->text());
            insertedHere = true;
            event->accept();
        } else {
            QTextEdit::keyPressEvent(event);
        }
    });
    // The document lays the edit out only once the edit block is closed: scroll to the
    // caret now, or the view stays a keystroke behind.
    if (insertedHere)
        ensureCursorVisible();
    showOrHideCompletions();
}

void OrvTextView::inputMethodEvent(QInputMethodEvent* event)
{
    const QString commit = event->commitString();
    if (isReadOnly() || commit.isEmpty() || m_textAttachmentPatterns.empty()) {
        QTextEdit::inputMethodEvent(event);
        return;
    }
    // The committed text replaces the range the input method was composing (relative to
    // the caret), or the selection when there is one, also when it completes a token.
    const QTextCursor cursor = textCursor();
    TextRange range = selectedRange();
    if (!cursor.hasSelection()) {
        const int documentEnd = document()->characterCount() - 1;
        const int start = std::clamp(cursor.position() + event->replacementStart(), 0, documentEnd);
        const int end = std::clamp(start + event->replacementLength(), start, documentEnd);
        range = TextRange { .location = start, .length = end - start };
    }
    QString resulting = document()->toPlainText();
    resulting.replace(range.location, range.length, commit);
    const bool makesToken = std::any_of(
        m_textAttachmentPatterns.begin(), m_textAttachmentPatterns.end(), [&](const TextAttachmentPatternPtr& pattern) {
            return pattern && !extractTokenMatches(*pattern, resulting).empty();
        });
    if (!makesToken) {
        QTextEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent clearComposition;
    QTextEdit::inputMethodEvent(&clearComposition);
    editScope([&] { insertText(commit, range); });
    if (!event->preeditString().isEmpty()) {
        QInputMethodEvent composition(event->preeditString(), event->attributes());
        QTextEdit::inputMethodEvent(&composition);
    }
    event->accept();
}

void OrvTextView::showOrHideCompletions()
{
    if (isReadOnly()) {
        m_completionWindowController->close();
        return;
    }
    const QTextCursor cursor = textCursor();
    const QString line = lastLine(cursor.block().text().left(cursor.position() - cursor.block().position()));
    auto* content = m_completionWindowController->contentViewController();
    content->setDelegate(this);
    content->setFont(m_basicFont);
    content->setCompletions(m_completionController.completions(line));
    if (content->completions().empty()) {
        m_completionWindowController->close();
        return;
    }
    CompletionWindow* popup = m_completionWindowController->window();
    if (const auto position = recommendedCompletionWindowPositionOnScreen())
        popup->move(*position);
    // Kept above the view's window by the window manager, without ever taking the focus.
    popup->winId();
    if (QWindow* handle = popup->windowHandle(); handle && window()->windowHandle())
        handle->setTransientParent(window()->windowHandle());
    m_completionWindowController->showWindow();
}

std::optional<QPoint> OrvTextView::recommendedCompletionWindowPositionOnScreen() const
{
    // Just below the caret's line, left edges aligned.
    const QRect caret = cursorRect();
    return viewport()->mapToGlobal(caret.bottomLeft() + QPoint(0, 1));
}

void OrvTextView::completionViewControllerDidChooseCompletion(
    CompletionViewController*, const CompletionPtr& completion)
{
    if (isReadOnly() || !completion)
        return;
    QTextCursor cursor = textCursor();
    const int caret = cursor.selectionStart();
    const QTextBlock block = document()->findBlock(caret);
    const QString line = lastLine(block.text().left(caret - block.position()));
    const QString completed = completion->completed(line);
    const QString addition = completed.startsWith(line) ? completed.mid(line.size()) : QString();
    if (addition.isEmpty())
        return;
    editScope([&] {
        cursor.setPosition(caret);
        cursor.insertText(addition, withoutAttachment(cursor.charFormat()));
        setTextCursor(cursor);
    });
}

QMimeData* OrvTextView::createMimeDataFromSelection() const
{
    const TextRange range = selectedRange();
    if (range.length <= 0)
        return QTextEdit::createMimeDataFromSelection();
    const AttributedString selection = AttributedString::fromDocument(*document(), range.location, range.length);
    auto* data = new QMimeData;
    data->setText(TextAttachmentTransformer::reverseTransformedValue(selection));
    return data;
}

bool OrvTextView::canInsertFromMimeData(const QMimeData* source) const
{
    return !isReadOnly() && source && source->hasText();
}

void OrvTextView::insertFromMimeData(const QMimeData* source)
{
    if (isReadOnly() || !source || !source->hasText())
        return;
    insertAtCurrentSelection(source->text());
    ensureCursorVisible();
}

void OrvTextView::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_menu) {
        m_menu->exec(event->globalPos());
        return;
    }
    QTextEdit::contextMenuEvent(event);
}

AttributedString OrvTextView::attributedText() const
{
    return AttributedString::fromDocument(*document());
}

QString OrvTextView::string() const
{
    return TextAttachmentTransformer::reverseTransformedValue(attributedText());
}

void OrvTextView::setString(const QString& text)
{
    setAttributedText(TextAttachmentTransformer(this).transformedValue(text));
}

void OrvTextView::setAttributedText(const AttributedString& text)
{
    const int caret = textCursor().position();
    {
        QScopedValueRollback guard(m_highlighting, true);
        std::map<int, QString> lineBreaks;
        setPlainText(detail::documentTextFor(text.text, &lineBreaks));
        QTextCursor cursor(document());
        const auto mark = [&cursor](int position, const QTextCharFormat& format) {
            cursor.setPosition(position);
            cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        };
        for (const auto& [position, lineBreak] : lineBreaks)
            mark(position, detail::lineBreakFormat(QTextCharFormat(), lineBreak));
        // Attachment positions are the text's; the document has one character per kept break.
        auto lineBreak = lineBreaks.begin();
        int shift = 0;
        for (const auto& [position, attachment] : text.attachments) {
            if (position < 0 || position >= text.text.size() || text.text.at(position) != QChar(attachmentCharacter))
                continue;
            for (; lineBreak != lineBreaks.end() && lineBreak->first + shift < position; ++lineBreak)
                shift += int(lineBreak->second.size()) - 1;
            mark(position - shift, attachmentFormat(attachment));
        }
        document()->clearUndoRedoStacks();
    }
    QTextCursor cursor = textCursor();
    cursor.setPosition(std::clamp(caret, 0, int(document()->characterCount() - 1)));
    setTextCursor(cursor);
    // New text starts without history, also for the paragraph layouts laid over it.
    ++m_patternGeneration;
    highlight(ParagraphLayouts::applyWithoutHistory);
    updatePlaceholderVisibility(true);
}

OrvPlaceholderLabel::OrvPlaceholderLabel(QWidget* parent)
    : OrvPlaceholderLabel(QString(), parent)
{
}

OrvPlaceholderLabel::OrvPlaceholderLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    setTextInteractionFlags(Qt::NoTextInteraction);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setForegroundRole(QPalette::PlaceholderText);
}

} // namespace orv
