#pragma once

#include "OrvTextView/Attachments/AttributedString.h"
#include "OrvTextView/Highlighting/TextAttachmentPattern.h"
#include "OrvTextView/OrvTextViewExport.h"

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

namespace orv {

/// What supplies the token patterns and the font of their cells; the text view is one.
class ORVTEXTVIEW_EXPORT TextAttachmentPatternContainer {
public:
    virtual ~TextAttachmentPatternContainer();

    virtual QFont textAttachmentFont() const = 0;
    virtual TextAttachmentPatternList textAttachmentPatterns() const = 0;
};

/// Converts between a model's plain string and the attributed text a view edits: forward,
/// every token becomes an attachment made by the container's patterns; backward, every
/// token attachment gives back its token text.
///
/// The container is held weakly when it is a QObject (the text view): once it is gone,
/// the forward transformation gives the empty string. A container that is not a QObject
/// must outlive the transformer.
class ORVTEXTVIEW_EXPORT TextAttachmentTransformer {
public:
    explicit TextAttachmentTransformer(TextAttachmentPatternContainer* container);

    static constexpr bool allowsReverseTransformation() { return true; }

    /// A string becomes attributed text; anything else, or a missing container, the empty text.
    AttributedString transformedValue(const QVariant& value) const;
    AttributedString transformedValue(const QString& value) const;

    /// Each attachment character becomes its token text (every character on its own, so
    /// adjacent equal tokens both survive); other attachments disappear. Anything but
    /// attributed text gives the empty string.
    QString reverseTransformedValue(const QVariant& value) const;
    static QString reverseTransformedValue(const AttributedString& value);

private:
    TextAttachmentPatternContainer* container() const;

    TextAttachmentPatternContainer* m_container = nullptr;
    QPointer<QObject> m_containerObject;
    bool m_containerIsObject = false;
};

} // namespace orv

Q_DECLARE_METATYPE(orv::AttributedString)
