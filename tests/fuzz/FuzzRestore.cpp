// Archive restore: the input is a backup archive (or plain copy), prepared
// and checked for a database that does not exist yet.

#include "FuzzSupport.h"
#include "backup/CRestoreJob.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  FuzzUi();
  CRestoreJob job(FuzzFolder() + "/restored.dbm", FuzzFile("backup.zp0", pData, nSize));
  job.Prepare();
  return 0;
}
