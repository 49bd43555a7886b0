#include "editor/BundleListModel.h"

#include "EditorTestSupport.h"
#include "docs/views/QtText.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QGuiApplication>
#include <QMimeData>
#include <QPalette>
#include <QSignalSpy>
#include <QUrl>

#include <gtest/gtest.h>

namespace quillet {
namespace {

using test::LibraryShape;

class BundleListModelTest : public test::LibraryFixture {
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        model = std::make_unique<BundleListModel>(store());
        tester = std::make_unique<QAbstractItemModelTester>(
            model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    void TearDown() override
    {
        tester.reset();
        model.reset();
        LibraryFixture::TearDown();
    }

    /// What the model shows, as the library's shape.
    LibraryShape rows() const
    {
        LibraryShape shape;
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex bundleIndex = model->index(row, 0);
            std::vector<std::string> names;
            for (int child = 0; child < model->rowCount(bundleIndex); ++child)
                names.push_back(model->index(child, 0, bundleIndex).data().toString().toStdString());
            shape.emplace_back(bundleIndex.data().toString().toStdString(), names);
        }
        return shape;
    }

    QModelIndex bundleRow(int row) const { return model->index(row, 0); }
    QModelIndex expanderRow(int bundle, int row) const { return model->index(row, 0, bundleRow(bundle)); }

    /// Starts a drag of the row, as the view does.
    std::unique_ptr<QMimeData> drag(const QModelIndex& index) const
    {
        return std::unique_ptr<QMimeData>(model->mimeData({ index }));
    }

    std::unique_ptr<BundleListModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST_F(BundleListModelTest, RowsFollowEveryChangeOfTheLibraryWithExactSignals)
{
    EXPECT_EQ(rows(), storeShape());
    QSignalSpy resets(model.get(), &QAbstractItemModel::modelReset);
    QSignalSpy inserts(model.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removals(model.get(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy moves(model.get(), &QAbstractItemModel::rowsMoved);
    QPersistentModelIndex b1 = expanderRow(1, 0);

    auto& actions = model->actions();
    actions.addBundle();
    actions.addExpander(BundleListElement(bundle(2)));
    actions.duplicate(BundleListElement(expander(0, 0)));
    actions.moveBundle(bundle(0), 4);
    actions.moveExpander(expander(3, 3), bundle(0), 0);
    actions.moveExpander(expander(0, 0), bundle(0), 2);
    actions.remove(BundleListElement(bundle(1)));
    actions.remove(BundleListElement(expander(2, 1)));
    // From outside the window: a file imported through the store.
    BundleListActions::exportBundle(*bundle(0), dir.path() / "x.qlbundle");
    store().importBundle(dir.path() / "x.qlbundle", true);

    EXPECT_EQ(rows(), storeShape());
    EXPECT_EQ(rows(),
        (LibraryShape {
            { "B", { "b1", "a1" } }, { "New Bundle", {} }, { "A", { "a1", "a3" } }, { "B", { "b1", "a1" } } }));
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(inserts.count(), 5); // bundle, expander, copy, moved-in expander, import
    EXPECT_EQ(removals.count(), 3); // moved-out expander, bundle, expander
    EXPECT_EQ(moves.count(), 2); // bundle, expander within its bundle
    // A row that stayed keeps its index through all of it.
    ASSERT_TRUE(b1.isValid());
    EXPECT_EQ(b1.data().toString(), QStringLiteral("b1"));
}

TEST_F(BundleListModelTest, NamesAndEnabledFlagsAreEditedInPlaceAndAnEmptyNameIsRefused)
{
    QSignalSpy changes(model.get(), &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(model->setData(bundleRow(1), QStringLiteral("Bee")));
    EXPECT_TRUE(model->setData(expanderRow(0, 2), QStringLiteral("third")));
    EXPECT_FALSE(model->setData(bundleRow(0), QStringLiteral(" \t")));
    EXPECT_FALSE(model->setData(expanderRow(0, 0), QString()));
    EXPECT_TRUE(model->setData(expanderRow(0, 1), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_TRUE(model->setData(bundleRow(2), Qt::Unchecked, Qt::CheckStateRole));

    EXPECT_EQ(savedShape(), (LibraryShape { { "A", { "a1", "a2", "third" } }, { "Bee", { "b1" } }, { "C", {} } }));
    EXPECT_FALSE(expander(0, 1)->isEnabled());
    EXPECT_FALSE(bundle(2)->isEnabled());
    EXPECT_EQ(expanderRow(0, 1).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(changes.count(), 4);
    // A rename from elsewhere shows at once.
    expander(1, 0)->setName(u"renamed");
    EXPECT_EQ(expanderRow(1, 0).data().toString(), QStringLiteral("renamed"));
}

TEST_F(BundleListModelTest, SwitchedOffRowsAreGreyedButStaySelectableAndEditable)
{
    const QBrush greyed = QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
    const auto isGreyed = [&](const QModelIndex& index) {
        const QVariant brush = index.data(Qt::ForegroundRole);
        return brush.isValid() && brush.value<QBrush>() == greyed;
    };
    expander(0, 1)->setEnabled(false);
    QSignalSpy changes(model.get(), &QAbstractItemModel::dataChanged);
    bundle(1)->setEnabled(false);
    // The bundle's row and its expander's row both change.
    ASSERT_EQ(changes.count(), 2);
    EXPECT_EQ(changes.at(1).at(0).value<QModelIndex>(), expanderRow(1, 0));

    const struct {
        QModelIndex row;
        bool greyed;
    } cases[] = {
        { bundleRow(0), false },
        { expanderRow(0, 0), false },
        { expanderRow(0, 1), true },
        { bundleRow(1), true },
        { expanderRow(1, 0), true },
        { bundleRow(2), false },
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.row.data().toString().toStdString());
        EXPECT_EQ(isGreyed(each.row), each.greyed);
        EXPECT_TRUE(each.row.flags().testFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable));
    }
    bundle(1)->setEnabled(true);
    EXPECT_FALSE(isGreyed(expanderRow(1, 0)));
}

TEST_F(BundleListModelTest, DropsFollowTheRulesAndMoveTheDraggedRow)
{
    struct Case {
        const char* what;
        int dragBundle, dragExpander; // dragExpander -1: the bundle row
        int targetBundle; // -1: the top level
        int row;
        bool allowed;
        LibraryShape after;
    };
    const LibraryShape start { { "A", { "a1", "a2", "a3" } }, { "B", { "b1" } }, { "C", {} } };
    const Case cases[] = {
        { "bundle after the last", 0, -1, -1, 3, true,
            { { "B", { "b1" } }, { "C", {} }, { "A", { "a1", "a2", "a3" } } } },
        { "bundle below all rows", 1, -1, -1, -1, true,
            { { "A", { "a1", "a2", "a3" } }, { "C", {} }, { "B", { "b1" } } } },
        { "bundle onto a bundle", 0, -1, 1, -1, false, start },
        { "bundle among expanders", 0, -1, 1, 0, false, start },
        { "expander onto a bundle", 0, 2, 1, -1, true,
            { { "A", { "a1", "a2" } }, { "B", { "a3", "b1" } }, { "C", {} } } },
        { "expander between expanders", 1, 0, 0, 1, true,
            { { "A", { "a1", "b1", "a2", "a3" } }, { "B", {} }, { "C", {} } } },
        { "expander on the top level", 0, 0, -1, 1, false, start },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        const QModelIndex dragged
            = c.dragExpander < 0 ? bundleRow(c.dragBundle) : expanderRow(c.dragBundle, c.dragExpander);
        const auto data = drag(dragged);
        EXPECT_TRUE(data->hasFormat(BundleListModel::rowMimeType()));
        const QModelIndex target = c.targetBundle < 0 ? QModelIndex() : bundleRow(c.targetBundle);
        EXPECT_EQ(model->canDropMimeData(data.get(), Qt::MoveAction, c.row, 0, target), c.allowed);
        EXPECT_EQ(model->dropMimeData(data.get(), Qt::MoveAction, c.row, 0, target), c.allowed);
        EXPECT_EQ(rows(), c.after);
        EXPECT_EQ(saveCount(), c.allowed ? 1u : 0u);
        if (c.allowed) {
            EXPECT_EQ(savedShape(), c.after);
        }
    }
    // Nothing can be dropped onto an expander row.
    const auto data = drag(expanderRow(0, 0));
    EXPECT_FALSE(model->canDropMimeData(data.get(), Qt::MoveAction, -1, 0, expanderRow(1, 0)));
}

TEST_F(BundleListModelTest, DroppedBundleFilesAreHandedOnAndOtherFilesRefused)
{
    QSignalSpy dropped(model.get(), &BundleListModel::bundleFilesDropped);
    QMimeData files;
    files.setUrls({ QUrl::fromLocalFile(QStringLiteral("/tmp/one.qlbundle")),
        QUrl::fromLocalFile(QStringLiteral("/tmp/Two.QLBUNDLE")) });
    EXPECT_TRUE(model->canDropMimeData(&files, Qt::CopyAction, -1, 0, {}));
    EXPECT_TRUE(model->dropMimeData(&files, Qt::CopyAction, -1, 0, {}));
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped.front().front().toStringList(),
        (QStringList { QStringLiteral("/tmp/one.qlbundle"), QStringLiteral("/tmp/Two.QLBUNDLE") }));

    QMimeData others;
    others.setUrls({ QUrl::fromLocalFile(QStringLiteral("/tmp/one.qlbundle")),
        QUrl::fromLocalFile(QStringLiteral("/tmp/notes.txt")) });
    EXPECT_FALSE(model->canDropMimeData(&others, Qt::CopyAction, -1, 0, {}));
    QMimeData web;
    web.setUrls({ QUrl(QStringLiteral("https://example.com/x.qlbundle")) });
    EXPECT_FALSE(model->dropMimeData(&web, Qt::CopyAction, -1, 0, {}));
    EXPECT_EQ(dropped.count(), 1);
}

TEST_F(BundleListModelTest, IndexOfFindsEveryElementAndNothingOutsideTheLibrary)
{
    for (int b = 0; b < model->rowCount(); ++b) {
        EXPECT_EQ(model->indexOf(BundleListElement(bundle(b))), bundleRow(b));
        for (int e = 0; e < model->rowCount(bundleRow(b)); ++e) {
            EXPECT_EQ(model->indexOf(BundleListElement(expander(b, e))), expanderRow(b, e));
            EXPECT_EQ(model->elementAt(expanderRow(b, e))->expander(), expander(b, e));
        }
    }
    EXPECT_FALSE(model->indexOf(BundleListElement(std::make_shared<Bundle>())).isValid());
    EXPECT_FALSE(model->indexOf(BundleListElement(expander(0, 0)->copy())).isValid());
}

} // namespace
} // namespace quillet
