#include "platform/BackgroundThread.h"

#include <windows.h>

#include <new>

namespace sapi {

namespace {

struct Launch {
    void (*task)(void *);
    void *argument;
};

DWORD WINAPI Run(void *launch) {
    const Launch what = *static_cast<Launch *>(launch);
    delete static_cast<Launch *>(launch);
    what.task(what.argument);
    return 0;
}

// The module is pinned for good: FreeLibrary then leaves it mapped for the
// abandoned thread.
void KeepModuleLoaded() {
    HMODULE module = nullptr;
    static_cast<void>(::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                           reinterpret_cast<LPCWSTR>(&Run), &module));
}

}  // namespace

BackgroundThread::~BackgroundThread() { Abandon(); }

bool BackgroundThread::Start(void (*task)(void *), void *argument) {
    auto *launch = new (std::nothrow) Launch{task, argument};
    if (launch == nullptr) return false;
    const HANDLE thread = ::CreateThread(nullptr, 0, &Run, launch, 0, nullptr);
    if (thread == nullptr) {
        delete launch;
        return false;
    }
    thread_ = reinterpret_cast<uintptr_t>(thread);
    return true;
}

void BackgroundThread::Join() {
    if (thread_ == 0) return;
    ::WaitForSingleObject(reinterpret_cast<HANDLE>(thread_), INFINITE);
    ::CloseHandle(reinterpret_cast<HANDLE>(thread_));
    thread_ = 0;
}

void BackgroundThread::Abandon() {
    if (thread_ == 0) return;
    KeepModuleLoaded();
    ::CloseHandle(reinterpret_cast<HANDLE>(thread_));
    thread_ = 0;
}

}  // namespace sapi
