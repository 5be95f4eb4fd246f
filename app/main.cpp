// raziriz-posters: the window program.

#include <QApplication>

#include "app/main_window.h"
#include "app/qt_layer.h"
#include "net/curl_easy.h"
#include "text/regex_matcher.h"

int main(int argc, char* argv[]) {
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
