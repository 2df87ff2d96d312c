// Threads with a chosen stack size and the processor count, on pthreads.
#include <cxxabi.h>
#include <link.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <limits>

#include "platform/os/backend.h"
#include "platform/os/os.h"

#if defined(__SANITIZE_ADDRESS__)
#define MIREL_OS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MIREL_OS_ASAN 1
#endif
#endif

namespace mirel::os {

namespace {

#if defined(MIREL_OS_ASAN)
// Instrumented code keeps redzones around every local, so frames grow a lot.
constexpr std::size_t kStackFactor = 4;
#else
constexpr std::size_t kStackFactor = 1;
#endif

// Room for what glibc puts on a thread's own stack before the body runs: the
// thread descriptor and the start-up frames.
constexpr std::size_t kStackOverhead = 16 * 1024;

int tlsSizeOfObject(dl_phdr_info* info, std::size_t, void* total) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const auto& header = info->dlpi_phdr[i];
        if (header.p_type == PT_TLS)
            *static_cast<std::size_t*>(total) += header.p_memsz + header.p_align;
    }
    return 0;
}

// glibc carves the static thread-local storage of every loaded object out of
// the stack it is given, so a 200000-byte request would leave less than
// that to the body. Adding the TLS sizes back gives the body what it asked
// for (an overestimate: objects loaded by dlopen mostly use dynamic TLS).
// Counted once: by the time the first thread starts, this library and its
// host are loaded, and later loads do not grow the static area much.
std::size_t threadLocalStorageBytes() {
    static const std::size_t total = [] {
        std::size_t sum = 0;
        ::dl_iterate_phdr(tlsSizeOfObject, &sum);
        return sum;
    }();
    return total;
}

std::size_t roundUp(std::size_t value, std::size_t step) {
    if (value > std::numeric_limits<std::size_t>::max() - (step - 1)) return 0;
    return (value + step - 1) / step * step;
}

// The size to hand to pthread_attr_setstacksize for a body that needs
// `requested` bytes; 0 when no such stack is possible.
std::size_t stackSizeFor(std::size_t requested) {
    constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
    if (requested > kMax / kStackFactor) return 0;
    std::size_t bytes = requested * kStackFactor;
    const std::size_t extra = kStackOverhead + threadLocalStorageBytes();
    if (bytes > kMax - extra) return 0;
    bytes += extra;
    const long minimum = ::sysconf(_SC_THREAD_STACK_MIN);
    if (minimum > 0 && bytes < static_cast<std::size_t>(minimum))
        bytes = static_cast<std::size_t>(minimum);
    if (bytes < static_cast<std::size_t>(PTHREAD_STACK_MIN)) bytes = PTHREAD_STACK_MIN;
    const long page = ::sysconf(_SC_PAGESIZE);
    return roundUp(bytes, page > 0 ? static_cast<std::size_t>(page) : 4096);
}

int affinityCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
    // More processors than a cpu_set_t holds: ask again with a set that fits.
    for (int cpus = 2 * CPU_SETSIZE; cpus <= 1 << 16; cpus *= 2) {
        cpu_set_t* large = CPU_ALLOC(cpus);
        if (!large) break;
        const std::size_t bytes = CPU_ALLOC_SIZE(cpus);
        CPU_ZERO_S(bytes, large);
        const int rc = ::sched_getaffinity(0, bytes, large);
        const int count = rc == 0 ? CPU_COUNT_S(bytes, large) : 0;
        CPU_FREE(large);
        if (rc == 0) return count;
        if (errno != EINVAL) break;
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 && online <= INT_MAX ? static_cast<int>(online) : 1;
}

}  // namespace

// ---- Threads ----------------------------------------------------------------

struct Thread::Impl {
    pthread_t handle{};
    std::function<void()> body;
};

namespace {

void* runThreadBody(void* argument) {
    auto* body = static_cast<std::function<void()>*>(argument);
    // An exception leaving a thread would end the whole host process.
    try {
        (*body)();
    } catch (abi::__forced_unwind&) {
        throw;  // thread cancellation must unwind through us
    } catch (...) {
        debugOutput("mirel: a worker thread ended with an exception\n");
    }
    return nullptr;
}

}  // namespace

Thread::Thread() = default;
Thread::~Thread() {
    join();
}

bool Thread::start(std::function<void()> body, std::size_t stackBytes) {
    if (started_ || !body) return false;
    const std::size_t stack = stackSizeFor(stackBytes);
    if (stack == 0) return false;
    std::unique_ptr<Impl> impl(new (std::nothrow) Impl);
    if (!impl) return false;
    try {
        impl->body = std::move(body);
    } catch (...) {
        return false;
    }
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0) return false;
    bool ok = ::pthread_attr_setstacksize(&attributes, stack) == 0 &&
              ::pthread_create(&impl->handle, &attributes, runThreadBody, &impl->body) == 0;
    ::pthread_attr_destroy(&attributes);
    if (!ok) return false;
    impl_ = std::move(impl);
    started_ = true;
    return true;
}

void Thread::join() {
    if (!started_) return;
    ::pthread_join(impl_->handle, nullptr);
    impl_.reset();
    started_ = false;
}

int detail::systemProcessorCount() {
    return affinityCount();
}

}  // namespace mirel::os
