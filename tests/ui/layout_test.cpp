// The window's layout table: every control placed inside the window, none on
// another in either kind of layout, room for every text, and the pictures of
// res/ of the sizes the table gives.
#include "ui/layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "model/device_sel.h"
#include "ui/device_layout.h"
#include "ui/picture_ids.h"

namespace srom {
namespace {

using enum ControlId;

bool Overlap(const DluRect& a, const DluRect& b) {
  return a.x < b.right() && b.x < a.right() && a.y < b.bottom() &&
         b.y < a.bottom();
}

std::string Describe(ControlId id, const DluRect& r) {
  return std::string(ControlName(id)) + " {" + std::to_string(r.x) + ", " +
         std::to_string(r.y) + ", " + std::to_string(r.width) + ", " +
         std::to_string(r.height) + "}";
}

TEST(LayoutTest, EveryControlHasItsEntryInsideTheClientArea) {
  ASSERT_EQ(AllLayouts().size(), static_cast<std::size_t>(kControlCount));
  for (int i = 0; i < kControlCount; ++i) {
    const auto id = static_cast<ControlId>(i);
    const ControlLayout& layout = LayoutOf(id);
    const DluRect& r = layout.rect;
    SCOPED_TRACE(Describe(id, r));
    EXPECT_EQ(layout.id, id);
    EXPECT_EQ(&AllLayouts()[i], &layout);
    EXPECT_GT(r.width, 0);
    EXPECT_GT(r.height, 0);
    EXPECT_GE(r.x, 0);
    EXPECT_GE(r.y, 0);
    EXPECT_LE(r.right(), kClientWidthDlu);
    EXPECT_LE(r.bottom(), kClientHeightDlu);
  }
}

TEST(LayoutTest, ControlsOfAFrameLieInsideItBelowItsCaption) {
  for (const ControlLayout& c : AllLayouts()) {
    if (!c.frame) continue;
    const ControlLayout& frame = LayoutOf(*c.frame);
    SCOPED_TRACE(Describe(c.id, c.rect) + " in " +
                 Describe(frame.id, frame.rect));
    ASSERT_EQ(frame.kind, ControlKind::kFrame);
    EXPECT_FALSE(frame.frame.has_value()) << "frames are not nested";
    // The caption takes the top 8 DLU; the frame's lines run along its edges.
    EXPECT_GE(c.rect.y, frame.rect.y + 9);
    EXPECT_GE(c.rect.x, frame.rect.x + 2);
    EXPECT_LE(c.rect.right(), frame.rect.right() - 2);
    EXPECT_LE(c.rect.bottom(), frame.rect.bottom() - 2);
  }
}

// What each device selection shows, as the window logic applies it; the
// eFuse selections put "Preview" in the place of the hidden "Load SROM".
// "Disable Setting" and "Default" are never shown but get a free place all
// the same.
std::vector<ControlLayout> Shown(int device_sel) {
  std::vector<ControlLayout> shown;
  for (ControlLayout c : AllLayouts()) {
    if (!VisibleIn(c.id, device_sel).value_or(true)) continue;
    if (IsEfuseSel(device_sel) && c.id == kPreview) {
      c.rect.x = kPreviewEfusePosition.x;
      c.rect.y = kPreviewEfusePosition.y;
    }
    shown.push_back(c);
  }
  return shown;
}

TEST(LayoutTest, NoControlCoversAnotherUnlessItIsItsFrame) {
  for (int device_sel = 0; device_sel < 4; ++device_sel) {
    SCOPED_TRACE(device_sel);
    const std::vector<ControlLayout> shown = Shown(device_sel);
    for (std::size_t i = 0; i < shown.size(); ++i) {
      for (std::size_t j = i + 1; j < shown.size(); ++j) {
        const ControlLayout& a = shown[i];
        const ControlLayout& b = shown[j];
        if (a.frame == b.id || b.frame == a.id) continue;
        EXPECT_FALSE(Overlap(a.rect, b.rect))
            << Describe(a.id, a.rect) << " and " << Describe(b.id, b.rect);
      }
    }
  }
}

TEST(LayoutTest, PreviewMovesExactlyIntoTheLoadSromButtonsPlace) {
  const DluRect preview = LayoutOf(kPreview).rect;
  const DluRect load_srom = LayoutOf(kLoadSrom).rect;
  EXPECT_EQ((DluPoint{preview.x, preview.y}), kPreviewEepromPosition);
  EXPECT_EQ((DluPoint{load_srom.x, load_srom.y}), kPreviewEfusePosition);
  EXPECT_EQ(preview.width, load_srom.width);
  EXPECT_EQ(preview.height, load_srom.height);
  EXPECT_NE(kPreviewEepromPosition, kPreviewEfusePosition);
}

TEST(LayoutTest, CaptionsEntriesAndPicturesGoWithTheirKind) {
  for (const ControlLayout& c : AllLayouts()) {
    SCOPED_TRACE(ControlName(c.id));
    // The verdict line is empty until a unit has ended.
    const bool has_caption = c.kind == ControlKind::kFrame ||
                             (c.kind == ControlKind::kLabel &&
                              c.id != kVerdictLabel) ||
                             c.kind == ControlKind::kCheckBox ||
                             c.kind == ControlKind::kRadioButton ||
                             c.kind == ControlKind::kPushButton;
    EXPECT_EQ(!c.caption.empty(), has_caption);
    EXPECT_EQ(!c.entries.empty(), c.kind == ControlKind::kDropDownList);
    EXPECT_EQ(c.picture_pixels != PixelSize{}, c.kind == ControlKind::kPicture);
  }
}

// The list's order is the selection's value, which the model reads.
TEST(LayoutTest, DeviceListEntriesFollowTheSelectionValues) {
  ASSERT_EQ(LayoutOf(kDeviceSel).entries.size(), kDeviceSelEntries.size());
  for (int sel = 0; sel < static_cast<int>(kDeviceSelEntries.size()); ++sel) {
    const std::string_view entry = LayoutOf(kDeviceSel).entries[sel];
    SCOPED_TRACE(std::string(entry));
    EXPECT_EQ(entry.ends_with("EFUSE"), IsEfuseSel(sel));
    EXPECT_EQ(entry.ends_with("EEPROM"), IsEepromSel(sel));
    EXPECT_EQ(entry.starts_with("KM62058 "), ChipOf(sel) == Chip::kA);
  }
}

// In the monospaced font a character is 4 DLU wide. A check box or radio
// button needs about 10 DLU for its box, a push button 4 DLU of margin each
// side, a box 2 DLU of border each side, the output box a scroll bar as well.
TEST(LayoutTest, EveryTextHasRoomInTheMonospacedFont) {
  for (const ControlLayout& c : AllLayouts()) {
    SCOPED_TRACE(ControlName(c.id));
    const int text = static_cast<int>(c.caption.size()) * 4;
    switch (c.kind) {
      case ControlKind::kLabel:
        EXPECT_GE(c.rect.width, text);
        EXPECT_GE(c.rect.height, 8);
        break;
      case ControlKind::kCheckBox:
      case ControlKind::kRadioButton:
        EXPECT_GE(c.rect.width, text + 10);
        EXPECT_GE(c.rect.height, 10);
        break;
      case ControlKind::kPushButton:
        EXPECT_GE(c.rect.width, text + 8);
        EXPECT_GE(c.rect.height, 14);
        break;
      case ControlKind::kFrame:
        EXPECT_GE(c.rect.width, text + 12);
        break;
      case ControlKind::kDropDownList: {
        std::size_t longest = 0;
        for (std::string_view e : c.entries) {
          longest = std::max(longest, e.size());
        }
        // The drop-down arrow is as wide as a scroll bar.
        EXPECT_GE(c.rect.width, static_cast<int>(longest) * 4 + 4 + 10);
        EXPECT_GE(c.rect.height, 12);
        break;
      }
      default:
        break;
    }
  }
  struct BoxRoom {
    ControlId box;
    int characters;
  };
  constexpr BoxRoom kBoxes[] = {
      {kCurrentMac, 12},    {kMaximumMac, 12},   {kCurrentSerial, 14},
      {kMaximumSerial, 14}, {kManufacturer, 24}, {kProduct, 24},
      {kVendorId, 4},       {kProductId, 4},     {kFlagByte, 2},
      {kSwField, 4},        {kSuperBusPower, 3}, {kSuperSelfPower, 3},
      {kHighBusPower, 3},   {kHighSelfPower, 3}, {kFullBusPower, 3},
      {kFullSelfPower, 3},  {kDelayTime, 3},
  };
  for (const BoxRoom& box : kBoxes) {
    SCOPED_TRACE(ControlName(box.box));
    EXPECT_EQ(LayoutOf(box.box).kind, ControlKind::kEditBox);
    EXPECT_GE(LayoutOf(box.box).rect.width, box.characters * 4 + 4);
    EXPECT_GE(LayoutOf(box.box).rect.height, 12);
  }
  // A listing line: 16 bytes of "XX ".
  const DluRect output = LayoutOf(kOutputBox).rect;
  EXPECT_EQ(LayoutOf(kOutputBox).kind, ControlKind::kOutputBox);
  EXPECT_GE(output.width, 16 * 3 * 4 + 4 + 10);
  EXPECT_GE(output.height, 8 * 8 + 4);
}

TEST(LayoutTest, DialogUnitsBecomePixelsAsTheDialogManagerRoundsThem) {
  struct Case {
    BaseUnits base;
    DluRect dlu;
    PixelRect pixels;
  };
  const Case kCases[] = {
      // The client area with the reference font.
      {{7, 14}, {0, 0, 485, 343}, {0, 0, 849, 600}},
      // 3.5 -> 4 (halves round up), 1.75 -> 2, 5.25 -> 5, 0.875 -> 1.
      {{7, 7}, {2, 2, 3, 1}, {4, 2, 5, 1}},
      // Halves round away from zero below zero as well.
      {{7, 14}, {-2, -4, 0, 0}, {-4, -7, 0, 0}},
      // A font of base units 8 x 16 exactly doubles.
      {{8, 16}, {0, 0, 485, 343}, {0, 0, 970, 686}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message()
                 << c.dlu.x << ", " << c.dlu.y << ", " << c.dlu.width << ", "
                 << c.dlu.height << " DLU at " << c.base.horizontal << " x "
                 << c.base.vertical);
    EXPECT_EQ(DluToPixels(c.dlu, c.base), c.pixels);
  }
  EXPECT_EQ(MulDivRounded(5, 7, 0), -1);
  EXPECT_EQ(MulDivRounded(5, 7, -2), -18);  // -17.5
}

TEST(LayoutTest, PictureControlsFitTheirPictures) {
  struct Case {
    ControlId control;
    std::vector<PictureId> pictures;
  };
  std::vector<Case> cases = {
      {kResultPicture, {PictureId::kPass, PictureId::kFail, PictureId::kBlank}},
      {kCautionPicture, {PictureId::kCaution}},
  };
  for (int i = 0; i < 6; ++i) {
    cases.push_back({AdapterPicture(i),
                     {PictureId::kSmallPass, PictureId::kSmallFail,
                      PictureId::kSmallBlank, PictureId::kSmallBusy}});
  }
  for (const Case& c : cases) {
    const ControlLayout& layout = LayoutOf(c.control);
    SCOPED_TRACE(Describe(c.control, layout.rect));
    ASSERT_EQ(layout.kind, ControlKind::kPicture);
    PixelSize largest;
    for (PictureId p : c.pictures) {
      largest.width = std::max(largest.width, PictureOf(p).width);
      largest.height = std::max(largest.height, PictureOf(p).height);
    }
    EXPECT_EQ(layout.picture_pixels, largest);
    // The rect covers the picture with the reference font, and by no more
    // than one DLU.
    const PixelRect px = DluToPixels(layout.rect, kReferenceBaseUnits);
    EXPECT_GE(px.width, largest.width);
    EXPECT_GE(px.height, largest.height);
    EXPECT_LT(DluToPixelsX(layout.rect.width - 1, kReferenceBaseUnits),
              largest.width);
    EXPECT_LT(DluToPixelsY(layout.rect.height - 1, kReferenceBaseUnits),
              largest.height);
  }
}

std::uint32_t BigEndian32(const unsigned char* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
         std::uint32_t{p[2]} << 8 | p[3];
}

// The build compiles the pictures in from its own list of their names: the
// same pictures, in the same order, as the table the views index.
TEST(PictureFilesTest, TheBuildsListIsTheTablesList) {
  std::string names;
  for (const PictureInfo& picture : kPictures) {
    if (!names.empty()) names += ' ';
    std::string_view file = picture.file;
    file.remove_suffix(std::string_view(".png").size());
    names += file;
  }
  EXPECT_EQ(names, SROM_PICTURE_NAMES);
}

// Each picture is committed as a PNG beside its SVG source; its IHDR chunk
// (right after the 8-byte signature) holds the width and height.
TEST(PictureFilesTest, CommittedPicturesHaveTheSizesOfTheTable) {
  const std::filesystem::path res = SROM_RES_DIR;
  std::set<std::string_view> files;
  for (std::size_t i = 0; i < kPictures.size(); ++i) {
    const PictureInfo& picture = kPictures[i];
    SCOPED_TRACE(std::string(picture.file));
    EXPECT_EQ(static_cast<std::size_t>(picture.id), i);
    EXPECT_TRUE(files.insert(picture.file).second) << "one file per picture";
    std::ifstream in(res / picture.file, std::ios::binary);
    ASSERT_TRUE(in) << "missing";
    std::array<unsigned char, 24> head{};
    in.read(reinterpret_cast<char*>(head.data()), head.size());
    ASSERT_EQ(in.gcount(), 24);
    constexpr unsigned char kSignature[] = {0x89, 'P',  'N',  'G',
                                            '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(
        std::equal(std::begin(kSignature), std::end(kSignature), head.begin()));
    EXPECT_EQ(std::string(head.begin() + 12, head.begin() + 16), "IHDR");
    EXPECT_EQ(BigEndian32(&head[16]),
              static_cast<std::uint32_t>(picture.width));
    EXPECT_EQ(BigEndian32(&head[20]),
              static_cast<std::uint32_t>(picture.height));
    std::filesystem::path source = res / picture.file;
    source.replace_extension(".svg");
    EXPECT_TRUE(std::filesystem::exists(source)) << source;
  }
}

}  // namespace
}  // namespace srom
