// raziriz-posters: the window program.

#include <QApplication>

#include <cstdio>

#include "app/main_window.h"
#include "app/qt_layer.h"
#include "net/curl_easy.h"
#include "text/regex_matcher.h"

namespace {

// Qt's own message for a missing display is long and indirect; say it plainly.
bool DisplayAvailable() {
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
         !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!DisplayAvailable()) {
    std::fputs("raziriz-posters needs a graphical display: neither DISPLAY nor WAYLAND_DISPLAY is set.\n"
               "Without one, run it under a virtual display: xvfb-run -a raziriz-posters\n",
               stderr);
    return 1;
  }
  // libcurl's global set-up comes before any thread, Qt's included.
  const raziriz::CurlGlobal curl;
  QApplication application(argc, argv);
  raziriz::app::InstallQtEventHooks();
  // The matcher shared by the window-thread sources exists before the window.
  (void)raziriz::SharedMatcher();

  raziriz::app::MainWindow window;
  window.show();
  return QApplication::exec();
}
