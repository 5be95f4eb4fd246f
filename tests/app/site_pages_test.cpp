// Every tab page of the window filled through its own button from its site's
// fixture pages on a loopback server, worker-thread sources included.

#include <QPushButton>
#include <QTableWidget>

#include "sources/sources.h"
#include "tests/app/app_test_support.h"
#include "tests/sources/source_test_support.h"

using raziriz::app::MainWindow;

namespace {

struct Expected {
  const char* site;
  int rows;
  const char* platform;
  const char* addressStart;  // the completion the source applies
};

// Row counts and first addresses follow from the fixture pages.
const Expected kExpected[] = {
    {"qq", 5, "qq", "https://"},        {"youku", 3, "youku", "https://"}, {"iqiyi", 3, "iqy", ""},
    {"mgtv", 3, "mgtv", "https://"},    {"letv", 2, "letv", ""},           {"sohu", 6, "sohu", "https://"},
    {"pptv", 3, "pptv", ""},            {"360", 7, "360", ""},             {"2345", 3, "2345", "https://"},
};

}  // namespace

class SitePagesTest : public QObject {
  Q_OBJECT

 private slots:
  void eachButtonFillsItsList_data() {
    QTest::addColumn<int>("index");
    for (int i = 0; i < static_cast<int>(std::size(kExpected)); ++i) QTest::newRow(kExpected[i].site) << i;
  }

  void eachButtonFillsItsList() {
    QFETCH(int, index);
    const Expected& expected = kExpected[index];
    const raziriz::SourceInfo* source = nullptr;
    std::size_t tab = 0;
    for (std::size_t i = 0; i < raziriz::AllSources().size(); ++i) {
      if (raziriz::AllSources()[i].cliName == expected.site) {
        source = &raziriz::AllSources()[i];
        tab = i;
      }
    }
    QVERIFY(source != nullptr);

    raziriz::testing::FakeSite site(raziriz::testing::FixturePages(expected.site));
    auto addresses = raziriz::testing::AddressesOn(raziriz::testing::kClosedBase);
    addresses.sources.baseUrl = site.BaseUrl();
    auto calls = std::make_shared<raziriz::testing::DesktopCalls>();
    MainWindow window(addresses, std::make_unique<raziriz::testing::FakeDesktopServices>(calls));

    auto* list = window.findChild<QTableWidget*>(QString::fromUtf8(source->listName.data(), source->listName.size()));
    auto* button = window.findChild<QPushButton*>(QString::fromUtf8(source->buttonName.data(), source->buttonName.size()));
    QVERIFY(list != nullptr && button != nullptr);

    // Twice: clearing sources show one run's rows again, appending ones two runs'.
    const bool appends = expected.site == std::string("qq") || expected.site == std::string("letv");
    for (int press = 1; press <= 2; ++press) {
      button->click();
      const int rows = appends ? press * expected.rows : expected.rows;
      QTRY_COMPARE_WITH_TIMEOUT(list->rowCount(), rows, 10000);
      // A worker may still be writing the last row's cells.
      QTRY_VERIFY_WITH_TIMEOUT(list->item(rows - 1, 3) != nullptr && !list->item(rows - 1, 3)->text().isEmpty(), 10000);
      // A press while the run is still going would be ignored.
      QTRY_VERIFY_WITH_TIMEOUT(!window.SourceRunning(tab), 10000);
    }
    QCOMPARE(list->rowCount(), appends ? 2 * expected.rows : expected.rows);
    for (int row = 0; row < list->rowCount(); ++row) {
      QCOMPARE(list->item(row, 1)->text(), QString::fromUtf8(expected.platform));
      QVERIFY(list->item(row, 3)->text().startsWith(QString::fromUtf8(expected.addressStart)));
    }
    QVERIFY(!list->item(0, 2)->text().isEmpty());
  }
};

RAZIRIZ_APP_TEST_MAIN(SitePagesTest)
#include "site_pages_test.moc"
