#include "OrvTextView/About/AboutWindowController.h"
#include "OrvTextView/Misc/AutoresizingTabViewController.h"
#include "OrvTextView/TabController/TabController.h"
#include "OrvTextView/Transformers/CertainClassValueTransformer.h"

#include <QLabel>
#include <QStackedWidget>
#include <QTemporaryFile>
#include <QTest>
#include <QVBoxLayout>

using namespace orv;

namespace {

enum class PreferencesTab { general, shortcuts };

struct Element {
    virtual ~Element() = default;
};
struct BundleElement : Element { };
struct ExpanderElement : Element { };
struct SpecialBundle : BundleElement { };

// A page that wants a certain size.
class Page : public QLabel {
public:
    Page(const QString& text, QSize size)
        : QLabel(text)
        , m_size(size)
    {
    }
    QSize sizeHint() const override { return m_size; }
    QSize minimumSizeHint() const override { return QSize(10, 10); }

private:
    QSize m_size;
};

QSize pageArea(const QTabWidget& tabs)
{
    return tabs.findChild<QStackedWidget*>()->size();
}

} // namespace

class WindowHelpersTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void eachTabGetsItsRecordedSizeWithTheTopLeftKept()
    {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* tabs = new AutoresizingTabViewController;
        tabs->setAnimationDuration(0);
        layout->addWidget(tabs);
        auto* tall = new Page("tall", QSize(400, 300));
        auto* lazy = new Page("lazy", QSize(350, 200));
        auto* shortPage = new Page("short", QSize(300, 120));
        tabs->addTab(tall, "&General");
        tabs->addTab(shortPage, "Shortcuts");
        tabs->addTab(lazy, "Other");
        window.move(100, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint topLeft = window.geometry().topLeft();
        QTRY_COMPARE(pageArea(*tabs), QSize(400, 300));

        tabs->setCurrentIndex(1);
        QTRY_COMPARE(pageArea(*tabs), QSize(300, 120));
        QCOMPARE(window.windowTitle(), QString("Shortcuts"));
        QCOMPARE(window.geometry().topLeft(), topLeft);

        window.resize(window.size() + QSize(50, 50)); // the user resizes; the record stays
        tabs->setCurrentIndex(0);
        QTRY_COMPARE(pageArea(*tabs), QSize(400, 300));
        QCOMPARE(window.windowTitle(), QString("General"));
        QVERIFY(!tabs->recordedSize(2)); // recorded only when first selected
        tabs->setCurrentIndex(2);
        QCOMPARE(tabs->recordedSize(2), std::optional<QSize>(QSize(350, 200)));

        TabController<PreferencesTab> controller(tabs);
        controller.setSelectedItem(PreferencesTab::shortcuts);
        QCOMPARE(controller.selectedItem(), std::optional(PreferencesTab::shortcuts));
        QCOMPARE(controller[PreferencesTab::general], static_cast<QWidget*>(tall));
        QCOMPARE(controller.viewController<QLabel>(PreferencesTab::general), static_cast<QLabel*>(tall));
        QCOMPARE(controller.viewController<QTabWidget>(PreferencesTab::general), nullptr);
    }

    void theAboutWindowShowsTheApplicationAndItsLinks()
    {
        AboutInfo info;
        info.name = "Quillet";
        info.version = "2.0";
        info.build = "17";
        info.copyright = "Copyright";
        auto about = AboutWindowController::createWithWindow(info);
        QCOMPARE(about->versionLabel()->text(), QString("Version 2.0 (17)"));
        QCOMPARE(about->appNameLabel()->text(), QString("Quillet"));
        QVERIFY(about->acknowledgementsButton()->isHidden());
        QVERIFY(about->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

        const QString twitter = about->twitterLabel()->text();
        QVERIFY(twitter.startsWith("follow us: <a href=\"https://twitter.com/orvanta\""));
        QVERIFY(twitter.contains("rgb(13, 102, 166)"));
        QVERIFY(twitter.endsWith(">@orvanta</a>"));
        QCOMPARE(AboutWindowController::createURLString("a<b", "b", QUrl("https://x.org")),
            QString("a&lt;<a href=\"https://x.org\" style=\"color: rgb(13, 102, 166); text-decoration: none;\">b</a>"));

        QTemporaryFile acknowledgements;
        QVERIFY(acknowledgements.open());
        info.acknowledgementsPath = acknowledgements.fileName();
        auto withDocument = AboutWindowController::createWithWindow(info);
        QVERIFY(!withDocument->acknowledgementsButton()->isHidden());
        QList<QUrl> opened;
        withDocument->setUrlOpener([&](const QUrl& url) { opened.append(url); });
        withDocument->showAcknowledgments();
        withDocument->moreApps();
        QCOMPARE(opened,
            QList<QUrl>({ QUrl::fromLocalFile(acknowledgements.fileName()), AboutWindowController::productsUrl() }));
    }

    void theClassFilterLetsOnlyItsClassThrough()
    {
        const CertainClassValueTransformer<BundleElement> bundles;
        BundleElement bundle;
        ExpanderElement expander;
        SpecialBundle special;
        QCOMPARE(bundles.transformedValue(static_cast<Element*>(&bundle)), &bundle);
        QCOMPARE(bundles.transformedValue(static_cast<Element*>(&expander)), nullptr);
        QCOMPARE(bundles.transformedValue(static_cast<Element*>(&special)), static_cast<BundleElement*>(&special));
        QCOMPARE(bundles.transformedValue(static_cast<Element*>(nullptr)), nullptr);
        const std::shared_ptr<Element> shared = std::make_shared<ExpanderElement>();
        QVERIFY(!bundles.transformedValue(shared));
        static_assert(!CertainClassValueTransformer<BundleElement>::allowsReverseTransformation());
    }
};

QTEST_MAIN(WindowHelpersTest)
#include "WindowHelpersTest.moc"
