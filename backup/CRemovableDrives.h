#pragma once
// Where the removable drives come from: the program asks its window system,
// the core and the tool read the mount table (CSystemDrives).

#include <string>
#include <vector>

// One mounted removable drive: the folder it is mounted on and its name.
struct stDrive {
  std::string sPath;
  std::string sLabel;
};

class CRemovableDrives {
 public:
  virtual ~CRemovableDrives() = default;
  virtual std::vector<stDrive> GetRemovableDriveList() = 0;
};
