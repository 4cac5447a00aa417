// The window's icon and pictures on Qt, from the resources compiled into the
// program: each picture as the window shows it, its plain background painted
// in the window's colour where picture_ids.h says so.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <array>

#include "ui/picture_ids.h"

namespace srom {

// Every picture of kPictures by PictureId, the window-coloured ones with
// their top-left pixel's colour made `window_colour`. A picture whose
// resource is missing is a null pixmap.
using QtPictures = std::array<QPixmap, kPictures.size()>;
QtPictures WindowPictures(const QColor& window_colour);

// The program's icon.
QIcon AppIcon();

}  // namespace srom
