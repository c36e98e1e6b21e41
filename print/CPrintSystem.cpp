#include "print/CPrintSystem.h"

namespace {

// The system of a program without a printing platform (tools, tests that do
// not install one).
class CNoPrinters : public CPrintSystem {
 public:
  std::vector<std::string> PrinterList() override { return {}; }
  std::string DefaultPrinter() override { return {}; }
  std::unique_ptr<CDrawTarget> OpenPrinter(const std::string&, bool, std::string& sError) override {
    sError = "No printer is installed";
    return nullptr;
  }
};

CNoPrinters g_noPrinters;
CPrintSystem* g_pPrintSystem = &g_noPrinters;

}  // namespace

CPrintSystem& GetPrintSystem() { return *g_pPrintSystem; }

void SetPrintSystem(CPrintSystem* pSystem) { g_pPrintSystem = pSystem ? pSystem : &g_noPrinters; }
