#pragma once
// Printing a job: the print set-up dialog, the printer, the copies, and the
// helpers every view prints through. A caller writes its lines into the print
// file (CPrintFile::OpenPrintFile, WriteFmtString, ClosePrintFile) and calls
// PrintBlock, or hands an array or a text file to PrintFmtStringArray or
// PrintTextFile. Every job names its printer; the system's default printer is
// never changed.
//
// The "Print setup" dialog is an edit form (CUserInterface::EditItem) with
// sDialog "Print setup" and these fields, values as text:
//   "Printer"                the chosen printer's name
//   "Printers"               the printers to choose from, one per line (shown, not edited)
//   "Number of copies"       0 to 100
//   "Pause after each page"  "0" or "1"
//   "Delay after page"       "0" or "1"
//   "Seconds"                the delay after each page
//   "Print page numbers"     "0" or "1"
//   "Starting page number"   the number of the first page
// The question after each page ("Pause after each page") is a choice list
// captioned "Continue printing" with "Continue", "Abort" and "Repeat page";
// closing it aborts.

#include <memory>
#include <string>
#include <vector>

#include "data/CPageLayout.h"
#include "print/CDrawTarget.h"
#include "print/FmtString.h"
#include "support/CConfigFile.h"

// Prints the current print file. nCopies -1 prints one copy with the
// layout's page numbering; 0 or more prints that many copies without page
// numbers. The dialog is shown when nCopies is 0 or bAsk is set. Returns 1
// when every page was printed; 0 when the user cancelled or aborted, the
// print file was unsound, or the printer failed (the user has been told).
int PrintBlock(const stPrinterSetup& setup, const stPageLayout& layout, bool bAsk,
               const std::string& sFooter, int nCopies);

// What a job needs of every sheet: nLines lines of the format one below the
// other (a sheet of labels). When they do not fit the page of the chosen
// printer, the user is asked before anything is printed.
struct stPageFit {
  const stFormatRecord* pFormat = nullptr;
  int nLines = 0;  // 0: no need
};
int PrintBlock(const stPrinterSetup& setup, const stPageLayout& layout, bool bAsk,
               const std::string& sFooter, int nCopies, const stPageFit& fit);

// Writes the lines and the end marker to the print file and prints it with
// no footer and one copy. Returns PrintBlock's result (0 also when the print
// file could not be written; the user has been told).
int PrintFmtStringArray(const std::vector<stFmtString>& lines, const stPrinterSetup& setup,
                        const stPageLayout& layout, bool bAsk);

// Prints a text file: the header text first (type "H", when not empty), then
// every line (at most 1023 bytes each, trailing white space removed) in the
// format. Returns 0 without a message when the text file cannot be opened,
// else PrintBlock's result.
int PrintTextFile(const std::string& sPath, const stFormatRecord& format,
                  const stPrinterSetup& setup, const stPageLayout& layout, bool bAsk,
                  const std::string& sHeader);

// The "Print setup" dialog on a set-up, for a job that draws its own pages.
// False on Cancel; otherwise the set-up holds the chosen printer, copies,
// pause and delay, and nFirstPage the first page number (0 without page numbers).
bool AskPrintSetup(stPrinterSetup& setup, const stPageLayout& layout, int& nFirstPage);
// Opens the printer a set-up names ("DEFAULT" or nothing: the system's
// default); null with sError saying why.
std::unique_ptr<CDrawTarget> SetupPrinter(const std::string& sSpec, bool bLandscape, std::string& sError);
// "Error in printing. [" + the system's text + "]  Check printer status."
void PrintError(const std::string& sSystemText);

// The printer names the system offers; returns their number.
int GetPrinterList(std::vector<std::string>& saPrinters);
// The system's default printer (empty when none).
std::string GetDefaultPrinterSpec();
// The printer part of a printer description "name,driver,port".
std::string PrinterNameOf(const std::string& sSpec);
// Lets the user choose a printer from the list; empty on Cancel.
std::string SelectPrinter();
