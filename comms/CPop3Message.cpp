#include "comms/CPop3Message.h"

std::string CPop3Message::GetHeaderItem(const std::string& sName, int n) const {
  return HeaderItem(MailHeaderOf(m_sMessage), sName, n);
}

std::string CPop3Message::GetReplyTo() const {
  for (const char* pName : {"Reply-To", "From", "Sender", "Return-Path"}) {
    const std::string s = Decoded(pName);
    if (!s.empty()) return s;
  }
  return "";
}
