#pragma once
// One retrieved message: its text as received (header and body, lines ending
// in CR LF, dot-stuffing removed) and the decoded header items and text.

#include <string>

#include "comms/MailDecode.h"

class CPop3Message {
 public:
  CPop3Message() = default;
  explicit CPop3Message(std::string sText) : m_sMessage(std::move(sText)) {}

  void SetText(std::string sText) { m_sMessage = std::move(sText); }
  const std::string& GetText() const { return m_sMessage; }
  std::string& Text() { return m_sMessage; }

  // The text before the first empty line (all of it when there is none) and
  // the text after it (empty when there is none).
  std::string GetHeader() const { return std::string(MailHeaderOf(m_sMessage)); }
  std::string GetBody() const { return std::string(MailBodyOf(m_sMessage)); }

  // The n-th header item of that name as it stands, unfolded.
  std::string GetHeaderItem(const std::string& sName, int n = 1) const;

  // Decoded for display and for the alert keys.
  std::string GetSubject() const { return Decoded("Subject"); }
  std::string GetFrom() const { return Decoded("From"); }
  std::string GetDate() const { return Decoded("Date"); }
  // "Reply-To", else "From", else "Sender", else "Return-Path".
  std::string GetReplyTo() const;
  stMailText GetDecodedText() const { return DecodeMailText(m_sMessage); }

 private:
  std::string Decoded(const char* pName) const {
    return DecodeHeaderText(GetHeaderItem(pName));
  }

  std::string m_sMessage;
};
