#pragma once
// Decoding poster bytes for the preview box: JPEG (libjpeg-turbo), PNG (libpng)
// and WebP (libwebp), all from memory.

#include <QImage>
#include <QSize>

#include <cstdint>
#include <string_view>

namespace raziriz::app {

// Larger pictures are refused before any pixel memory is allocated: a small file
// can declare a huge picture (a decompression bomb).
inline constexpr std::uint64_t kMaxImagePixels = 50'000'000;

// The picture encoded by `bytes`, or a null image for empty bytes, anything that
// is not JPEG, PNG or WebP, truncated or corrupt data, and pictures of more than
// kMaxImagePixels. With a non-empty `fitInto`, a JPEG may come back smaller than
// its full size, but never smaller than it needs to be to fill `fitInto` when
// scaled down keeping its aspect ratio (the decoder's own downscaling is cheap).
[[nodiscard]] QImage DecodeImage(std::string_view bytes, QSize fitInto = {});

// The picture scaled smoothly to fit `box` keeping its aspect ratio (larger or
// smaller as needed); a null image when `bytes` do not decode.
[[nodiscard]] QImage PreviewImage(std::string_view bytes, QSize box);

}  // namespace raziriz::app
