// kelvotool command of the phone dialer:
//   dial NUMBER [--device PATH] [--timeout S] [--retries N] [--interval S]
//        [--no-redial] [--no-area-code] [--dial1] [--hold S]
// dials the number on the modem (--device, else $KELVO_MODEM, else the
// PHONEDEVICE line of Kelvo.cfg, else the first modem found) and prints the
// dialer's status lines as they come. An answered call stays on the line
// until a line (or the end) arrives on standard input, or --hold seconds
// have passed, and is then hung up. Exit status 0 when the call was
// answered, 1 when it was not, 2 for wrong arguments.

#include <unistd.h>

#include <iostream>

#include "comms/CDialerLoop.h"
#include "comms/CPhoneDialer.h"
#include "comms/ModemDevice.h"
#include "support/CConfigFile.h"
#include "support/CScriptedUi.h"
#include "support/CTerminalUi.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "tools/CToolCommands.h"

namespace {

constexpr char kUsage[] =
    "usage: dial NUMBER [--device PATH] [--timeout S] [--retries N] [--interval S] [--no-redial] "
    "[--no-area-code] [--dial1] [--hold S]";
// Longer than any attempt can take: retries × (set-up, dial, hang-up, interval).
constexpr int kMaxRunMs = 4 * (3 * 5 + 600 + 5 + 3600) * 1000;

struct stDialArgs {
  std::string sNumber;
  std::string sDevice;
  stDialerSettings settings;
  int nHoldSec = -1;  // -1: until standard input has a line or ends
};

bool ReadNumber(const std::string& s, int nMax, int& nOut) {
  long long n = 0;
  if (!ParseInt(s, n) || n < 0 || n > nMax) return false;
  nOut = int(n);
  return true;
}

bool ParseArgs(const std::vector<std::string>& args, stDialArgs& a) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& s = args[i];
    if (s == "--no-redial") {
      a.settings.bRedial = false;
    } else if (s == "--no-area-code") {
      a.settings.bUseAreaCode = false;
    } else if (s == "--dial1") {
      a.settings.bDial1 = true;
    } else if (s.rfind("--", 0) == 0) {
      if (i + 1 >= args.size()) return false;
      const std::string& sValue = args[++i];
      const bool bRead =
          s == "--device"     ? (a.sDevice = sValue, true)
          : s == "--timeout"  ? ReadNumber(sValue, stDialerSettings::kMaxTimeoutSec, a.settings.nTimeoutSec)
          : s == "--retries"  ? ReadNumber(sValue, 1000, a.settings.nRetries)
          : s == "--interval" ? ReadNumber(sValue, stDialerSettings::kMaxIntervalSec, a.settings.nIntervalSec)
          : s == "--hold"     ? ReadNumber(sValue, 24 * 3600, a.nHoldSec)
                              : false;
      if (!bRead) return false;
    } else if (a.sNumber.empty()) {
      a.sNumber = s;
    } else {
      return false;
    }
  }
  return !a.sNumber.empty();
}

stPhoneDevice DeviceToUse(const stDialArgs& a) {
  CConfigFile::ReadFile(ProgramFile("Kelvo.cfg"), AppSettings());
  stPhoneDevice device = ChooseModemDevice(AppSettings().phoneDevice, ListModemDevices());
  if (!a.sDevice.empty()) device.sPath = a.sDevice;
  return device;
}

int CmdDial(const std::vector<std::string>& args) {
  stDialArgs a;
  if (!ParseArgs(args, a)) return ToolError(kUsage);
  CTerminalUi ui(IDNO);
  CScopedUi scope(ui);
  CDialerLoop loop;
  CPhoneDialer dialer(loop);
  loop.SetDriven(&dialer);
  loop.SetStatusListener([](const std::string& sLine) { std::cout << sLine << std::endl; });
  dialer.SetDevice(DeviceToUse(a));
  if (!dialer.OnDial(a.sNumber, a.settings)) return TOOL_FAULTS;

  loop.RunUntil([&] { return dialer.IsConnected() || !dialer.IsBusy(); }, kMaxRunMs);
  const bool bConnected = dialer.IsConnected();
  if (bConnected) {
    // The user talks on the phone; a line on standard input hangs up.
    bool bHangUp = false;
    loop.WatchExtra(STDIN_FILENO, [&] {
      char c = 0;
      const ssize_t n = read(STDIN_FILENO, &c, 1);
      if (n <= 0 || c == '\n') bHangUp = true;
      if (n <= 0) loop.WatchExtra(-1, {});
    });
    const int nHoldMs = a.nHoldSec >= 0 ? a.nHoldSec * 1000 : kMaxRunMs;
    loop.RunUntil([&] { return bHangUp || !dialer.IsConnected(); }, nHoldMs);
    loop.WatchExtra(-1, {});
    if (dialer.IsBusy()) dialer.OnHangup();
    loop.RunUntil([&] { return !dialer.IsBusy(); }, kMaxRunMs);
  }
  dialer.Close();
  return bConnected ? TOOL_OK : TOOL_FAULTS;
}

const CToolCommand kDial("dial",
                         "dial NUMBER [--device PATH] [--timeout S] [--retries N] [--interval S]\n"
                         "                       [--no-redial] [--no-area-code] [--dial1] [--hold S]\n"
                         "                       dial a number on the modem, print the call progress",
                         CmdDial);

}  // namespace
