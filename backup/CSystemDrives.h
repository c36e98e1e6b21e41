#pragma once
// The removable drives of this computer from the mount table: every mount of
// a block device whose disk (or the partition itself) is marked removable in
// /sys/class/block/<device>/removable, or that hangs below a USB controller.
// The name is the volume label from /dev/disk/by-label, else the name of the
// mount folder.

#include "backup/CRemovableDrives.h"

class CSystemDrives : public CRemovableDrives {
 public:
  // sRoot is put before /sys and /dev (tests use a folder of their own; the
  // mount table follows $KELVO_MOUNTINFO as everywhere).
  explicit CSystemDrives(std::string sRoot = "") : m_sRoot(std::move(sRoot)) {}
  std::vector<stDrive> GetRemovableDriveList() override;

 private:
  bool IsRemovableDevice(const std::string& sDevice) const;
  std::string LabelOf(const std::string& sDevice) const;

  std::string m_sRoot;
};
