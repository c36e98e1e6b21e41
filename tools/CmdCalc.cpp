// kelvotool command of the calculator view:
//   calc FILE
// reads a calculation tape (".cal", either line ending) and prints its lines,
// the rule and the total as the calculator view shows and prints them.
// Exit status 0 when the tape was read, 1 when it could not be, 2 for
// wrong arguments.

#include <iostream>

#include "tools/CToolCommands.h"
#include "views/CCalculatorView.h"

namespace {

int CmdCalc(const std::vector<std::string>& args) {
  if (args.size() != 1) return ToolError("usage: calc FILE");
  CCalculatorView view;
  if (!view.ReadTape(args[0])) {
    std::cerr << "Cannot read " << args[0] << std::endl;
    return TOOL_FAULTS;
  }
  view.SetUpLines();
  char cStatus = 0;
  for (int i = 0; i < view.MaxLines(); ++i) std::cout << view.GetLine(i, HINT_PRINT, cStatus).m_sText << "\n";
  return TOOL_OK;
}

const CToolCommand kCalc("calc", "calc FILE            print a calculation tape with its total", CmdCalc);

}  // namespace
