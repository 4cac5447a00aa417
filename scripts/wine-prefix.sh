#!/usr/bin/env bash
# Sets up the wine prefix $WINEPREFIX for the Windows build's window: no
# display at all, and the window's font as the line's PCs show it.
#
#   WINEPREFIX=/abs/prefix scripts/wine-prefix.sh
#
# - wine's null display driver: windows are drawn in memory only, so the
#   window's tests and pictures need no X server;
# - "Courier New", the window's font, replaced by Liberation Mono, its metric
#   twin (wine replaces none by itself and would draw a proportional font);
# - Tahoma and Marlett from wine's own fonts, when installed, for the small
#   dialogs' font and the caption buttons;
# - Noto Sans CJK (Debian's fonts-noto-cjk) linked behind the window's, the
#   dialogs' and the message boxes' fonts, for the Chinese texts ("確定" and
#   the Delay time's message), which none of them has.
#
# Creates the prefix when there is none. Safe to run again. Uses the running
# wineserver when there is one.
set -euo pipefail
: "${WINEPREFIX:?set WINEPREFIX to the absolute path of the prefix}"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
# Debian's wine64 keeps its loader and server out of PATH.
export PATH="/usr/lib/wine:$PATH"
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$WINEPREFIX"
# The first program creates the prefix; it returns once the prefix is usable.
wine64 cmd /c exit </dev/null >/dev/null 2>&1

fonts="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts"
# Where Debian's fonts-wine put them.
wine_fonts=$(dpkg -L fonts-wine 2>/dev/null | grep -m1 '/marlett\.ttf$' || true)
wine_fonts=${wine_fonts%/*}
for font in "${wine_fonts:-/usr/share/wine/fonts}"/{marlett,tahoma*}.ttf; do
  if [[ -f $font ]]; then cp -f "$font" "$fonts/"; fi
done

reg() { wine64 reg add "$@" /f </dev/null >/dev/null 2>&1; }
reg 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null
reg 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /t REG_SZ /d 'Liberation Mono'

# The Chinese texts: wine draws a character its font lacks from the fonts the
# font's SystemLink names, found in the prefix's Fonts folder.
cjk=$(dpkg -L fonts-noto-cjk 2>/dev/null | grep -m1 '/NotoSansCJK-Regular\.ttc$' || true)
if [[ -n $cjk && -f $cjk ]]; then
  ln -sf "$cjk" "$fonts/${cjk##*/}"
  link="${cjk##*/},Noto Sans CJK TC"
  for face in 'Tahoma' 'MS Shell Dlg' 'MS Shell Dlg 2' 'Microsoft Sans Serif' \
    'Courier New' 'Liberation Mono'; do
    reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d "$link"
  done
else
  echo "note: Noto Sans CJK (Debian's fonts-noto-cjk) is not installed: the" \
    "window's Chinese texts show as boxes" >&2
fi
