#include "ui/qt/qt_pictures.h"

#include <QImage>
#include <algorithm>

#include "ui/qt/qt_text.h"

namespace srom {

QPixmap WindowPicture(PictureId id, const QColor& window_colour) {
  const PictureInfo& info = PictureOf(id);
  QImage image(":/res/" + QtString(info.file));
  image = image.convertToFormat(QImage::Format_ARGB32);
  if (info.window_coloured_background && !image.isNull()) {
    // Row by row: pixel() and setPixel() on every pixel cost more than
    // decoding the picture.
    const QRgb key = image.pixel(0, 0);
    const QRgb window = window_colour.rgba();
    for (int y = 0; y < image.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
      std::replace(row, row + image.width(), key, window);
    }
  }
  return QPixmap::fromImage(image);
}

QIcon AppIcon() { return QIcon(":/res/app_icon.png"); }

}  // namespace srom
