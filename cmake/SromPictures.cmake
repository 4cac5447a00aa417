# The window's pictures in res/, in the order of kPictures (src/ui/
# picture_ids.h), which a layout test holds this list to. The Qt view
# compiles them in as they are; the Win32 view converts each into a bitmap.
set(SROM_PICTURE_NAMES caution pass fail blank small_pass small_fail
    small_blank small_busy)
