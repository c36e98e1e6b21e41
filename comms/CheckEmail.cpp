#include "comms/CheckEmail.h"

#include <chrono>

#include "comms/CPop3Connection.h"
#include "comms/MailAccount.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"

namespace {

// The list columns are TAB-separated: no field may carry a control character.
std::string Column(std::string s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return s;
}

stMailItem ErrorItem(const stAccountCheck& result) {
  stMailItem item;
  item.sServer = result.sServer;
  item.sUser = result.sUser;
  item.sFrom = "ERROR";
  item.sSubject = "ERROR in retrieving";
  item.bError = true;
  return item;
}

}  // namespace

std::string stMailItem::ItemText() const {
  return Column(sUser) + "\t" + Column(sFrom) + "\t" + Column(sSubject) + "\t" + Column(sDate);
}

bool EmailCheckItem(const std::string& sSender, const std::string& sSubject,
                    const std::string& sText, const std::vector<std::string>& saKeys,
                    std::string* pMatched) {
  if (saKeys.empty()) return true;
  const std::string sAll = ToUpper(sSender + sSubject + sText);
  for (const std::string& sKey : saKeys) {
    if (sKey.empty() || sAll.find(ToUpper(sKey)) == std::string::npos) continue;
    if (pMatched) *pMatched = sKey;
    return true;
  }
  return false;
}

bool ConnectAccount(const std::string& sAccount, const stMailCheckOptions& options,
                    CPop3Connection& pop, stMailAccount& account, std::string& sError) {
  std::string sHost;
  uint16_t nPort = 0;
  if (!ParseMailAccount(sAccount, account) || account.sServer.empty()) {
    sError = "no usable account";
    return false;
  }
  if (!SplitServer(account.sServer, sHost, nPort)) {
    sError = "the server's port is not a number from 1 to 65535";
    return false;
  }
  stPop3Limits limits;
  limits.nConnectMs = options.nConnectMs;
  limits.nIdleMs = options.nIdleMs;
  limits.deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(options.nAccountDeadlineMs);
  limits.nWakeFd = options.nWakeFd;
  pop.SetLimits(limits);
  pop.SetCaFile(options.sCaFile);
  pop.SetTlsPort(options.nTlsPort);
  if (pop.Connect(sHost, account.sUser, account.sPassword, nPort)) return true;
  sError = pop.GetLastCommandResponse();
  return false;
}

int CheckEmail(const std::string& sAccount, const stMailCheckOptions& options,
               stAccountCheck& result) {
  result = {};
  CPop3Connection pop;
  stMailAccount account;
  const bool bConnected = ConnectAccount(sAccount, options, pop, account, result.sError);
  result.sServer = account.sServer;
  result.sUser = account.sUser;
  if (!bConnected) return 0;
  pop.Noop();
  int nCount = 0;
  long long nTotal = 0;
  if (!pop.Statistics(nCount, nTotal)) {
    result.sError = pop.GetLastCommandResponse();
    result.items.push_back(ErrorItem(result));
    result.bBeep = true;
    pop.Disconnect();
    return 0;
  }
  KTRACE("POP3 %s has %i messages, %lld bytes\n", account.sServer.c_str(), nCount, nTotal);
  pop.List();
  const bool bIds = pop.UIDL();  // not every server has it; the IDs serve deleting later

  size_t nKept = 0;
  const int nLast = std::min(nCount, options.nMaxMessages);
  for (int n = 1; n <= nLast && pop.IsConnected(); ++n) {
    uint32_t nSize = 0;
    const bool bSized = pop.GetMessageSize(n, nSize);
    if (bSized && nSize > kPop3MaxMessage) continue;  // cannot be held: skipped unread
    CPop3Message message;
    if (!pop.Retrieve(n, message)) continue;
    if (nKept + message.GetText().size() > options.nMaxKeptBytes) break;
    stMailItem item;
    item.sFrom = message.GetFrom();
    item.sSubject = message.GetSubject();
    const stMailText text = message.GetDecodedText();
    if (!EmailCheckItem(item.sFrom, item.sSubject, text.sText + "\r\n" + text.sHtml,
                        account.saKeys, &item.sAlert))
      continue;
    item.sServer = account.sServer;
    item.sUser = account.sUser;
    item.nNumber = n;
    item.nSize = bSized ? nSize : uint32_t(message.GetText().size());
    if (bIds) pop.GetMessageID(n, item.sUid);
    item.sDate = message.GetDate();
    nKept += message.GetText().size();
    item.sMessage = std::move(message.Text());
    result.items.push_back(std::move(item));
  }
  if (!pop.IsConnected()) result.sError = pop.GetLastCommandResponse();
  pop.Disconnect();
  result.nResult = 1;
  return 1;
}

std::vector<stMailItem> DeleteEmails(const std::string& sAccount,
                                     const std::vector<stMailItem>& items,
                                     const stMailCheckOptions& options) {
  CPop3Connection pop;
  stMailAccount account;
  std::string sError;
  if (!ConnectAccount(sAccount, options, pop, account, sError)) return {};
  std::vector<stMailItem> deleted;
  for (const stMailItem& item : items) {
    const int n = item.sUid.empty() ? 0 : pop.FindMessageByID(item.sUid);
    if (n > 0 && pop.Delete(n)) deleted.push_back(item);
  }
  if (!pop.Disconnect()) deleted.clear();
  return deleted;
}
