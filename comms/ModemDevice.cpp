#include "comms/ModemDevice.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "support/FileUtil.h"

namespace {

std::vector<std::string> Entries(const std::string& sFolder, const std::vector<std::string>& saPrefixes) {
  std::vector<std::string> sa;
  DIR* pDir = opendir(sFolder.c_str());
  if (!pDir) return sa;
  while (const dirent* pEntry = readdir(pDir)) {
    const std::string sName = pEntry->d_name;
    if (sName == "." || sName == "..") continue;
    for (const std::string& sPrefix : saPrefixes)
      if (sName.rfind(sPrefix, 0) == 0) {
        sa.push_back(JoinPath(sFolder, sName));
        break;
      }
  }
  closedir(pDir);
  std::sort(sa.begin(), sa.end());
  return sa;
}

std::string RealPath(const std::string& sPath) {
  char cReal[PATH_MAX];
  return realpath(sPath.c_str(), cReal) ? std::string(cReal) : sPath;
}

}  // namespace

std::vector<std::string> ListModemDevices(const std::string& sDevFolder) {
  std::vector<std::string> sa = Entries(JoinPath(sDevFolder, "serial/by-id"), {""});
  std::set<std::string> named;
  for (const std::string& s : sa) named.insert(RealPath(s));
  for (const std::string& s : Entries(sDevFolder, {"ttyACM", "ttyUSB"}))
    if (!named.count(RealPath(s))) sa.push_back(s);
  return sa;
}

stPhoneDevice ChooseModemDevice(const stPhoneDevice& configured, const std::vector<std::string>& saFound) {
  stPhoneDevice device = configured;
  if (const char* pEnv = std::getenv("KELVO_MODEM"); pEnv && *pEnv)
    device.sPath = pEnv;
  else if (device.sPath.empty() && !saFound.empty())
    device.sPath = saFound.front();
  return device;
}

std::string ModemLockFolder() {
  const char* pEnv = std::getenv("KELVO_LOCKDIR");
  return pEnv && *pEnv ? pEnv : "/var/lock";
}
