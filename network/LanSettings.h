#pragma once
// The identity a LAN server starts with: this computer's name and address,
// the listening address and port texts (IPADDRESS_LANSVR and PORT_LANSVR of
// the installation settings) and the computer list file. Several servers in
// one process (tests) each get their own.

#include <string>

struct stLanIdentity {
  std::string m_sComputerName;
  std::string m_sHostAddress;
  std::string m_sListenAddress;
  std::string m_sPortText;
  std::string m_sComputerListPath;

  // The address this copy is seen at: the listening address, else the host's.
  const std::string& OwnAddress() const {
    return m_sListenAddress.empty() ? m_sHostAddress : m_sListenAddress;
  }
};

// The identity from the environment, the installation settings and the program folder.
stLanIdentity CurrentLanIdentity();
