#pragma once

#include "library/CustomExpander.h"
#include "library/Observable.h"

#include <QWidget>

#include <memory>

namespace orv {
class MarkdownTextView;
}

namespace quillet {

/// Shows and edits an expander's description in a markdown text view that highlights the
/// documentation markup as the user types. The text follows the expander's description,
/// and every edit goes straight into the expander. The expander is held weakly: when it
/// goes away the view shows nothing.
class ExpanderDescritpionViewController final : public QWidget {
    Q_OBJECT
public:
    explicit ExpanderDescritpionViewController(QWidget* parent = nullptr);
    ~ExpanderDescritpionViewController() override;

    CustomExpanderPtr expander() const { return m_expander.lock(); }
    void setExpander(const CustomExpanderPtr& expander);

    orv::MarkdownTextView* textView() const noexcept { return m_textView; }

    /// The text's distance from the view's edges, on each axis.
    static constexpr int textContainerInset = 20;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void stopObserving();
    void updateText();
    void textEdited();

    std::weak_ptr<CustomExpander> m_expander;
    Observable::ObserverId m_observer = 0;
    orv::MarkdownTextView* m_textView = nullptr;
    bool m_writing = false;
};

} // namespace quillet
