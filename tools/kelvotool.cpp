// kelvotool: the headless tool for administrators, scripts and tests.

#include <algorithm>
#include <iostream>

#include "support/CTerminalUi.h"
#include "tools/CToolCommands.h"

#ifndef KELVO_VERSION
#define KELVO_VERSION "0.1.0"
#endif

namespace {

void PrintHelp() {
  std::cout << "Usage: kelvotool [--verbose] COMMAND [ARGUMENTS]\n\n"
               "FILE is a database with or without \".dbm\". --verbose shows what a command is "
               "doing on stderr.\n\nCommands:\n";
  std::vector<const CToolCommand*> commands(CToolCommand::All().begin(), CToolCommand::All().end());
  std::sort(commands.begin(), commands.end(),
            [](auto* a, auto* b) { return std::string(a->m_pName) < b->m_pName; });
  for (const auto* p : commands) std::cout << "  " << p->m_pUsage << "\n";
}

const CToolCommand kHelp("help", "help                 this list", [](const auto&) {
  PrintHelp();
  return TOOL_OK;
});

const CToolCommand kVersion("version", "version              the program version", [](const auto&) {
  std::cout << "kelvotool " KELVO_VERSION "\n";
  return TOOL_OK;
});

}  // namespace

int main(int argc, char** argv) {
  // --verbose anywhere shows every wait-box text on stderr.
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--verbose")
      CTerminalUi::SetVerbose(true);
    else
      args.push_back(argv[i]);
  }
  if (args.empty()) {
    PrintHelp();
    return TOOL_ERROR;
  }
  std::string sName = args[0];
  if (sName == "--help" || sName == "-h") sName = "help";
  if (sName == "--version") sName = "version";
  const CToolCommand* pCommand = CToolCommand::Find(sName);
  if (!pCommand) return ToolError("unknown command '" + sName + "' (see kelvotool --help)");
  return pCommand->m_fnMain(std::vector<std::string>(args.begin() + 1, args.end()));
}
