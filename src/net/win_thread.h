#pragma once
// Runs one piece of work at a time on a fresh OS thread and hands chosen calls
// to the user-interface thread through the dispatcher the component was given.
// Calls of TCustomWinThread arrive on the user-interface thread, except
// Synchronize, which the work calls from its worker.
//
// A POSIX thread cannot be killed safely, so "killing" a worker abandons it:
// its thread object is marked abandoned (and terminated) and is replaced by a
// fresh one. Every event delivery of an abandoned object is checked on the
// user-interface thread, the same thread that abandons it, right before the
// call runs; an abandoned worker therefore never delivers another event. The
// OS thread itself runs on, detached, until its work next polls Terminated().
#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>

#include "dispatcher.h"

#include "thread_priority.h"

class TCustomWinThread;

// One OS thread and its state. A new one replaces the old at every Start.
class TEventWinThread : public std::enable_shared_from_this<TEventWinThread> {
public:
    ~TEventWinThread();
    TEventWinThread(const TEventWinThread&) = delete;
    TEventWinThread& operator=(const TEventWinThread&) = delete;

    // Polled by the work; set by Stop(false), by replacing and by abandoning.
    bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
    bool Running() const { return running_.load(std::memory_order_acquire); }
    bool Abandoned() const { return abandoned_.load(std::memory_order_acquire); }
    bool Suspended() const { return suspended_.load(std::memory_order_acquire); }
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    // The data the owner attached before Start.
    const std::shared_ptr<void>& Data() const { return data_; }

    // Runs fn on the user-interface thread and returns when it has run. Skipped
    // when this object has been abandoned. An exception from fn is dropped when
    // HandleExceptions is set and raised again here otherwise.
    void Synchronize(const std::function<void()>& fn);
    // Queues fn for the user-interface thread and returns at once, so the work
    // reads on. Calls run in the order queued, before any later Synchronize;
    // one that arrives after this object was abandoned is skipped. An
    // exception from fn is dropped (nobody waits for it).
    void Queue(std::function<void()> fn);
    // The work ends itself for good: no terminate step and no other event follows.
    void EndWithoutEvents() { noTerminate_.store(true, std::memory_order_release); }

    // The thread object whose work runs on the calling thread, or null.
    static TEventWinThread* Current();

private:
    friend class TCustomWinThread;
    TEventWinThread() = default;
    void Resume();
    void Abandon();
    void ThreadProc();
    void TerminateStep();

    std::atomic<bool> terminated_{false};
    std::atomic<bool> suspended_{true};
    std::atomic<bool> running_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> abandoned_{false};
    std::atomic<bool> noTerminate_{false};
    std::atomic<bool> handleExceptions_{true};
    std::atomic<int> priority_{tpNormal};
    std::atomic<int> tid_{0};
    std::shared_ptr<void> data_;
    IDispatcher* dispatcher_ = nullptr;  // never null once made
    // Touched only on the user-interface thread, and only while not abandoned.
    TCustomWinThread* owner_ = nullptr;
    std::function<void(TEventWinThread&)> onExecute_;
    std::function<void(TCustomWinThread*, std::exception_ptr)> onException_;
    std::function<void(TCustomWinThread*)> onTerminate_;
};

class TCustomWinThread {
public:
    using TExecuteEvent = std::function<void(TEventWinThread& Thread)>;
    using TExceptionEvent = std::function<void(TCustomWinThread* Sender, std::exception_ptr Error)>;
    using TNotifyEvent = std::function<void(TCustomWinThread* Sender)>;
    using TWinThreadWaitTimeoutExpired = std::function<void(TCustomWinThread* Sender, bool& TerminateThread)>;

    // dispatcher: the user-interface thread's; it must outlive the workers.
    explicit TCustomWinThread(IDispatcher& dispatcher);
    // Abandons a running worker; no event follows.
    virtual ~TCustomWinThread();
    TCustomWinThread(const TCustomWinThread&) = delete;
    TCustomWinThread& operator=(const TCustomWinThread&) = delete;

    // Replaces the thread object with a fresh one and starts it. Without
    // WaitThread it returns true at once; otherwise see WaitThread.
    bool Start();
    // KillThread: abandon the current object and replace it at once.
    // Otherwise only set its Terminated flag; the work must poll it.
    void Stop(bool KillThread);
    // From the worker: runs fn on the user-interface thread (see
    // TEventWinThread::Synchronize). From any other thread fn runs inline.
    void Synchronize(const std::function<void()>& fn);
    // A POSIX thread cannot be suspended from outside safely: no effect on a
    // running thread (see SetSuspended).
    void Suspend() {}

    bool Running() const;
    bool Terminated() const;
    // True until the current object's thread was started.
    bool Suspended() const;
    // false starts a thread object that was not started yet; true has no
    // effect on a running thread.
    void SetSuspended(bool value);

    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority value);

    bool HandleExceptions() const { return handleExceptions_; }
    void SetHandleExceptions(bool value);
    bool FreeOwnerOnTerminate = false;
    // Start blocks, letting the dispatcher run queued work, until the worker
    // ends or WaitTimeout ms (0 = no limit) have passed in all.
    bool WaitThread = false;
    uint32_t WaitTimeout = 0;
    // Attached to the next thread object made by Start (TEventWinThread::Data).
    std::shared_ptr<void> Data;

    TExecuteEvent OnExecute;
    TExceptionEvent OnException;
    TNotifyEvent OnTerminate;
    TWinThreadWaitTimeoutExpired OnWaitTimeoutExpired;
    // Frees the owning component when FreeOwnerOnTerminate is set (the terminate
    // step calls it after replacing the thread object).
    std::function<void()> OnFreeOwner;

    // Waits, running the queued work of dispatcher when called on its
    // user-interface thread, until every worker of the process (abandoned
    // ones too) has ended, or the timeout passes; true when none is left.
    static bool WaitForAllThreads(IDispatcher& dispatcher, std::chrono::milliseconds timeout);
    // Workers of the process that have not ended yet.
    static int LivingThreads();
    // Notified whenever a worker ends or is abandoned; work that marks its
    // own end for a waiter (a transfer) notifies it too. Any thread.
    static TWaitable& WorkerEvents();

    IDispatcher& Dispatcher() const { return dispatcher_; }

private:
    friend class TEventWinThread;
    void ReplaceThreadObject();
    // Hands the events and data to the current object and starts its thread.
    void ResumeThreadObject();
    std::shared_ptr<TEventWinThread> MakeThreadObject(const TEventWinThread* previous);

    IDispatcher& dispatcher_;
    std::shared_ptr<TEventWinThread> thread_;
    bool handleExceptions_ = true;
};
