#include "qt_dispatcher.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <exception>

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

void QtDispatcher::pumpFor(std::chrono::milliseconds slice) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, static_cast<int>(slice.count()));
    QThread::msleep(1);
}
