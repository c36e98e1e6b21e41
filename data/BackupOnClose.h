#pragma once
// The process-wide "data changed" mark: set whenever this copy stores a
// change or takes in changes of others; closing the main window then runs a
// backup first, and the backup clears it.

void SetBackupOnClose(bool bOn = true);
bool IsBackupOnClose();
