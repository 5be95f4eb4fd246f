// The preview box's decoders and the click on a poster row: fetch, preview,
// copy the address.

#include <QBuffer>
#include <QClipboard>
#include <QPainter>
#include <QSignalSpy>

#include <webp/encode.h>
#include <zlib.h>

#include "app/image_decode.h"
#include "tests/app/app_test_support.h"

using raziriz::app::DecodeImage;
using raziriz::app::MainWindow;
using raziriz::app::PreviewImage;
using raziriz::testing::LoopbackServer;
using raziriz::testing::SeenRequest;

namespace {

// A picture with a red left half and a blue right half.
QImage TwoColours(int width, int height, QImage::Format format = QImage::Format_RGB32) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::blue);
  QPainter(&image).fillRect(0, 0, width / 2, height, Qt::red);
  return image.convertToFormat(format);
}

QByteArray Encode(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format, 90);
  return bytes;
}

QByteArray EncodeWebp(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_RGBA8888);
  std::uint8_t* output = nullptr;
  const std::size_t size =
      WebPEncodeLosslessRGBA(image.constBits(), image.width(), image.height(), static_cast<int>(image.bytesPerLine()), &output);
  QByteArray bytes(reinterpret_cast<const char*>(output), static_cast<qsizetype>(size));
  WebPFree(output);
  return bytes;
}

void PutBigEndian(QByteArray& bytes, qsizetype at, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>((value >> (8 * (width - 1 - i))) & 0xFF);
}

void AppendChunk(QByteArray& png, const char* type, const QByteArray& data) {
  QByteArray chunk(4, '\0');
  PutBigEndian(chunk, 0, static_cast<std::uint32_t>(data.size()), 4);
  chunk += QByteArray(type, 4) + data;
  const auto crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.constData() + 4), static_cast<uInt>(chunk.size() - 4));
  chunk += QByteArray(4, '\0');
  PutBigEndian(chunk, chunk.size() - 4, static_cast<std::uint32_t>(crc), 4);
  png += chunk;
}

// A complete, valid black PNG of one bit per pixel: a few kilobytes that
// decode to width x height x 4 bytes.
QByteArray BlackPng(int width, int height) {
  QByteArray png("\x89PNG\r\n\x1A\n", 8);
  QByteArray header(13, '\0');
  PutBigEndian(header, 0, static_cast<std::uint32_t>(width), 4);
  PutBigEndian(header, 4, static_cast<std::uint32_t>(height), 4);
  header[8] = 1;  // bit depth; colour type 0 (grey), no interlace
  AppendChunk(png, "IHDR", header);
  const QByteArray rows(static_cast<qsizetype>(height) * (1 + (width + 7) / 8), '\0');
  uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
  QByteArray packed(static_cast<qsizetype>(packedSize), '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(rows.constData()),
            static_cast<uLong>(rows.size()), 9);
  packed.resize(static_cast<qsizetype>(packedSize));
  AppendChunk(png, "IDAT", packed);
  AppendChunk(png, "IEND", {});
  return png;
}

// A real JPEG whose frame header claims 65535 x 65535 pixels.
QByteArray JpegBomb() {
  QByteArray bytes = Encode(TwoColours(16, 16), "JPG");
  const qsizetype frame = bytes.indexOf(QByteArray("\xFF\xC0", 2));
  if (frame < 0) return {};
  PutBigEndian(bytes, frame + 5, 0xFFFF, 2);
  PutBigEndian(bytes, frame + 7, 0xFFFF, 2);
  return bytes;
}

std::string_view View(const QByteArray& bytes) {
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

bool IsRed(QRgb pixel) { return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60; }
bool IsBlue(QRgb pixel) { return qBlue(pixel) > 200 && qRed(pixel) < 60 && qGreen(pixel) < 60; }

}  // namespace

class PreviewTest : public QObject {
  Q_OBJECT

 private slots:
  void decodes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");  // empty: does not decode
    QTest::addColumn<bool>("grey");
    const QImage picture = TwoColours(64, 32);
    QTest::newRow("jpeg") << Encode(picture, "JPG") << QSize(64, 32) << false;
    QTest::newRow("jpeg grey") << Encode(picture.convertToFormat(QImage::Format_Grayscale8), "JPG") << QSize(64, 32) << true;
    QTest::newRow("png") << Encode(picture, "PNG") << QSize(64, 32) << false;
    QTest::newRow("png with alpha") << Encode(TwoColours(64, 32, QImage::Format_ARGB32), "PNG") << QSize(64, 32) << false;
    QTest::newRow("png palette") << Encode(picture.convertToFormat(QImage::Format_Indexed8), "PNG") << QSize(64, 32) << false;
    QTest::newRow("png 16-bit") << Encode(picture.convertToFormat(QImage::Format_RGBA64), "PNG") << QSize(64, 32) << false;
    QTest::newRow("webp") << EncodeWebp(picture) << QSize(64, 32) << false;

    const QByteArray jpeg = Encode(TwoColours(200, 100), "JPG");
    const QByteArray png = Encode(TwoColours(200, 100), "PNG");
    QTest::newRow("empty") << QByteArray() << QSize() << false;
    QTest::newRow("html page") << QByteArray("<html><body>404</body></html>") << QSize() << false;
    QTest::newRow("jpeg truncated") << jpeg.left(jpeg.size() / 2) << QSize() << false;
    QTest::newRow("jpeg header only") << jpeg.left(20) << QSize() << false;
    QTest::newRow("png truncated") << png.left(png.size() / 2) << QSize() << false;
    QTest::newRow("png signature only") << png.left(8) << QSize() << false;
    QTest::newRow("webp truncated") << EncodeWebp(picture).left(40) << QSize() << false;
    // Over 50 megapixels: refused before the 200 MB of pixels are allocated.
    QTest::newRow("png bomb") << BlackPng(7072, 7072) << QSize() << false;
    QTest::newRow("png, one bit grey") << BlackPng(64, 32) << QSize(64, 32) << true;
    QTest::newRow("jpeg bomb") << JpegBomb() << QSize() << false;
  }
  void decodes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QFETCH(bool, grey);
    const QImage image = DecodeImage(View(bytes));
    if (size.isEmpty()) {
      QVERIFY(image.isNull());
      return;
    }
    QCOMPARE(image.size(), size);
    if (grey) {
      QVERIFY(qGray(image.pixel(2, 2)) >= qGray(image.pixel(size.width() - 3, size.height() - 3)));
      return;
    }
    QVERIFY(IsRed(image.pixel(2, 2)));
    QVERIFY(IsBlue(image.pixel(size.width() - 3, size.height() - 3)));
  }

  // Fitted into the box keeping the aspect ratio, up or down.
  void fits_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("shown");
    QTest::newRow("wide, larger") << QSize(1920, 1080) << QSize(391, 220);
    QTest::newRow("wider than the box") << QSize(1290, 220) << QSize(645, 110);
    QTest::newRow("tall") << QSize(100, 400) << QSize(55, 220);
    QTest::newRow("small") << QSize(320, 160) << QSize(440, 220);
  }
  void fits() {
    QFETCH(QSize, picture);
    QFETCH(QSize, shown);
    for (const char* format : {"JPG", "PNG"}) {
      const QImage image = PreviewImage(View(Encode(TwoColours(picture.width(), picture.height()), format)),
                                        QSize(645, 220));
      QCOMPARE(image.size(), shown);
      QVERIFY(IsRed(image.pixel(1, shown.height() / 2)));
      QVERIFY(IsBlue(image.pixel(shown.width() - 2, shown.height() / 2)));
    }
  }

  // A click on a row fetches its address, shows the picture and copies the
  // address; every click fetches again; what does not decode clears the box.
  void previewAndCopy() {
    const QByteArray jpeg = Encode(TwoColours(640, 320), "JPG");
    const QByteArray png = Encode(TwoColours(100, 400), "PNG");
    LoopbackServer server;
    std::mutex mutex;
    std::vector<std::string> seen;
    server.Handle("/.*", [&](const SeenRequest& request) {
      {
        std::lock_guard lock(mutex);
        seen.push_back(request.method + " " + request.path);
      }
      if (request.path == "/a.jpg") return raziriz::testing::ClosingReply(jpeg.toStdString(), "image/jpeg");
      if (request.path == "/b.png") return raziriz::testing::ClosingReply(png.toStdString(), "image/png");
      return raziriz::testing::ClosingReply("<html>not a picture</html>");
    });
    auto seenRequests = [&] {
      std::lock_guard lock(mutex);
      return seen;
    };

    auto calls = std::make_shared<raziriz::testing::DesktopCalls>();
    MainWindow window(raziriz::testing::AddressesOn(raziriz::testing::kClosedBase),
                      std::make_unique<raziriz::testing::FakeDesktopServices>(calls));
    QSignalSpy created(&window, &MainWindow::createdHandled);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE_WITH_TIMEOUT(created.count(), 1, 10000);

    const std::string base = server.BaseUrl();
    raziriz::app::QtPosterList& site = window.siteList(0);  // the page shown first
    const std::vector<std::string> addresses{base + "/a.jpg", base + "/b.png", base + "/page.html"};
    for (const std::string& address : addresses) {
      const int row = site.AppendRow();
      site.SetCell(row, 0, std::to_string(row + 1));
      site.SetCell(row, 2, base + "/decoy.png");  // the title column is never read
      site.SetCell(row, 3, address);
    }
    auto clickRow = [](raziriz::app::QtPosterList& list, int row) {
      QTableWidget* view = list.view();
      QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(row, 0)).center());
    };
    raziriz::app::PictureBox& box = window.pictureBox();

    clickRow(site, 0);
    QVERIFY(box.HasPicture());
    QCOMPARE(box.pixmap().size(), QSize(440, 220));
    QCOMPARE(box.bytes(), jpeg.toStdString());
    QCOMPARE(calls->copied.back(), addresses[0]);

    clickRow(site, 1);
    QCOMPARE(box.pixmap().size(), QSize(55, 220));
    clickRow(site, 1);  // fetched again
    QCOMPARE(seenRequests(), (std::vector<std::string>{"GET /a.jpg", "GET /b.png", "GET /b.png"}));

    clickRow(site, 2);  // not a picture: cleared, address still copied
    QVERIFY(!box.HasPicture());
    QCOMPARE(calls->copied.back(), addresses[2]);

    // The main list keeps its address in column 2.
    raziriz::app::QtPosterList& main = window.mainList();
    const int row = main.AppendRow();
    main.SetCell(row, 1, "a");
    main.SetCell(row, 2, base + "/a.jpg");
    clickRow(main, 0);
    QVERIFY(box.HasPicture());
    QCOMPARE(calls->copied.back(), base + "/a.jpg");

    // No row selected: an empty address, a cleared box, an empty clipboard.
    window.siteList(1).Clear();
    window.findChild<QTabWidget*>(QStringLiteral("高级选择夹1"))->setCurrentIndex(1);
    QTest::mouseClick(window.siteList(1).view()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(!box.HasPicture());
    QCOMPARE(calls->copied.back(), std::string());
    QCOMPARE(calls->copied.size(), std::size_t{6});
  }

  // The real clipboard receives the GBK text as Unicode.
  void clipboardText() {
    raziriz::app::QtDesktopServices services;
    services.SetClipboardText(raziriz::GbkFromUtf8("https://img.example/海报.jpg"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8("https://img.example/海报.jpg"));
    services.SetClipboardText("");
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
  }
};

RAZIRIZ_APP_TEST_MAIN(PreviewTest)
#include "preview_test.moc"
