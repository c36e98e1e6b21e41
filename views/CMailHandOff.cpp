#include "views/CMailHandOff.h"

#include "support/CUserInterface.h"
#include "support/UserPrompts.h"
#include "views/CViewFrame.h"

namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~' || c == '@';
}

std::string PercentEncode(const std::string& s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string sOut;
  for (const unsigned char c : s) {
    if (IsUnreserved(c)) {
      sOut += char(c);
    } else {
      sOut += '%';
      sOut += kHex[c >> 4];
      sOut += kHex[c & 15];
    }
  }
  return sOut;
}

bool IsRefused(const std::string& sAddress) {
  return sAddress.empty() || sAddress.find_first_of("\r\n?&") != std::string::npos ||
         sAddress.find('\0') != std::string::npos;
}

}  // namespace

std::string CMailHandOff::MailtoUrl(const std::vector<stMailRecipient>& recipients, std::string& sRefused) {
  std::string sTo, sQuery;
  for (const stMailRecipient& r : recipients) {
    if (IsRefused(r.sAddress)) {
      sRefused = r.sAddress;
      return {};
    }
    const std::string sEncoded = PercentEncode(r.sAddress);
    if (r.nClass == MAIL_CC || r.nClass == MAIL_BCC)
      sQuery += (sQuery.empty() ? "?" : "&") + std::string(r.nClass == MAIL_CC ? "cc=" : "bcc=") + sEncoded;
    else
      sTo += (sTo.empty() ? "" : ",") + sEncoded;
  }
  return "mailto:" + sTo + sQuery;
}

int CMailHandOff::ResultOfExit(int nExit) {
  if (nExit == 0) return 0;
  if (nExit == EXIT_NO_MAIL_SYSTEM || nExit < 0) return -1;
  return 2;
}

std::string CMailHandOff::ResultMessage(int nResult, bool bAttachments) {
  switch (nResult) {
    case 0: return "The call succeeded. If you clicked 'Send' the message was put in out box.";
    case 1: return "The user canceled one of the dialog boxes. No message was sent. ";
    case 2:
      return bAttachments ? "One or more unspecified errors occurred. Possibly attached files not found. No "
                            "message was sent. "
                          : "One or more unspecified errors occurred. No message was sent. ";
    default: return {};
  }
}

int CMailHandOff::AskRecipientClass() {
  const auto naChosen =
      GetUi().ChooseFromList("Select type",
                             {"Address list as primary recipient", "Address list as copy recipient",
                              "Address list as blind copy recipient"},
                             false);
  if (!naChosen || naChosen->empty()) return 0;
  const int nClass = naChosen->front() + 1;
  return nClass == MAIL_CC || nClass == MAIL_BCC ? nClass : MAIL_TO;
}

void CMailHandOff::Send(CViewFrame& frame, const std::vector<stMailRecipient>& recipients) {
  std::string sRefused;
  const std::string sUrl = MailtoUrl(recipients, sRefused);
  if (sUrl.empty()) {
    GetResponse("The email address \"" + sRefused + "\" cannot be used. No message was sent.", MB_OK);
    return;
  }
  const std::string sText = ResultMessage(ResultOfExit(frame.RunMailClient({sUrl})), false);
  if (!sText.empty()) GetResponse(sText, MB_OK);
}
