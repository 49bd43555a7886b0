#pragma once

#include "library/CustomExpander.h"
#include "library/Observable.h"

#include "OrvTextView/Attachments/TextAttachmentTransformer.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <string>

namespace quillet {

class VariableTextView;

/// Keeps a variable text view and one text property of an expander in step, both ways:
/// the property's text is shown with every token made (the view's token makers), and every
/// edit of the view (typing, pasting, a token's rewritten text) writes the whole plain text,
/// each token as its text, back into the expander at once.
class ExpanderTextBinding final : public QObject {
    Q_OBJECT
public:
    using Getter = std::function<icu::UnicodeString(const CustomExpander&)>;
    using Setter = std::function<void(CustomExpander&, const icu::UnicodeString&)>;

    ExpanderTextBinding(VariableTextView* view, std::string key, Getter get, Setter set, QObject* parent = nullptr);
    ~ExpanderTextBinding() override;

    void setExpander(const CustomExpanderPtr& expander);
    const CustomExpanderPtr& expander() const noexcept { return m_expander; }

    /// Shows the expander's text again (after the view's token makers changed).
    void reload();

private:
    void viewChanged();
    void stopObserving();

    QPointer<VariableTextView> m_view;
    std::string m_key;
    Getter m_get;
    Setter m_set;
    orv::TextAttachmentTransformer m_transformer;
    CustomExpanderPtr m_expander;
    Observable::ObserverId m_observer = 0;
    bool m_writing = false;
    bool m_loading = false;
};

} // namespace quillet
