#include "network/UserList.h"

#include <algorithm>

#include "network/NetworkHelpers.h"
#include "support/StringUtil.h"

int UserNumberFromAddress(const std::string& sAddress) {
  std::vector<std::string> saParts;
  long long n = 0;
  if (sAddress.empty() || ParseString(sAddress, ".", saParts, 0, true) != 4 ||
      !ParseInt(saParts[3], n) || n < 0 || n > 255)
    return -1;
  return int(n);
}

uint8_t BuildUserList(const stLanIdentity& identity, std::vector<stUserListEntry>& users) {
  users.clear();
  std::vector<std::string> saLines;
  GetNetWorkComputers(saLines, identity.m_sComputerListPath, identity.m_sComputerName,
                      identity.OwnAddress());
  const int nOwn = std::max(UserNumberFromAddress(identity.OwnAddress()), 0);
  saLines.push_back(identity.OwnAddress().empty()
                        ? identity.m_sComputerName
                        : identity.m_sComputerName + ":" + identity.OwnAddress());
  std::sort(saLines.begin(), saLines.end());
  for (size_t m = 0; m < saLines.size(); ++m) {
    stUserListEntry user;
    std::string sAddress;
    SplitComputerNameAndAddress(saLines[m], user.m_sName, sAddress);
    const int nFromAddress = UserNumberFromAddress(sAddress);
    user.m_nUserNumber = nFromAddress >= 0 ? nFromAddress : int((m + size_t(nOwn) + 1) & 0xFF);
    user.m_nNameCheck = GetCRC(user.m_sName);
    users.push_back(user);
  }
  return uint8_t(nOwn);
}
