#pragma once
// A private temporary file (mode 0600, a hidden name no backup listing
// matches) in a chosen folder, removed with the object unless it was renamed
// into place.

#include <string>

class CTempFile {
 public:
  // Creates ".<sPrefix>-XXXXXX" in sFolder; Path() is empty when that failed
  // (errno tells why).
  CTempFile(const std::string& sFolder, const std::string& sPrefix);
  ~CTempFile();
  CTempFile(const CTempFile&) = delete;
  CTempFile& operator=(const CTempFile&) = delete;

  bool IsCreated() const { return !m_sPath.empty(); }
  const std::string& Path() const { return m_sPath; }
  // The descriptor, open for writing (closed by Close or the destructor).
  int Fd() const { return m_nFd; }
  // Gives the file the permission bits of another file (a backup is as
  // private as the database it holds); false when that file cannot be read.
  bool SetModeOf(const std::string& sModel);
  // Flushes and closes the descriptor; false (errno set) when that failed.
  bool Close();
  // Renames the file to sTarget (replacing it); afterwards nothing is removed.
  bool RenameTo(const std::string& sTarget);

 private:
  std::string m_sPath;
  int m_nFd = -1;
};
