#include "support/CFrameServices.h"

namespace {
CFrameServices g_none;
CFrameServices* g_pServices = &g_none;
}  // namespace

CFrameServices& FrameServices() { return *g_pServices; }

void SetFrameServices(CFrameServices* pServices) { g_pServices = pServices ? pServices : &g_none; }
