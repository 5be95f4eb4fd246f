#include "app/picture_box.h"

#include <QPixmap>

#include "app/image_decode.h"

namespace raziriz::app {

PictureBox::PictureBox(const QString& objectName, QWidget* parent) : QLabel(parent) {
  setObjectName(objectName);
  setAlignment(Qt::AlignCenter);
}

void PictureBox::SetPicture(std::string_view bytes) {
  bytes_.assign(bytes);
  const QImage picture = PreviewImage(bytes_, size());
  if (picture.isNull()) {
    clear();
    return;
  }
  setPixmap(QPixmap::fromImage(picture));
}

bool PictureBox::HasPicture() const { return !pixmap().isNull(); }

}  // namespace raziriz::app
