#include "comms/MailAccount.h"

#include <string_view>

#include "support/StringUtil.h"

namespace {

// Every field, empty ones included: a dropped empty field would move the
// password into the user name or a key into the password.
std::vector<std::string> SplitAll(const std::string& s, char cSeparator) {
  std::vector<std::string> sa(1);
  for (char c : s) {
    if (c == cSeparator)
      sa.emplace_back();
    else
      sa.back() += c;
  }
  return sa;
}

bool HasForbidden(std::string_view s, bool bLineBreaksAllowed) {
  for (char c : s) {
    if (c == kAccountSeparator || c == '|' || c == '\0') return true;
    if (!bLineBreaksAllowed && (c == '\r' || c == '\n')) return true;
  }
  return false;
}

}  // namespace

bool ParseMailAccount(const std::string& sAccount, stMailAccount& account) {
  const std::vector<std::string> sa = SplitAll(sAccount, kAccountSeparator);
  if (sa.size() < 3) return false;
  account = {};
  account.sServer = Trim(sa[0]);
  account.sUser = sa[1];
  account.sPassword = sa[2];
  for (size_t i = 3; i < sa.size(); ++i) {
    const std::string sKey = ToUpper(Trim(sa[i]));
    if (!sKey.empty()) account.saKeys.push_back(sKey);
  }
  return true;
}

std::string FormatMailAccount(const stMailAccount& account) {
  std::string s = account.sServer + kAccountSeparator + account.sUser + kAccountSeparator +
                  account.sPassword;
  for (const std::string& sKey : account.saKeys)
    if (!sKey.empty()) s += kAccountSeparator + sKey;
  return s;
}

bool SplitServer(const std::string& sServer, std::string& sHost, uint16_t& nPort) {
  sHost = Trim(sServer);
  nPort = 110;
  const size_t nColon = sHost.rfind(':');
  if (nColon == std::string::npos) return true;
  long long n = 0;
  if (!ParseInt(std::string_view(sHost).substr(nColon + 1), n) || n < 1 || n > 65535) return false;
  nPort = uint16_t(n);
  sHost.erase(nColon);
  return !sHost.empty();
}

std::vector<std::string> KeysFromText(const std::string& sText) {
  std::vector<std::string> sa;
  for (const std::string& sLine : SplitAll(sText, '\n')) {
    const std::string sKey = ToUpper(Trim(sLine));
    if (!sKey.empty()) sa.push_back(sKey);
  }
  return sa;
}

std::string TextFromKeys(const std::vector<std::string>& saKeys) {
  std::string s;
  for (const std::string& sKey : saKeys) s += (s.empty() ? "" : "\n") + sKey;
  return s;
}

std::string CheckMailAccountFields(const std::string& sServer, const std::string& sUser,
                                   const std::string& sPassword, const std::string& sKeysText) {
  const char* pRefusal = "\"%s\" may not contain ` or |, a line break or a NUL character.";
  if (HasForbidden(sServer, false)) return StrFormat(pRefusal, "Server");
  if (HasForbidden(sUser, false)) return StrFormat(pRefusal, "UserID");
  if (HasForbidden(sPassword, false)) return StrFormat(pRefusal, "Password");
  if (HasForbidden(sKeysText, true))
    return "\"Alert address keys\" may not contain ` or | or a NUL character.";
  std::string sHost;
  uint16_t nPort = 0;
  if (!SplitServer(sServer, sHost, nPort))
    return "The port after the server's \":\" must be a number from 1 to 65535.";
  return "";
}
