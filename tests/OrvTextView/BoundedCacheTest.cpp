#include "OrvTextView/BoundedCache.h"

#include <QTest>

#include <string>
#include <string_view>

using namespace orv;

namespace {

struct ViewHash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view text) const noexcept { return std::hash<std::u16string_view> {}(text); }
};

} // namespace

class BoundedCacheTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void keepsEveryEntryUpToTheLimitThenStartsAfresh()
    {
        BoundedCache<int, int> cache;
        for (int key = 0; key < int(cache.maximumEntries); ++key)
            cache.insert(key, key * 2);
        QCOMPARE(cache.size(), cache.maximumEntries);
        const int* first = cache.find(0);
        QVERIFY(first);
        QCOMPARE(*first, 0);
        QCOMPARE(*cache.find(int(cache.maximumEntries) - 1), int(cache.maximumEntries) * 2 - 2);

        QCOMPARE(cache.insert(-1, 7), 7);
        QCOMPARE(cache.size(), std::size_t(1));
        QVERIFY(!cache.find(0));
        QCOMPARE(*cache.find(-1), 7);
    }

    void findsByAViewWithoutMakingAKey()
    {
        BoundedCache<std::u16string, int, ViewHash> cache;
        cache.insert(u"for ${x}", 1);
        QCOMPARE(*cache.find(std::u16string_view(u"for ${x}")), 1);
        QVERIFY(!cache.find(std::u16string_view(u"for")));
        cache.insert(u"for ${x}", 2); // the same key is replaced, not added
        QCOMPARE(cache.size(), std::size_t(1));
        QCOMPARE(*cache.find(std::u16string_view(u"for ${x}")), 2);
    }
};

QTEST_GUILESS_MAIN(BoundedCacheTest)
#include "BoundedCacheTest.moc"
