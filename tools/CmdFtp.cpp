// kelvotool commands of the FTP transfer and the publishing account:
//   ftp put URL LOCAL | ftp get URL LOCAL | ftp list URL
//       [--user U --password-file F] [--ascii] [--active] [--timeout S] [--yes]
// move one file to or from URL ("ftp://host[:port]/folder/name") or list the
// names in the URL's folder. The password file's first line is the password,
// so it never shows in a process list or in the URL. The mode is ASCII for
// the web and text types by the name's extension, or with --ascii. Status
// and progress go to stderr; a failure prints the transfer's message and
// exits non-zero. get asks before it replaces LOCAL unless --yes is given.
//   config publish --server HOST[:PORT] --user U --password-file F [--folder D]
//   config publish --clear | config publish
// sets, removes or shows (without the password) the account the calendar
// page is published to, kept in Kelvo.cfg.

#include <chrono>
#include <iostream>

#include "comms/CFtpTransfer.h"
#include "support/CConfigFile.h"
#include "support/CScriptedUi.h"
#include "support/CTerminalUi.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "tools/CToolCommands.h"

namespace {

constexpr char kFtpUsage[] =
    "usage: ftp put URL LOCAL | ftp get URL LOCAL | ftp list URL\n"
    "           [--user U --password-file F] [--ascii] [--active] [--timeout S] [--yes]";
constexpr char kConfigUsage[] =
    "usage: config publish [--server HOST[:PORT] --user U --password-file F [--folder D] | --clear]";

struct stFtpArgs {
  std::vector<std::string> saWords;  // the action, the URL, the local file
  std::string sUser, sPasswordFile;
  bool bAscii = false, bYes = false, bActive = false;
  int nTimeout = 30;
};

bool ParseArgs(const std::vector<std::string>& args, stFtpArgs& a) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& s = args[i];
    long long n = 0;
    if (s == "--ascii") {
      a.bAscii = true;
    } else if (s == "--yes") {
      a.bYes = true;
    } else if (s == "--active") {
      a.bActive = true;
    } else if (s.rfind("--", 0) == 0) {
      if (i + 1 >= args.size()) return false;
      const std::string& sValue = args[++i];
      if (s == "--user")
        a.sUser = sValue;
      else if (s == "--password-file")
        a.sPasswordFile = sValue;
      else if (s == "--timeout" && ParseInt(sValue, n) && n >= 1 && n <= 3600)
        a.nTimeout = int(n);
      else
        return false;
    } else {
      a.saWords.push_back(s);
    }
  }
  if (a.saWords.empty()) return false;
  const size_t nWords = a.saWords[0] == "list" ? 2 : 3;
  return a.saWords.size() == nWords &&
         (a.saWords[0] == "list" || a.saWords[0] == "put" || a.saWords[0] == "get");
}

// Status lines as they come; the progress at most once a second and at the end.
class CToolFtpEvents : public CFtpEvents {
 public:
  void OnStatus(const std::string& sText) override { std::cerr << sText << std::endl; }
  void OnProgress(const stFtpProgress& progress) override {
    const auto now = std::chrono::steady_clock::now();
    const bool bEnd = progress.nTotal >= 0 && progress.nDone >= progress.nTotal;
    if (!bEnd && now - m_last < std::chrono::seconds(1)) return;
    m_last = now;
    const stFtpProgressTexts texts = FormatFtpProgress(progress);
    std::cerr << texts.sPercentage << (texts.sRate.empty() ? "" : ", " + texts.sRate) << std::endl;
  }

 private:
  std::chrono::steady_clock::time_point m_last{};
};

int CmdFtp(const std::vector<std::string>& args) {
  stFtpArgs a;
  if (!ParseArgs(args, a)) return ToolError(kFtpUsage);
  const std::string& sAction = a.saWords[0];
  stFtpRequest request;
  const std::string sUrlProblem = ParseFtpUrl(a.saWords[1], sAction == "list", request);
  if (!sUrlProblem.empty()) return ToolError(sUrlProblem);
  request.sUser = a.sUser;
  if (!a.sPasswordFile.empty() && !ToolReadPassword(a.sPasswordFile, request.sPassword))
    return ToolError("cannot read " + a.sPasswordFile);
  request.bPassive = !a.bActive;
  request.nTimeoutSeconds = a.nTimeout;
  std::string sError;
  if (sAction == "list") {
    std::vector<std::string> saNames;
    if (!CFtpTransfer::ListFolder(request, saNames, &sError)) return ToolError(Trim(sError));
    for (const std::string& sName : saNames) std::cout << sName << "\n";
    return TOOL_OK;
  }
  request.sLocalPath = a.saWords[2];
  request.bDownload = sAction == "get";
  CTerminalUi ui(a.bYes ? IDYES : 0);
  CScopedUi scope(ui);
  CToolFtpEvents events;
  CFtpTransfer transfer(request, &events);
  if (a.bAscii) transfer.SetAscii(true);
  std::cerr << transfer.StartText() << (transfer.IsAscii() ? " (ASCII)" : " (binary)") << std::endl;
  if (!transfer.Start()) {
    if (transfer.GetError().empty()) return ToolError("not replaced: " + request.sLocalPath);
    return ToolError(Trim(transfer.GetError()) + "\n" + transfer.ProblemText());
  }
  if (transfer.Transfer()) return TOOL_OK;
  return ToolError((transfer.GetError().empty() ? "" : Trim(transfer.GetError()) + "\n") +
                   transfer.ProblemText());
}

bool HasSeparator(const std::string& s) { return s.find_first_of("|\r\n") != std::string::npos; }

int CmdConfig(const std::vector<std::string>& args) {
  if (args.empty() || args[0] != "publish") return ToolError(kConfigUsage);
  stFtpAccount account;
  std::string sPasswordFile;
  bool bClear = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--clear") {
      bClear = true;
      continue;
    }
    if (i + 1 >= args.size()) return ToolError(kConfigUsage);
    const std::string& sValue = args[++i];
    if (args[i - 1] == "--server")
      account.sServer = sValue;
    else if (args[i - 1] == "--user")
      account.sUser = sValue;
    else if (args[i - 1] == "--password-file")
      sPasswordFile = sValue;
    else if (args[i - 1] == "--folder")
      account.sFolder = sValue;
    else
      return ToolError(kConfigUsage);
  }
  const std::string sPath = ProgramFile("Kelvo.cfg");
  stAppSettings settings;
  CConfigFile::ReadFile(sPath, settings);
  if (args.size() == 1) {
    const stFtpAccount& a = settings.publishAccount;
    if (!a.IsSet()) return ToolError("no publishing account in " + sPath);
    std::cout << "Server: " << a.sServer << "\nUser: " << a.sUser << "\nFolder: " << a.sFolder << "\n";
    return TOOL_OK;
  }
  if (bClear != account.sServer.empty() || (bClear && args.size() > 2)) return ToolError(kConfigUsage);
  if (!bClear) {
    if (!sPasswordFile.empty() && !ToolReadPassword(sPasswordFile, account.sPassword))
      return ToolError("cannot read " + sPasswordFile);
    if (HasSeparator(account.sServer) || HasSeparator(account.sUser) || HasSeparator(account.sFolder))
      return ToolError("server, user and folder may not hold \"|\" or line breaks");
    stFtpRequest check;
    if (!ParseFtpUrl("ftp://" + account.sServer + "/", true, check).empty())
      return ToolError("no server: " + account.sServer);
  }
  settings.publishAccount = account;
  settings.sCurrentRoot = settings.sLast;  // the file keeps its last database
  if (!CConfigFile::WriteFile(sPath, settings)) return ToolError("cannot write " + sPath);
  return TOOL_OK;
}

const CToolCommand kFtp(
    "ftp",
    "ftp put URL LOCAL | get URL LOCAL | list URL  [--user U --password-file F]\n"
    "                       [--ascii] [--active] [--timeout S] [--yes]\n"
    "                       send, fetch or list over FTP (URL ftp://host[:port]/folder/name;\n"
    "                       the password is the first line of F, never in the URL)",
    CmdFtp);

const CToolCommand kConfig(
    "config",
    "config publish [--server HOST[:PORT] --user U --password-file F [--folder D]\n"
    "                       | --clear]   set, remove or show the account the calendar\n"
    "                       page is published to (PUBLISHFTP in Kelvo.cfg)",
    CmdConfig);

}  // namespace
