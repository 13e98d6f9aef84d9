#include "platform/BackgroundThread.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <new>

namespace sapi {

namespace {

struct Launch {
    void (*task)(void *);
    void *argument;
};

void *Run(void *launch) {
    const Launch what = *static_cast<Launch *>(launch);
    delete static_cast<Launch *>(launch);
    what.task(what.argument);
    return nullptr;
}

// Takes a reference to the object holding this code that is never given back:
// a dlclose of the module then leaves it mapped for the abandoned thread.
void KeepModuleLoaded() {
    static std::atomic<bool> kept{false};
    if (kept.exchange(true)) return;
    Dl_info self{};
    if (::dladdr(reinterpret_cast<void *>(&KeepModuleLoaded), &self) == 0 || self.dli_fname == nullptr) return;
    static_cast<void>(::dlopen(self.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE));
}

}  // namespace

BackgroundThread::~BackgroundThread() { Abandon(); }

bool BackgroundThread::Start(void (*task)(void *), void *argument) {
    auto *launch = new (std::nothrow) Launch{task, argument};
    if (launch == nullptr) return false;
    pthread_t thread{};
    if (::pthread_create(&thread, nullptr, &Run, launch) != 0) {
        delete launch;
        return false;
    }
    thread_ = static_cast<uintptr_t>(thread);
    return true;
}

void BackgroundThread::Join() {
    if (thread_ == 0) return;
    ::pthread_join(static_cast<pthread_t>(thread_), nullptr);
    thread_ = 0;
}

void BackgroundThread::Abandon() {
    if (thread_ == 0) return;
    KeepModuleLoaded();
    ::pthread_detach(static_cast<pthread_t>(thread_));
    thread_ = 0;
}

}  // namespace sapi
