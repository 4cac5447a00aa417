#include "ui/qt/qt_pictures.h"

#include <QImage>
#include <algorithm>

#include "ui/qt/qt_text.h"

namespace srom {

QtPictures WindowPictures(const QColor& window_colour) {
  QtPictures pictures;
  for (const PictureInfo& info : kPictures) {
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
    pictures[static_cast<int>(info.id)] = QPixmap::fromImage(image);
  }
  return pictures;
}

QIcon AppIcon() { return QIcon(":/res/app_icon.png"); }

}  // namespace srom
