#pragma once

#include "library/Bundle.h"
#include "library/CustomExpander.h"
#include "library/ProgrammingLanguageCocoaAdapter.h"
#include "library/SupportedLanguagesHolder.h"

#include <QAbstractListModel>
#include <QFontMetrics>
#include <QSize>
#include <QWidget>

#include <memory>
#include <vector>

class QListView;
class QToolButton;

namespace quillet {

/// A bundle's languages as a SupportedLanguagesHolder, so the languages chooser edits a
/// bundle as it edits an expander. Entries that name no known language are kept. Holds the
/// bundle weakly: once it is gone, it has no languages and writes nothing.
class BundleLanguagesHolder final : public SupportedLanguagesHolder {
public:
    explicit BundleLanguagesHolder(std::weak_ptr<Bundle> bundle)
        : m_bundle(std::move(bundle))
    {
    }

    ProgrammingLanguageList supportedLanguages() const override;
    void setSupportedLanguages(const ProgrammingLanguageList& languages) override;

private:
    std::weak_ptr<Bundle> m_bundle;
};

/// Every known language as a check box row, sorted by name (capitals before small letters
/// at the first difference); a row is checked when the holder supports its language, and
/// checking or unchecking it adds the language at the end of the holder's list or removes
/// its first entry. Without a holder the list is empty.
class SupportedLanguagesModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit SupportedLanguagesModel(QObject* parent = nullptr);

    /// Rebuilds the rows for the holder (none empties the list).
    void setHolder(std::shared_ptr<SupportedLanguagesHolder> holder);
    /// Tells the views that the holder's languages changed elsewhere.
    void refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::shared_ptr<SupportedLanguagesHolder> m_holder;
    std::vector<std::unique_ptr<ProgrammingLanguageCocoaAdapter>> m_rows;
};

/// The supported languages chooser: a list of the languages with check boxes, for an
/// expander or a bundle. It keeps nothing of its own; every tick changes the element at once,
/// and the library saves it.
class SupportedLanguagesViewController final : public QWidget {
    Q_OBJECT
public:
    explicit SupportedLanguagesViewController(QWidget* parent = nullptr);
    ~SupportedLanguagesViewController() override;

    /// A chooser that opens in a popover below `button` at each click (Space or Return on
    /// it too), owned by the button.
    static SupportedLanguagesViewController* openedBy(QToolButton* button);

    void setExpander(const CustomExpanderPtr& expander);
    void setBundle(const BundlePtr& bundle);
    /// Any holder of languages; none empties the list.
    void setHolder(std::shared_ptr<SupportedLanguagesHolder> holder);

    SupportedLanguagesModel* model() const noexcept { return m_model; }
    QListView* listView() const noexcept { return m_listView; }

    /// The height of one language row in a font of these metrics.
    static int rowHeight(const QFontMetrics& metrics);
    /// Room for every language row and the widest name, without a scroll bar.
    QSize sizeHint() const override;

protected:
    /// The chooser takes the keyboard as soon as it shows: arrows move between the rows,
    /// Space ticks, Return or Escape closes it with what is ticked.
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void takeFocus();

    void stopObserving();

    SupportedLanguagesModel* m_model = nullptr;
    QListView* m_listView = nullptr;
    std::weak_ptr<Observable> m_observed;
    Observable::ObserverId m_observer = 0;
};

} // namespace quillet
