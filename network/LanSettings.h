#pragma once
// The process-wide network settings that the configuration file keeps
// (IPADDRESS_LANSVR, PORT_LANSVR, NETWORK_DISABLE) plus the local switch of
// the locking self-test, and the identity a LAN server starts with. Read and
// written on the user-interface thread only; a server copies what it needs.

#include <string>

struct stLanSettings {
  std::string m_sIpAddressLanSvr;  // listening address; empty: chosen at start
  std::string m_sPortLanSvr;       // port as text; empty: derived from the names
  bool m_bNetworkDisabled = false;
  bool m_bAutoTest = false;        // "AUTO_TEST" from a peer is obeyed only while set
};

stLanSettings& LanSettings();

// Who a LAN server is: this computer's name and address, the listening
// address and port texts and the computer list file. Several servers in one
// process (tests) each get their own.
struct stLanIdentity {
  std::string m_sComputerName;
  std::string m_sHostAddress;
  std::string m_sListenAddress;
  std::string m_sPortText;
  std::string m_sComputerListPath;
};

// The identity from the environment, the settings and the program folder.
stLanIdentity CurrentLanIdentity();
