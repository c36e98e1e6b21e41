// The print file reader: the input is a "PRNTFILE.PRN".

#include "FuzzSupport.h"
#include "print/CPrintFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  FuzzUi();
  std::string sError;
  auto pFile = CPrintFile::OpenForReading(FuzzFile("PRNTFILE.PRN", pData, nSize), sError);
  if (!pFile) return 0;
  stFmtString line;
  for (int n = 0; n < 100000 && pFile->ReadFmtString(line); ++n) {
  }
  return 0;
}
