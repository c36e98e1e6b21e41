// The FTP transfer against a real server on loopback: round trips in both
// modes, the failures and what they leave behind, abort and time-outs, and
// kelvotool's ftp and config publish commands as a process.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "comms/CFtpTransfer.h"
#include "support/CConfigFile.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "tests/comms/FtpTestServer.h"

namespace {

// Keeps what the transfer reported; fnOnProgress may act mid-transfer.
class CRecordingEvents : public CFtpEvents {
 public:
  void OnStatus(const std::string& sText) override { m_saStatus.push_back(sText); }
  void OnProgress(const stFtpProgress& progress) override {
    m_last = progress;
    if (m_fnOnProgress) m_fnOnProgress(progress);
  }
  bool AbortRequested() override { return m_bAbort; }
  bool Saw(const std::string& sText) const {
    return std::find(m_saStatus.begin(), m_saStatus.end(), sText) != m_saStatus.end();
  }
  std::vector<std::string> m_saStatus;
  stFtpProgress m_last;
  std::function<void(const stFtpProgress&)> m_fnOnProgress;
  bool m_bAbort = false;
};

std::string ReadText(const std::string& sPath) {
  std::string s;
  ReadWholeFile(sPath, s);
  return s;
}

std::string Bytes(size_t nSize) {
  std::string s(nSize, '\0');
  for (size_t i = 0; i < nSize; ++i) s[i] = char((i * 7919u + i / 13) & 0xFF);
  return s;
}

// Nothing but the named files: no temporary download was left behind.
size_t FileCount(const std::string& sFolder) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(sFolder)) ++n;
  return n;
}

}  // namespace

TEST(FtpTransfer, RoundTripsBinaryAndAsciiFilesThroughPublic) {
  CFtpTestServer server;
  ASSERT_TRUE(server.Started());
  CScratchFolder local;
  const std::string sData = Bytes(300000) + "\r\n\n\r";
  WriteFileAtomic(local.File("X.PLAN"), sData, 0644);

  CRecordingEvents up;
  ASSERT_EQ(1, RunFtpTransfer(server.Request("X.PLAN", local.File("X.PLAN"), false), &up));
  EXPECT_EQ(sData, ReadText(server.HomeFile("public/X.PLAN")));
  for (const char* p : {"Resolving name: 127.0.0.1", "Resolved name to 127.0.0.1", "Connecting to 127.0.0.1",
                        "Connected to 127.0.0.1", "Getting file information", "Uploading the file"})
    EXPECT_TRUE(up.Saw(p)) << p;
  EXPECT_EQ((long long)sData.size(), up.m_last.nDone);

  CRecordingEvents down;
  ASSERT_EQ(1, RunFtpTransfer(server.Request("X.PLAN", local.File("copy.plan"), true), &down));
  EXPECT_EQ(sData, ReadText(local.File("copy.plan")));
  EXPECT_TRUE(down.Saw("Retrieving the file"));
  EXPECT_EQ((long long)sData.size(), down.m_last.nTotal);
  EXPECT_EQ(100, FormatFtpProgress(down.m_last).nPercent);

  // ASCII by the extension: the server sends CR LF (two bytes more on the
  // wire), the local file gets LF back, and the size stays unknown.
  WriteFileAtomic(server.HomeFile("public/notes.txt"), "one\ntwo\n", 0644);
  CRecordingEvents ascii;
  ASSERT_EQ(1, RunFtpTransfer(server.Request("notes.txt", local.File("notes.txt"), true), &ascii));
  EXPECT_EQ("one\ntwo\n", ReadText(local.File("notes.txt")));
  EXPECT_EQ(10, ascii.m_last.nDone);
  EXPECT_EQ(-1, ascii.m_last.nTotal);
  CRecordingEvents binary;
  CFtpTransfer asBinary(server.Request("notes.txt", local.File("notes.bin"), true), &binary);
  asBinary.SetAscii(false);
  ASSERT_TRUE(asBinary.Start() && asBinary.Transfer());
  EXPECT_EQ(8, binary.m_last.nDone);

  WriteFileAtomic(local.File("page.htm"), "<p>a</p>\n<p>b</p>\n", 0644);
  ASSERT_EQ(1, RunFtpTransfer(server.Request("page.htm", local.File("page.htm"), false)));
  EXPECT_EQ("<p>a</p>\n<p>b</p>\n", ReadText(server.HomeFile("public/page.htm")));
  EXPECT_EQ(5u, FileCount(local.Path()));
}

TEST(FtpTransfer, FailuresKeepTheLocalFileAndSayWhy) {
  CFtpTestServer server;
  ASSERT_TRUE(server.Started());
  CScratchFolder local;
  CTestUi ui;
  const std::string sOld = local.File("old.bin");
  WriteFileAtomic(sOld, "OLD", 0640);
  WriteFileAtomic(server.HomeFile("public/a.bin"), Bytes(5000), 0644);
  setenv("KELVO_HOME", local.Path().c_str(), 1);
  SetDiagnosticLevel(1);
  OpenDiagnosticFile();

  std::string sError;
  stFtpRequest wrong = server.Request("a.bin", sOld, true);
  wrong.sPassword = "not-it";
  ui.QueueAnswer(IDYES);
  EXPECT_EQ(0, RunFtpTransfer(wrong, nullptr, &sError));
  EXPECT_EQ("Failed in call to InternetConnect, Error:67\nProblem in downloading a.bin to " + sOld + ".",
            sError);
  ui.QueueAnswer(IDYES);
  EXPECT_EQ(0, RunFtpTransfer(server.Request("missing.bin", sOld, true), nullptr, &sError));
  EXPECT_EQ(0u, sError.find("Failed in call to FtpOpenFile, Error:78\n")) << sError;
  EXPECT_EQ(0, RunFtpTransfer(server.Request("x.bin", local.File("none"), false), nullptr, &sError));
  EXPECT_EQ(
      "Failed to open the file to upload, Error:2\nProblem in uploading " + local.File("none") + " to x.bin.",
      sError);
  stFtpRequest noFolder = server.Request("x.bin", sOld, false);
  noFolder.sRemoteFolder = "no/such";
  EXPECT_EQ(0, RunFtpTransfer(noFolder, nullptr, &sError));
  EXPECT_EQ(0u, sError.find("Failed in changing directory, Error:9\n")) << sError;
  // Declining the replacement moves nothing and is no failure text.
  ui.QueueAnswer(IDNO);
  EXPECT_EQ(0, RunFtpTransfer(server.Request("a.bin", sOld, true), nullptr, &sError));
  EXPECT_EQ("", sError);
  EXPECT_TRUE(ui.SawText("The file " + sOld + " already exists.\nDo you want to replace it?"));

  // A replacement keeps the old file's permissions.
  ui.QueueAnswer(IDYES);
  EXPECT_EQ(1, RunFtpTransfer(server.Request("a.bin", sOld, true)));
  EXPECT_EQ(Bytes(5000), ReadText(sOld));
  struct stat st {};
  stat(sOld.c_str(), &st);
  EXPECT_EQ(0640u, st.st_mode & 0777);

  CloseDiagnosticFile();
  const std::string sTrace = ReadText(local.File("DIAGNOSE.TXT"));
  EXPECT_NE(std::string::npos, sTrace.find("curl error 67")) << sTrace;
  EXPECT_EQ(std::string::npos, sTrace.find(CFtpTestServer::kPassword));
  EXPECT_EQ(std::string::npos, sTrace.find("not-it"));
  unsetenv("KELVO_HOME");
  EXPECT_EQ(3u, FileCount(local.Path()));  // old.bin and the two trace files
}

TEST(FtpTransfer, AbortKilledServerAndSilentServerLeaveTheOldFile) {
  CScratchFolder local;
  const std::string sOld = local.File("big.bin");
  CTestUi ui;
  {
    CFtpTestServer slow(64 * 1024);
    ASSERT_TRUE(slow.Started());
    WriteFileAtomic(slow.HomeFile("public/big.bin"), Bytes(2 << 20), 0644);
    WriteFileAtomic(sOld, "OLD", 0644);
    CRecordingEvents events;
    events.m_fnOnProgress = [&](const stFtpProgress& p) { events.m_bAbort = p.nDone > 0; };
    ui.QueueAnswer(IDYES);
    CFtpTransfer transfer(slow.Request("big.bin", sOld, true), &events);
    ASSERT_EQ(1, transfer.Start());
    EXPECT_EQ(0, transfer.Transfer());
    EXPECT_TRUE(transfer.WasAborted());
    EXPECT_TRUE(events.Saw("Aborting transfer"));
    EXPECT_LT(events.m_last.nDone, 2 << 20);
    EXPECT_EQ("OLD", ReadText(sOld));

    // The server dies half way: a failure, and the old file stays.
    CRecordingEvents killing;
    killing.m_fnOnProgress = [&](const stFtpProgress& p) {
      if (p.nDone > 0) slow.Kill();
    };
    ui.QueueAnswer(IDYES);
    std::string sError;
    EXPECT_EQ(0, RunFtpTransfer(slow.Request("big.bin", sOld, true), &killing, &sError));
    EXPECT_EQ(0u, sError.find("Failed in call to InternetReadFile, Error:")) << sError;
    EXPECT_EQ("OLD", ReadText(sOld));
  }
  // A server that never answers fails after the time allowed.
  CSilentListener silent;
  stFtpRequest request;
  request.sServer = "127.0.0.1:" + std::to_string(silent.Port());
  request.sRemoteName = "a.bin";
  request.sLocalPath = sOld;
  request.bDownload = true;
  request.nTimeoutSeconds = 1;
  ui.QueueAnswer(IDYES);
  std::string sError;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, RunFtpTransfer(request, nullptr, &sError));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(0u, sError.find("Failed in call to InternetConnect, Error:28\n")) << sError;
  EXPECT_EQ("OLD", ReadText(sOld));
  EXPECT_EQ(1u, FileCount(local.Path()));
}

TEST(FtpTransfer, ProgressTextsModesAndUrls) {
  // Rate and time left need time and bytes; an unknown size gives no percentage.
  const std::vector<std::pair<stFtpProgress, std::string>> cases = {
      {{512 * 1024, 2 * 1024 * 1024, 4.0},
       "25|25% of 2.00 Mbytes transferred|12 Sec (512.0 Kbytes of 2.00 Mbytes copied)|128 KBytes/Sec"},
      {{3000, 300000, 2.0},
       "1|1% of 293.0 Kbytes transferred|3 Min, 18 Sec (2.9 Kbytes of 293.0 Kbytes copied)|1.46 KBytes/Sec"},
      {{100, 1000, 0.0}, "10|10% of 1000 bytes transferred||"},
      {{100, -1, 1.0}, "-1|100 bytes transferred||100 Bytes/Sec"}};
  for (const auto& [progress, sWanted] : cases) {
    const stFtpProgressTexts t = FormatFtpProgress(progress);
    EXPECT_EQ(sWanted, std::to_string(t.nPercent) + "|" + t.sPercentage + "|" + t.sTimeLeft + "|" + t.sRate);
  }
  for (const char* p : {"a.htm", "A.HTML", "x.y.txt", "run.cgi", "s.pl", "f.stu", "g.efo"})
    EXPECT_TRUE(IsFtpAsciiName(p)) << p;
  for (const char* p : {"X.PLAN", "page.htm.zip", "txt", "a.html~"}) EXPECT_FALSE(IsFtpAsciiName(p)) << p;

  stFtpRequest r;
  EXPECT_EQ("", ParseFtpUrl("ftp://h.example:2121/pub/my%20page.htm", false, r));
  EXPECT_EQ("h.example:2121|pub|my page.htm", r.sServer + "|" + r.sRemoteFolder + "|" + r.sRemoteName);
  EXPECT_EQ("", ParseFtpUrl("FTP://[::1]/%2Fsrv/pub/", true, r));
  EXPECT_EQ("/srv/pub", r.sRemoteFolder);
  for (const char* p : {"ftp://u:pw@h/pub/a.htm", "ftp://h:99999/a", "ftp://h/pub/", "http://h/a"})
    EXPECT_NE("", ParseFtpUrl(p, false, r)) << p;
}

TEST(FtpTool, PutGetListAndThePublishingAccount) {
  CFtpTestServer server;
  ASSERT_TRUE(server.Started());
  CScratchFolder dir;
  WriteFileAtomic(dir.File("pw"), std::string(CFtpTestServer::kPassword) + "\n", 0600);
  WriteFileAtomic(dir.File("bad"), "wrong\n", 0600);
  WriteFileAtomic(dir.File("X.PLAN"), Bytes(70000), 0644);
  const std::string sTool = std::string(KELVOTOOL_PATH) + " ";
  const std::string sUrl = "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/public/";
  const std::string sAuth = " --user kelvo --password-file " + dir.File("pw");
  std::string sOut;

  EXPECT_EQ(0,
            RunCommand(sTool + "ftp put " + sUrl + "X.PLAN " + dir.File("X.PLAN") + sAuth + " 2>&1", &sOut))
      << sOut;
  EXPECT_NE(std::string::npos, sOut.find("100% of 68.4 Kbytes transferred")) << sOut;
  EXPECT_EQ(0, RunCommand(sTool + "ftp list " + sUrl + sAuth, &sOut));
  EXPECT_EQ("X.PLAN\n", sOut);
  EXPECT_EQ(0, RunCommand(sTool + "ftp get " + sUrl + "X.PLAN " + dir.File("back") + sAuth + " 2>/dev/null"));
  EXPECT_EQ(Bytes(70000), ReadText(dir.File("back")));
  EXPECT_NE(0, RunCommand(sTool + "ftp get " + sUrl + "X.PLAN " + dir.File("back") +
                              " --yes --user kelvo --password-file " + dir.File("bad") + " 2>&1",
                          &sOut));
  EXPECT_NE(std::string::npos,
            sOut.find("Failed in call to InternetConnect, Error:67\nProblem in downloading X.PLAN to "))
      << sOut;
  EXPECT_EQ(std::string::npos, sOut.find("wrong"));
  EXPECT_NE(0, RunCommand(sTool + "ftp get ftp://kelvo:pw@127.0.0.1/a.htm x 2>&1", &sOut));
  EXPECT_NE(std::string::npos, sOut.find("--password-file")) << sOut;

  // The publishing account goes into Kelvo.cfg, 0600, and is shown without its password.
  const std::string sHome = "KELVO_HOME=" + dir.Path() + " ";
  EXPECT_EQ(0,
            RunCommand(sHome + sTool + "config publish --server 127.0.0.1:" + std::to_string(server.Port()) +
                       " --user kelvo --folder public --password-file " + dir.File("pw")));
  stAppSettings settings;
  EXPECT_TRUE(CConfigFile::ReadFile(dir.File("Kelvo.cfg"), settings).saIgnored.empty());
  EXPECT_EQ("kelvo", settings.publishAccount.sUser);
  EXPECT_EQ("public", settings.publishAccount.sFolder);
  EXPECT_EQ(CFtpTestServer::kPassword, settings.publishAccount.sPassword);
  struct stat st {};
  stat(dir.File("Kelvo.cfg").c_str(), &st);
  EXPECT_EQ(0600u, st.st_mode & 0777);
  EXPECT_EQ(0, RunCommand(sHome + sTool + "config publish", &sOut));
  EXPECT_NE(std::string::npos, sOut.find("Folder: public"));
  EXPECT_EQ(std::string::npos, sOut.find(CFtpTestServer::kPassword));
  EXPECT_EQ(0, RunCommand(sHome + sTool + "config publish --clear"));
  EXPECT_NE(0, RunCommand(sHome + sTool + "config publish 2>/dev/null"));
}
