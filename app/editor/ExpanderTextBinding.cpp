#include "editor/ExpanderTextBinding.h"

#include "editor/QtText.h"
#include "editor/VariableTextView.h"

namespace quillet {

ExpanderTextBinding::ExpanderTextBinding(VariableTextView* view, std::string key, Getter get, Setter set,
                                         QObject* parent)
    : QObject(parent)
    , m_view(view)
    , m_key(std::move(key))
    , m_get(std::move(get))
    , m_set(std::move(set))
    , m_transformer(view)
{
    connect(view, &QTextEdit::textChanged, this, &ExpanderTextBinding::viewChanged);
    connect(view, &VariableTextView::tokenTextChanged, this, &ExpanderTextBinding::viewChanged);
}

ExpanderTextBinding::~ExpanderTextBinding()
{
    stopObserving();
}

void ExpanderTextBinding::stopObserving()
{
    if (m_expander && m_observer)
        m_expander->removeObserver(m_observer);
    m_observer = 0;
}

void ExpanderTextBinding::setExpander(const CustomExpanderPtr& expander)
{
    stopObserving();
    m_expander = expander;
    if (m_expander) {
        m_observer = m_expander->addObserver([this](std::string_view key, Observable::Phase phase) {
            if (phase == Observable::Phase::didChange && key == m_key && !m_writing)
                reload();
        });
    }
    reload();
}

void ExpanderTextBinding::reload()
{
    if (!m_view)
        return;
    const QString text = m_expander ? qtString(m_get(*m_expander)) : QString();
    // Only a different text is shown again, so typing keeps its caret and undo history.
    if (orv::TextAttachmentTransformer::reverseTransformedValue(m_view->attributedText()) == text
        && (m_expander || m_view->document()->isEmpty()))
        return;
    m_loading = true;
    m_view->setAttributedText(m_transformer.transformedValue(text));
    m_loading = false;
}

void ExpanderTextBinding::viewChanged()
{
    if (m_loading || !m_expander || !m_view)
        return;
    const icu::UnicodeString text
        = icuString(orv::TextAttachmentTransformer::reverseTransformedValue(m_view->attributedText()));
    if (text == m_get(*m_expander))
        return;
    m_writing = true;
    m_set(*m_expander, text);
    m_writing = false;
}

} // namespace quillet
