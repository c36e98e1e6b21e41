#include "print/Printing.h"

#include <cctype>
#include <cstdio>

#include "print/CPrintFile.h"
#include "print/CPrintJob.h"
#include "print/CPrintSystem.h"
#include "support/CDialogWaitBox.h"
#include "support/CUserInterface.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

// Marks the print file as in use for the life of a job.
class CJobActiveScope {
 public:
  CJobActiveScope() { CPrintFile::SetJobActive(true); }
  ~CJobActiveScope() { CPrintFile::SetJobActive(false); }
  CJobActiveScope(const CJobActiveScope&) = delete;
  CJobActiveScope& operator=(const CJobActiveScope&) = delete;
};

std::string Flag(int n) { return n ? "1" : "0"; }

int FieldInt(const stEditForm& form, const char* pName, int nMin, int nMax, int nDefault) {
  const std::string* pValue = form.Find(pName);
  long long n = 0;
  if (!pValue || !ParseInt(Trim(*pValue), n)) return nDefault;
  return n < nMin ? nMin : (n > nMax ? nMax : int(n));
}

}  // namespace

// The "Print setup" dialog. False on Cancel; otherwise the set-up holds the
// chosen printer, copies, pause and delay, and nFirstPage the first page
// number (0 without page numbers).
bool AskPrintSetup(stPrinterSetup& setup, const stPageLayout& layout, int& nFirstPage) {
  std::vector<std::string> saPrinters;
  GetPrinterList(saPrinters);
  std::string sPrinters;
  for (const auto& s : saPrinters) sPrinters += (sPrinters.empty() ? "" : "\n") + s;
  std::string sPrinter = PrinterNameOf(setup.sPrinter);
  if (sPrinter.empty() || sPrinter == "DEFAULT") sPrinter = GetDefaultPrinterSpec();
  const int nStart = layout.m_nPageFlag > 0 && layout.m_nPageFlag < 100000 ? int(layout.m_nPageFlag) : 1;
  stEditForm form;
  form.sDialog = "Print setup";
  form.sTitle = "Print setup";
  form.fields = {
      {"Printer", sPrinter, 255},
      {"Printers", sPrinters, 65535},
      {"Number of copies", std::to_string(setup.nCopies), 3, 0, 100},
      {"Pause after each page", Flag(setup.nPauseAfterPage), 1, 0, 1},
      {"Delay after page", Flag(setup.nDelaySeconds > 0), 1, 0, 1},
      {"Seconds", std::to_string(setup.nDelaySeconds), 4, 0, 3600},
      {"Print page numbers", Flag(setup.nPrintPageNumbers), 1, 0, 1},
      {"Starting page number", std::to_string(nStart), 5, 0, 99999},
  };
  if (GetUi().EditItem(form) != IDOK) return false;
  const std::string* pPrinter = form.Find("Printer");
  setup.sPrinter = pPrinter ? Trim(*pPrinter) : sPrinter;
  setup.nCopies = FieldInt(form, "Number of copies", 0, 100, 0);
  setup.nPauseAfterPage = FieldInt(form, "Pause after each page", 0, 1, 0);
  setup.nDelaySeconds =
      FieldInt(form, "Delay after page", 0, 1, 0) ? FieldInt(form, "Seconds", 0, 3600, 0) : 0;
  setup.nPrintPageNumbers = FieldInt(form, "Print page numbers", 0, 1, 0);
  nFirstPage = setup.nPrintPageNumbers ? FieldInt(form, "Starting page number", 0, 99999, 1) : 0;
  return true;
}

void PrintError(const std::string& sSystemText) {
  GetResponse("Error in printing. [" + sSystemText + "]  Check printer status.", MB_OK);
}

// Opens the printer a set-up names ("DEFAULT" or nothing: the system's default).
std::unique_ptr<CDrawTarget> SetupPrinter(const std::string& sSpec, bool bLandscape,
                                          std::string& sError) {
  std::string sName = PrinterNameOf(sSpec);
  if (sName.empty() || sName == "DEFAULT") sName = GetDefaultPrinterSpec();
  if (sName.empty()) {
    sError = "No printer is selected";
    return nullptr;
  }
  return GetPrintSystem().OpenPrinter(sName, bLandscape, sError);
}

namespace {

// Writes the lines (and the end marker) as the new print file.
bool WritePrintFile(const std::vector<stFmtString>& lines) {
  auto pFile = CPrintFile::OpenPrintFile();
  bool bDone = pFile != nullptr;
  for (size_t i = 0; bDone && i < lines.size(); ++i) bDone = pFile->WriteFmtString(lines[i]) == 1;
  if (pFile && pFile->ClosePrintFile() != 1) bDone = false;
  if (!bDone) GetResponse("Cannot write print file " + CPrintFile::DefaultPath(), MB_OK);
  return bDone;
}

// Asks whether to print when a sheet's lines do not fit the page.
bool SheetFits(CDrawTarget& target, const stPrinterSetup& setup, const stPageLayout& layout,
               const std::string& sFooter, int nFirstPage, const stPageFit& fit) {
  if (fit.nLines <= 0 || !fit.pFormat) return true;
  int nCounter = 0;
  CPrintJob probe(target, setup, layout, sFooter, nFirstPage, nullptr, &nCounter);
  const int nFit = probe.LinesThatFit(*fit.pFormat);
  if (nFit >= fit.nLines) return true;
  return GetResponse(StrFormat("A sheet needs %i lines but the page holds only %i: labels "
                               "will move to the next sheet. Print anyway?",
                               fit.nLines, nFit),
                     MB_YESNO) == IDYES;
}

}  // namespace

int PrintBlock(const stPrinterSetup& setup, const stPageLayout& layout, bool bAsk,
               const std::string& sFooter, int nCopies) {
  return PrintBlock(setup, layout, bAsk, sFooter, nCopies, stPageFit{});
}

int PrintBlock(const stPrinterSetup& setup, const stPageLayout& layout, bool bAsk,
               const std::string& sFooter, int nCopies, const stPageFit& fit) {
  if (CPrintFile::JobActive()) return 0;  // a job is running further up this call stack
  CJobActiveScope active;
  const std::string sPath = CPrintFile::DefaultPath();
  std::string sError;
  if (!CPrintFile::CheckPrintFile(sPath, sError)) {
    GetResponse(sError, MB_OK);
    return 0;
  }
  stPrinterSetup use = setup;
  int nCount = nCopies < 0 ? 1 : nCopies;
  int nFirstPage = 0;
  const bool bDialog = nCopies == 0 || bAsk;
  if (bDialog) {
    if (!AskPrintSetup(use, layout, nFirstPage) || use.nCopies < 1) return 0;
    nCount = use.nCopies;
  }
  if (nCopies >= 0) nFirstPage = 0;
  else if (!bDialog) nFirstPage = layout.m_nPageFlag < 100000 ? int(layout.m_nPageFlag) : 0;

  int nPageCounter = 0;
  CDialogWaitBox* pBox = StartWaitBox("Initializing print job", true);
  auto pTarget = SetupPrinter(use.sPrinter, layout.m_nLandscape != 0, sError);
  bool bPrinted = pTarget != nullptr;
  if (bPrinted && !SheetFits(*pTarget, use, layout, sFooter, nFirstPage, fit)) {
    EndWaitBox(pBox);
    return 0;
  }
  for (int i = 0; bPrinted && i < nCount; ++i) {
    auto pFile = CPrintFile::OpenForReading(sPath, sError);
    if (!pFile) {
      bPrinted = false;
      break;
    }
    CPrintJob job(*pTarget, use, layout, sFooter, nFirstPage, pBox, &nPageCounter);
    const int nAborted = job.PrintCopy(*pFile);
    if (job.Failed()) sError = job.Error();
    bPrinted = !job.Failed() && !nAborted;
    if (nAborted && !job.Failed()) sError.clear();  // the user knows
  }
  pTarget.reset();
  EndWaitBox(pBox);
  if (!bPrinted && !sError.empty()) PrintError(sError);
  return bPrinted ? 1 : 0;
}

int PrintFmtStringArray(const std::vector<stFmtString>& lines, const stPrinterSetup& setup,
                        const stPageLayout& layout, bool bAsk) {
  if (!WritePrintFile(lines)) return 0;
  return PrintBlock(setup, layout, bAsk, "", -1);
}

int PrintTextFile(const std::string& sPath, const stFormatRecord& format,
                  const stPrinterSetup& setup, const stPageLayout& layout, bool bAsk,
                  const std::string& sHeader) {
  std::FILE* pText = std::fopen(sPath.c_str(), "re");
  if (!pText) return 0;
  std::vector<stFmtString> lines;
  if (!sHeader.empty()) lines.push_back({&format, FMT_HEADER, sHeader});
  char cLine[1024];
  while (std::fgets(cLine, sizeof cLine, pText)) {
    std::string s = cLine;
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    lines.push_back({&format, FMT_LINE, DecodeStoredText(s)});
  }
  std::fclose(pText);
  return PrintFmtStringArray(lines, setup, layout, bAsk);
}

int GetPrinterList(std::vector<std::string>& saPrinters) {
  saPrinters = GetPrintSystem().PrinterList();
  return int(saPrinters.size());
}

std::string GetDefaultPrinterSpec() { return PrinterNameOf(GetPrintSystem().DefaultPrinter()); }

std::string PrinterNameOf(const std::string& sSpec) { return sSpec.substr(0, sSpec.find(',')); }

std::string SelectPrinter() {
  std::vector<std::string> saPrinters;
  GetPrinterList(saPrinters);
  const auto chosen = GetUi().ChooseFromList("Select printer", saPrinters, false);
  if (!chosen || chosen->empty() || chosen->front() < 0 || size_t(chosen->front()) >= saPrinters.size())
    return {};
  return saPrinters[size_t(chosen->front())];
}
