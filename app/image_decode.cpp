#include "app/image_decode.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// libjpeg's headers expect <cstdio> first.
#include <jerror.h>
#include <jpeglib.h>
#include <png.h>
#include <webp/decode.h>

namespace raziriz::app {
namespace {

bool TooLarge(std::uint64_t width, std::uint64_t height) {
  return width == 0 || height == 0 || width * height > kMaxImagePixels;
}

bool StartsWith(std::string_view bytes, std::string_view magic) { return bytes.substr(0, magic.size()) == magic; }

// ---- JPEG ----

struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void JpegFail(j_common_ptr decoder) {
  std::longjmp(reinterpret_cast<JpegErrors*>(decoder->err)->jump, 1);
}

// libjpeg only warns about data that ends early and fills the rest with grey;
// a truncated poster is treated as undecodable instead. Other warnings (stray
// bytes between markers, common in real files) are ignored, as are traces.
void JpegMessage(j_common_ptr decoder, int level) {
  if (level < 0 && decoder->err->msg_code == JWRN_JPEG_EOF) JpegFail(decoder);
}

void JpegSilence(j_common_ptr) {}

// The libjpeg scale M/8 (M in 1, 2, 4, 8: the fast paths) that keeps the picture
// at least as large as it will be shown in `fit`.
unsigned JpegScale(unsigned width, unsigned height, QSize fit) {
  if (fit.isEmpty()) return 8;
  const double needed =
      std::min(static_cast<double>(fit.width()) / width, static_cast<double>(fit.height()) / height);
  for (unsigned m : {1u, 2u, 4u}) {
    if (m / 8.0 >= needed) return m;
  }
  return 8;
}

// Everything between setjmp and a possible longjmp lives in the caller's frame
// (decoder, image) or is trivially destructible, so the jump skips no destructor.
bool RunJpeg(jpeg_decompress_struct& decoder, JpegErrors& errors, std::string_view bytes, QSize fit,
             QImage& image) {
  if (setjmp(errors.jump)) return false;
  jpeg_create_decompress(&decoder);
  jpeg_mem_src(&decoder, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&decoder, TRUE) != JPEG_HEADER_OK) return false;
  if (TooLarge(decoder.image_width, decoder.image_height)) return false;
  // Writing B, G, R, X bytes fills a 32-bit Qt image directly (little-endian).
  decoder.out_color_space = JCS_EXT_BGRX;
  decoder.scale_num = JpegScale(decoder.image_width, decoder.image_height, fit);
  decoder.scale_denom = 8;
  decoder.dct_method = JDCT_ISLOW;
  jpeg_start_decompress(&decoder);
  image = QImage(static_cast<int>(decoder.output_width), static_cast<int>(decoder.output_height),
                 QImage::Format_RGB32);
  if (image.isNull()) return false;
  while (decoder.output_scanline < decoder.output_height) {
    JSAMPROW row = image.scanLine(static_cast<int>(decoder.output_scanline));
    jpeg_read_scanlines(&decoder, &row, 1);
  }
  jpeg_finish_decompress(&decoder);
  return true;
}

QImage DecodeJpeg(std::string_view bytes, QSize fit) {
  jpeg_decompress_struct decoder{};
  JpegErrors errors{};
  decoder.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = &JpegFail;
  errors.manager.emit_message = &JpegMessage;
  errors.manager.output_message = &JpegSilence;
  QImage image;
  const bool ok = RunJpeg(decoder, errors, bytes, fit, image);
  jpeg_destroy_decompress(&decoder);
  return ok ? image : QImage();
}

// ---- PNG ----

struct PngInput {
  std::string_view bytes;
  std::size_t offset = 0;
};

void PngRead(png_structp png, png_bytep out, png_size_t count) {
  auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
  if (count > input->bytes.size() - input->offset) png_error(png, "truncated");
  std::memcpy(out, input->bytes.data() + input->offset, count);
  input->offset += count;
}

[[noreturn]] void PngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarn(png_structp, png_const_charp) {}

struct PngDecoder {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngDecoder() {
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, &PngFail, &PngWarn);
    if (png != nullptr) info = png_create_info_struct(png);
  }
  ~PngDecoder() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
  PngDecoder(const PngDecoder&) = delete;
  PngDecoder& operator=(const PngDecoder&) = delete;
};

// As with JPEG: the image and the row table belong to the caller's frame.
bool RunPng(PngDecoder& decoder, PngInput& input, QImage& image, std::vector<png_bytep>& rows) {
  png_structp png = decoder.png;
  png_infop info = decoder.info;
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, &input, &PngRead);
  png_set_user_limits(png, 1'000'000, 1'000'000);
  png_set_chunk_malloc_max(png, 8'000'000);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (TooLarge(width, height)) return false;

  // Everything becomes 8-bit B, G, R, A (or X) bytes: a 32-bit Qt image.
  const int colorType = png_get_color_type(png, info);
  const bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  if (!alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * 4) return false;

  image = QImage(static_cast<int>(width), static_cast<int>(height),
                 alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (image.isNull()) return false;
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = image.scanLine(static_cast<int>(y));
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  return true;
}

QImage DecodePng(std::string_view bytes) {
  PngDecoder decoder;
  if (decoder.info == nullptr) return {};
  PngInput input{bytes};
  QImage image;
  std::vector<png_bytep> rows;
  return RunPng(decoder, input, image, rows) ? image : QImage();
}

// ---- WebP ----

QImage DecodeWebp(std::string_view bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  int width = 0;
  int height = 0;
  if (!WebPGetInfo(data, bytes.size(), &width, &height) || TooLarge(width, height)) return {};
  QImage image(width, height, QImage::Format_RGBA8888);
  if (image.isNull()) return {};
  if (WebPDecodeRGBAInto(data, bytes.size(), image.bits(), static_cast<std::size_t>(image.sizeInBytes()),
                         static_cast<int>(image.bytesPerLine())) == nullptr) {
    return {};
  }
  return image;
}

}  // namespace

QImage DecodeImage(std::string_view bytes, QSize fitInto) {
  if (StartsWith(bytes, "\xFF\xD8\xFF")) return DecodeJpeg(bytes, fitInto);
  if (StartsWith(bytes, "\x89PNG\r\n\x1A\n")) return DecodePng(bytes);
  if (bytes.size() >= 12 && StartsWith(bytes, "RIFF") && bytes.substr(8, 4) == "WEBP") return DecodeWebp(bytes);
  return {};
}

QImage PreviewImage(std::string_view bytes, QSize box) {
  const QImage image = DecodeImage(bytes, box);
  if (image.isNull() || box.isEmpty()) return image;
  return image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace raziriz::app
