#include "network/CMailSlot.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "network/NetworkHelpers.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"

CMailSlot::CMailSlot(stLanIdentity identity)
    : m_identity(std::move(identity)), m_nPort(PortFromName(kSlotName)) {}

CMailSlot::~CMailSlot() {
  if (m_nFd >= 0) ::close(m_nFd);
}

int CMailSlot::MakeMailSlot() {
  if (m_nFd >= 0) return 1;
  sockaddr_in addr{};
  if (!FillAddress(m_identity.m_sListenAddress, m_nPort, addr)) return 0;
  const int nFd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (nFd < 0) return 0;
  const int nOn = 1;
  setsockopt(nFd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
  if (::bind(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    KTRACE("Mail slot not created: %s\n", WsaErrorMessage().c_str());
    ::close(nFd);
    return 0;
  }
  m_nFd = nFd;
  return 1;
}

std::vector<std::string> CMailSlot::Destinations(const std::string& sComputer) const {
  std::vector<std::string> saAddresses;
  const std::string sOwn = m_identity.OwnAddress();
  if (sComputer == "*" || sComputer == m_identity.m_sComputerName) saAddresses.push_back(sOwn);
  std::vector<std::string> saLines, saNames;
  ReadComputerList(m_identity.m_sComputerListPath, saLines);
  for (const auto& sLine : saLines) {
    std::string sName, sAddress;
    SplitComputerNameAndAddress(sLine, sName, sAddress);
    if (sName != m_identity.m_sComputerName && !IsDottedAddress(sAddress)) saNames.push_back(sName);
  }
  const std::map<std::string, std::string> resolved = ResolvedNames(saNames);
  for (const auto& sLine : saLines) {
    std::string sName, sAddress;
    SplitComputerNameAndAddress(sLine, sName, sAddress);
    if (sName == m_identity.m_sComputerName || (sComputer != "*" && sName != sComputer)) continue;
    if (!IsDottedAddress(sAddress)) {
      const auto it = resolved.find(sName);
      sAddress = it == resolved.end() ? std::string() : it->second;
    }
    if (!sAddress.empty() &&
        std::find(saAddresses.begin(), saAddresses.end(), sAddress) == saAddresses.end())
      saAddresses.push_back(sAddress);
  }
  return saAddresses;
}

std::map<std::string, std::string> CMailSlot::ResolvedNames(const std::vector<std::string>& saNames) const {
  std::lock_guard<std::mutex> lock(m_pNames->m_mutex);
  if (saNames != m_pNames->m_saAsked && !m_pNames->m_bBusy) {
    m_pNames->m_saAsked = saNames;
    m_pNames->m_bBusy = true;
    std::thread([pNames = m_pNames, saNames] {
      std::map<std::string, std::string> addresses;
      for (const auto& sName : saNames) {
        const std::string sAddress = ResolveName(sName);
        if (!sAddress.empty()) addresses[sName] = sAddress;
      }
      std::lock_guard<std::mutex> done(pNames->m_mutex);
      pNames->m_addresses = std::move(addresses);
      pNames->m_bBusy = false;
    }).detach();
  }
  return m_pNames->m_addresses;
}

int CMailSlot::WriteToMailSlot(const std::string& sComputer, const std::string& sText) {
  if (!MakeMailSlot()) return 0;
  std::string sDatagram = sText;
  sDatagram.push_back('\0');
  if (sDatagram.size() > kMessageSize) return 0;
  int nSent = 0;
  for (const auto& sAddress : Destinations(sComputer)) {
    sockaddr_in to{};
    if (!FillAddress(sAddress, m_nPort, to)) continue;
    if (::sendto(m_nFd, sDatagram.data(), sDatagram.size(), MSG_NOSIGNAL,
                 reinterpret_cast<sockaddr*>(&to), sizeof to) == ssize_t(sDatagram.size()))
      nSent = 1;
  }
  return nSent;
}

int CMailSlot::ReadMailSlot(std::vector<std::string>& saMessages) {
  if (m_nFd < 0) return 0;
  char cBuffer[kMessageSize + 1];
  const std::vector<std::string> saKnown = Destinations("*");
  for (size_t i = 0; i < kMaxPerRead; ++i) {
    sockaddr_in from{};
    socklen_t nLen = sizeof from;
    const ssize_t n = ::recvfrom(m_nFd, cBuffer, kMessageSize + 1, MSG_DONTWAIT | MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&from), &nLen);
    if (n < 0) return (errno == EAGAIN || errno == EINTR) ? 1 : 0;
    char cSource[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, cSource, sizeof cSource);
    if (size_t(n) > kMessageSize ||
        std::find(saKnown.begin(), saKnown.end(), cSource) == saKnown.end()) {
      KTRACE("Mail slot datagram from %s dropped\n", cSource);
      continue;
    }
    std::string sText(cBuffer, size_t(n));
    sText.erase(std::find(sText.begin(), sText.end(), '\0'), sText.end());
    saMessages.push_back(DecodeStoredText(sText));
  }
  return 1;
}

std::vector<std::string> TakeShortMessages(CMailSlot& slot, const std::string& sThisComputer) {
  std::vector<std::string> saRaw, saTexts;
  slot.ReadMailSlot(saRaw);
  for (const auto& s : saRaw) {
    const size_t nBar = s.find('|');
    if (nBar == std::string::npos || s.substr(0, nBar) == sThisComputer) continue;
    saTexts.push_back(s.substr(nBar + 1));
  }
  return saTexts;
}

void SendShortMessage(CMailSlot& slot, const std::string& sThisComputer, const std::string& sText) {
  if (sText.empty()) return;
  // Before the first database is opened the log-on has not named this computer yet.
  const std::string sFrom = sThisComputer.empty() ? GetThisComputerName() : sThisComputer;
  slot.WriteToMailSlot("*", EncodeStoredText(StrFormat("%s|%s", sFrom.c_str(), sText.c_str())));
}
