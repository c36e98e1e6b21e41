#pragma once
// The installation settings kept in "Kelvo.cfg" in the program folder, and the
// reading and writing of that file. The settings are process-wide: the
// application reads them once at start and writes them back at exit; the
// core (LAN server address and port, mail accounts, printer set-ups, mail-list
// layouts) reads them through AppSettings().

#include <string>
#include <vector>

// One print set-up. Only pause, delay and printer are kept in the file.
struct stPrinterSetup {
  int nCopies = 1;
  int nPauseAfterPage = 0;
  int nDelaySeconds = 0;
  int nPrintPageNumbers = 0;
  std::string sPrinter;  // "name,driver,port"; the text before the first "," names the printer
};

// One mail-list layout (phone list, mail labels, envelopes). An empty face
// name means "not set": the mail list view then applies its defaults, which
// are also the member defaults here.
struct stMailList {
  std::string sFontFace;
  int nSize = 90;  // tenths of a point
  double fScale = 1.0;
  unsigned char cStyle[4] = {0, 0, 0, 0};  // character set, bold, italic, underline
  unsigned char cTopLines = 0;
  double fLeftMargin = 0.1;
  unsigned char cColumns = 2;
  unsigned char cRows = 0;
  unsigned char cLinesPerRow = 6;
  double fColumnSpacing = 3.0;
  int nLinesBeforeAddress = 2;
  double fAddressIndent = 0.5;
  int nPrintReturnAddress = 1;
};

// The modem the phone dialer uses: its device path, speed and an extra
// initialisation command sent before the dialer's own ("ATZ", "AT&F").
struct stPhoneDevice {
  std::string sPath;  // empty: the dialer picks the first modem it finds
  int nBaud = 115200;
  std::string sInit;
};

// The account the calendar page is published to; no server means none is set
// up, and the page is then written but not uploaded.
struct stFtpAccount {
  std::string sServer;  // "host" or "host:port"
  std::string sUser;    // empty: anonymous
  std::string sPassword;
  std::string sFolder;  // the remote folder; empty: the log-on folder
  bool IsSet() const { return !sServer.empty(); }
};

struct stAppSettings {
  std::string sLast;    // LAST: root name (path without ".dbm") offered at start
  std::string sPrev;    // PREV
  std::string sBackup;  // BACKUP: backup folder
  int nDiagnostic = 0;
  std::string sLanServerAddress;  // IPADDRESS_LANSVR
  std::string sLanServerPort;     // PORT_LANSVR
  stPrinterSetup printerView, printerMailList, printerMailLabels, printerEnvelopes;
  std::string sLabelPrinterLine;        // the whole "LABELPRINTER|..." line
  std::string sLabelPrinterLayoutLine;  // the whole "LABELPRINTERLAYOUT|..." line
  stMailList phoneList, mailLabels, envelopes;
  std::vector<std::string> saReturnAddress;
  std::string sNotesString;  // four fields joined by 0xDE, line breaks as "`"
  int nEmailCheckEnable = 0;
  int nEmailCheckInterval = 10;
  std::vector<std::string> saEmailAccounts;  // EMAILCHECKSTRING, in file order
  int nView = 0;
  int nAlarmOn = 0;
  double dQuickAlarm = 0.0;  // OLE date, 0 = none
  int nAlertMinutes = 0;
  bool bPopup = false;
  int nPopupHour = 8;
  int nPopupMinute = 0;
  double dLastPopup = 0.0;
  int nNetworkDisable = 0;
  bool bShowMaximized = true;
  stPhoneDevice phoneDevice;  // PHONEDEVICE|path|baud|init
  stFtpAccount publishAccount;

  // Not kept in the file.
  std::string sCurrentRoot;   // root name of the open database, empty when none
  std::string sProgramFolder;
  std::string sComputerName;
  char cPlatform = 0;  // 'N' on a supported system, 0 otherwise
};

// The process-wide settings.
stAppSettings& AppSettings();

class CConfigFile {
 public:
  // What a read found: whether the file existed, and a short description of
  // every line it could not use ("line 7 (ALARM)"), never the line's text.
  struct stReadReport {
    bool bFound = false;
    bool bReadError = false;
    std::vector<std::string> saIgnored;
  };

  // Parses the file's text into settings. Lines of any length; CR LF or LF
  // line ends; unknown keys, short lines and unreadable values are reported
  // and keep the defaults for what could not be read.
  static stReadReport Parse(const std::string& sText, stAppSettings& settings);
  // The file's text for the settings, keys in their fixed order. Numbers are
  // written without regard to the locale.
  static std::string Format(const stAppSettings& settings);

  static stReadReport ReadFile(const std::string& sPath, stAppSettings& settings);
  // Writes a new file created 0600, flushed and renamed over the old one.
  // False (errno set) on any failure; the old file is then unchanged.
  static bool WriteFile(const std::string& sPath, const stAppSettings& settings);

  // One printer line (key included) and its reading; false when the line is
  // too short or a number cannot be read (the set-up then keeps its values).
  static std::string SetPrinterConfig(const std::string& sKey, const stPrinterSetup& setup);
  static bool GetPrinterConfig(const std::vector<std::string>& saFields, stPrinterSetup& setup);
  static std::string SetMaillistConfig(const std::string& sKey, const stMailList& layout);
  // Reads fields 1 to 16; a field that is no number keeps its default (and
  // the result is false), every value ends inside ClampMaillist's ranges.
  static bool GetMaillistConfig(const std::vector<std::string>& saFields, stMailList& layout);
  // Brings a layout into its ranges: face at most 31 bytes (whole
  // characters), size 10 to 10000 tenths, scale 0.1 to 10, style flags 0 or 1
  // (the character set any byte), top lines, rows and lines before the
  // address 0 to 99, columns 1 to 99, lines per row 1 to 12, inches 0 to 20.
  static void ClampMaillist(stMailList& layout);
  static constexpr size_t kMaxFaceBytes = 31;
  static constexpr unsigned char kMaxLayoutCount = 99;
  static constexpr unsigned char kMaxLinesPerRow = 12;
  static constexpr double kMaxLayoutInches = 20.0;

  // The notes string: four fields joined by the byte 0xDE, every line break
  // (CR LF, CR or LF) stored as "`". SplitNotes gives the fields back with
  // "\n" line breaks, always four of them.
  static std::string JoinNotes(const std::vector<std::string>& saFields);
  static std::vector<std::string> SplitNotes(const std::string& sNotes);
};
