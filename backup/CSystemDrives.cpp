#include "backup/CSystemDrives.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "network/NetworkHelpers.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

bool FlagFileSet(const std::string& sPath) {
  std::string s;
  return ReadWholeFile(sPath, s) && Trim(s) == "1";
}

std::string RealPath(const std::string& sPath) {
  char c[PATH_MAX];
  return ::realpath(sPath.c_str(), c) ? std::string(c) : std::string();
}

// udev escapes blanks and other bytes of a label as \xNN.
std::string UnescapeLabel(const std::string& s) {
  std::string sOut;
  for (size_t i = 0; i < s.size(); ++i) {
    if (i + 4 <= s.size() && s.compare(i, 2, "\\x") == 0 && std::isxdigit((unsigned char)s[i + 2]) &&
        std::isxdigit((unsigned char)s[i + 3])) {
      sOut += char(std::strtol(s.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      sOut += s[i];
    }
  }
  return sOut;
}

}  // namespace

bool CSystemDrives::IsRemovableDevice(const std::string& sDevice) const {
  const std::string sClass = m_sRoot + "/sys/class/block/" + sDevice;
  const std::string sReal = RealPath(sClass);
  if (sReal.empty()) return false;
  // A partition's flag lives on its disk, the folder above it.
  if (FlagFileSet(sReal + "/removable") || FlagFileSet(FolderOf(sReal) + "/removable")) return true;
  return sReal.find("/usb") != std::string::npos;
}

std::string CSystemDrives::LabelOf(const std::string& sDevice) const {
  const std::string sFolder = m_sRoot + "/dev/disk/by-label";
  DIR* pDir = ::opendir(sFolder.c_str());
  if (!pDir) return "";
  std::string sLabel;
  while (const dirent* p = ::readdir(pDir)) {
    char c[PATH_MAX];
    const std::string sLink = JoinPath(sFolder, p->d_name);
    const ssize_t n = ::readlink(sLink.c_str(), c, sizeof c - 1);
    if (n <= 0) continue;
    if (FileNameOf(std::string(c, size_t(n))) == sDevice) {
      sLabel = UnescapeLabel(p->d_name);
      break;
    }
  }
  ::closedir(pDir);
  return sLabel;
}

std::vector<stDrive> CSystemDrives::GetRemovableDriveList() {
  std::vector<stDrive> drives;
  std::vector<std::string> saDevices;
  for (const stMountEntry& m : ReadMountTable()) {
    if (m.sSource.rfind("/dev/", 0) != 0) continue;
    const std::string sDevice = FileNameOf(m.sSource);
    // A drive mounted twice is offered once, at its first mount.
    if (std::find(saDevices.begin(), saDevices.end(), sDevice) != saDevices.end()) continue;
    if (!IsRemovableDevice(sDevice)) continue;
    saDevices.push_back(sDevice);
    std::string sLabel = LabelOf(sDevice);
    if (sLabel.empty()) sLabel = FileNameOf(m.sMountPoint);
    drives.push_back({m.sMountPoint, sLabel});
  }
  return drives;
}
