#pragma once
// Where an export's bytes go. A file the user named is written as a new file
// beside it, created exclusively (never through a symbolic link, never over
// another file), flushed, and renamed over the chosen name only when every
// byte is on disk: a failed export (full disk, no permission) leaves no
// partial file, and an older file of that name stays as it was. A device or
// pipe the user named is written in place.

#include <string>
#include <string_view>

class CExportFile {
 public:
  // True when the whole of sContent is in sPath; otherwise sError says why.
  static bool Save(const std::string& sPath, std::string_view sContent, std::string& sError);
  // Writes sContent to an open descriptor (a tool's standard output); sName
  // names it in the error text.
  static bool WriteDescriptor(int nFd, std::string_view sContent, const std::string& sName,
                              std::string& sError);
};
