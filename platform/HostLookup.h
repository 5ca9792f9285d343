#pragma once
// A host name lookup that its caller waits for at most a bound and that an
// abort cuts. getaddrinfo itself cannot be stopped and may wait for the
// resolver's full timeout (several seconds per name server and try), so a
// name is looked up on a detached thread of its own: the caller leaves at
// its bound or abort, and the thread, sharing the answer with it, frees the
// answer when it ends. A numeric address never waits and is answered here.
// Header-only: the network library and the spooler layer both use it.

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace platform {

// getaddrinfo's signature; what it returns is freed with freeaddrinfo.
using LookupFunction = int (*)(const char* host, const char* service, const addrinfo* hints,
                               addrinfo** out);

// The lookup of names (not of numeric addresses); tests put in one that
// never answers. Read once per lookup, by the caller's thread.
inline LookupFunction& HostLookupFunction() {
  static LookupFunction function = &::getaddrinfo;
  return function;
}

struct AddrInfoFree {
  void operator()(addrinfo* list) const {
    if (list != nullptr) ::freeaddrinfo(list);
  }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

enum class LookupEnd { kAnswered, kTimedOut, kAborted };

struct LookupResult {
  LookupEnd end = LookupEnd::kAnswered;
  int code = 0;   // getaddrinfo's result once answered
  int error = 0;  // errno with EAI_SYSTEM
  AddrInfoList list;
};

namespace detail {

// What the lookup's thread and its caller share; whoever lets go last
// frees it and the answer.
struct LookupState {
  std::mutex mutex;
  std::condition_variable answered;
  bool done = false;
  int code = 0;
  int error = 0;
  addrinfo* list = nullptr;
  ~LookupState() {
    if (list != nullptr) ::freeaddrinfo(list);
  }
};

}  // namespace detail

// Looks host up for service with hints. boundMs: the longest the caller
// waits (negative: no bound); abort is asked at least every sliceMs while
// it waits, and true ends the wait at once.
inline LookupResult LookupHost(const std::string& host, const std::string& service,
                               const addrinfo& hints, int boundMs,
                               const std::function<bool()>& abort, int sliceMs = 200) {
  LookupResult result;
  addrinfo numeric = hints;
  numeric.ai_flags |= AI_NUMERICHOST;
  addrinfo* found = nullptr;
  result.code = ::getaddrinfo(host.c_str(), service.c_str(), &numeric, &found);
  result.error = errno;
  if (result.code != EAI_NONAME) {
    result.list.reset(found);
    return result;
  }
  if (abort && abort()) {
    result.end = LookupEnd::kAborted;
    return result;
  }
  const LookupFunction lookup = HostLookupFunction();
  auto state = std::make_shared<detail::LookupState>();
  try {
    std::thread([state, host, service, hints, lookup] {
      addrinfo* list = nullptr;
      const int code = lookup(host.c_str(), service.c_str(), &hints, &list);
      const int error = errno;
      std::lock_guard<std::mutex> lock(state->mutex);
      state->code = code;
      state->error = error;
      state->list = list;
      state->done = true;
      state->answered.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the lookup runs here, bounded by the resolver only.
    found = nullptr;
    result.code = lookup(host.c_str(), service.c_str(), &hints, &found);
    result.error = errno;
    result.list.reset(found);
    return result;
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(boundMs < 0 ? 0 : boundMs);
  std::unique_lock<std::mutex> lock(state->mutex);
  while (!state->done) {
    lock.unlock();
    const bool aborted = abort && abort();
    lock.lock();
    if (state->done) break;
    if (aborted) {
      result.end = LookupEnd::kAborted;
      return result;
    }
    Clock::time_point until = Clock::now() + std::chrono::milliseconds(sliceMs);
    if (boundMs >= 0) {
      if (Clock::now() >= end) {
        result.end = LookupEnd::kTimedOut;
        return result;
      }
      if (end < until) until = end;
    }
    state->answered.wait_until(lock, until);
  }
  result.code = state->code;
  result.error = state->error;
  result.list.reset(state->list);
  state->list = nullptr;
  return result;
}

}  // namespace platform
