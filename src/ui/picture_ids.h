// The window's pictures: their files in res/ and their sizes in pixels.
// res/README.md tells how the files are drawn and rendered.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "ops/operator_panel.h"
#include "ports/reporter.h"

namespace srom {

enum class PictureId {
  kCaution,
  kPass,
  kFail,
  kBlank,
  kSmallPass,
  kSmallFail,
  kSmallBlank,
  kSmallBusy,
};

struct PictureInfo {
  PictureId id;
  std::string_view file;  // in res/
  int width;              // pixels
  int height;
  // A view loading the picture paints every pixel of the colour of its
  // top-left pixel in the window's colour, so the plain background blends
  // into the window. The small fail picture keeps its own.
  bool window_coloured_background;
};

inline constexpr std::array<PictureInfo, 8> kPictures = {{
    {PictureId::kCaution, "caution.png", 409, 167, true},
    {PictureId::kPass, "pass.png", 154, 139, true},
    {PictureId::kFail, "fail.png", 148, 154, true},
    {PictureId::kBlank, "blank.png", 154, 139, true},
    {PictureId::kSmallPass, "small_pass.png", 16, 16, true},
    {PictureId::kSmallFail, "small_fail.png", 16, 16, false},
    {PictureId::kSmallBlank, "small_blank.png", 16, 16, true},
    {PictureId::kSmallBusy, "small_busy.png", 16, 16, true},
}};

constexpr const PictureInfo& PictureOf(PictureId id) {
  return kPictures[static_cast<int>(id)];
}

// The result frame's picture; none for ResultPicture::kNone.
constexpr std::optional<PictureId> PictureFor(ResultPicture picture) {
  switch (picture) {
    case ResultPicture::kPass:
      return PictureId::kPass;
    case ResultPicture::kFail:
      return PictureId::kFail;
    case ResultPicture::kBlank:
      return PictureId::kBlank;
    case ResultPicture::kNone:
      break;
  }
  return std::nullopt;
}

// An adapter's picture in "Multi EEPROM Program".
constexpr PictureId PictureFor(AdapterPictureKind picture) {
  switch (picture) {
    case AdapterPictureKind::kPass:
      return PictureId::kSmallPass;
    case AdapterPictureKind::kFail:
      return PictureId::kSmallFail;
    case AdapterPictureKind::kBusy:
      return PictureId::kSmallBusy;
    case AdapterPictureKind::kBlank:
      break;
  }
  return PictureId::kSmallBlank;
}

}  // namespace srom
