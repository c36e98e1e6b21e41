#include "support/CUserInterface.h"

namespace {

// Answers without showing anything: used before a real host is installed, so
// a core call made from a plain program never dereferences a missing host.
class CSilentUi final : public CUserInterface {
 public:
  int MessageBox(const std::string&, const std::string&, int nButtons, int nDefault) override {
    if (nDefault) return nDefault;
    switch (nButtons) {
      case MB_YESNO:
      case MB_YESNOCANCEL: return IDYES;
      case MB_RETRYCANCEL: return IDCANCEL;
      case MB_ABORTRETRYIGNORE: return IDABORT;
      default: return IDOK;
    }
  }
  void WaitBoxShow(int, const stWaitBoxView&) override {}
  void WaitBoxUpdate(int, const stWaitBoxView&) override {}
  void WaitBoxClose(int) override {}
  bool ProcessEvents() override { return false; }
  void EnableWindows(bool) override {}
  std::optional<std::vector<int>> ChooseFromList(const std::string&,
                                                 const std::vector<std::string>&,
                                                 bool) override {
    return std::nullopt;
  }
  std::optional<std::string> InputText(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> ChooseFile(bool, const std::string&, const std::string&,
                                        const std::string&) override {
    return std::nullopt;
  }
  int EditItem(stEditForm&) override { return IDCANCEL; }
};

CSilentUi g_silent;
CUserInterface* g_pUi = &g_silent;

}  // namespace

const std::string* stEditForm::Find(const std::string& sName) const {
  for (const auto& f : fields)
    if (f.sName == sName) return &f.sValue;
  return nullptr;
}

std::string* stEditForm::Find(const std::string& sName) {
  for (auto& f : fields)
    if (f.sName == sName) return &f.sValue;
  return nullptr;
}

std::optional<CUserInterface::stButtonChoice> CUserInterface::ChooseWithButton(
    const std::string& sCaption, const std::vector<std::string>& items, const std::string& sButton) {
  std::vector<std::string> saRows = items;
  for (const std::string& s : items) saRows.push_back(sButton + ": " + s);
  const auto chosen = ChooseFromList(sCaption, saRows, false);
  if (!chosen || chosen->empty() || chosen->front() < 0 || size_t(chosen->front()) >= saRows.size())
    return std::nullopt;
  const int nRow = chosen->front();
  const int nItems = int(items.size());
  return stButtonChoice{nRow % nItems, nRow >= nItems};
}

CUserInterface& GetUi() { return *g_pUi; }

void SetUi(CUserInterface* pUi) { g_pUi = pUi ? pUi : &g_silent; }

void ShowMessage(const std::string& sText, const std::string& sCaption) {
  GetUi().MessageBox(sText, sCaption, MB_OK);
}
