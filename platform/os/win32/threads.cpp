// Threads with a chosen stack size and the processor count, on Win32.
#include <process.h>
#include <windows.h>

#include <bit>
#include <limits>

#include "platform/os/backend.h"
#include "platform/os/os.h"

namespace mirel::os {

struct Thread::Impl {
    HANDLE handle = nullptr;
    std::function<void()> body;
};

namespace {

unsigned __stdcall runThreadBody(void* argument) {
    auto* body = static_cast<std::function<void()>*>(argument);
    // An exception leaving a thread would end the whole host process.
    try {
        (*body)();
    } catch (...) {
        debugOutput("mirel: a worker thread ended with an exception\n");
    }
    return 0;
}

}  // namespace

Thread::Thread() = default;
Thread::~Thread() {
    join();
}

bool Thread::start(std::function<void()> body, std::size_t stackBytes) {
    if (started_ || !body) return false;
    if (stackBytes > std::numeric_limits<unsigned>::max()) return false;
    std::unique_ptr<Impl> impl(new (std::nothrow) Impl);
    if (!impl) return false;
    try {
        impl->body = std::move(body);
    } catch (...) {
        return false;
    }
    // The size is what the thread may grow to (reserved), not what it takes at once.
    const std::uintptr_t handle =
        ::_beginthreadex(nullptr, unsigned(stackBytes), runThreadBody, &impl->body,
                         STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (handle == 0) return false;
    impl->handle = reinterpret_cast<HANDLE>(handle);
    impl_ = std::move(impl);
    started_ = true;
    return true;
}

void Thread::join() {
    if (!started_) return;
    ::WaitForSingleObject(impl_->handle, INFINITE);
    ::CloseHandle(impl_->handle);
    impl_.reset();
    started_ = false;
}

int detail::systemProcessorCount() {
    DWORD_PTR process = 0, system = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0)
        return std::popcount(static_cast<std::uint64_t>(process));
    return int(::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS));
}

}  // namespace mirel::os
