// The numbers of the Win32 build's resources: the application icon, the
// window's pictures as bitmaps (in ui/picture_ids.h order) and the manifest.
// Read by the resource scripts and by the code that loads them.
#pragma once

#define SROM_RES_APP_ICON 128
// The first picture; picture i of kPictures is SROM_RES_FIRST_PICTURE + i.
#define SROM_RES_FIRST_PICTURE 200
