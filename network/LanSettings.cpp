#include "network/LanSettings.h"

#include "network/NetworkHelpers.h"

stLanSettings& LanSettings() {
  static stLanSettings settings;
  return settings;
}

stLanIdentity CurrentLanIdentity() {
  stLanIdentity id;
  std::string sHost;
  GetThisComputerInfo(sHost, id.m_sHostAddress);
  id.m_sComputerName = GetThisComputerName();
  id.m_sListenAddress = LanSettings().m_sIpAddressLanSvr;
  id.m_sPortText = LanSettings().m_sPortLanSvr;
  id.m_sComputerListPath = ComputerListPath();
  return id;
}
