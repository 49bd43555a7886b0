#include "OrvTextView/Attachments/TextAttachmentBinding.h"

#include "OrvTextView/OrvTextView.h"

#include <QScopedValueRollback>

namespace orv {

TextAttachmentBinding::TextAttachmentBinding(OrvTextView* view, Reader read, Writer write)
    : QObject(view)
    , m_view(view)
    , m_transformer(view)
    , m_read(std::move(read))
    , m_write(std::move(write))
{
    if (!m_view)
        return;
    connect(m_view, &QTextEdit::textChanged, this, &TextAttachmentBinding::viewDidChange);
    modelDidChange();
}

void TextAttachmentBinding::modelDidChange()
{
    if (m_updating || !m_view || !m_read)
        return;
    const QString value = m_read();
    if (TextAttachmentTransformer::reverseTransformedValue(m_view->attributedText()) == value)
        return;
    QScopedValueRollback guard(m_updating, true);
    m_view->setAttributedText(m_transformer.transformedValue(value));
}

void TextAttachmentBinding::viewDidChange()
{
    if (m_updating || !m_view || !m_write)
        return;
    const QString value = TextAttachmentTransformer::reverseTransformedValue(m_view->attributedText());
    if (m_read && m_read() == value)
        return;
    QScopedValueRollback guard(m_updating, true);
    m_write(value);
}

} // namespace orv
