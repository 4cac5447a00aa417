// What only the Win32 window shows, under wine's null display driver, driven
// as the view contract (view_contract_test.cpp) drives it: the system menu
// and the About box, the font's pixels, pictures and redraws, the file
// dialog's folder.
#include "ui/win32/win32_view.h"

#include <commdlg.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/device_sel.h"
#include "ui/data_exchange.h"
#include "ui/layout.h"
#include "ui/picture_ids.h"
#include "ui/win32/win32_dialogs.h"
#include "ui/win32/win32_text.h"
#include "ui/window_texts.h"
#include "view_contract.h"
#include "win32_window_driver.h"

namespace srom::test {

// The view contract runs on the Win32 window.
ViewUnderTest ViewOfThisBinary() {
  return {"Win32", []() -> std::unique_ptr<WindowDriver> {
            return std::make_unique<Win32WindowDriver>();
          }};
}

namespace {

// The window as srom-tool.exe assembles it, driven as the view contract
// drives it, for what only the Win32 window shows.
class Win32WindowTest : public ::testing::Test, public Win32WindowDriver {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(Start()); }
};

class Win32SelectionTest : public Win32WindowTest,
                           public ::testing::WithParamInterface<int> {};

// The preview stands where its entry's layout puts it, in the pixels of the
// window's font.
TEST_P(Win32SelectionTest, ThePreviewStandsWhereTheEntryPutsIt) {
  const int sel = GetParam();
  const int other = sel == kChipAEeprom ? kChipBEeprom : kChipAEeprom;
  Pick(ControlId::kDeviceSel, other);
  Pick(ControlId::kDeviceSel, sel);

  const DluPoint preview =
      IsEfuseSel(sel) ? kPreviewEfusePosition : kPreviewEepromPosition;
  const RECT at = ClientRectOf(ControlId::kPreview);
  const BaseUnits base = view_->base_units();
  EXPECT_EQ(at.left, DluToPixelsX(preview.x, base));
  EXPECT_EQ(at.top, DluToPixelsY(preview.y, base));
}

INSTANTIATE_TEST_SUITE_P(Entries, Win32SelectionTest,
                         ::testing::Values(kChipBEeprom, kChipBEfuse,
                                           kChipAEeprom, kChipAEfuse));

TEST_F(Win32WindowTest, SystemMenuOpensTheAboutBox) {
  std::wstring entry(128, L'\0');
  view_->RunOnWindowThread([&] {
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    entry.resize(static_cast<std::size_t>(GetMenuStringW(
        menu, Win32View::kAboutCommand, entry.data(), 128, MF_BYCOMMAND)));
  });
  EXPECT_EQ(Utf8(entry), kAboutMenuEntry);

  PostMessageW(hwnd_, WM_SYSCOMMAND, Win32View::kAboutCommand, 0);
  HWND about = WaitForDialog(kAboutTitle);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(TextOfWindow(GetDlgItem(about, kAboutVersionItem)),
            kAboutVersionLine);
  EXPECT_EQ(TextOfWindow(GetDlgItem(about, kAboutNoticeItem)), kAboutNotice);
  EXPECT_EQ(TextOfWindow(GetDlgItem(about, IDOK)), kAboutOk);
  EXPECT_NE(SendDlgItemMessageW(about, kAboutIconItem, STM_GETICON, 0, 0), 0);
  EXPECT_EQ(view_->modal_depth(), 1);

  Close(about);
  Settle();
  EXPECT_FALSE(IsWindow(about) && IsWindowVisible(about));
  EXPECT_TRUE(IsWindowVisible(hwnd_)) << "the window stays open";
}

TEST_F(Win32WindowTest, WindowFontGivesTheLayoutsPixels) {
  const auto font =
      reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, face);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  EXPECT_EQ(Utf8(face), kWindowFont);
  EXPECT_EQ(metrics.tmHeight, 14);

  EXPECT_EQ(view_->base_units().horizontal, 7);
  EXPECT_EQ(view_->base_units().vertical, 14);
  RECT client{};
  GetClientRect(hwnd_, &client);
  EXPECT_EQ(client.right, 849);
  EXPECT_EQ(client.bottom, 648);
  // The dialog manager's own conversion agrees.
  RECT area{0, 0, kClientWidthDlu, kClientHeightDlu};
  MapDialogRect(hwnd_, &area);
  EXPECT_EQ(area.right, 849);
  EXPECT_EQ(area.bottom, 648);

  const PixelRect out =
      DluToPixels(LayoutOf(ControlId::kOutputBox).rect, view_->base_units());
  const RECT at = ClientRectOf(ControlId::kOutputBox);
  EXPECT_EQ(at.left, out.x);
  EXPECT_EQ(at.top, out.y);
  EXPECT_EQ(at.right - at.left, out.width);
  EXPECT_EQ(at.bottom - at.top, out.height);
}

// The countdown's 40-point figures fit their label whole, and an adapter's
// caption its box: at the window's size where it fits, smaller where it
// would be cut.
TEST_F(Win32WindowTest, TheCountdownAndAdapterCaptionsFitTheirControls) {
  const auto extent = [this](ControlId id, const std::wstring& text) {
    HWND w = Item(id);
    HDC dc = GetDC(w);
    HGDIOBJ old = SelectObject(
        dc, reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()),
                          &size);
    SelectObject(dc, old);
    ReleaseDC(w, dc);
    return size;
  };
  view_->SetFontPoints(ControlId::kCountdownLabel, 40);
  view_->SetText(ControlId::kCountdownLabel, "15");
  view_->SetText(AdapterBox(1), "KM62058 (Ethernet 2)");
  view_->SetText(AdapterBox(2), "KM62058 (Ethernet Spare)");
  Settle();

  const RECT countdown = ClientRectOf(ControlId::kCountdownLabel);
  const SIZE figures = extent(ControlId::kCountdownLabel, L"15");
  EXPECT_GE(figures.cy, 40);
  EXPECT_LE(figures.cy, countdown.bottom - countdown.top);
  EXPECT_LE(figures.cx, countdown.right - countdown.left);

  const int check = GetSystemMetrics(SM_CXMENUCHECK);
  const RECT box = ClientRectOf(AdapterBox(1));
  EXPECT_LE(extent(AdapterBox(1), L"KM62058 (Ethernet 2)").cx + check,
            box.right - box.left);
  const auto window_font = SendMessageW(hwnd_, WM_GETFONT, 0, 0);
  EXPECT_NE(SendMessageW(Item(AdapterBox(2)), WM_GETFONT, 0, 0), window_font);
  EXPECT_LE(extent(AdapterBox(2), L"KM62058 (Ethernet Spare)").cx + check,
            box.right - box.left);
}

TEST_F(Win32WindowTest, PicturesAreLoadedWithTheWindowsBackground) {
  const COLORREF window_colour = GetSysColor(COLOR_BTNFACE);
  HDC dc = CreateCompatibleDC(nullptr);
  for (const PictureInfo& info : kPictures) {
    HBITMAP picture = view_->picture(info.id);
    BITMAP shown{};
    ASSERT_NE(GetObjectW(picture, sizeof shown, &shown), 0) << info.file;
    EXPECT_EQ(shown.bmWidth, info.width) << info.file;
    EXPECT_EQ(shown.bmHeight, info.height) << info.file;
    HGDIOBJ old = SelectObject(dc, picture);
    EXPECT_EQ(GetPixel(dc, 0, 0), info.window_coloured_background
                                      ? window_colour
                                      : RGB(255, 255, 255))
        << info.file;
    SelectObject(dc, old);
  }
  DeleteDC(dc);
  EXPECT_EQ(
      reinterpret_cast<HBITMAP>(SendMessageW(Item(ControlId::kCautionPicture),
                                             STM_GETIMAGE, IMAGE_BITMAP, 0)),
      view_->picture(PictureId::kCaution));
}

// The window is a fixed dialog: no minimise box in the title bar, and no
// Minimize entry in its system menu.
TEST_F(Win32WindowTest, TheWindowCannotBeMinimised) {
  const auto style = static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_STYLE));
  EXPECT_EQ(style & WS_MINIMIZEBOX, 0u);
  EXPECT_NE(style & WS_SYSMENU, 0u) << "the system menu and close box stay";
  UINT minimize = 0;
  view_->RunOnWindowThread([&] {
    minimize =
        GetMenuState(GetSystemMenu(hwnd_, FALSE), SC_MINIMIZE, MF_BYCOMMAND);
  });
  EXPECT_EQ(minimize, static_cast<UINT>(-1)) << "no Minimize entry";
}

// A control that the logic moves or shows is drawn at once, not when the
// mouse next passes over it: right after the call, before the window thread
// paints anything, the control has something to paint and the window the
// place the control left.
struct RedrawCase {
  const char* name;
  ControlId control;
  bool moves;
  void (*act)(Win32View&);
};
void PrintTo(const RedrawCase& c, std::ostream* out) { *out << c.name; }

class Win32RedrawTest : public Win32WindowTest,
                        public ::testing::WithParamInterface<RedrawCase> {};

TEST_P(Win32RedrawTest, TheControlIsInvalidatedAtOnce) {
  const RedrawCase& c = GetParam();
  bool control_to_paint = false;
  bool left_place_to_paint = true;
  view_->RunOnWindowThread([&] {
    HWND w = Item(c.control);
    RECT before{};
    GetWindowRect(w, &before);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&before), 2);
    RedrawWindow(hwnd_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW |
                     RDW_ERASENOW);
    c.act(*view_);
    control_to_paint = GetUpdateRect(w, nullptr, FALSE) != FALSE;
    if (c.moves) {
      // Where the control was, the window must paint its own background.
      HRGN region = CreateRectRgn(0, 0, 0, 0);
      GetUpdateRgn(hwnd_, region, FALSE);
      left_place_to_paint = RectInRegion(region, &before) != FALSE;
      DeleteObject(region);
    }
  });
  EXPECT_TRUE(control_to_paint);
  EXPECT_TRUE(left_place_to_paint);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, Win32RedrawTest,
    ::testing::Values(
        RedrawCase{"PreviewMovedToLoadSrom", ControlId::kPreview, true,
                   [](Win32View& v) {
                     v.PlaceAt(ControlId::kPreview, ControlId::kLoadSrom);
                   }},
        RedrawCase{"HiddenButtonShown", ControlId::kConvertToBin, false,
                   [](Win32View& v) {
                     v.SetVisible(ControlId::kConvertToBin, false);
                     RedrawWindow(v.hwnd(), nullptr, nullptr,
                                  RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN |
                                      RDW_UPDATENOW | RDW_ERASENOW);
                     v.SetVisible(ControlId::kConvertToBin, true);
                   }}),
    [](const auto& info) { return std::string(info.param.name); });

// Before the first unit no adapter shows a picture: the small blank one, or
// none.
TEST_F(Win32WindowTest, NoAdapterPictureShowsAtStart) {
  for (int k = 0; k < kAdapterSlots; ++k) {
    const auto shown = reinterpret_cast<HBITMAP>(
        SendMessageW(Item(AdapterPicture(k)), STM_GETIMAGE, IMAGE_BITMAP, 0));
    EXPECT_THAT(shown, ::testing::AnyOf(nullptr,
                                        view_->picture(PictureId::kSmallBlank)))
        << "adapter " << k + 1;
  }
}

// "Load SROM" opens its file dialog in the station's folder, wherever the
// program was started from.
TEST_F(Win32WindowTest, TheFileDialogOpensInTheStationFolder) {
  answering_ = false;
  const std::vector<HWND> before = VisibleDialogsOf(window_thread_id_);
  PostMessageW(Item(ControlId::kLoadSrom), BM_CLICK, 0, 0);
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    for (HWND w : VisibleDialogsOf(window_thread_id_)) {
      if (std::find(before.begin(), before.end(), w) == before.end()) {
        dialog = w;
      }
    }
    return dialog != nullptr;
  })) << OpenWindows();
  std::wstring folder(MAX_PATH, L'\0');
  // The explorer dialog answers for the folder it shows.
  const auto length =
      static_cast<int>(SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH,
                                    reinterpret_cast<LPARAM>(folder.data())));
  folder.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  answering_ = true;
  Settle();
  wchar_t expected[MAX_PATH] = {};
  GetFullPathNameW(dir_.wstring().c_str(), MAX_PATH, expected, nullptr);
  std::wstring want = expected;
  if (!want.empty() && want.back() == L'\\') want.pop_back();
  EXPECT_EQ(Utf8(folder), Utf8(want));
}

// After a failed unit the output box keeps showing its first line, with no
// text selected, though it had the focus when the message box took it.
TEST_F(Win32WindowTest, AfterAFailureTheOutputBoxShowsItsFirstLine) {
  adapter_.set_eeprom_cell_stuck(0x20);
  view_->RunOnWindowThread([this] { SetFocus(Item(ControlId::kOutputBox)); });
  PostMessageW(Item(ControlId::kProgram), BM_CLICK, 0, 0);
  Settle();
  ASSERT_TRUE(WaitFor([this] { return !dlg_->job_running(); }));
  Settle();
  ASSERT_THAT(boxes_, ::testing::Not(::testing::IsEmpty()))
      << "the unit should have failed";

  HWND out = Item(ControlId::kOutputBox);
  DWORD start = 0;
  DWORD end = 0;
  SendMessageW(out, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, end) << "no text selected";
  EXPECT_EQ(SendMessageW(out, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  EXPECT_TRUE(IsWindowEnabled(Item(ControlId::kProgram)));
}

// The pixels of `text` drawn in `font`, black on white.
std::vector<std::uint32_t> Drawn(HFONT font, std::wstring_view text) {
  constexpr int kSide = 64;
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  format.bmiHeader.biWidth = kSide;
  format.bmiHeader.biHeight = -kSide;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP canvas =
      CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old_bitmap = SelectObject(dc, canvas);
  HGDIOBJ old_font = SelectObject(dc, font);
  PatBlt(dc, 0, 0, kSide, kSide, WHITENESS);
  SetBkMode(dc, TRANSPARENT);
  TextOutW(dc, 0, 0, text.data(), static_cast<int>(text.size()));
  GdiFlush();
  const auto* first = static_cast<const std::uint32_t*>(bits);
  std::vector<std::uint32_t> pixels(first, first + kSide * kSide);
  SelectObject(dc, old_font);
  SelectObject(dc, old_bitmap);
  DeleteDC(dc);
  DeleteObject(canvas);
  return pixels;
}

// The window's Chinese texts (the About box's OK button, the message box
// that asks for a whole number of seconds) are drawn, not shown as boxes: a
// missing glyph draws the same box for any two characters, a real one
// draws each its own.
TEST_F(Win32WindowTest, ChineseTextsAreDrawnInTheDialogsAndMessageBoxes) {
  PostMessageW(hwnd_, WM_SYSCOMMAND, Win32View::kAboutCommand, 0);
  HWND about = WaitForDialog(kAboutTitle);
  ASSERT_NE(about, nullptr);
  const auto about_font = reinterpret_cast<HFONT>(
      SendMessageW(GetDlgItem(about, IDOK), WM_GETFONT, 0, 0));
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics,
                                    &metrics, 0));
  HFONT message_font = CreateFontIndirectW(&metrics.lfMessageFont);
  const struct {
    const char* name;
    HFONT font;
    std::wstring text;
  } cases[] = {
      {"About box", about_font, Wide(kAboutOk)},
      {"message box", message_font, Wide(kEnterWholeNumber)},
  };
  for (const auto& c : cases) {
    ASSERT_GE(c.text.size(), 2u) << c.name;
    EXPECT_TRUE(Drawn(c.font, c.text.substr(0, 1)) !=
                Drawn(c.font, c.text.substr(1, 1)))
        << c.name << ": " << Utf8(c.text) << " drawn as boxes";
  }
  DeleteObject(message_font);
  Close(about);
  Settle();
}

}  // namespace
}  // namespace srom::test
