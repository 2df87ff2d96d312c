// How the host's callbacks find the host that is calling the plug-in.
//
// The interface's callbacks (abortProc, progressProc, advanceState, the handle,
// buffer and descriptor procedures) carry no context pointer. So the host
// object a callback belongs to is found through a thread-local pointer that a
// CallScope sets for as long as it lives: FilterHost::call() holds one around
// every call of the plug-in's entry point, and code that drives the record
// itself (a preview rendered in this process, tests) holds the one
// FilterHost::activate() returns. Scopes nest and put back what was current
// before them. Only the thread that called the plug-in is answered: the filter
// calls back only from that thread, and a callback arriving on any other finds
// no host and answers as a host without that service would (no handle, no
// memory, no abort, an error).
#pragma once

namespace mirel::hostkit {

template <class Host>
class CallScope {
  public:
    explicit CallScope(Host* host) : previous_(current_) { current_ = host; }
    ~CallScope() { current_ = previous_; }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

    // The host of the innermost scope on this thread; null outside every scope.
    static Host* current() { return current_; }

  private:
    Host* previous_;
    static inline thread_local Host* current_ = nullptr;
};

}  // namespace mirel::hostkit
