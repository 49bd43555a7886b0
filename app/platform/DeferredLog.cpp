#include "platform/DeferredLog.h"

#include "platform/ProcessExit.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace quillet {

void logFromAnyThread(const QLoggingCategory& (*category)(), QtMsgType type, const QString& line)
{
    if (!category().isEnabled(type) || processIsExiting())
        return;
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    QMetaObject::invokeMethod(
        application,
        [category, type, line] {
            const QMessageLogger logger;
            switch (type) {
            case QtDebugMsg:
                logger.debug(category()).noquote() << line;
                break;
            case QtInfoMsg:
                logger.info(category()).noquote() << line;
                break;
            case QtWarningMsg:
                logger.warning(category()).noquote() << line;
                break;
            case QtCriticalMsg:
            case QtFatalMsg:
                logger.critical(category()).noquote() << line;
                break;
            }
        },
        Qt::QueuedConnection);
}

} // namespace quillet
