#pragma once
// Sub-command registry of kelvotool. Each tools/Cmd*.cpp file registers its
// commands with a static CToolCommand object.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

class CDatabase;
class CDbEngine;

// Arguments after the sub-command name; returns the exit status.
using ToolMain = std::function<int(const std::vector<std::string>& args)>;

class CToolCommand {
 public:
  CToolCommand(const char* pName, const char* pUsage, ToolMain fn);

  static const std::vector<CToolCommand*>& All();
  static const CToolCommand* Find(const std::string& sName);

  const char* m_pName;
  const char* m_pUsage;
  ToolMain m_fnMain;
};

// Exit statuses shared by the commands.
enum eToolExit : int { TOOL_OK = 0, TOOL_FAULTS = 1, TOOL_ERROR = 2 };

// Prints "kelvotool: <text>" to stderr and returns TOOL_ERROR.
int ToolError(const std::string& sText);

// The password in a file's first line (--password-file), so that it never
// shows in a process list. False when the file cannot be read.
bool ToolReadPassword(const std::string& sFile, std::string& sPassword);

// The database root name of a file argument ("Office.dbm" and "Office" both
// give "Office"), and the file of a root name or file argument.
std::string ToolRootName(const std::string& sFile);
std::string ToolDbmPath(const std::string& sFile);

// Loads a database for reading only; its problems go to stderr. 1 loaded, 0 not.
int ToolLoadForReading(CDatabase& db, const std::string& sFile);

// The format version, close status and lock bytes of an open file's header
// area, one line each (fileinfo and info).
void PrintHeaderArea(CDbEngine& db, std::ostream& out);
