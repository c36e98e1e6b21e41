#include "network/CUserListModel.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "network/CLanLogOn.h"
#include "network/NetworkHelpers.h"
#include "support/CConfigFile.h"
#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

CUserListModel::CUserListModel(CLanLogOn* pLan) : m_pLan(pLan) {
  if (!m_pLan) m_identity = CurrentLanIdentity();
}

const stLanIdentity& CUserListModel::Identity() const {
  return m_pLan ? m_pLan->Identity() : m_identity;
}

int CUserListModel::UsersOnLine() const {
  return m_pLan && m_pLan->Server() ? m_pLan->Server()->ConnectedCount() + 1 : 1;
}

std::string CUserListModel::HeaderText() const {
  return m_pLan ? StrFormat("Lock manager: %s", m_pLan->LockMngrName().c_str()) : "File sharing off";
}

std::vector<std::string> CUserListModel::ListLines() const {
  std::vector<std::string> saLines;
  if (m_pLan && m_pLan->Server()) {
    for (const auto& peer : m_pLan->Server()->GetPeers()) {
      const char* pName = peer.m_sName.c_str();
      const char* pAddress = peer.m_sAddress.c_str();
      if (peer.m_nConnected)
        saLines.push_back(StrFormat("%s:%s on-line", pName, pAddress));
      else if (DiagOn())
        saLines.push_back(StrFormat("%s:%s off-line [%s]", pName, pAddress, peer.m_sError.c_str()));
      else
        saLines.push_back(StrFormat("%s:%s off-line", pName, pAddress));
    }
    return saLines;
  }
  std::vector<std::string> saFile;
  ReadComputerList(Identity().m_sComputerListPath, saFile);
  for (const auto& s : saFile) saLines.push_back(StrFormat("%s off-line", s.c_str()));
  return saLines;
}

std::string CUserListModel::AddressText() const {
  return StrFormat("This IP address: %s", AppSettings().sLanServerAddress.c_str());
}

std::string CUserListModel::PortText() const {
  const std::string& sPort = AppSettings().sLanServerPort;
  if (m_pLan && m_pLan->Server())
    return StrFormat(sPort.empty() ? "DORVATCH selected port: %u" : "Port: %u",
                     unsigned(m_pLan->Server()->Port()));
  return sPort.empty() ? std::string("DORVATCH selected port") : StrFormat("Port: %s", sPort.c_str());
}

void CUserListModel::Restart() {
  if (m_pLan && m_pLan->Server() && !m_pLan->RestartLanServer())
    GetResponse("Networking will be disabled.", MB_OK);
}

int CUserListModel::ResetComputerList() {
  // Others on line would lose this copy's connections to them.
  if (UsersOnLine() >= 2) {
    GetResponse("Can't reset computer list while other users on-line.", MB_OK);
    return 0;
  }
  const stLanIdentity& id = Identity();
  const std::string& sPath = id.m_sComputerListPath;
  if (::unlink(sPath.c_str()) != 0 && errno != ENOENT) {
    GetResponse(StrFormat("Cannot delete the computer list %s: %s", sPath.c_str(), std::strerror(errno)), MB_OK);
    return 0;
  }
  if (m_pLan && m_pLan->Server()) {
    Restart();
    return 1;
  }
  std::vector<std::string> saComputers;
  GetNetWorkComputers(saComputers, sPath, id.m_sComputerName, id.OwnAddress());
  // The browse writes the new list; without it the reset did not happen.
  if (FileExists(sPath)) return 1;
  GetResponse(StrFormat("Cannot write the computer list %s: %s", sPath.c_str(), std::strerror(errno)), MB_OK);
  return 0;
}

std::string CUserListModel::ComputerListText() const {
  std::vector<std::string> saLines;
  ReadComputerList(Identity().m_sComputerListPath, saLines);
  std::string sText;
  for (const auto& s : saLines) sText += s + "\n";
  return sText;
}

int CUserListModel::SaveComputerListText(const std::string& sText) {
  std::vector<std::string> saLines;
  ParseString(sText, "\r\n", saLines);
  std::vector<std::string> saKept;
  for (const auto& s : saLines)
    if (!Trim(s).empty()) saKept.push_back(Trim(s));
  const std::string& sPath = Identity().m_sComputerListPath;
  if (WriteComputerList(sPath, saKept)) return 1;
  GetResponse(StrFormat("Cannot write the computer list %s: %s", sPath.c_str(), std::strerror(errno)), MB_OK);
  return 0;
}

std::string CUserListModel::AdapterListText() const {
  const std::vector<stAdapter> adapters = GetAdapters();
  if (adapters.empty()) return "No network adapters found";
  std::string sText;
  for (const auto& a : adapters) {
    sText += StrFormat("Adapter name: %s\n", a.sName.c_str());
    sText += StrFormat("Description: %s\n", a.sDescription.c_str());
    for (const auto& sAddress : a.saAddresses) {
      sText += StrFormat("IP Address: %s\n", sAddress.c_str());
      if (sAddress == AppSettings().sLanServerAddress) sText += "Assigned to LAN server\n";
    }
    sText += "\n";
  }
  return sText;
}

int CUserListModel::ChangeSetting(const std::string& sRefusal, const std::string& sPrompt, bool bPort) {
  if (UsersOnLine() >= 2) {
    GetResponse(sRefusal, MB_OK);
    return 0;
  }
  const std::string sOld = bPort ? AppSettings().sLanServerPort : AppSettings().sLanServerAddress;
  const auto answer = GetUi().InputText(sPrompt, sOld);
  if (!answer || Trim(*answer) == sOld) return 0;
  const std::string sNew = Trim(*answer);
  long long nPort = 0;
  if (bPort && !sNew.empty() && !(ParseInt(sNew, nPort) && nPort > 0 && nPort <= 65535)) {
    GetResponse(StrFormat("%s is not a port number. Enter 1 to 65535, or nothing for the selected port.",
                          sNew.c_str()),
                MB_OK);
    return 0;
  }
  if (m_pLan) {
    if (bPort)
      m_pLan->SetPortSetting(sNew);
    else
      m_pLan->SetListenSetting(sNew);
  } else {
    (bPort ? AppSettings().sLanServerPort : AppSettings().sLanServerAddress) = sNew;
  }
  Restart();
  return 1;
}

int CUserListModel::ChangeAddress() {
  return ChangeSetting("Can't change address while other users on-line.", "New IP address", false);
}

int CUserListModel::ChangePort() {
  return ChangeSetting("Can't change port while other users on-line.", "New port number", true);
}
