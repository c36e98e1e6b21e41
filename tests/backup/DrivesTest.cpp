#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "BackupTestHelpers.h"
#include "backup/CSystemDrives.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"

namespace {

// A disk "sdy" marked removable with its partition sdy1, a USB stick "sdz1"
// without the flag, and a fixed disk "sda1"; a tmpfs besides.
TEST(DrivesTest, RemovableDrivesComeFromTheMountTableAndTheirFlags) {
  CScratchFolder root;
  const std::string sSys = root.Path() + "/sys";
  MakeFolder(sSys + "/devices/pci/block/sdy/sdy1");
  MakeFolder(sSys + "/devices/pci/usb1/block/sdz/sdz1");
  MakeFolder(sSys + "/devices/pci/ata1/block/sda/sda1");
  MakeFolder(sSys + "/class/block");
  MakeFolder(root.Path() + "/dev/disk/by-label");
  WriteFileBytes(sSys + "/devices/pci/block/sdy/removable", "1\n");
  WriteFileBytes(sSys + "/devices/pci/ata1/block/sda/removable", "0\n");
  for (const char* p : {"pci/block/sdy/sdy1", "pci/usb1/block/sdz/sdz1", "pci/ata1/block/sda/sda1"})
    ASSERT_EQ(symlink((sSys + "/devices/" + p).c_str(), (sSys + "/class/block/" + FileNameOf(p)).c_str()), 0);
  ASSERT_EQ(symlink("../../sdy1", (root.Path() + "/dev/disk/by-label/MY\\x20STICK").c_str()), 0);
  const std::string sMounts = root.File("mountinfo");
  WriteFileBytes(sMounts,
                 "20 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                 "30 20 8:49 / /media/my\\040stick rw - vfat /dev/sdy1 rw\n"
                 "31 20 8:49 / /mnt/again rw - vfat /dev/sdy1 rw\n"
                 "32 20 8:65 / /media/usb rw - vfat /dev/sdz1 rw\n"
                 "33 20 0:5 / /tmp rw - tmpfs tmpfs rw\n");
  setenv("KELVO_MOUNTINFO", sMounts.c_str(), 1);
  CSystemDrives drives(root.Path());
  const std::vector<stDrive> found = drives.GetRemovableDriveList();
  unsetenv("KELVO_MOUNTINFO");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].sPath, "/media/my stick");
  EXPECT_EQ(found[0].sLabel, "MY STICK");
  EXPECT_EQ(found[1].sPath, "/media/usb");
  EXPECT_EQ(found[1].sLabel, "usb");
}

// The drive used last stands first; Cancel and the hard drive item.
TEST(DrivesTest, ChoiceListsTheLastDriveFirst) {
  CTestUi ui;
  CFolderDrives drives;
  drives.m_drives = {{"/media/a", "A"}, {"/media/b", "B"}};
  CBackupRestore backup(drives);
  AppSettings().sBackup = "/media/b";
  ui.QueueChoice({0});
  EXPECT_EQ(backup.GetRemovableDriveLetter("Drive for backup", true), "/media/b");
  EXPECT_EQ(ui.Shown().back().sText,
            "/media/b [B]\n/media/a [A]\nOther folder...\nBackup to hard drive only\n");
  ui.QueueChoice({3});
  EXPECT_EQ(backup.GetRemovableDriveLetter("Drive for backup", true), CBackupRestore::kHardDrive);
  ui.QueueChoice({});
  EXPECT_EQ(backup.GetRemovableDriveLetter("Drive for backup", true), "");
  // Restore without any drive: the message, then a folder is asked for.
  drives.m_drives.clear();
  AppSettings().sBackup.clear();
  CScratchFolder folder;
  ui.QueueInput(folder.Path());
  EXPECT_EQ(backup.GetRemovableDriveLetter("Drive for restore", false), folder.Path());
  EXPECT_TRUE(ui.SawText("No removable drives found"));
}

}  // namespace
