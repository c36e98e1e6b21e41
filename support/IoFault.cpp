#include "support/IoFault.h"

#include <unistd.h>

#include <atomic>

namespace {

// Per call kind: calls made, the count at which calls start failing (0:
// none), whether every later one fails too, and the error.
std::atomic<long> g_naCalls[IO_CALL_COUNT];
std::atomic<long> g_naFailAt[IO_CALL_COUNT];
std::atomic<bool> g_baPersistent[IO_CALL_COUNT];
std::atomic<int> g_naErrno[IO_CALL_COUNT];

// Runs fn unless the call is to fail.
template <class Call>
auto Through(eIoCall nCall, Call fn) -> decltype(fn()) {
  if (const int nErr = IoFaultHit(nCall)) {
    errno = nErr;
    return -1;
  }
  return fn();
}

}  // namespace

void InjectIoFault(eIoCall nCall, int nNth, bool bPersistent, int nErrno) {
  g_baPersistent[nCall] = bPersistent;
  g_naErrno[nCall] = nErrno;
  g_naFailAt[nCall] = g_naCalls[nCall].load() + nNth;
}

void ClearIoFaults() {
  for (int i = 0; i < IO_CALL_COUNT; ++i) {
    g_naFailAt[i] = 0;
    g_baPersistent[i] = false;
  }
}

long IoCallCount(eIoCall nCall) { return g_naCalls[nCall].load(); }

int IoFaultHit(eIoCall nCall) {
  const long n = ++g_naCalls[nCall];
  const long nAt = g_naFailAt[nCall].load();
  if (nAt == 0 || n < nAt) return 0;
  if (n == nAt) {
    if (!g_baPersistent[nCall]) g_naFailAt[nCall] = 0;
    return g_naErrno[nCall];
  }
  return g_baPersistent[nCall] ? g_naErrno[nCall].load() : 0;
}

ssize_t FaultableRead(int nFd, void* p, size_t nSize) {
  return Through(IO_CALL_PREAD, [&] { return ::read(nFd, p, nSize); });
}

ssize_t FaultableWrite(int nFd, const void* p, size_t nSize) {
  return Through(IO_CALL_PWRITE, [&] { return ::write(nFd, p, nSize); });
}

ssize_t FaultablePwrite(int nFd, const void* p, size_t nSize, off_t nLoc) {
  return Through(IO_CALL_PWRITE, [&] { return ::pwrite(nFd, p, nSize, nLoc); });
}

int FaultableFsync(int nFd) {
  return Through(IO_CALL_FSYNC, [&] { return ::fsync(nFd); });
}
