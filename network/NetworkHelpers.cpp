#include "network/NetworkHelpers.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/CUserInterface.h"
#include "support/UserPrompts.h"

namespace {

constexpr size_t kMaxListLine = 511;

std::string Env(const char* pName) {
  const char* p = std::getenv(pName);
  return p ? std::string(p) : std::string();
}

std::string AddressText(const sockaddr* pAddr) {
  char c[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(pAddr)->sin_addr, c, sizeof c);
  return c;
}

// The first IPv4 address of an interface that is up and not the loopback.
std::string FirstExternalAddress() {
  ifaddrs* pList = nullptr;
  if (getifaddrs(&pList) != 0) return "";
  std::string sFound;
  for (ifaddrs* p = pList; p && sFound.empty(); p = p->ifa_next) {
    if (!p->ifa_addr || p->ifa_addr->sa_family != AF_INET) continue;
    if (!(p->ifa_flags & IFF_UP) || (p->ifa_flags & IFF_LOOPBACK)) continue;
    sFound = AddressText(p->ifa_addr);
  }
  freeifaddrs(pList);
  return sFound;
}

bool ParseAddress(const std::string& s, uint32_t& nHostOrder) {
  in_addr a{};
  if (inet_pton(AF_INET, s.c_str(), &a) != 1) return false;
  nHostOrder = ntohl(a.s_addr);
  return true;
}

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
std::string Unescape(const std::string& s) {
  std::string sOut;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && IsOctal(s[i + 1]) && IsOctal(s[i + 2]) &&
        IsOctal(s[i + 3])) {
      sOut += char(std::strtol(s.substr(i + 1, 3).c_str(), nullptr, 8));
      i += 3;
    } else {
      sOut += s[i];
    }
  }
  return sOut;
}

// Parses one mountinfo line: fields 5 (mount point) and 6 (options), then
// after the "-" separator the file system type, the source and the super options.
bool ParseMountLine(const std::string& sLine, stMountEntry& entry) {
  std::istringstream in(sLine);
  std::vector<std::string> saFields;
  std::string s;
  while (in >> s) saFields.push_back(s);
  auto itDash = std::find(saFields.begin(), saFields.end(), "-");
  if (saFields.size() < 6 || itDash == saFields.end() || saFields.end() - itDash < 3) return false;
  entry.sMountPoint = Unescape(saFields[4]);
  entry.sOptions = saFields[5];
  entry.sFsType = *(itDash + 1);
  entry.sSource = Unescape(*(itDash + 2));
  if (saFields.end() - itDash >= 4) entry.sOptions += "," + *(itDash + 3);
  return true;
}


bool IsCifs(const std::string& sType) {
  return sType == "cifs" || sType == "smb3" || sType == "smbfs";
}
bool IsNfs(const std::string& sType) { return sType == "nfs" || sType == "nfs4"; }

// The host part of a network mount's source, or empty for local mounts.
std::string MountHost(const stMountEntry& mount) {
  if (IsCifs(mount.sFsType) && mount.sSource.rfind("//", 0) == 0)
    return mount.sSource.substr(2, mount.sSource.find('/', 2) - 2);
  if (IsNfs(mount.sFsType)) {
    const size_t nColon = mount.sSource.rfind(':');
    if (nColon != std::string::npos && nColon > 0) return mount.sSource.substr(0, nColon);
  }
  return "";
}

// The real path of a file that may not exist yet: its folder resolved, the name kept.
std::string RealPathOf(const std::string& sPath) {
  char c[PATH_MAX];
  if (realpath(sPath.c_str(), c)) return c;
  const std::string sFolder = FolderOf(sPath).empty() ? "." : FolderOf(sPath);
  if (realpath(sFolder.c_str(), c)) return JoinPath(c, FileNameOf(sPath));
  return sPath;
}

bool PathIsUnder(const std::string& sPath, const std::string& sMount) {
  if (sMount == "/") return !sPath.empty() && sPath[0] == '/';
  return sPath.rfind(sMount, 0) == 0 && (sPath.size() == sMount.size() || sPath[sMount.size()] == '/');
}

bool HasOption(const std::string& sOptions, const std::string& sName, bool bPrefix) {
  std::vector<std::string> saOptions;
  ParseString(sOptions, ",", saOptions);
  for (const auto& s : saOptions)
    if (s == sName || (bPrefix && s.rfind(sName, 0) == 0)) return true;
  return false;
}

}  // namespace

std::vector<stMountEntry> ReadMountTable() {
  std::string sPath = Env("KELVO_MOUNTINFO");
  if (sPath.empty()) sPath = "/proc/self/mountinfo";
  std::ifstream in(sPath);
  std::vector<stMountEntry> mounts;
  std::string sLine;
  stMountEntry entry;
  while (std::getline(in, sLine))
    if (ParseMountLine(sLine, entry)) mounts.push_back(entry);
  return mounts;
}

std::string GetThisComputerName() {
  std::string sName = Trim(Env("KELVO_COMPUTERNAME"));
  if (sName.empty()) {
    char c[HOST_NAME_MAX + 1] = {};
    if (gethostname(c, sizeof c - 1) != 0 || !c[0]) return "unknown";
    sName = c;
  }
  return ToUpper(sName);
}

int GetThisComputerInfo(std::string& sHostName, std::string& sAddress) {
  sHostName = GetThisComputerName();
  sAddress = Trim(Env("KELVO_HOSTADDRESS"));
  if (sAddress.empty()) sAddress = FirstExternalAddress();
  if (sAddress.empty()) sAddress = "127.0.0.1";
  return 1;
}

std::vector<stAdapter> GetAdapters() {
  std::vector<stAdapter> adapters;
  ifaddrs* pList = nullptr;
  if (getifaddrs(&pList) != 0) return adapters;
  for (ifaddrs* p = pList; p; p = p->ifa_next) {
    if (!p->ifa_addr || p->ifa_addr->sa_family != AF_INET) continue;
    auto it = std::find_if(adapters.begin(), adapters.end(),
                           [&](const stAdapter& a) { return a.sName == p->ifa_name; });
    if (it == adapters.end()) {
      adapters.push_back({p->ifa_name, p->ifa_name, {}, {}});
      it = adapters.end() - 1;
    }
    it->saAddresses.push_back(AddressText(p->ifa_addr));
    it->saNetmasks.push_back(p->ifa_netmask ? AddressText(p->ifa_netmask) : "255.255.255.0");
  }
  freeifaddrs(pList);
  return adapters;
}

std::string SelectAdapter(const std::string& /*sText*/) {
  const std::vector<stAdapter> adapters = GetAdapters();
  if (adapters.empty()) {
    GetResponse("No adaptors found", MB_OK);
    return "";
  }
  if (adapters.size() == 1 && adapters[0].saAddresses.size() == 1) {
    GetResponse(StrFormat("One adaptor found and selected: %s", adapters[0].saAddresses[0].c_str()),
                MB_OK);
    return adapters[0].saAddresses[0];
  }
  std::vector<std::string> saItems, saAddresses;
  for (const auto& a : adapters)
    for (const auto& sAddress : a.saAddresses) {
      saItems.push_back(StrFormat("%s, %s", sAddress.c_str(), a.sDescription.c_str()));
      saAddresses.push_back(sAddress);
    }
  const auto chosen = GetUi().ChooseFromList("Select IP Address", saItems, false);
  if (!chosen || chosen->empty() || (*chosen)[0] < 0 || size_t((*chosen)[0]) >= saAddresses.size())
    return "";
  return saAddresses[size_t((*chosen)[0])];
}

bool IsSameSubnet(const std::string& sLocal, const std::string& sOther) {
  uint32_t nLocal = 0, nOther = 0;
  if (!ParseAddress(sLocal, nLocal) || !ParseAddress(sOther, nOther)) return false;
  uint32_t nMask = 0xFFFFFF00u;
  for (const auto& a : GetAdapters())
    for (size_t i = 0; i < a.saAddresses.size(); ++i) {
      uint32_t nAddress = 0, nNetmask = 0;
      if (ParseAddress(a.saAddresses[i], nAddress) && ParseAddress(a.saNetmasks[i], nNetmask) &&
          (nAddress & nNetmask) == (nLocal & nNetmask)) {
        nMask = nNetmask;
        return (nLocal & nMask) == (nOther & nMask);
      }
    }
  return (nLocal & nMask) == (nOther & nMask);
}

bool IsComputerName(const std::string& sName) {
  static constexpr size_t kMaxComputerName = 15;
  static const std::string kPunctuation = "-_!@#$%^&'(){}.";
  if (sName.empty() || sName.size() > kMaxComputerName) return false;
  return std::all_of(sName.begin(), sName.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || kPunctuation.find(c) != std::string::npos;
  });
}

bool IsDottedAddress(const std::string& sText) {
  in_addr a{};
  if (inet_pton(AF_INET, sText.c_str(), &a) != 1) return false;
  char c[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, c, sizeof c);
  return sText == c;
}

std::string ResolveName(const std::string& sName, int* pCode) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* pResult = nullptr;
  const int nError = getaddrinfo(sName.c_str(), nullptr, &hints, &pResult);
  if (nError != 0 || !pResult) {
    if (pCode) *pCode = WsaCodeFromGai(nError);
    return "";
  }
  const std::string sAddress = AddressText(pResult->ai_addr);
  freeaddrinfo(pResult);
  return sAddress;
}

void SplitComputerNameAndAddress(const std::string& sLine, std::string& sName,
                                 std::string& sAddress) {
  const size_t nColon = sLine.find(':');
  sName = Trim(sLine.substr(0, nColon));
  sAddress = nColon == std::string::npos ? std::string() : Trim(sLine.substr(nColon + 1));
}

std::string ComputerListPath() { return ProgramFile("Kelvo.usr"); }

bool ReadComputerList(const std::string& sPath, std::vector<std::string>& saLines) {
  saLines.clear();
  std::ifstream in(sPath);
  if (!in) return false;
  std::string sLine;
  while (std::getline(in, sLine)) {
    if (sLine.size() > kMaxListLine) sLine.resize(kMaxListLine);
    while (!sLine.empty() && std::isspace(static_cast<unsigned char>(sLine.back()))) sLine.pop_back();
    std::string sName, sAddress;
    SplitComputerNameAndAddress(sLine, sName, sAddress);
    if (sName.empty()) continue;
    saLines.push_back(sAddress.empty() && sLine.find(':') == std::string::npos
                          ? ToUpper(sName)
                          : ToUpper(sName) + ":" + sAddress);
  }
  return true;
}

bool WriteComputerList(const std::string& sPath, const std::vector<std::string>& saLines) {
  std::string sContent;
  for (const auto& s : saLines) sContent += s + "\n";
  return WriteFileAtomic(sPath, sContent, 0644);
}

std::string GetNetWorkComputers(std::vector<std::string>& saComputers,
                                const std::string& sListPath, const std::string& sThisName,
                                const std::string& sThisAddress) {
  saComputers.clear();
  std::vector<std::string> saLines;
  if (ReadComputerList(sListPath, saLines)) {
    for (const auto& sLine : saLines) {
      std::string sName, sAddress;
      SplitComputerNameAndAddress(sLine, sName, sAddress);
      const bool bListed = std::any_of(saComputers.begin(), saComputers.end(), [&](const std::string& s) {
        return s == sName || s.rfind(sName + ":", 0) == 0;
      });
      if (bListed || sName == sThisName || (!sAddress.empty() && sAddress == sThisAddress)) continue;
      saComputers.push_back(sLine);
    }
    return sThisName;
  }
  for (const auto& sHost : GetNetworkMountHosts())
    if (sHost != sThisName &&
        std::find(saComputers.begin(), saComputers.end(), sHost) == saComputers.end())
      saComputers.push_back(sHost);
  std::vector<std::string> saFile = saComputers;
  saFile.push_back(sThisName);
  WriteComputerList(sListPath, saFile);
  return sThisName;
}

std::string ComputerNameFromHost(const std::string& sHost) {
  if (IsDottedAddress(sHost)) {
    std::vector<std::string> saLines;
    ReadComputerList(ComputerListPath(), saLines);
    for (const auto& sLine : saLines) {
      std::string sName, sAddress;
      SplitComputerNameAndAddress(sLine, sName, sAddress);
      if (sAddress == sHost) return sName;
    }
    return sHost;
  }
  return ToUpper(sHost.substr(0, sHost.find('.')));
}

bool FindMountOfPath(const std::string& sPath, stMountEntry& mount) {
  const std::string sReal = RealPathOf(sPath);
  bool bFound = false;
  for (const auto& m : ReadMountTable())
    if (PathIsUnder(sReal, m.sMountPoint) &&
        (!bFound || m.sMountPoint.size() >= mount.sMountPoint.size())) {
      mount = m;
      bFound = true;
    }
  return bFound;
}

bool HasLocalOnlyLocks(const stMountEntry& mount) {
  if (IsNfs(mount.sFsType))
    return HasOption(mount.sOptions, "nolock", false) ||
           (HasOption(mount.sOptions, "local_lock=", true) &&
            !HasOption(mount.sOptions, "local_lock=none", false));
  if (IsCifs(mount.sFsType)) return HasOption(mount.sOptions, "nobrl", false);
  return false;
}

std::vector<std::string> GetNetworkMountHosts() {
  std::vector<std::string> saHosts;
  for (const auto& m : ReadMountTable()) {
    const std::string sHost = MountHost(m);
    if (sHost.empty()) continue;
    const std::string sName = ComputerNameFromHost(sHost);
    if (std::find(saHosts.begin(), saHosts.end(), sName) == saHosts.end()) saHosts.push_back(sName);
  }
  return saHosts;
}

std::string GetComputerFromFileName(const std::string& sFileName,
                                    const std::string& sThisComputer) {
  if (sFileName.size() <= 1) return "";
  if (sFileName.rfind("//", 0) == 0 || sFileName.rfind("\\\\", 0) == 0) {
    const size_t nEnd = sFileName.find_first_of("/\\", 2);
    const std::string sHost = sFileName.substr(2, nEnd == std::string::npos ? nEnd : nEnd - 2);
    return sHost.empty() ? std::string() : ComputerNameFromHost(sHost);
  }
  // A drive-letter path: this platform has no network drives.
  if (sFileName[1] == ':') return sThisComputer;
  stMountEntry mount;
  if (FindMountOfPath(sFileName, mount)) {
    const std::string sHost = MountHost(mount);
    if (!sHost.empty()) return ComputerNameFromHost(sHost);
  }
  return sThisComputer;
}

uint16_t PortFromName(const std::string& sName) {
  uint32_t nPort = GetCRC(sName) & 0xFFFFu;
  if (nPort < 1024) nPort += 1024;
  return uint16_t(nPort);
}

int WsaCodeFromErrno(int nErrno) {
  switch (nErrno) {
    case EINTR: return 10004;
    case EACCES: case EPERM: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: case ENFILE: return 10024;
    case EAGAIN: return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: case EBADF: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS: case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: case EPIPE: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return nErrno;
  }
}

int WsaCodeFromGai(int nGaiError) {
  switch (nGaiError) {
    case EAI_NONAME: return 11001;
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;
#endif
    case EAI_SYSTEM: return WsaCodeFromErrno(errno);
    default: return 11003;
  }
}

std::string WsaErrorText(int nCode) {
  const char* pText = "Unknown error code";
  switch (nCode) {
    case 10004: pText = "Interrupted function call"; break;
    case 10013: pText = "Permission denied. An attempt was made to access a socket in a way forbidden by its access permissions."; break;
    case 10014: pText = "Bad address. The system detected an invalid pointer address"; break;
    case 10022: pText = "Invalid argument. Some invalid argument was supplied"; break;
    case 10024: pText = "Too many open files. Too many open sockets."; break;
    case 10035: pText = "Resource temporarily unavailable"; break;
    case 10036: pText = "Operation now in progress. A blocking operation is currently executing"; break;
    case 10037: pText = "Operation already in progress"; break;
    case 10038: pText = "Socket operation on nonsocket"; break;
    case 10039: pText = "Destination address required"; break;
    case 10040: pText = "Message too long for datagram socket"; break;
    case 10041: pText = "Protocol wrong type for socket"; break;
    case 10042: pText = "Bad protocol option"; break;
    case 10043: pText = "Protocol not supported"; break;
    case 10044: pText = "Socket type not supported"; break;
    case 10045: pText = "Operation not supported"; break;
    case 10046: pText = "Protocol family not supported"; break;
    case 10047: pText = "Address family not supported by protocol"; break;
    case 10048: pText = "Address already in use (protocol/IP address/port)"; break;
    case 10049: pText = "Cannot assign requested address"; break;
    case 10050: pText = "Network is down"; break;
    case 10051: pText = "Network is unreachable"; break;
    case 10052: pText = "Network dropped connection on reset"; break;
    case 10053: pText = "Software caused connection abort"; break;
    case 10054: pText = "Connection reset by peer"; break;
    case 10055: pText = "No buffer space available"; break;
    case 10056: pText = "Socket is already connected"; break;
    case 10057: pText = "Socket is not connected"; break;
    case 10058: pText = "Cannot send after socket shutdown"; break;
    case 10060: pText = "Connection timed out"; break;
    case 10061: pText = "Connection refused"; break;
    case 10064: pText = "Host is down"; break;
    case 10065: pText = "No route to host"; break;
    case 10067: pText = "Too many processes"; break;
    case 10091: pText = "Network subsystem is unavailable"; break;
    case 10092: pText = "Winsock.dll version out of range"; break;
    case 10093: pText = "WSAStartup not yet performed"; break;
    case 10101: pText = "Graceful shutdown in progress"; break;
    case 10109: pText = "Class type not found"; break;
    case 11001: pText = "Host not found"; break;
    case 11002: pText = "Nonauthoritative host not found"; break;
    case 11003: pText = "Nonrecoverable error"; break;
    case 11004: pText = "Valid name, no data record of requested type"; break;
    default: break;
  }
  return StrFormat("Error %i:%s", nCode, pText);
}

std::string WsaErrorMessage() { return WsaErrorText(WsaCodeFromErrno(errno)); }

bool FillAddress(const std::string& sAddress, uint16_t nPort, sockaddr_in& addr) {
  addr = {};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(nPort);
  if (sAddress.empty()) {
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    return true;
  }
  return inet_pton(AF_INET, sAddress.c_str(), &addr.sin_addr) == 1;
}
