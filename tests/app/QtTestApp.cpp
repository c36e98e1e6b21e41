#include "QtTestApp.h"

#include <cstdlib>

// Qt and the system libraries it loads (fontconfig, D-Bus) keep caches for
// the life of the process; the leak check reports only our own blocks.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:libQt6Gui.so\nleak:libQt6Core.so\n"
         "leak:libQt6Widgets.so\n";
}

QApplication& TestApp() {
  static int nArgc = 1;
  static char sName[] = "test_app";
  static char* argv[] = {sName, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication* pApp = new QApplication(nArgc, argv);
  return *pApp;
}
