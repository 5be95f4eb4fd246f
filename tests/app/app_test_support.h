#pragma once
// What the window's tests share: a main() that sets up libcurl, Qt (offscreen
// unless told otherwise) and the event hooks; a browser and clipboard that only
// record what they are given; and addresses on loopback servers.

#include <QApplication>
#include <QTest>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/qt_layer.h"
#include "net/curl_easy.h"
#include "tests/support/loopback_server.h"
#include "text/charset.h"

namespace raziriz::testing {

// What the window handed to the browser and the clipboard, in order.
struct DesktopCalls {
  std::mutex mutex;
  std::vector<Text> opened;
  std::vector<Text> copied;
};

class FakeDesktopServices final : public app::DesktopServices {
 public:
  explicit FakeDesktopServices(std::shared_ptr<DesktopCalls> calls) : calls_(std::move(calls)) {}
  void OpenAddress(std::string_view address) override {
    std::lock_guard lock(calls_->mutex);
    calls_->opened.emplace_back(address);
  }
  void SetClipboardText(std::string_view text) override {
    std::lock_guard lock(calls_->mutex);
    calls_->copied.emplace_back(text);
  }

 private:
  std::shared_ptr<DesktopCalls> calls_;
};

// A reply that closes its connection: a kept-alive connection would hold the
// loopback server's shutdown for its whole keep-alive time.
inline Reply ClosingReply(std::string body, std::string contentType = "text/html; charset=utf-8") {
  return Reply{.status = 200, .body = std::move(body), .contentType = std::move(contentType),
               .headers = {{"Connection", "close"}}};
}

// A port on which nothing listens: fetches from it fail at once.
inline constexpr const char* kClosedBase = "http://127.0.0.1:1";

// Every address of the window on `base` (scheme, host and port).
inline app::WindowAddresses AddressesOn(const std::string& base) {
  app::WindowAddresses addresses;
  addresses.homeFeed = base + "/haibao";
  addresses.visitCounter = base + "/counts8790.html";
  addresses.makerSite = "https://www.zorvi.example";
  addresses.sources.baseUrl = base;
  return addresses;
}

// UTF-8 for the checks, from a control's text.
inline std::string Utf8(const QString& text) { return text.toStdString(); }

}  // namespace raziriz::testing

#define RAZIRIZ_APP_TEST_MAIN(TestClass)                                                   \
  int main(int argc, char* argv[]) {                                                       \
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen"); \
    const raziriz::CurlGlobal curl;                                                        \
    QApplication application(argc, argv);                                                  \
    raziriz::app::InstallQtEventHooks();                                                   \
    TestClass test;                                                                        \
    return QTest::qExec(&test, argc, argv);                                                \
  }
