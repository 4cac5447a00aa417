// The window's icon and pictures on Qt, from the resources compiled into the
// program: each picture as the window shows it, its plain background painted
// in the window's colour where picture_ids.h says so.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

#include "ui/picture_ids.h"

namespace srom {

// The picture `id` as the window shows it: a window-coloured one with its
// top-left pixel's colour made `window_colour`. A picture whose resource is
// missing is a null pixmap.
QPixmap WindowPicture(PictureId id, const QColor& window_colour);

// The program's icon.
QIcon AppIcon();

}  // namespace srom
