#pragma once
// The dispatcher on the Qt event loop: post() queues onto the thread of the
// context object, invoke() blocks the worker until the call has run there,
// pump() runs the event loop once, sleeping in it until an event arrives.
#include "dispatcher.h"

#include <QObject>

class QtDispatcher final : public QObject, public IDispatcher {
public:
    explicit QtDispatcher(QObject* parent = nullptr);
    void post(std::function<void()> fn) override;
    void invoke(std::function<void()> fn) override;
    bool isMainThread() const override;
    void pump(std::chrono::steady_clock::time_point deadline) override;
};
