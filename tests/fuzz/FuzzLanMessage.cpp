// LAN message parsing: what a reader thread takes from another copy.

#include "FuzzSupport.h"
#include "network/LanMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  const std::string sText(reinterpret_cast<const char*>(pData), nSize);
  const stMessage msg = ExtractMessage(sText);
  ExtractLockSpec(msg);
  CheckLanText(sText);
  DisplayMessage(sText);
  return 0;
}
