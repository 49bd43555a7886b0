#include "editor/BundleListActions.h"

#include "EditorTestSupport.h"
#include "text/UserErrorDescriptionType.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using test::LibraryShape;

TEST(BundleListDropRules, AllowBundlesBetweenBundlesAndExpandersIntoBundlesOnly)
{
    struct Case {
        int dragged, target, childIndex;
        bool allowed;
    };
    const Case cases[] = {
        { bundleLevel, rootLevel, 0, true }, // a bundle before the first
        { bundleLevel, rootLevel, 3, true }, // a bundle after the last
        { bundleLevel, rootLevel, -1, false }, // onto the root
        { bundleLevel, bundleLevel, -1, false }, // onto another bundle
        { bundleLevel, bundleLevel, 0, false }, // among a bundle's expanders
        { bundleLevel, expanderLevel, -1, false }, // onto an expander
        { expanderLevel, bundleLevel, -1, true }, // onto a bundle row
        { expanderLevel, bundleLevel, 2, true }, // between a bundle's expanders
        { expanderLevel, rootLevel, 1, false }, // on the top level
        { expanderLevel, expanderLevel, -1, false }, // onto another expander
        { rootLevel, bundleLevel, -1, false }, // nothing dragged
        { rootLevel, rootLevel, 0, false },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(canDropBundleListRow(c.dragged, c.target, c.childIndex), c.allowed)
            << "dragged " << c.dragged << " target " << c.target << " index " << c.childIndex;
    }
}

class BundleListActionsTest : public test::LibraryFixture {
protected:
    BundleListActions actions() { return BundleListActions(store()); }
};

TEST_F(BundleListActionsTest, MovingABundleSavesOnceWithTheFinalOrder)
{
    struct Case {
        int from, proposed;
        std::vector<std::string> order;
        std::size_t saves;
    };
    const Case cases[] = {
        { 0, 3, { "B", "C", "A" }, 1 }, // first to after the last
        { 2, 0, { "C", "A", "B" }, 1 }, // last to the front
        { 0, 2, { "B", "A", "C" }, 1 }, // one down
        { 1, 1, { "A", "B", "C" }, 0 }, // onto its own place
        { 1, 2, { "A", "B", "C" }, 0 }, // just below itself
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("from " + std::to_string(c.from) + " to " + std::to_string(c.proposed));
        load(test::libraryObject({ { "A", { "a1" } }, { "B", { "b1" } }, { "C", {} } }));
        ASSERT_TRUE(actions().moveBundle(bundle(c.from), c.proposed));
        EXPECT_EQ(saveCount(), c.saves);
        std::vector<std::string> saved;
        for (const auto& [name, expanders] : savedShape())
            saved.push_back(name);
        EXPECT_EQ(saved, c.order);
        EXPECT_EQ(storeShape(), savedShape());
    }
}

TEST_F(BundleListActionsTest, MovingAnExpanderSavesOnceAndNeverLosesIt)
{
    struct Case {
        int fromBundle, fromIndex, toBundle, proposed;
        LibraryShape shape;
        std::size_t saves;
    };
    const Case cases[] = {
        { 0, 1, 1, -1, { { "A", { "a1", "a3" } }, { "B", { "a2", "b1" } }, { "C", {} } },
            1 }, // onto a bundle row: first
        { 0, 0, 1, 1, { { "A", { "a2", "a3" } }, { "B", { "b1", "a1" } }, { "C", {} } },
            1 }, // after the last of another bundle
        { 0, 2, 2, 0, { { "A", { "a1", "a2" } }, { "B", { "b1" } }, { "C", { "a3" } } }, 1 }, // into an empty bundle
        { 0, 0, 0, 3, { { "A", { "a2", "a3", "a1" } }, { "B", { "b1" } }, { "C", {} } }, 1 }, // down in its own bundle
        { 0, 2, 0, -1, { { "A", { "a3", "a1", "a2" } }, { "B", { "b1" } }, { "C", {} } },
            1 }, // onto its own bundle row
        { 0, 1, 0, 2, { { "A", { "a1", "a2", "a3" } }, { "B", { "b1" } }, { "C", {} } }, 0 }, // just below itself
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("expander " + std::to_string(c.fromIndex) + " of bundle " + std::to_string(c.fromBundle));
        SetUp();
        ASSERT_TRUE(actions().moveExpander(expander(c.fromBundle, c.fromIndex), bundle(c.toBundle), c.proposed));
        EXPECT_EQ(saveCount(), c.saves);
        EXPECT_EQ(storeShape(), c.shape);
        if (c.saves > 0) {
            EXPECT_EQ(savedShape(), c.shape);
        }
    }
}

TEST_F(BundleListActionsTest, RefusesMovesOfElementsOrTargetsOutsideTheLibrary)
{
    auto stranger = std::make_shared<Bundle>();
    auto strangerExpander = std::make_shared<CustomExpander>();
    EXPECT_FALSE(actions().moveBundle(stranger, 0));
    EXPECT_FALSE(actions().moveBundle(bundle(0), 4));
    EXPECT_FALSE(actions().moveExpander(strangerExpander, bundle(0), 0));
    EXPECT_FALSE(actions().moveExpander(expander(0, 0), stranger, 0));
    EXPECT_FALSE(actions().moveExpander(expander(0, 0), bundle(1), 5));
    EXPECT_EQ(saveCount(), 0u);
}

TEST_F(BundleListActionsTest, AddDuplicateAndDeleteEachSaveTheResultOnce)
{
    auto a2 = expander(0, 1);
    a2->setIdentifier(u"two");
    const std::size_t before = saveCount();

    const auto newBundle = actions().addBundle();
    EXPECT_EQ(saveCount(), before + 1);
    EXPECT_EQ(savedShape().back(), (std::pair<std::string, std::vector<std::string>> { "New Bundle", {} }));

    const auto added = actions().addExpander(BundleListElement(expander(1, 0)));
    ASSERT_TRUE(added);
    EXPECT_EQ(added.get(), bundle(1)->expanders().back().get());
    EXPECT_EQ(savedShape().at(1).second, (std::vector<std::string> { "b1", "New Expander" }));
    EXPECT_FALSE(actions().addExpander(BundleListElement(std::make_shared<Bundle>())));

    const auto copy = actions().duplicate(BundleListElement(a2));
    ASSERT_TRUE(copy && copy->isExpander());
    EXPECT_NE(copy->expander().get(), a2.get());
    EXPECT_EQ(copy->expander()->dictionary(), a2->dictionary());
    EXPECT_EQ(savedShape().at(0).second, (std::vector<std::string> { "a1", "a2", "a3", "a2" }));

    const auto bundleCopy = actions().duplicate(BundleListElement(bundle(0)));
    ASSERT_TRUE(bundleCopy && bundleCopy->isBundle());
    EXPECT_EQ(bundleCopy->bundle()->dictionary(), bundle(0)->dictionary());
    EXPECT_NE(bundleCopy->bundle()->expanders().front().get(), bundle(0)->expanders().front().get());
    const std::size_t afterCopies = saveCount();
    EXPECT_EQ(afterCopies, before + 4);

    EXPECT_TRUE(actions().remove(BundleListElement(bundle(0))));
    EXPECT_TRUE(actions().remove(*copy) == false); // it left with its bundle
    EXPECT_TRUE(actions().remove(BundleListElement(newBundle)));
    EXPECT_EQ(saveCount(), afterCopies + 2);
    EXPECT_EQ(savedShape(),
        (LibraryShape { { "B", { "b1", "New Expander" } }, { "C", {} }, { "A", { "a1", "a2", "a3", "a2" } } }));
}

TEST_F(BundleListActionsTest, DeleteQuestionNamesTheKindOfElement)
{
    EXPECT_EQ(BundleListActions::deleteQuestion(BundleListElement(bundle(0))),
        icu::UnicodeString(u"Are you sure you want to delete \"A\" bundle?"));
    EXPECT_EQ(BundleListActions::deleteQuestion(BundleListElement(expander(0, 0))),
        icu::UnicodeString(u"Are you sure you want to delete \"a1\" expander?"));
}

TEST_F(BundleListActionsTest, ExportedBundleImportsBackEqual)
{
    bundle(0)->setBundleDescription(u"Line one\n> a1 x\n\u00e9\U0001F600");
    const auto file = dir.path() / "out" / "A.qlbundle";
    BundleListActions::exportBundle(*bundle(0), file);
    const std::size_t before = saveCount();
    const std::string exported = test::readFile(file);
    EXPECT_NE(exported.find("\n    \""), std::string::npos) << "pretty-printed";

    actions().importBundleFiles({ file });
    EXPECT_EQ(saveCount(), before + 1);
    ASSERT_EQ(store().bundles().size(), 4u);
    EXPECT_EQ(store().bundles().back()->dictionary(), bundle(0)->dictionary());
    EXPECT_TRUE(recording->userInterface->alerts.empty());
}

TEST_F(BundleListActionsTest, ExportFailureIsReportedAndTouchesNothing)
{
    test::writeFile(dir.path() / "plain", "x");
    try {
        BundleListActions::exportBundle(*bundle(0), dir.path() / "plain" / "A.qlbundle");
        FAIL() << "no error";
    } catch (const CbError& error) {
        EXPECT_EQ(error.userErrorTitle(), icu::UnicodeString(u"File could not be saved"));
        EXPECT_FALSE(error.userErrorDescription().isEmpty());
    }
    EXPECT_EQ(saveCount(), 0u);
}

TEST_F(BundleListActionsTest, BadBundleFilesLeaveTheLibraryUntouchedAndShowTheirAlert)
{
    const std::string libraryBefore = test::readFile(libraryFile());
    const std::pair<std::string, std::string> files[] = {
        { "broken.qlbundle", "{\"name\": \"X\", " },
        { "array.qlbundle", "[1, 2]" },
        { "nameless.qlbundle", "{\"expanders\": []}" },
        { "badexpander.qlbundle", "{\"name\": \"X\", \"expanders\": [{\"name\": 3}]}" },
    };
    std::vector<std::filesystem::path> paths;
    for (const auto& [name, contents] : files) {
        test::writeFile(dir.path() / name, contents);
        paths.push_back(dir.path() / name);
    }
    paths.push_back(dir.path() / "missing.qlbundle");
    actions().importBundleFiles(paths);
    // One alert lists every file that failed, each by name.
    ASSERT_EQ(recording->userInterface->alerts.size(), 1u);
    EXPECT_EQ(recording->userInterface->alerts[0].messageText, icu::UnicodeString(u"File could not be read"));
    for (const auto& path : paths)
        EXPECT_NE(
            recording->userInterface->alerts[0].informativeText.indexOf(icu::UnicodeString::fromUTF8(path.string())),
            -1)
            << path;
    EXPECT_EQ(store().bundles().size(), 3u);
    EXPECT_EQ(saveCount(), 0u);
    EXPECT_EQ(test::readFile(libraryFile()), libraryBefore);
}

TEST(BundleExportFileName, KeepsTheNameAndReplacesWhatAFileNameCannotHold)
{
    const std::pair<std::u16string, std::u16string> cases[] = {
        { u"Swift", u"Swift.qlbundle" },
        { u"  C/C++ ", u"C-C++.qlbundle" },
        { u"..", u"Bundle.qlbundle" },
        { u"", u"Bundle.qlbundle" },
    };
    for (const auto& [name, file] : cases) {
        Bundle bundle;
        bundle.setName(icu::UnicodeString(name.data(), static_cast<int32_t>(name.size())));
        EXPECT_EQ(BundleListActions::exportFileName(bundle),
            icu::UnicodeString(file.data(), static_cast<int32_t>(file.size())));
    }
}

} // namespace
} // namespace quillet
