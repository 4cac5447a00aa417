// The window's own texts that are not operator messages: its titles, the
// captions that change with the device selection, the file dialog's filter
// and the About box.
#pragma once

#include <string>

namespace srom {

inline constexpr char kToolVersion[] = "v1.0.22.0";
// The title of the window's message boxes: the program's name.
inline constexpr char kMessageBoxTitle[] = "KM62058_057D_Srom";

// The title before the device selection is first applied.
inline constexpr char kInitialTitle[] =
    "VELK KM62058 / 057D Windows SROM Tool v1.0.22.0";

// The title of each device selection.
std::string WindowTitle(int device_sel);

// The two file buttons: "Save" and "Load EEPROM" in the EEPROM selections,
// "Save Efuse" and "Load Efuse" in the eFuse selections.
const char* SaveButtonCaption(int device_sel);
const char* LoadButtonCaption(int device_sel);

// The open-file dialog of "Load SROM", "Convert to Bin" and "Load Efuse": one
// filter, in the form "display text|pattern|".
inline constexpr char kAllFilesFilter[] = "ALL File(*.*)|*.*|";

// The About entry of the system menu and the About box.
inline constexpr char kAboutMenuEntry[] = "About KM62058_057D_Srom...";
inline constexpr char kAboutTitle[] = "About KM62058 / 057D Srom";
inline constexpr const char* kAboutVersionLine = kInitialTitle;
inline constexpr char kAboutNotice[] =
    "Copyright (C) VELK. All rights reserved.";
inline constexpr char kAboutOk[] = "確定";

// The countdown label's text before start-up empties it.
inline constexpr char kCountdownInitialText[] = "Static";

}  // namespace srom
