// Kelvo.cfg parsing; what is read is written and read again the same.

#include <cstdlib>

#include "FuzzSupport.h"
#include "support/CConfigFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  stAppSettings settings;
  CConfigFile::Parse(std::string(reinterpret_cast<const char*>(pData), nSize), settings);
  const std::string sPath = FuzzFolder() + "/Kelvo.cfg";
  if (CConfigFile::WriteFile(sPath, settings)) {
    stAppSettings again;
    CConfigFile::ReadFile(sPath, again);
    stAppSettings twice;
    CConfigFile::WriteFile(sPath, again);
    CConfigFile::ReadFile(sPath, twice);
  }
  return 0;
}
