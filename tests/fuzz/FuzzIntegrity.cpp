// The integrity test on a whole file: the input is a database file.

#include <vector>

#include "FuzzSupport.h"
#include "engine/CDbEngine.h"
#include "engine/CDbRepair.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  FuzzUi();
  const std::string sPath = FuzzFile("test.dbm", pData, nSize);
  CDbEngine engine;
  if (engine.OpenDBForReading(sPath)) {
    std::vector<std::string> saReport;
    CDbRepair(engine).TestAndRepairDatabase(0, saReport);
    engine.CloseDB();
  }
  return 0;
}
