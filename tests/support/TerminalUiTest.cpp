// The wait boxes of the terminal interface: quiet, one progress line on a
// terminal once the work takes longer than a second, every text when verbose.

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <sstream>
#include <thread>

#include "support/CTerminalUi.h"

namespace {

// Everything written to std::cerr while the object lives.
class CCapturedErr {
 public:
  CCapturedErr() : m_pOld(std::cerr.rdbuf(m_out.rdbuf())) {}
  ~CCapturedErr() { std::cerr.rdbuf(m_pOld); }
  std::string Text() const { return m_out.str(); }

 private:
  std::ostringstream m_out;
  std::streambuf* m_pOld;
};

stWaitBoxView View(const std::string& sText, double dPercent) {
  stWaitBoxView v;
  v.sText = sText;
  v.bProgressShown = true;
  v.dPercent = dPercent;
  return v;
}

TEST(TerminalUi, WaitBoxesAreQuietUnlessSlowOnATerminalOrVerbose) {
  for (bool bTerminal : {false, true}) {
    SCOPED_TRACE(bTerminal);
    CCapturedErr err;
    CTerminalUi ui(IDNO);
    ui.SetProgressTerminal(bTerminal);
    ui.WaitBoxShow(1, View("Loading data", 0));
    ui.WaitBoxUpdate(1, View("Loading data", 10));
    EXPECT_EQ(err.Text(), "");  // quick work shows nothing
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    ui.WaitBoxUpdate(1, View("Loading data", 42));
    ui.WaitBoxClose(1);
    // On a terminal one line is drawn in place and wiped at the end.
    EXPECT_EQ(err.Text(), bTerminal ? "\rLoading data  42%\r                 \r" : "");
  }
  CCapturedErr err;
  CTerminalUi::SetVerbose(true);
  {
    CTerminalUi ui(IDNO);
    ui.WaitBoxShow(1, View("Closing database.", 0));
    ui.WaitBoxUpdate(1, View("Clearing Person table", 0));
    ui.WaitBoxClose(1);
  }
  CTerminalUi::SetVerbose(false);
  EXPECT_EQ(err.Text(), "Closing database.\nClearing Person table\n");
}

}  // namespace
