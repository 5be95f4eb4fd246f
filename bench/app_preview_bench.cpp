// The preview of a 1920 x 1080 poster: decode and fit into 645 x 220, for JPEG
// and PNG, beside libjpeg-turbo's and libpng's bare decode of the same bytes.

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "app/image_decode.h"

namespace {

// Something like a poster: gradients, shapes and some grain, so that both
// encoders work about as hard as on a photograph.
QImage PosterLike() {
  QImage image(1920, 1080, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient sky(0, 0, 1920, 1080);
  sky.setColorAt(0, QColor(20, 40, 120));
  sky.setColorAt(1, QColor(230, 140, 60));
  painter.fillRect(image.rect(), sky);
  QRandomGenerator random(42);
  for (int i = 0; i < 300; ++i) {
    painter.setBrush(QColor::fromRgb(random.generate()));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPoint(random.bounded(1920), random.bounded(1080)), random.bounded(10, 120), random.bounded(10, 120));
  }
  painter.end();
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const int grain = static_cast<int>(random.bounded(17)) - 8;
      const QRgb p = line[x];
      line[x] = qRgb(std::clamp(qRed(p) + grain, 0, 255), std::clamp(qGreen(p) + grain, 0, 255),
                     std::clamp(qBlue(p) + grain, 0, 255));
    }
  }
  return image;
}

std::string Encode(const char* format, int quality) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  PosterLike().save(&buffer, format, quality);
  return bytes.toStdString();
}

const std::string& Jpeg() {
  static const std::string bytes = Encode("JPG", 90);
  return bytes;
}

const std::string& Png() {
  static const std::string bytes = Encode("PNG", -1);
  return bytes;
}

struct BareJpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

// libjpeg-turbo with its defaults: the full picture as RGB.
bool BareJpegDecode(const std::string& bytes, std::vector<unsigned char>& pixels) {
  jpeg_decompress_struct decoder{};
  BareJpegErrors errors{};
  decoder.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = [](j_common_ptr d) { std::longjmp(reinterpret_cast<BareJpegErrors*>(d->err)->jump, 1); };
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&decoder);
    return false;
  }
  jpeg_create_decompress(&decoder);
  jpeg_mem_src(&decoder, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&decoder, TRUE);
  decoder.out_color_space = JCS_RGB;
  jpeg_start_decompress(&decoder);
  const std::size_t stride = std::size_t{decoder.output_width} * 3;
  pixels.resize(stride * decoder.output_height);
  while (decoder.output_scanline < decoder.output_height) {
    JSAMPROW row = pixels.data() + stride * decoder.output_scanline;
    jpeg_read_scanlines(&decoder, &row, 1);
  }
  jpeg_finish_decompress(&decoder);
  jpeg_destroy_decompress(&decoder);
  return true;
}

// libpng's simplified API: the full picture as RGB.
bool BarePngDecode(const std::string& bytes, std::vector<unsigned char>& pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
  image.format = PNG_FORMAT_RGB;
  pixels.resize(PNG_IMAGE_SIZE(image));
  const bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return ok;
}

const QSize kBox(645, 220);

void BM_PreviewJpeg(benchmark::State& state) {
  for (auto _ : state) {
    QImage shown = raziriz::app::PreviewImage(Jpeg(), kBox);
    benchmark::DoNotOptimize(shown.constBits());
  }
  state.counters["file_KiB"] = static_cast<double>(Jpeg().size()) / 1024;
}

void BM_PreviewJpegFullDecode(benchmark::State& state) {
  // Without letting libjpeg downscale: the full picture, then the smooth fit.
  for (auto _ : state) {
    QImage shown = raziriz::app::DecodeImage(Jpeg()).scaled(kBox, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    benchmark::DoNotOptimize(shown.constBits());
  }
}

void BM_BareJpegDecode(benchmark::State& state) {
  std::vector<unsigned char> pixels;
  for (auto _ : state) {
    if (!BareJpegDecode(Jpeg(), pixels)) state.SkipWithError("bare JPEG decode failed");
    benchmark::DoNotOptimize(pixels.data());
  }
}

void BM_PreviewPng(benchmark::State& state) {
  for (auto _ : state) {
    QImage shown = raziriz::app::PreviewImage(Png(), kBox);
    benchmark::DoNotOptimize(shown.constBits());
  }
  state.counters["file_KiB"] = static_cast<double>(Png().size()) / 1024;
}

void BM_BarePngDecode(benchmark::State& state) {
  std::vector<unsigned char> pixels;
  for (auto _ : state) {
    if (!BarePngDecode(Png(), pixels)) state.SkipWithError("bare PNG decode failed");
    benchmark::DoNotOptimize(pixels.data());
  }
}

BENCHMARK(BM_PreviewJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreviewJpegFullDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareJpegDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreviewPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BarePngDecode)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // Encoding the two files takes seconds: done before any timing starts.
  (void)Jpeg();
  (void)Png();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
