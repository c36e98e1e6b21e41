#pragma once
// File and folder helpers.

#include <string>

// The program folder: $KELVO_HOME, else $XDG_CONFIG_HOME/kelvo, else
// ~/.config/kelvo; created 0700 on first use. Empty when it cannot be made.
std::string GetProgramFolder();
// The default folder for new databases: $XDG_DATA_HOME/kelvo or ~/.local/share/kelvo.
std::string GetDataFolder();
// A file's path in the program folder.
std::string ProgramFile(const std::string& sName);

bool FileExists(const std::string& sPath);
bool MakeFolder(const std::string& sPath, int nMode = 0700);

// Copies a file; with bFailIfExists an existing target is left alone and the
// copy fails. The copy is written beside the target and renamed into place.
bool FileCopy(const std::string& sFrom, const std::string& sTo, bool bFailIfExists = false);

bool ReadWholeFile(const std::string& sPath, std::string& sOut);
// Writes a new file created with nMode, flushes it and renames it over sPath,
// so a crash or a full disk never leaves a truncated file. False on any error
// (errno tells which); the old file then stays as it was.
bool WriteFileAtomic(const std::string& sPath, const std::string& sContent, int nMode = 0600);

std::string FileNameOf(const std::string& sPath);   // "a/b/c.dbm" -> "c.dbm"
std::string FolderOf(const std::string& sPath);     // "a/b/c.dbm" -> "a/b"
std::string RootNameOf(const std::string& sPath);   // "a/b/c.dbm" -> "c"
std::string JoinPath(const std::string& sFolder, const std::string& sName);
