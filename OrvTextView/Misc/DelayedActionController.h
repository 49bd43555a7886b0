#pragma once

#include "OrvTextView/OrvTextViewExport.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <optional>

namespace orv {

/// Runs an action once a burst of requests has calmed down (a debounce): each perform()
/// asks for the action, and it runs on the owner's thread (the event loop of the thread
/// the controller lives in) once `interval` seconds have passed since the latest request.
///
/// Time is measured on the monotonic clock, so a change of the wall clock neither fires
/// the action early nor holds it back. A controller destroyed before its time runs nothing.
class ORVTEXTVIEW_EXPORT DelayedActionController final : public QObject {
    Q_OBJECT
public:
    DelayedActionController(double interval, std::function<void()> action, QObject* parent = nullptr);

    /// Records a request and returns at once.
    void perform();

private:
    using Clock = std::chrono::steady_clock;
    void check(quint64 request);

    double m_interval;
    std::optional<Clock::time_point> m_lastTime;
    std::function<void()> m_action;
    quint64 m_lastRequest = 0;
    quint64 m_answeredRequest = 0;
};

} // namespace orv
