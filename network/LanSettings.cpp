#include "network/LanSettings.h"

#include "network/NetworkHelpers.h"
#include "support/CConfigFile.h"

stLanIdentity CurrentLanIdentity() {
  stLanIdentity id;
  std::string sHost;
  GetThisComputerInfo(sHost, id.m_sHostAddress);
  id.m_sComputerName = GetThisComputerName();
  id.m_sListenAddress = AppSettings().sLanServerAddress;
  id.m_sPortText = AppSettings().sLanServerPort;
  id.m_sComputerListPath = ComputerListPath();
  return id;
}
