#pragma once

#include <QLoggingCategory>
#include <QString>

namespace quillet {

/// Logs a line from a thread that must never wait on the log's output (a terminal whose output
/// is suspended, or that stops a background job that writes to it): the line is handed to the
/// main thread's event loop, which writes it when it gets to it. Nothing is written when the
/// category does not log this type, without an application object, or once the process is
/// ending. Any thread.
void logFromAnyThread(const QLoggingCategory& (*category)(), QtMsgType type, const QString& line);

} // namespace quillet
