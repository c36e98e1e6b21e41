// kelvotool commands of the record file engine, for looking at a database
// file without the program:
//   create FILE   a new, empty database file (refused when FILE exists)
//   fileinfo FILE version, close status, lock bytes, record counts per table
//                 and user, free blocks, and where the chain ends ("info" is
//                 the table manager's item counts and settings)
//   dump FILE     one line per record of the chain, as the record dump view
//                 shows it
// FILE may be given with or without ".dbm". fileinfo and dump only read the file.

#include <algorithm>
#include <cstring>
#include <iostream>
#include <map>

#include "engine/CDbEngine.h"
#include "engine/CIntegrityScan.h"
#include "engine/CRecordDump.h"
#include "support/CTerminalUi.h"
#include "support/FileUtil.h"
#include "support/CScriptedUi.h"
#include "support/StringUtil.h"
#include "tools/CToolCommands.h"

namespace {

// Opens the file for reading and builds the header list; prints nothing on success.
bool OpenForLook(CDbEngine& db, const std::string& sPath) {
  if (!db.OpenDBForReading(sPath)) return false;
  std::string sReport;
  if (db.MakeFileHeaderArray(nullptr, 1, &sReport) == DB_NONE) {
    std::cerr << "kelvotool: " << sReport << "\n";
    return false;
  }
  return true;
}

// Where the walk of the chain ended: "" when at the last record.
std::string ChainEnd(const CDbEngine& db) {
  if (db.m_caDataHeaders.empty() || db.m_caDataHeaders.back().nNextLoc == DB_NONE) return "";
  const stDataHeader& h = db.m_caDataHeaders.back();
  return StrFormat("broken after the record at %u (next location %u)", h.nCurrLoc, h.nNextLoc);
}

int CmdCreate(const std::vector<std::string>& args) {
  if (args.size() != 1) return ToolError("usage: create FILE");
  const std::string sPath = ToolDbmPath(args[0]);
  if (FileExists(sPath)) return ToolError(sPath + " exists");
  CTerminalUi ui(IDNO);
  CScopedUi scope(ui);
  CDbEngine db;
  if (db.OpenDB(sPath, true) != eOpenResult::Opened) return TOOL_ERROR;
  db.CloseDB();
  std::cout << "created " << sPath << "\n";
  return TOOL_OK;
}

int CmdInfo(const std::vector<std::string>& args) {
  if (args.size() != 1) return ToolError("usage: fileinfo FILE");
  const std::string sPath = ToolDbmPath(args[0]);
  CTerminalUi ui(IDNO);
  CScopedUi scope(ui);
  CDbEngine db;
  if (!OpenForLook(db, sPath)) return TOOL_ERROR;
  uint8_t a[DB_HEADER_AREA_SIZE] = {};
  const uint32_t nSize = db.GetFileSizeFromHandle(db.FileHandle());
  const uint32_t nArea = std::min<uint32_t>(nSize, DB_HEADER_AREA_SIZE);
  db.ReadDbBlock(0, a, nArea, 0);
  std::cout << "File: " << sPath << "\n";
  std::cout << "Size: " << nSize << " bytes\n";
  std::cout << "Root name: " << std::string(reinterpret_cast<char*>(a + LOC_ROOT_NAME),
                                            strnlen(reinterpret_cast<char*>(a + LOC_ROOT_NAME),
                                                    ROOT_NAME_FIELD))
            << "\n";
  PrintHeaderArea(db, std::cout);

  // Counts per table and user of the live records, and the other statuses.
  std::map<std::pair<int, int>, std::pair<unsigned, unsigned>> live;  // -> live, locked
  unsigned nMarked = 0, nFree = 0, nOther = 0;
  uint64_t nFreeBytes = 0;
  uint32_t nLargestFree = 0;
  for (const stDataHeader& h : db.m_caDataHeaders) {
    if (h.cStatus == STATUS_DELETED) {
      ++nFree;
      nFreeBytes += h.nBlkLen;
      nLargestFree = std::max<uint32_t>(nLargestFree, h.nBlkLen);
    } else if (h.cStatus == STATUS_MARKDEL) {
      ++nMarked;
    } else {
      auto& c = live[{h.nTable, h.nUser}];
      ++c.first;
      if (h.cStatus == STATUS_LOCKED) ++c.second;
      if (h.cStatus != STATUS_USED && h.cStatus != STATUS_LOCKED) ++nOther;
    }
  }
  std::cout << "Records: " << db.m_caDataHeaders.size() << "\n";
  for (const auto& [key, c] : live)
    std::cout << "  table " << key.first << " (" << db.GetTableName(key.first) << "), user "
              << key.second << ": " << c.first << " live, " << c.second << " locked\n";
  std::cout << "Kept as deleted: " << nMarked << "\n";
  if (nOther) std::cout << "With an invalid status: " << nOther << "\n";
  std::cout << "Free blocks: " << nFree << ", " << nFreeBytes << " bytes, largest " << nLargestFree
            << "\n";
  const std::string sEnd = ChainEnd(db);
  std::cout << "Chain: " << (sEnd.empty() ? "complete" : sEnd) << "\n";
  return sEnd.empty() ? TOOL_OK : TOOL_FAULTS;
}

// The first link of the chain that does not lead to the next record the walk
// found, as ChainEnd words it; "" when every link is in order.
std::string BrokenLink(const std::vector<stFoundHeader>& chain) {
  for (size_t i = 0; i < chain.size(); ++i) {
    const uint32_t nExpected = i + 1 < chain.size() ? chain[i + 1].nLoc : DB_NONE;
    if (chain[i].header.nNextLoc != nExpected)
      return StrFormat("broken after the record at %u (next location %u)", chain[i].nLoc,
                       chain[i].header.nNextLoc);
  }
  return "";
}

int CmdDump(const std::vector<std::string>& args) {
  if (args.size() != 1) return ToolError("usage: dump FILE");
  const std::string sPath = ToolDbmPath(args[0]);
  CTerminalUi ui(IDNO);
  CScopedUi scope(ui);
  CDbEngine db;
  if (!db.OpenDBForReading(sPath)) return TOOL_ERROR;
  // The lines of the record dump view, record by record along the chain.
  CIntegrityScan scan(db);
  const std::vector<stFoundHeader> chain = scan.WalkChain(nullptr);
  CRecordDump dump(db);
  for (const stFoundHeader& f : chain) std::cout << dump.DisplayDatabaseRecord(f.nLoc) << "\n";
  if (scan.ReadFailed()) {
    std::cerr << "kelvotool: cannot read " << sPath << " at " << scan.FailedLocation() << "\n";
    return TOOL_ERROR;
  }
  const std::string sEnd = BrokenLink(chain);
  if (!sEnd.empty()) std::cerr << "kelvotool: chain " << sEnd << "\n";
  return sEnd.empty() ? TOOL_OK : TOOL_FAULTS;
}

const CToolCommand kCreate("create", "create FILE          a new, empty database file", CmdCreate);
const CToolCommand kFileInfo("fileinfo",
                             "fileinfo FILE        version, close status, locks, record counts, "
                             "free blocks of the file",
                             CmdInfo);
const CToolCommand kDump("dump", "dump FILE            one line per record, as the record dump view shows it", CmdDump);

}  // namespace
