#pragma once
// What every fuzz target shares: a scripted host that answers every
// question with its default and shows nothing, and the input written to a
// file of the target's own in a private folder.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "support/CScriptedUi.h"
#include "support/CUserInterface.h"

inline CScriptedUi& FuzzUi() {
  static CScriptedUi* pUi = [] {
    auto* p = new CScriptedUi;
    SetUi(p);
    return p;
  }();
  pUi->ClearShown();
  return *pUi;
}

// The folder of this run (removed by the script, not per input).
inline const std::string& FuzzFolder() {
  static const std::string sFolder = [] {
    char c[] = "/tmp/kelvo-fuzz-XXXXXX";
    return std::string(mkdtemp(c) ? c : "/tmp");
  }();
  return sFolder;
}

inline std::string FuzzFile(const std::string& sName, const uint8_t* pData, size_t nSize) {
  const std::string sPath = FuzzFolder() + "/" + sName;
  std::ofstream(sPath, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(pData), std::streamsize(nSize));
  return sPath;
}
