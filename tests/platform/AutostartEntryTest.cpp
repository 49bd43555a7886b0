#include "platform/AutostartEntry.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace quillet {
namespace {

struct ExecCase {
    const char* name;
    QString program;
    std::optional<QString> expected;
};

class AutostartExecArgument : public ::testing::TestWithParam<ExecCase> { };

TEST_P(AutostartExecArgument, QuotesAndEscapesAsTheDesktopEntryFormatRequires)
{
    EXPECT_EQ(AutostartEntry::execArgument(GetParam().program), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Shell, AutostartExecArgument,
    ::testing::Values(ExecCase { "PlainPathStaysAsItIs", QStringLiteral("/usr/bin/quillet-app"),
                          QStringLiteral("/usr/bin/quillet-app") },
        ExecCase { "SpaceIsQuoted", QStringLiteral("/opt/My Apps/quillet-app"),
            QStringLiteral("\"/opt/My Apps/quillet-app\"") },
        ExecCase {
            "PercentIsDoubled", QStringLiteral("/opt/100%/quillet-app"), QStringLiteral("/opt/100%%/quillet-app") },
        ExecCase { "DollarAndQuoteAreEscapedTwice", QStringLiteral("/opt/$x\"y/quillet-app"),
            QStringLiteral("\"/opt/\\\\$x\\\\\"y/quillet-app\"") },
        ExecCase { "BackslashBecomesFour", QStringLiteral("/opt/a\\b/quillet-app"),
            QStringLiteral("\"/opt/a\\\\\\\\b/quillet-app\"") },
        ExecCase { "LineFeedCannotBeCarried", QStringLiteral("/opt/a\nExec=evil/quillet-app"), std::nullopt }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AutostartEntry, EnablingWritesTheEntryForTheProgramAndDisablingRemovesIt)
{
    test::TempDir dir;
    const QString folder = QString::fromStdString((dir.path() / "config" / "autostart").string());
    const AutostartEntry entry(folder, QStringLiteral("/opt/My Apps/quillet-app"));
    ASSERT_FALSE(entry.exists());

    EXPECT_EQ(entry.setEnabled(true), std::nullopt);
    ASSERT_TRUE(entry.exists()) << "the missing folder is created";
    QFile file(entry.filePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nType=Application\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=\"/opt/My Apps/quillet-app\"\n")));
    file.close();

    // Enabling twice rewrites the same entry; disabling twice is no error.
    EXPECT_EQ(entry.setEnabled(true), std::nullopt);
    EXPECT_EQ(entry.setEnabled(false), std::nullopt);
    EXPECT_FALSE(entry.exists());
    EXPECT_EQ(entry.setEnabled(false), std::nullopt);
}

TEST(AutostartEntry, AProgramPathThatCannotBeCarriedWritesNothing)
{
    test::TempDir dir;
    const AutostartEntry entry(QString::fromStdString(dir.path().string()), QStringLiteral("/opt/a\nb/quillet-app"));
    EXPECT_NE(entry.setEnabled(true), std::nullopt);
    EXPECT_FALSE(entry.exists());
}

TEST(AutostartEntry, AFolderThatCannotBeWrittenIsReportedAndTheOldEntryStays)
{
    test::TempDir dir;
    const QString folder = QString::fromStdString(dir.path().string());
    const AutostartEntry entry(folder, QStringLiteral("/usr/bin/quillet-app"));
    ASSERT_EQ(entry.setEnabled(true), std::nullopt);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    if (QFileInfo(folder).isWritable()) {
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        GTEST_SKIP() << "running with rights that ignore file permissions";
    }
    EXPECT_NE(AutostartEntry(folder, QStringLiteral("/opt/other/quillet-app")).setEnabled(true), std::nullopt);
    EXPECT_NE(entry.setEnabled(false), std::nullopt);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile file(entry.filePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Exec=/usr/bin/quillet-app\n"));
}

} // namespace
} // namespace quillet
