#pragma once
#include <cstddef>

#include "netlib/AbortPoll.h"
#include "netlib/Deadline.h"
#include "platform/UniqueFd.h"

namespace quillon::net {

// Waits for fd to become readable (or closed/failed): 1, 0 expired, -1.
// A negative timeout waits without a limit. With an abort poll, the wait
// asks it every kAbortPollMs and ends with -1 (errno ECANCELED) once the
// abort was asked for.
int WaitFdReadable(int fd, int timeoutMs, AbortPoll* abort = nullptr);
// The same for room to send.
int WaitFdWritable(int fd, int timeoutMs, AbortPoll* abort = nullptr);
bool SetBlocking(int fd, bool blocking);

// Sends all length bytes before the deadline, whatever the socket's mode,
// without SIGPIPE. False when the peer failed, closed or stopped reading
// (errno tells: ETIMEDOUT for the deadline, ECANCELED for an abort; what
// fits the socket's buffer still goes after an abort). *sent, when given,
// receives the bytes that went, also on failure.
bool SendWithin(int fd, const void* bytes, std::size_t length, const Deadline& deadline,
                AbortPoll* abort = nullptr, std::size_t* sent = nullptr);

// Shuts a socket down in both directions and closes it.
void ShutdownAndClose(platform::UniqueFd& fd);

}  // namespace quillon::net
