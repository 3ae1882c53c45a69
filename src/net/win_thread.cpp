#include "win_thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <thread>

namespace {

// Count of workers that have not ended; guards nothing else.
std::mutex gLivingMutex;
int gLiving = 0;

thread_local TEventWinThread* tCurrent = nullptr;

}  // namespace

// ---------------------------------------------------------------- thread object

TEventWinThread::~TEventWinThread() = default;

TEventWinThread* TEventWinThread::Current() { return tCurrent; }

void TEventWinThread::Resume() {
    if (!suspended_.exchange(false)) return;
    running_.store(true, std::memory_order_release);
    {
        std::lock_guard<std::mutex> lock(gLivingMutex);
        ++gLiving;
    }
    // Detached: an abandoned worker may outlive its component; it holds its
    // own reference to this object.
    std::thread([self = shared_from_this()] { self->ThreadProc(); }).detach();
}

void TEventWinThread::Abandon() {
    abandoned_.store(true, std::memory_order_release);
    terminated_.store(true, std::memory_order_release);
    TCustomWinThread::WorkerEvents().Notify();
}

void TEventWinThread::ThreadProc() {
    tCurrent = this;
    tid_.store(static_cast<int>(::syscall(SYS_gettid)), std::memory_order_release);
    const auto priority = static_cast<TThreadPriority>(priority_.load());
    if (priority != tpNormal) SetThreadPriorityOf(tid_.load(), priority);

    if (!Terminated()) {
        if (onExecute_ && !Abandoned()) {
            try {
                onExecute_(*this);
            } catch (...) {
                // Without HandleExceptions nobody is told; the thread still ends
                // normally, since an escaping exception would end the process.
                if (handleExceptions_ && onException_ && !noTerminate_) {
                    auto error = std::current_exception();
                    try {
                        Synchronize([this, error] {
                            if (owner_) onException_(owner_, error);
                        });
                    } catch (...) {
                    }
                }
            }
        }
        if (onTerminate_ && !noTerminate_) {
            try {
                Synchronize([this] { TerminateStep(); });
            } catch (...) {
            }
        }
    }
    tid_.store(0, std::memory_order_release);
    running_.store(false, std::memory_order_release);
    finished_.store(true, std::memory_order_release);
    tCurrent = nullptr;
    // What the work captured is released before the count drops, so that no
    // owner state is touched once the waiters see no living worker.
    onExecute_ = nullptr;
    onException_ = nullptr;
    onTerminate_ = nullptr;
    data_.reset();
    // Last touch of shared state: waiters may tear the dispatcher down after it.
    std::lock_guard<std::mutex> lock(gLivingMutex);
    --gLiving;
    TCustomWinThread::WorkerEvents().Notify();
}

void TEventWinThread::Synchronize(const std::function<void()>& fn) {
    if (Abandoned()) return;
    std::exception_ptr captured;
    auto call = [&] {
        // Runs on the user-interface thread, where abandoning happens too.
        if (Abandoned()) return;
        try {
            fn();
        } catch (...) {
            captured = std::current_exception();
        }
    };
    dispatcher_->invoke(call);
    if (captured && !handleExceptions_) std::rethrow_exception(captured);
}

void TEventWinThread::Queue(std::function<void()> fn) {
    if (Abandoned()) return;
    auto call = [self = shared_from_this(), fn = std::move(fn)] {
        // Runs on the user-interface thread, where abandoning happens too.
        if (self->Abandoned()) return;
        try {
            fn();
        } catch (...) {
        }
    };
    dispatcher_->post(std::move(call));
}

void TEventWinThread::TerminateStep() {
    TCustomWinThread* owner = owner_;
    if (!owner) return;
    try {
        onTerminate_(owner);
    } catch (...) {
        if (!handleExceptions_) throw;
        if (onException_ && !Abandoned()) onException_(owner, std::current_exception());
    }
    if (Abandoned()) return;  // the handler replaced or destroyed it
    if (owner->FreeOwnerOnTerminate && owner->OnFreeOwner) {
        owner->ReplaceThreadObject();
        auto freeOwner = owner->OnFreeOwner;
        freeOwner();
    }
}

// ------------------------------------------------------------------ component

TCustomWinThread::TCustomWinThread(IDispatcher& dispatcher) : dispatcher_(dispatcher) {
    thread_ = MakeThreadObject(nullptr);
}

TCustomWinThread::~TCustomWinThread() {
    if (thread_) {
        thread_->owner_ = nullptr;
        thread_->Abandon();
    }
}

std::shared_ptr<TEventWinThread> TCustomWinThread::MakeThreadObject(const TEventWinThread* previous) {
    std::shared_ptr<TEventWinThread> t(new TEventWinThread());
    t->dispatcher_ = &dispatcher_;
    t->owner_ = this;
    t->handleExceptions_ = handleExceptions_;
    if (previous) t->priority_.store(previous->priority_.load());
    return t;
}

void TCustomWinThread::ReplaceThreadObject() {
    auto old = thread_;
    thread_ = MakeThreadObject(old.get());
    if (old) {
        old->owner_ = nullptr;
        old->Abandon();
    }
}

void TCustomWinThread::ResumeThreadObject() {
    auto t = thread_;
    t->onExecute_ = OnExecute;
    t->onException_ = OnException;
    t->onTerminate_ = OnTerminate;
    t->data_ = Data;
    t->Resume();
}

bool TCustomWinThread::Start() {
    ReplaceThreadObject();
    auto t = thread_;
    ResumeThreadObject();
    if (!WaitThread) return true;

    const auto timeout = WaitTimeout == 0 ? TWaitable::Forever : std::chrono::milliseconds(WaitTimeout);
    if (WorkerEvents().WaitUntil(&dispatcher_, [&] { return t->Finished() || t->Abandoned(); }, timeout))
        return true;
    bool terminateThread = true;
    if (OnWaitTimeoutExpired) OnWaitTimeoutExpired(this, terminateThread);
    if (terminateThread && thread_ == t) ReplaceThreadObject();
    return !terminateThread;
}

void TCustomWinThread::Stop(bool KillThread) {
    if (KillThread)
        ReplaceThreadObject();
    else
        thread_->terminated_.store(true, std::memory_order_release);
}

void TCustomWinThread::Synchronize(const std::function<void()>& fn) {
    if (TEventWinThread* current = TEventWinThread::Current()) {
        current->Synchronize(fn);
        return;
    }
    if (thread_->Abandoned()) return;
    try {
        fn();
    } catch (...) {
        if (!handleExceptions_) throw;
    }
}

bool TCustomWinThread::Running() const { return thread_->Running(); }
bool TCustomWinThread::Terminated() const { return thread_->Terminated(); }
bool TCustomWinThread::Suspended() const { return thread_->Suspended(); }

void TCustomWinThread::SetSuspended(bool value) {
    if (!value && thread_->Suspended()) ResumeThreadObject();
}

TThreadPriority TCustomWinThread::Priority() const {
    const int tid = thread_->tid_.load(std::memory_order_acquire);
    if (tid != 0) {
        errno = 0;
        const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
        if (errno == 0) return ThreadPriorityFromNice(nice);
    }
    return static_cast<TThreadPriority>(thread_->priority_.load());
}

void TCustomWinThread::SetPriority(TThreadPriority value) {
    thread_->priority_.store(value);
    SetThreadPriorityOf(thread_->tid_.load(std::memory_order_acquire), value);
}

void TCustomWinThread::SetHandleExceptions(bool value) {
    handleExceptions_ = value;
    thread_->handleExceptions_ = value;
}

int TCustomWinThread::LivingThreads() {
    std::lock_guard<std::mutex> lock(gLivingMutex);
    return gLiving;
}

bool TCustomWinThread::WaitForAllThreads(IDispatcher& dispatcher, std::chrono::milliseconds timeout) {
    return WorkerEvents().WaitUntil(&dispatcher, [] { return LivingThreads() == 0; }, timeout);
}

TWaitable& TCustomWinThread::WorkerEvents() {
    // Never destroyed: a worker abandoned at exit may still end after the
    // statics are gone.
    static TWaitable* events = new TWaitable;
    return *events;
}
