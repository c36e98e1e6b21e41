#include "support/UserPrompts.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "support/CDialogWaitBox.h"
#include "support/CUserInterface.h"

namespace {
RefreshSuspendHook g_refreshHook;
std::vector<const void*> g_wndList;
int g_nBusyDepth = 0;
std::atomic<bool> g_bQuitRequested{false};
}  // namespace

void SetQuitRequested(bool bOn) { g_bQuitRequested = bOn; }
bool IsQuitRequested() { return g_bQuitRequested; }

void SetRefreshSuspendHook(RefreshSuspendHook hook) { g_refreshHook = std::move(hook); }

int GetResponse(const std::string& sPrompt, int nButtons, int /*nHelpContext*/, int nDefault) {
  CBusyScope busy;
  if (g_refreshHook) g_refreshHook(false, sPrompt);
  const int nAnswer = GetUi().MessageBox(sPrompt, "Kelvo", nButtons, nDefault);
  if (g_refreshHook) g_refreshHook(true, sPrompt);
  return nAnswer;
}

void ClearMessageBuffer() { GetUi().ProcessEvents(); }

void AddToWndList(const void* pWindow) { g_wndList.push_back(pWindow); }

void RemoveFromWndList(const void* pWindow) {
  if (!g_wndList.empty() && g_wndList.back() == pWindow) {
    g_wndList.pop_back();
    return;
  }
  ShowMessage("Error in window sequence.");
  auto it = std::find(g_wndList.begin(), g_wndList.end(), pWindow);
  if (it != g_wndList.end()) g_wndList.erase(it);
}

void EnableWndList(bool bEnable) {
  GetUi().EnableWindows(bEnable);
  ClearMessageBuffer();
}

int WndListSize() { return int(g_wndList.size()); }

int BusyDepth() { return g_nBusyDepth + WaitBoxDepth(); }
CBusyScope::CBusyScope() { ++g_nBusyDepth; }
CBusyScope::~CBusyScope() { --g_nBusyDepth; }
