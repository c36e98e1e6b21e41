// The Kelvo desktop program.

#include <QApplication>

#include "app/CKelvoApp.h"
#include "app/CMainFrame.h"
#include "app/CQuitSignals.h"
#include "support/UserPrompts.h"

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  CKelvoApp app;
  // Installed first: a signal during the start questions closes the window
  // as soon as it exists.
  CQuitSignals quit;
  // A quit during the start questions ends the program as an ordinary exit.
  if (!app.InitInstance(qapp.arguments())) return app.ExitInstance() + (IsQuitRequested() ? 0 : 1);
  quit.SetAction([&app] { app.MainFrame()->close(); });
  const int nResult = qapp.exec();
  app.ExitInstance();
  return nResult;
}
