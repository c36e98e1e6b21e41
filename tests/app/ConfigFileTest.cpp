// Kelvo.cfg: every key round trip (also under a German locale), malformed
// files, file mode, and a writer killed in the middle of a save.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>

#include "common/TestCommon.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"

namespace {

// Builds a de_DE.UTF-8 locale into a folder of its own (the machine may not
// have it generated) and switches the C locale to it for the object's life.
class CGermanLocale {
 public:
  CGermanLocale() {
    const std::string sCmd = "localedef -i de_DE -f UTF-8 " + m_folder.Path() +
                             "/de_DE.UTF-8 >/dev/null 2>&1";
    RunCommand(sCmd);
    setenv("LOCPATH", m_folder.Path().c_str(), 1);
    m_bActive = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  }
  ~CGermanLocale() {
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
  }
  bool Active() const { return m_bActive; }

 private:
  CScratchFolder m_folder;
  bool m_bActive = false;
};

stAppSettings FullSettings() {
  stAppSettings s;
  s.sCurrentRoot = "/data/office/Kelvo Main";
  s.sPrev = "/data/old/Prev";
  s.sBackup = "/media/backup";
  s.nDiagnostic = 2;
  s.sLanServerAddress = "192.168.1.20";
  s.sLanServerPort = "4711";
  s.printerView.sPrinter = "HP_LaserJet,driver,port";
  s.printerView.nPauseAfterPage = 1;
  s.printerView.nDelaySeconds = 5;
  s.printerEnvelopes.sPrinter = "Envelope printer";
  s.sLabelPrinterLine = "LABELPRINTER|Dymo";
  s.sLabelPrinterLayoutLine = "LABELPRINTERLAYOUT|1.500000|2.250000|0.125000|3";
  s.mailLabels.sFontFace = "Arial";
  s.mailLabels.nSize = 120;
  s.mailLabels.fScale = 1.25;
  s.mailLabels.cStyle[1] = 1;
  s.mailLabels.cTopLines = 2;
  s.mailLabels.fLeftMargin = 0.375;
  s.mailLabels.cColumns = 3;
  s.mailLabels.cRows = 10;
  s.mailLabels.cLinesPerRow = 7;
  s.mailLabels.fColumnSpacing = 2.625;
  s.mailLabels.nLinesBeforeAddress = 4;
  s.mailLabels.fAddressIndent = 1.75;
  s.mailLabels.nPrintReturnAddress = 0;
  s.saReturnAddress = {"Anna Müller", "Hauptstraße 5", "Köln"};
  std::string sLong(5000, 'x');
  s.sNotesString = CConfigFile::JoinNotes(
      {"first line\nsecond | with bar\r\nthird\rfourth é", "", "DIAGNOSTIC|3 is not a line",
       sLong + "\n" + sLong});
  s.nEmailCheckEnable = 1;
  s.nEmailCheckInterval = 15;
  s.saEmailAccounts = {"pop.one.example`anna`secret1`BOSS", "pop.two.example`bob`p|w`"};
  s.nView = 3;
  s.nAlarmOn = 1;
  s.dQuickAlarm = 38353.5625;
  s.nAlertMinutes = 15;
  s.bPopup = true;
  s.nPopupHour = 7;
  s.nPopupMinute = 45;
  s.dLastPopup = 38352.25;
  s.nNetworkDisable = 1;
  s.bShowMaximized = false;
  return s;
}

void ExpectSameFileSettings(const stAppSettings& a, const stAppSettings& b) {
  EXPECT_EQ(a.sLast, b.sCurrentRoot);
  EXPECT_EQ(a.sPrev, b.sPrev);
  EXPECT_EQ(a.sBackup, b.sBackup);
  EXPECT_EQ(a.nDiagnostic, b.nDiagnostic);
  EXPECT_EQ(a.sLanServerAddress, b.sLanServerAddress);
  EXPECT_EQ(a.sLanServerPort, b.sLanServerPort);
  EXPECT_EQ(a.printerView.sPrinter, b.printerView.sPrinter);
  EXPECT_EQ(a.printerView.nPauseAfterPage, b.printerView.nPauseAfterPage);
  EXPECT_EQ(a.printerView.nDelaySeconds, b.printerView.nDelaySeconds);
  EXPECT_EQ(a.printerEnvelopes.sPrinter, b.printerEnvelopes.sPrinter);
  EXPECT_EQ(a.printerMailList.sPrinter, b.printerMailList.sPrinter);
  EXPECT_EQ(a.sLabelPrinterLine, b.sLabelPrinterLine);
  EXPECT_EQ(a.sLabelPrinterLayoutLine, b.sLabelPrinterLayoutLine);
  EXPECT_EQ(a.mailLabels.sFontFace, b.mailLabels.sFontFace);
  EXPECT_EQ(a.mailLabels.nSize, b.mailLabels.nSize);
  EXPECT_DOUBLE_EQ(a.mailLabels.fScale, b.mailLabels.fScale);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(a.mailLabels.cStyle[i], b.mailLabels.cStyle[i]);
  EXPECT_EQ(a.mailLabels.cTopLines, b.mailLabels.cTopLines);
  EXPECT_DOUBLE_EQ(a.mailLabels.fLeftMargin, b.mailLabels.fLeftMargin);
  EXPECT_EQ(a.mailLabels.cColumns, b.mailLabels.cColumns);
  EXPECT_EQ(a.mailLabels.cRows, b.mailLabels.cRows);
  EXPECT_EQ(a.mailLabels.cLinesPerRow, b.mailLabels.cLinesPerRow);
  EXPECT_DOUBLE_EQ(a.mailLabels.fColumnSpacing, b.mailLabels.fColumnSpacing);
  EXPECT_EQ(a.mailLabels.nLinesBeforeAddress, b.mailLabels.nLinesBeforeAddress);
  EXPECT_DOUBLE_EQ(a.mailLabels.fAddressIndent, b.mailLabels.fAddressIndent);
  EXPECT_EQ(a.mailLabels.nPrintReturnAddress, b.mailLabels.nPrintReturnAddress);
  EXPECT_EQ(a.phoneList.sFontFace, b.phoneList.sFontFace);
  EXPECT_EQ(a.saReturnAddress, b.saReturnAddress);
  EXPECT_EQ(a.sNotesString, b.sNotesString);
  EXPECT_EQ(a.nEmailCheckEnable, b.nEmailCheckEnable);
  EXPECT_EQ(a.nEmailCheckInterval, b.nEmailCheckInterval);
  EXPECT_EQ(a.saEmailAccounts, b.saEmailAccounts);
  EXPECT_EQ(a.nView, b.nView);
  EXPECT_EQ(a.nAlarmOn, b.nAlarmOn);
  EXPECT_DOUBLE_EQ(a.dQuickAlarm, b.dQuickAlarm);
  EXPECT_EQ(a.nAlertMinutes, b.nAlertMinutes);
  EXPECT_EQ(a.bPopup, b.bPopup);
  EXPECT_EQ(a.nPopupHour, b.nPopupHour);
  EXPECT_EQ(a.nPopupMinute, b.nPopupMinute);
  EXPECT_DOUBLE_EQ(a.dLastPopup, b.dLastPopup);
  EXPECT_EQ(a.nNetworkDisable, b.nNetworkDisable);
  EXPECT_EQ(a.bShowMaximized, b.bShowMaximized);
}

}  // namespace

TEST(ConfigFile, EveryKeyRoundTripsUnderGermanLocale) {
  CGermanLocale locale;
  ASSERT_TRUE(locale.Active()) << "could not build the de_DE.UTF-8 locale";
  const stAppSettings written = FullSettings();
  const std::string sText = CConfigFile::Format(written);
  // Decimal points stay points, whatever the locale says.
  EXPECT_NE(sText.find("ALARM|1|38353.562500\n"), std::string::npos) << sText.substr(0, 400);
  EXPECT_NE(sText.find("POPUP|7|45|38352.250000\n"), std::string::npos);
  EXPECT_NE(sText.find("MAILLABELS|Arial|120|1.2500|0|1|0|0|2|0.375|3|10|7|2.625|4|1.75|0\n"),
            std::string::npos);
  EXPECT_NE(sText.find("PRINTERVIEW|1|1|5|0|HP_LaserJet,driver,port|HP_LaserJet,driver,port|"
                       "PrinterPort|0|0\n"),
            std::string::npos);
  EXPECT_NE(sText.find("SHOW|SW_SHOWNORMAL\n"), std::string::npos);
  // A note can never start a line of its own.
  EXPECT_EQ(sText.find("\nDIAGNOSTIC|3"), std::string::npos);

  stAppSettings read;
  const auto report = CConfigFile::Parse(sText, read);
  EXPECT_TRUE(report.saIgnored.empty()) << report.saIgnored.front();
  ExpectSameFileSettings(read, written);
  const auto notes = CConfigFile::SplitNotes(read.sNotesString);
  ASSERT_EQ(notes.size(), 4u);
  EXPECT_EQ(notes[0], "first line\nsecond | with bar\nthird\nfourth é");
  EXPECT_EQ(notes[1], "");
  EXPECT_EQ(notes[2], "DIAGNOSTIC|3 is not a line");
  EXPECT_EQ(notes[3].size(), 10001u);
  EXPECT_EQ(read.nDiagnostic, 2);  // not 3: the note did not inject a setting
}

TEST(ConfigFile, KeysAreWrittenInTheirFixedOrderAndOptionalLinesOnlyWhenSet) {
  stAppSettings s = FullSettings();
  const std::string sText = CConfigFile::Format(s);
  const char* order[] = {"LAST|", "PREV|", "BACKUP|", "DIAGNOSTIC|", "IPADDRESS_LANSVR|",
                         "PORT_LANSVR|", "PRINTERVIEW|", "PRINTERENVELOPES|", "LABELPRINTER|",
                         "LABELPRINTERLAYOUT|", "MAILLABELS|", "RETURNADDRESS|", "NOTESSTRING|",
                         "EMAILCHECKENABLE|", "EMAILCHECKINTERVAL|", "EMAILCHECKSTRING|", "VIEW|",
                         "ALARM|", "ALERT|", "POPUP|", "NETWORK_DISABLE|", "SHOW|"};
  size_t nLast = 0;
  for (const char* pKey : order) {
    const size_t nAt = sText.rfind(pKey, 0) == 0 ? 0 : sText.find(std::string("\n") + pKey);
    ASSERT_NE(nAt, std::string::npos) << pKey;
    EXPECT_GE(nAt, nLast) << pKey;
    nLast = nAt;
  }

  stAppSettings empty;
  const std::string sMinimal = CConfigFile::Format(empty);
  EXPECT_EQ(sMinimal,
            "DIAGNOSTIC|0\nEMAILCHECKENABLE|0\nEMAILCHECKINTERVAL|10\nVIEW|0\n"
            "ALARM|0|0.000000\nNETWORK_DISABLE|0\nSHOW|SW_SHOWMAXIMIZED\n");
  // A printer without a name writes no line, so its pause and delay are lost.
  empty.printerMailList.nPauseAfterPage = 1;
  EXPECT_EQ(CConfigFile::Format(empty).find("PRINTERMAILLIST"), std::string::npos);
}

TEST(ConfigFile, ReadingFollowsTheFileRules) {
  stAppSettings s;
  const std::string sText =
      "PREV|/home/anna/Only Prev\r\n"
      "SHOW|SW_SHOWMINIMIZED   \n"
      "EMAILCHECKSTRING|a`b`c\n"
      "EMAILCHECKSTRING|d`e`f\n"
      "RETURNADDRESS|One|Two|Three\n"
      "VIEW|9\n"
      "DIAGNOSTIC|1\n"
      "DIAGNOSTIC|2\n"
      "PRINTERMAILLIST|1|0|7|0|Office,x,y|Office,x,y|PrinterPort|0|0\n"
      "PUBLISHFTP|ftp.example.test|pub|www|pa|ss  \r\n"
      "LAST|\n";
  const auto report = CConfigFile::Parse(sText, s);
  EXPECT_TRUE(report.saIgnored.empty());
  EXPECT_EQ(s.sPrev, "/home/anna/Only Prev");
  EXPECT_TRUE(s.sLast.empty());
  EXPECT_TRUE(s.bShowMaximized);  // anything but SW_SHOWNORMAL is maximized
  EXPECT_EQ(s.saEmailAccounts, (std::vector<std::string>{"a`b`c", "d`e`f"}));
  EXPECT_EQ(s.saReturnAddress, (std::vector<std::string>{"One", "Two", "Three"}));
  EXPECT_EQ(s.nView, 6);  // clamped to the last view code
  EXPECT_EQ(s.nDiagnostic, 2);  // the last line wins
  EXPECT_EQ(s.printerMailList.nDelaySeconds, 7);
  EXPECT_EQ(s.printerMailList.sPrinter, "Office,x,y");
  EXPECT_FALSE(s.bPopup);
  EXPECT_EQ(s.nEmailCheckInterval, 10);
  EXPECT_EQ(s.publishAccount.sPassword, "pa|ss  ");  // a password keeps its "|" and blanks

  stAppSettings neg;
  CConfigFile::Parse("VIEW|-4\n", neg);
  EXPECT_EQ(neg.nView, 0);
}

TEST(ConfigFile, MalformedLinesKeepDefaultsAndEverythingElse) {
  stAppSettings s;
  // A tail beyond 4096 bytes stays part of its note, never a key of its own.
  const std::string sLongNote = "NOTESSTRING|" + std::string(4090, 'n') + "ALARM|1|5.0";
  const std::string sText =
      "garbage without separator\n"
      "UNKNOWNKEY|1\n"
      "ALARM|yes|38000.5\n"
      "ALERT|-5\n"
      "POPUP|25|61|x\n"
      "EMAILCHECKENABLE|2\n"
      "PRINTERVIEW|1|x\n"
      "PHONELIST|Courier New|abc|1.0|0|0|0|0|0|0.1|2|0|6|3.0|2|0.5|1\n"
      "DIAGNOSTIC|\n" +
      sLongNote +
      "\n"
      "LAST|/srv/kelvo/Main\n"
      "NETWORK_DISABLE|1\n";
  const auto report = CConfigFile::Parse(sText, s);
  EXPECT_EQ(report.saIgnored,
            (std::vector<std::string>{"line 1 (garbage without separator)", "line 2 (UNKNOWNKEY)",
                                      "line 3 (ALARM)", "line 4 (ALERT)", "line 5 (POPUP)",
                                      "line 6 (EMAILCHECKENABLE)", "line 7 (PRINTERVIEW)",
                                      "line 8 (PHONELIST)", "line 9 (DIAGNOSTIC)"}));
  EXPECT_EQ(s.nAlarmOn, 0);               // unreadable: default
  EXPECT_DOUBLE_EQ(s.dQuickAlarm, 38000.5);  // readable field of the same line kept
  EXPECT_EQ(s.nAlertMinutes, 0);
  EXPECT_TRUE(s.bPopup);
  EXPECT_EQ(s.nPopupHour, 8);
  EXPECT_EQ(s.nPopupMinute, 0);
  EXPECT_EQ(s.nEmailCheckEnable, 0);
  EXPECT_TRUE(s.printerView.sPrinter.empty());
  EXPECT_EQ(s.phoneList.sFontFace, "Courier New");
  EXPECT_EQ(s.phoneList.nSize, 90);
  EXPECT_EQ(s.nDiagnostic, 0);
  EXPECT_EQ(s.sNotesString, sLongNote.substr(12));
  EXPECT_DOUBLE_EQ(s.dQuickAlarm, 38000.5);
  EXPECT_EQ(s.sLast, "/srv/kelvo/Main");
  EXPECT_EQ(s.nNetworkDisable, 1);

  // Writing back keeps every setting that was understood.
  s.sCurrentRoot = s.sLast;
  stAppSettings again;
  EXPECT_TRUE(CConfigFile::Parse(CConfigFile::Format(s), again).saIgnored.empty());
  EXPECT_EQ(again.sLast, "/srv/kelvo/Main");
  EXPECT_EQ(again.nNetworkDisable, 1);
  EXPECT_EQ(again.sNotesString, s.sNotesString);
  EXPECT_EQ(again.phoneList.sFontFace, "Courier New");
}

TEST(ConfigFile, LineBreaksInValuesNeverStartANewSetting) {
  stAppSettings s;
  s.sCurrentRoot = "/tmp/evil\nDIAGNOSTIC|3";
  s.saEmailAccounts = {"srv`user`pw\r\nNETWORK_DISABLE|1"};
  s.saReturnAddress = {"line\nVIEW|5"};
  s.sNotesString = CConfigFile::JoinNotes({"a\r\nDIAGNOSTIC|3", "b"});
  stAppSettings read;
  const auto report = CConfigFile::Parse(CConfigFile::Format(s), read);
  EXPECT_TRUE(report.saIgnored.empty());
  EXPECT_EQ(read.nDiagnostic, 0);
  EXPECT_EQ(read.nNetworkDisable, 0);
  EXPECT_EQ(read.nView, 0);
  EXPECT_EQ(CConfigFile::SplitNotes(read.sNotesString)[0], "a\nDIAGNOSTIC|3");
}

TEST(ConfigFile, NotesSplitKeepsCharactersThatShareTheSeparatorByte) {
  // U+07A0 is encoded DE A0 in UTF-8: it must not split the field.
  const std::string sThaana = "\xDE\xA0";
  const std::string sJoined = CConfigFile::JoinNotes({"x" + sThaana + "y", "z", sThaana});
  const auto fields = CConfigFile::SplitNotes(sJoined);
  EXPECT_EQ(fields, (std::vector<std::string>{"x" + sThaana + "y", "z", sThaana, ""}));
  // Extra separators beyond four fields keep their text in the last field.
  const auto many = CConfigFile::SplitNotes("1\xDE" "2\xDE" "3\xDE" "4\xDE" "5");
  EXPECT_EQ(many[3], "4\xDE" "5");
}

TEST(ConfigFile, FileIsWrittenWithMode0600AndReplacesTheOldOne) {
  CScratchFolder folder;
  const std::string sPath = folder.File("Kelvo.cfg");
  ASSERT_TRUE(WriteFileAtomic(sPath, "VIEW|2\n", 0644));
  stAppSettings s = FullSettings();
  ASSERT_TRUE(CConfigFile::WriteFile(sPath, s));
  struct stat st {};
  ASSERT_EQ(::stat(sPath.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  stAppSettings read;
  const auto report = CConfigFile::ReadFile(sPath, read);
  EXPECT_TRUE(report.bFound);
  ExpectSameFileSettings(read, s);

  // A folder that cannot take the new file leaves the old one as it was.
  const std::string sLocked = folder.File("ro");
  ASSERT_TRUE(MakeFolder(sLocked, 0700));
  ASSERT_TRUE(WriteFileAtomic(sLocked + "/Kelvo.cfg", "VIEW|4\n", 0600));
  ::chmod(sLocked.c_str(), 0500);
  if (::access((sLocked + "/x").c_str(), F_OK) != 0 && ::geteuid() != 0) {
    EXPECT_FALSE(CConfigFile::WriteFile(sLocked + "/Kelvo.cfg", s));
    std::string sOld;
    ASSERT_TRUE(ReadWholeFile(sLocked + "/Kelvo.cfg", sOld));
    EXPECT_EQ(sOld, "VIEW|4\n");
  }
  ::chmod(sLocked.c_str(), 0700);

  stAppSettings none;
  EXPECT_FALSE(CConfigFile::ReadFile(folder.File("missing.cfg"), none).bFound);
}

TEST(ConfigFile, WriterKilledInTheMiddleLeavesAWholeFile) {
  CScratchFolder folder;
  const std::string sPath = folder.File("Kelvo.cfg");
  stAppSettings old;
  old.sCurrentRoot = "/old/database";
  ASSERT_TRUE(CConfigFile::WriteFile(sPath, old));

  stAppSettings big = FullSettings();
  big.sNotesString = CConfigFile::JoinNotes({std::string(8 << 20, 'q'), "end"});
  for (int nRound = 0; nRound < 4; ++nRound) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      const char c = 'g';
      (void)!::write(fds[1], &c, 1);
      for (;;) CConfigFile::WriteFile(sPath, big);
    }
    ::close(fds[1]);
    char c = 0;
    ASSERT_EQ(::read(fds[0], &c, 1), 1);
    ::close(fds[0]);
    ::usleep(useconds_t(2000 + nRound * 7000));
    ::kill(pid, SIGKILL);
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);

    stAppSettings read;
    const auto report = CConfigFile::ReadFile(sPath, read);
    EXPECT_TRUE(report.saIgnored.empty());
    const bool bOld = read.sLast == "/old/database";
    const bool bNew = read.sLast == big.sCurrentRoot &&
                      CConfigFile::SplitNotes(read.sNotesString)[1] == "end" &&
                      read.bShowMaximized == big.bShowMaximized;
    EXPECT_TRUE(bOld || bNew) << "round " << nRound << " last=" << read.sLast;
  }
}
