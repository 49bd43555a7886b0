#pragma once

#include "library/CustomExpander.h"
#include "library/Observable.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace orv {
class TextAttachmentBinding;
}

namespace quillet {

class VariableTextView;

/// Keeps a variable text view and one text property of an expander in step, both ways
/// (the framework's TextAttachmentBinding over the expander's observable property): the
/// property's text is shown with every token made, and every edit of the view - typing,
/// pasting, or a token whose text its popover rewrote - writes the whole plain text back
/// into the expander at once.
class ExpanderTextBinding final : public QObject {
    Q_OBJECT
public:
    using Getter = std::function<icu::UnicodeString(const CustomExpander&)>;
    using Setter = std::function<void(CustomExpander&, const icu::UnicodeString&)>;

    ExpanderTextBinding(
        VariableTextView* view, Observable::Property property, Getter get, Setter set, QObject* parent = nullptr);
    ~ExpanderTextBinding() override;

    void setExpander(const CustomExpanderPtr& expander);
    const CustomExpanderPtr& expander() const noexcept { return m_expander; }

private:
    QString read() const;
    void write(const QString& text);
    void stopObserving();

    QPointer<VariableTextView> m_view;
    Observable::Property m_property;
    Getter m_get;
    Setter m_set;
    QPointer<orv::TextAttachmentBinding> m_binding;
    CustomExpanderPtr m_expander;
    Observable::ObserverId m_observer = 0;
    bool m_writing = false;
};

} // namespace quillet
