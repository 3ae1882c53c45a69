#include "qt_dispatcher.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <limits>

QtDispatcher::QtDispatcher(QObject* parent) : QObject(parent) {}

void QtDispatcher::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void QtDispatcher::invoke(std::function<void()> fn) {
    if (isMainThread()) {
        fn();
        return;
    }
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        this,
        [&] {
            try {
                fn();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error) std::rethrow_exception(error);
}

bool QtDispatcher::isMainThread() const { return QThread::currentThread() == thread(); }

void QtDispatcher::pump(std::chrono::steady_clock::time_point deadline) {
    const auto now = std::chrono::steady_clock::now();
    if (deadline <= now) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // Its time-out is an event too, so the wait below ends at the deadline.
    QTimer timer;
    if (deadline != std::chrono::steady_clock::time_point::max()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        timer.setSingleShot(true);
        timer.start(static_cast<int>(std::min<long long>(left, std::numeric_limits<int>::max())));
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}
