#pragma once
// The platform's printers: which there are, which is the default, and a
// drawing target on one of them. The Qt program registers its implementation
// (QPrinterInfo, QPrinter with QPainter, PDF); without one there are no
// printers and every print job ends with the printer error message.

#include <memory>
#include <string>
#include <vector>

#include "print/CDrawTarget.h"

class CPrintSystem {
 public:
  virtual ~CPrintSystem() = default;

  // The names of the local and connected printers.
  virtual std::vector<std::string> PrinterList() = 0;
  // The system's default printer; empty when there is none.
  virtual std::string DefaultPrinter() = 0;
  // The paper a job on the named printer will use, as the user reads it
  // ("Letter (8.50 x 11.00 in)"); empty when the system cannot tell.
  virtual std::string PaperName(const std::string& /*sPrinter*/) { return {}; }
  // A drawing target on the named printer, in landscape when asked. Null,
  // with sError saying why in words, when the printer cannot be opened.
  virtual std::unique_ptr<CDrawTarget> OpenPrinter(const std::string& sName, bool bLandscape,
                                                   std::string& sError) = 0;
};

// The registered implementation; never null.
CPrintSystem& GetPrintSystem();
// Registers an implementation (null restores the one without printers). The
// caller keeps ownership and unregisters it before destroying it.
void SetPrintSystem(CPrintSystem* pSystem);
