#pragma once
// Fault injection for tests, shared by every file access of the program: the
// database handle, the backup and restore copies and the settings file. The
// nNth call of a kind from now on fails with a chosen error, once or from
// then on; the counters are process-wide.

#include <sys/types.h>

#include <cerrno>
#include <cstddef>

// The system calls the seam can make fail.
enum eIoCall : int {
  IO_CALL_PREAD = 0,   // pread and read
  IO_CALL_PWRITE = 1,  // pwrite and write
  IO_CALL_FSYNC = 2,   // fdatasync and fsync
  IO_CALL_CLOSE = 3,
  IO_CALL_COUNT = 4
};

void InjectIoFault(eIoCall nCall, int nNth, bool bPersistent = false, int nErrno = EIO);
void ClearIoFaults();
// Calls of that kind made so far (to size a sweep over one operation).
long IoCallCount(eIoCall nCall);
// Counts one call of the kind: the error it is to fail with, or 0.
int IoFaultHit(eIoCall nCall);

// The system calls through the seam: an injected fault sets errno and
// returns -1 without making the call.
ssize_t FaultableRead(int nFd, void* p, size_t nSize);
ssize_t FaultableWrite(int nFd, const void* p, size_t nSize);
ssize_t FaultablePwrite(int nFd, const void* p, size_t nSize, off_t nLoc);
int FaultableFsync(int nFd);
