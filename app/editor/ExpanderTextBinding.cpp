#include "editor/ExpanderTextBinding.h"

#include "docs/views/QtText.h"
#include "editor/VariableTextView.h"

#include "OrvTextView/Attachments/TextAttachmentBinding.h"

#include <QScopedValueRollback>

namespace quillet {

ExpanderTextBinding::ExpanderTextBinding(
    VariableTextView* view, Observable::Property property, Getter get, Setter set, QObject* parent)
    : QObject(parent)
    , m_view(view)
    , m_property(property)
    , m_get(std::move(get))
    , m_set(std::move(set))
{
    m_binding = new orv::TextAttachmentBinding(
        view, [this] { return read(); }, [this](const QString& text) { write(text); });
    // A token's rewritten text changes no character of the document: it is written here.
    connect(view, &VariableTextView::tokenTextChanged, this, [this] {
        if (m_view)
            write(orv::TextAttachmentTransformer::reverseTransformedValue(m_view->attributedText()));
    });
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
        m_observer = m_expander->addObserver([this](Observable::Property property, Observable::Phase phase) {
            if (phase == Observable::Phase::didChange && property == m_property && !m_writing && m_binding)
                m_binding->modelDidChange();
        });
    }
    if (m_binding)
        m_binding->modelDidChange();
    // Another expander with the same text: its tokens must still edit the new expander.
    if (m_view)
        m_view->updateAttachments();
}

QString ExpanderTextBinding::read() const
{
    return m_expander ? qtString(m_get(*m_expander)) : QString();
}

void ExpanderTextBinding::write(const QString& text)
{
    if (!m_expander)
        return;
    const icu::UnicodeString value = icuString(text);
    if (value == m_get(*m_expander))
        return;
    QScopedValueRollback guard(m_writing, true);
    m_set(*m_expander, value);
}

} // namespace quillet
