// kelvotool commands for the backup archives:
//   backup FILE [FOLDER] [--generations N]
//       packs the database into <root>.zp0 in FOLDER (default: beside the
//       file) and shifts the older generations; N defaults to the database's
//       number-of-backup-files setting. Prints the archives written.
//   restore ARCHIVE FILE [--yes]
//       replaces FILE by the database in ARCHIVE (a ZIP archive or a .BAK /
//       .BK* copy) after asking; --yes answers yes. The old file is kept as
//       FILE's root name with .BK<n>.
// Both refuse with the message and a non-zero exit status.

#include <iostream>

#include "backup/BackupFiles.h"
#include "backup/CBackupRestore.h"
#include "backup/CSystemDrives.h"
#include "data/CTableManager.h"
#include "support/CTerminalUi.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "tools/CToolCommands.h"

namespace {

const char* const kBackupUsage = "usage: backup FILE [FOLDER] [--generations N]";
const char* const kRestoreUsage = "usage: restore ARCHIVE FILE [--yes]";

int CmdBackup(const std::vector<std::string>& args) {
  std::vector<std::string> saPlain;
  int nGenerations = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    long long n = 0;
    if (args[i] == "--generations") {
      if (i + 1 >= args.size() || !ParseInt(args[++i], n) || n < 1 || n > kMaxGenerations)
        return ToolError("--generations takes a number from 1 to 10");
      nGenerations = int(n);
    } else {
      saPlain.push_back(args[i]);
    }
  }
  if (saPlain.empty() || saPlain.size() > 2) return ToolError(kBackupUsage);
  const std::string sPath = ToolDbmPath(saPlain[0]);
  if (!FileExists(sPath)) return ToolError("no database file " + sPath);
  const std::string sRoot = ToolRootName(saPlain[0]);
  const std::string sFolder = saPlain.size() == 2 ? saPlain[1] : FolderOf(sRoot);
  CTerminalUi ui(IDNO);
  SetUi(&ui);
  CTableManager db;
  int nResult = TOOL_ERROR;
  if (db.OpenDatabase(sRoot, 0)) {
    CSystemDrives drives;
    CBackupRestore backup(drives);
    std::vector<std::string> saWritten;
    const int nGen = nGenerations ? nGenerations : GenerationCount(db.GetVarData().m_nBackupFiles);
    if (backup.BackupTo(db, JoinPath(sFolder, FileNameOf(sRoot)), nGen, &saWritten) == 1) {
      for (const auto& s : saWritten) std::cout << s << "\n";
      nResult = TOOL_OK;
    }
    db.CloseDatabase();
  }
  SetUi(nullptr);
  return nResult == TOOL_OK ? TOOL_OK : ToolError("backup of " + sPath + " failed");
}

int CmdRestore(const std::vector<std::string>& args) {
  std::vector<std::string> saPlain;
  bool bYes = false;
  for (const auto& s : args) {
    if (s == "--yes")
      bYes = true;
    else
      saPlain.push_back(s);
  }
  if (saPlain.size() != 2) return ToolError(kRestoreUsage);
  CTerminalUi ui(bYes ? IDYES : 0);
  SetUi(&ui);
  CSystemDrives drives;
  CBackupRestore restore(drives);
  const std::string sPath = ToolDbmPath(saPlain[1]);
  const int nResult = restore.RestoreClosedFile(saPlain[0], sPath);
  SetUi(nullptr);
  if (nResult != 1) return ToolError("restore of " + sPath + " refused");
  std::cout << "restored " << sPath << " from " << saPlain[0];
  if (!restore.KeptAs().empty()) std::cout << "; the previous file is kept as " << restore.KeptAs();
  std::cout << "\n";
  return TOOL_OK;
}

const CToolCommand kBackup("backup",
                           "backup FILE [FOLDER] [--generations N]   ZIP backup with generations",
                           CmdBackup);
const CToolCommand kRestore("restore",
                            "restore ARCHIVE FILE [--yes]   replace a database by a backup",
                            CmdRestore);

}  // namespace
