#pragma once
// The preview box: shows the picture that image bytes encode, fitted into the
// box, and keeps the bytes it was given.

#include <QLabel>

#include <string_view>

#include "text/text.h"

namespace raziriz::app {

class PictureBox final : public QLabel {
 public:
  PictureBox(const QString& objectName, QWidget* parent);

  // Shows the picture encoded by `bytes`, scaled smoothly to fit the box keeping
  // its aspect ratio and centred. Empty bytes, bytes that do not decode and
  // pictures too large to decode safely clear the box.
  void SetPicture(std::string_view bytes);

  // The bytes last given to SetPicture, shown or not.
  [[nodiscard]] const Bytes& bytes() const { return bytes_; }
  [[nodiscard]] bool HasPicture() const;

 private:
  Bytes bytes_;
};

}  // namespace raziriz::app
