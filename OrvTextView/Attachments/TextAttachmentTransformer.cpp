#include "OrvTextView/Attachments/TextAttachmentTransformer.h"

#include "OrvTextView/Attachments/TextAttachmentBuilder.h"

namespace orv {

TextAttachmentPatternContainer::~TextAttachmentPatternContainer() = default;

TextAttachmentTransformer::TextAttachmentTransformer(TextAttachmentPatternContainer* container)
    : m_container(container)
{
    if (auto* object = dynamic_cast<QObject*>(container)) {
        m_containerObject = object;
        m_containerIsObject = true;
    }
}

TextAttachmentPatternContainer* TextAttachmentTransformer::container() const
{
    if (m_containerIsObject && !m_containerObject)
        return nullptr;
    return m_container;
}

AttributedString TextAttachmentTransformer::transformedValue(const QVariant& value) const
{
    if (!value.isValid() || value.metaType() != QMetaType::fromType<QString>())
        return {};
    return transformedValue(value.toString());
}

AttributedString TextAttachmentTransformer::transformedValue(const QString& value) const
{
    auto* source = container();
    if (!source)
        return {};
    TextAttachmentBuilder builder(value);
    return builder.attributedString(source->textAttachmentPatterns(), source->textAttachmentFont(), 0).attributedString;
}

QString TextAttachmentTransformer::reverseTransformedValue(const QVariant& value) const
{
    if (!value.canConvert<AttributedString>() || value.metaType() != QMetaType::fromType<AttributedString>())
        return {};
    return reverseTransformedValue(value.value<AttributedString>());
}

QString TextAttachmentTransformer::reverseTransformedValue(const AttributedString& value)
{
    QString result;
    result.reserve(value.text.size());
    for (int position = 0; position < value.text.size(); ++position) {
        const QChar character = value.text.at(position);
        if (character != QChar(attachmentCharacter)) {
            result.append(character);
            continue;
        }
        const TextAttachmentPtr attachment = value.attachmentAt(position);
        if (!attachment) {
            result.append(character);
            continue;
        }
        if (const auto* token = dynamic_cast<const TextContainingTextAttachment*>(attachment.get()))
            result.append(token->text());
    }
    return result;
}

} // namespace orv
