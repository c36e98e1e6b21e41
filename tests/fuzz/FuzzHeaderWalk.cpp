// The header walk of a whole file: the input is a database file, opened
// for reading as a second copy opens one, and its header list built.

#include "FuzzSupport.h"
#include "engine/CDbEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  FuzzUi();
  const std::string sPath = FuzzFile("walk.dbm", pData, nSize);
  CDbEngine engine;
  if (engine.OpenDBForReading(sPath)) {
    std::string sReport;
    engine.MakeFileHeaderArray(nullptr, true, &sReport);
    engine.CloseDB();
  }
  return 0;
}
