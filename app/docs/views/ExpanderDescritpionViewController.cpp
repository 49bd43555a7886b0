#include "docs/views/ExpanderDescritpionViewController.h"

#include "OrvTextView/MarkdownTextView/MarkdownTextView.h"
#include "OrvTextView/Misc/WindowFront.h"
#include "docs/views/QtText.h"

#include <QVBoxLayout>

namespace quillet {

ExpanderDescritpionViewController::ExpanderDescritpionViewController(QWidget* parent)
    : QWidget(parent)
{
    m_textView = new orv::MarkdownTextView(this);
    m_textView->setAccessibleName(tr("Expander description"));
    m_textView->document()->setDocumentMargin(textContainerInset);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_textView);
    connect(m_textView, &QTextEdit::textChanged, this, &ExpanderDescritpionViewController::textEdited);
    updateText();
}

ExpanderDescritpionViewController::~ExpanderDescritpionViewController()
{
    stopObserving();
}

void ExpanderDescritpionViewController::stopObserving()
{
    if (auto expander = m_expander.lock(); expander && m_observer != 0)
        expander->removeObserver(m_observer);
    m_observer = 0;
}

void ExpanderDescritpionViewController::setExpander(const CustomExpanderPtr& expander)
{
    stopObserving();
    m_expander = expander;
    if (expander) {
        m_observer = expander->addObserver([this](Observable::Property property, Observable::Phase phase) {
            if (property == Observable::Property::expanderDescription && phase == Observable::Phase::didChange
                && !m_writing)
                updateText();
        });
    }
    updateText();
}

void ExpanderDescritpionViewController::updateText()
{
    const auto expander = m_expander.lock();
    const QString description = expander ? qtString(expander->expanderDescription()) : QString();
    m_textView->setEnabled(expander != nullptr);
    if (m_textView->string() == description)
        return;
    m_writing = true;
    m_textView->setString(description);
    m_writing = false;
}

void ExpanderDescritpionViewController::textEdited()
{
    if (m_writing)
        return;
    const auto expander = m_expander.lock();
    if (!expander)
        return;
    const icu::UnicodeString text = icuString(m_textView->string());
    if (text == expander->expanderDescription())
        return; // a highlighting pass changes formats, not the text
    m_writing = true;
    expander->setExpanderDescription(text);
    m_writing = false;
}

void ExpanderDescritpionViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Typing goes to the description at once.
    orv::bringToFront(window(), orv::HiddenWindow::keepPosition);
}

} // namespace quillet
