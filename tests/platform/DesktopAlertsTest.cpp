#include "platform/DesktopEnvironment.h"

#include "library/Alert.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

namespace quillet {
namespace {

// The library's alerts quote file contents and bundle names: as rich text a crafted bundle
// could show a link that opens any file, or lay the dialog out as it likes.
TEST(DesktopAlerts, QuoteFileContentsAndNamesAsPlainText)
{
    const char16_t* const markup = u"<a href=\"file:///etc/passwd\">passwd</a><h1>Big</h1>";
    const QString expected = QString::fromUtf16(markup);
    QtUserAlerts alerts;
    int labelsWithTheText = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (auto* label : box->findChildren<QLabel*>()) {
            if (!label->text().contains(expected))
                continue;
            ++labelsWithTheText;
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
            EXPECT_FALSE(label->openExternalLinks());
        }
        box->done(0);
    });
    alerts.runModal(Alert::withTitle(markup, markup));
    EXPECT_EQ(labelsWithTheText, 2); // the message and the informative text
}

} // namespace
} // namespace quillet
