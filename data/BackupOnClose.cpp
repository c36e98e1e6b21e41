#include "data/BackupOnClose.h"

#include <atomic>

namespace {
std::atomic<bool> g_bBackupOnClose{false};
}  // namespace

void SetBackupOnClose(bool bOn) { g_bBackupOnClose = bOn; }
bool IsBackupOnClose() { return g_bBackupOnClose; }
