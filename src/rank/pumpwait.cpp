#include "rank/pumpwait.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>

uint32_t tickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void PumpWait(int32_t milliseconds, const std::function<uint32_t()>& tick) {
    const uint32_t t0 = tick();
    for (;;) {
        QCoreApplication::processEvents();
        const uint32_t t = tick();
        const auto elapsed = static_cast<int32_t>(t - t0);
        if (elapsed >= milliseconds || static_cast<int32_t>(t) < static_cast<int32_t>(t0))
            return;
        // Not a busy wait: a short nap between rounds of events.
        QThread::msleep(static_cast<unsigned long>(std::min<int32_t>(milliseconds - elapsed, 5)));
    }
}
