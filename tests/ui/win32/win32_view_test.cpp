// The real Win32 window under wine's null display driver: the view and the
// window logic live on a window thread of their own with its message loop,
// and the test thread drives the window as another program would, with
// SendMessage and PostMessage, and reads it back through the Win32 API.
// Message boxes are found among the window thread's windows, read and
// answered.
#include "ui/win32/win32_view.h"

#include <commdlg.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "device/sim/simulated_adapter.h"
#include "model/device_sel.h"
#include "model/messages.h"
#include "support/fake_clock.h"
#include "support/temp_folder.h"
#include "ui/data_exchange.h"
#include "ui/device_layout.h"
#include "ui/layout.h"
#include "ui/picture_ids.h"
#include "ui/srom_dlg.h"
#include "ui/win32/win32_dialogs.h"
#include "ui/win32/win32_text.h"
#include "ui/window_texts.h"
#ifdef SROM_HAVE_SQLITE_LEDGER
#include "ledger/sqlite_ledger.h"
#include "ledger/station_ledger.h"
#endif

namespace srom::test {
namespace {

using namespace std::chrono_literals;

// The static control that holds a message box's text.
constexpr int kMessageBoxTextItem = 0xFFFF;

std::string TextOfWindow(HWND hwnd) {
  wchar_t text[4096] = {};
  GetWindowTextW(hwnd, text, 4096);
  return Utf8(text);
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

// The window's dialogs and message boxes open on the window thread.
std::vector<HWND> VisibleDialogsOf(DWORD thread) {
  std::vector<HWND> found;
  EnumThreadWindows(
      thread,
      [](HWND hwnd, LPARAM list) -> BOOL {
        if (IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770") {
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The window as srom-tool.exe assembles it, on a simulated adapter and a
// fresh station folder, on its own thread.
class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_thread_ = std::thread([this] { RunWindow(); });
    ASSERT_TRUE(WaitFor([this] { return started_.load(); }));
    ASSERT_NE(main_.load(), nullptr)
        << "no window: is wine's display driver set?";
    ASSERT_TRUE(init_ok_);
    hwnd_ = main_;
    Settle();
    boxes_.clear();
  }

  void TearDown() override {
    if (hwnd_ != nullptr) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    answering_ = true;
    WaitFor([this] { return ended_.load(); });
    if (window_thread_.joinable()) window_thread_.join();
  }

  void RunWindow() {
    window_thread_id_ = GetCurrentThreadId();
    view_ = std::make_unique<Win32View>();
    main_ = view_->hwnd();
    if (main_ != nullptr) {
      dlg_ = std::make_unique<CKM62058_SromDlg>(*view_, adapter_, clock_,
                                                FileFolders{dir_, dir_});
      view_->set_logic(dlg_.get());
      LedgerOpener ledger;
#ifdef SROM_HAVE_SQLITE_LEDGER
      ledger = OpenStationLedger;
#endif
      init_ok_ = dlg_->OnInitDialog(ledger);
      if (init_ok_) view_->Show();
    }
    started_ = true;
    if (init_ok_) view_->RunMessageLoop();
    dlg_.reset();
    view_.reset();
    ended_ = true;
  }

  HWND Item(ControlId id) const { return GetDlgItem(hwnd_, ItemIdOf(id)); }
  std::string TextOf(ControlId id) const { return TextOfWindow(Item(id)); }

  // Reads and closes every open message box, as the operator would with OK.
  void AnswerBoxes() {
    std::erase_if(answered_, [](HWND box) { return !IsWindow(box); });
    for (HWND box : VisibleDialogsOf(window_thread_id_)) {
      HWND text = GetDlgItem(box, kMessageBoxTextItem);
      if (text == nullptr) continue;                // not a message box
      if (!answered_.insert(box).second) continue;  // closing already
      boxes_.push_back(TextOfWindow(text));
      Close(box);
    }
  }
  // Closes a box or dialog with OK as a click would: posted. A dialog ended
  // from a sent message drops the posted message its loop has just taken.
  static void Close(HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDOK, 0); }

  bool WaitFor(const std::function<bool()>& done,
               std::chrono::milliseconds limit = 30s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      if (answering_) AnswerBoxes();
      Sleep(2);
    }
    return true;
  }

  // Waits until the window thread has handled everything posted to it so
  // far and is back in its message loop with no box open.
  void Settle() {
    for (int round = 0; round < 1000; ++round) {
      auto ran = std::make_shared<std::atomic<bool>>(false);
      auto quiet = std::make_shared<std::atomic<bool>>(false);
      Win32View* view = view_.get();
      view->PostToWindowThread([ran, quiet, view] {
        *quiet = view->modal_depth() == 0;
        *ran = true;
      });
      ASSERT_TRUE(WaitFor([&ran] { return ran->load(); }))
          << "the window thread did not serve a posted task; " << OpenWindows();
      if (*quiet) return;
    }
    FAIL() << "the window never came back to its message loop";
  }

  // The window thread's state and visible windows, for a failure's message.
  std::string OpenWindows() const {
    DWORD_PTR ignored = 0;
    const bool answers = SendMessageTimeoutW(hwnd_, WM_NULL, 0, 0, SMTO_NORMAL,
                                             1000, &ignored) != 0;
    std::string list =
        std::string(answers ? "it answers" : "it does not answer") +
        " a sent message; modal depth " + std::to_string(view_->modal_depth()) +
        "; windows:";
    EnumThreadWindows(
        window_thread_id_,
        [](HWND hwnd, LPARAM text) -> BOOL {
          if (IsWindowVisible(hwnd)) {
            *reinterpret_cast<std::string*>(text) +=
                " \"" + TextOfWindow(hwnd) + "\" (" + Utf8(ClassOf(hwnd)) + ")";
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&list));
    return list;
  }
  void Type(ControlId id, const std::string& keys) {
    HWND box = Item(id);
    SendMessageW(box, EM_SETSEL, 0, -1);
    for (char c : keys) {
      SendMessageW(box, WM_CHAR, static_cast<WPARAM>(c), 0);
    }
  }
  void MoveFocusTo(ControlId id) {
    PostMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)),
                 TRUE);
  }
  // A pick from the list as the operator makes it: the entry selected, and
  // the notification the list sends for that.
  void Pick(ControlId id, int index) {
    SendMessageW(Item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(ItemIdOf(id), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Item(id)));
    Settle();
  }
  HWND WaitForDialog(const std::string& title) {
    HWND found = nullptr;
    WaitFor([&] {
      for (HWND w : VisibleDialogsOf(window_thread_id_)) {
        if (TextOfWindow(w) == title) found = w;
      }
      return found != nullptr;
    });
    return found;
  }
  RECT ClientRectOf(ControlId id) const {
    RECT r{};
    GetWindowRect(Item(id), &r);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  test::TempFolder folder_;
  const std::filesystem::path dir_ = folder_.path();
  SimulatedAdapter adapter_{256};
  FakeClock clock_{LocalTime{2019, 4, 24, 9, 5, 7}};
  std::unique_ptr<Win32View> view_;
  std::unique_ptr<CKM62058_SromDlg> dlg_;
  std::thread window_thread_;
  std::atomic<DWORD> window_thread_id_{0};
  std::atomic<HWND> main_{nullptr};
  std::atomic<bool> started_{false};
  std::atomic<bool> ended_{false};
  bool init_ok_ = false;
  HWND hwnd_ = nullptr;
  bool answering_ = true;
  std::vector<std::string> boxes_;
  std::set<HWND> answered_;
};

TEST_F(Win32WindowTest, TypedAddressIsProgrammedAndStepped) {
  Type(ControlId::kCurrentMac, "00e04c0000a1");
  EXPECT_EQ(TextOf(ControlId::kCurrentMac), "00E04C0000A1") << "upper case";

  PostMessageW(Item(ControlId::kProgram), BM_CLICK, 0, 0);
  Settle();
  ASSERT_TRUE(WaitFor([this] { return !dlg_->job_running(); }));
  Settle();

  EXPECT_THAT(boxes_, ::testing::IsEmpty());
  EXPECT_EQ(TextOf(ControlId::kCurrentMac), "00E04C0000A2");
  EXPECT_EQ(adapter_.eeprom()[0], 0x00);
  EXPECT_EQ(adapter_.eeprom()[5], 0xA1);
  EXPECT_THAT(TextOf(ControlId::kOutputBox),
              ::testing::StartsWith("00 E0 4C 00 00 A1"));
  const auto pass = reinterpret_cast<HBITMAP>(SendMessageW(
      Item(ControlId::kResultPicture), STM_GETIMAGE, IMAGE_BITMAP, 0));
  BITMAP shown{};
  ASSERT_NE(GetObjectW(pass, sizeof shown, &shown), 0);
  EXPECT_EQ(shown.bmWidth, 154);
  EXPECT_EQ(shown.bmHeight, 139);
  EXPECT_TRUE(IsWindowEnabled(Item(ControlId::kProgram)));
  EXPECT_TRUE(IsWindowEnabled(Item(ControlId::kVendorId)));
}

TEST_F(Win32WindowTest, RejectedSettingShowsItsMessageAndPutsTheTextBack) {
  answering_ = false;
  MoveFocusTo(ControlId::kVendorId);
  Settle();
  Type(ControlId::kVendorId, "4g-c1");
  EXPECT_EQ(TextOf(ControlId::kVendorId), "4C1")
      << "the hex box drops what it does not take and shows upper case";

  MoveFocusTo(ControlId::kProductId);
  std::vector<std::string> texts;
  for (int i = 0; i < 2; ++i) {
    HWND box = WaitForDialog(kMessageBoxTitle);
    ASSERT_NE(box, nullptr) << "message box " << i + 1;
    texts.push_back(TextOfWindow(GetDlgItem(box, kMessageBoxTextItem)));
    Close(box);
    ASSERT_TRUE(WaitFor([box] { return !IsWindow(box); }));
  }
  Settle();

  EXPECT_THAT(texts, ::testing::ElementsAre("Wrong Vendor ID Length",
                                            msg::kCheckDataCorrectFail));
  EXPECT_EQ(TextOf(ControlId::kVendorId), "4C1E");
  EXPECT_THAT(VisibleDialogsOf(window_thread_id_),
              ::testing::ElementsAre(hwnd_));
}

class Win32SelectionTest : public Win32WindowTest,
                           public ::testing::WithParamInterface<int> {};

TEST_P(Win32SelectionTest, EachEntryShowsItsLayout) {
  const int sel = GetParam();
  const int other = sel == kChipAEeprom ? kChipBEeprom : kChipAEeprom;
  Pick(ControlId::kDeviceSel, other);
  Pick(ControlId::kDeviceSel, sel);

  EXPECT_EQ(TextOfWindow(hwnd_), WindowTitle(sel));
  for (ControlId id : SelectionDependentControls()) {
    EXPECT_EQ(IsWindowVisible(Item(id)) != FALSE, *VisibleIn(id, sel))
        << ControlName(id);
  }
  EXPECT_EQ(TextOf(ControlId::kSave), SaveButtonCaption(sel));
  EXPECT_EQ(TextOf(ControlId::kLoadEeprom), LoadButtonCaption(sel));
  const bool efuse = sel == kChipAEfuse || sel == kChipBEfuse;
  const DluPoint preview =
      efuse ? kPreviewEfusePosition : kPreviewEepromPosition;
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

TEST_F(Win32WindowTest, ClosingDuringAJobClosesWhenTheJobEnds) {
  // An eFuse unit whose bits need a second write waits between its writes;
  // the test holds it there, however slow the machine, while the close comes.
  Pick(ControlId::kDeviceSel, kChipAEfuse);
  adapter_.set_weak_efuse_bits(0, 0x0F, 3);
  std::atomic<bool> waiting{false};
  std::atomic<bool> go_on{false};
  clock_.during_sleep = [&](int) {
    waiting = true;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!go_on && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
    }
  };
  PostMessageW(Item(ControlId::kProgram), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitFor([&waiting] { return waiting.load(); }));
  PostMessageW(hwnd_, WM_CLOSE, 0, 0);
  Settle();
  EXPECT_TRUE(IsWindowVisible(hwnd_)) << "held while the unit is written";

  // The window's message loop ends once the job has, and the window goes.
  go_on = true;
  ASSERT_TRUE(WaitFor([this] { return ended_.load(); }));
  EXPECT_FALSE(IsWindow(hwnd_));
  EXPECT_EQ(adapter_.efuse()[5], 0x01) << "the unit was written to its end";
  hwnd_ = nullptr;
}

TEST_F(Win32WindowTest, DestroyingTheLogicDuringAJobServesTheJobToItsEnd) {
  adapter_.set_latency(std::chrono::microseconds(300));
  std::atomic<bool> was_running{false};
  std::atomic<bool> destroyed{false};
  PostMessageW(Item(ControlId::kProgram), BM_CLICK, 0, 0);
  view_->PostToWindowThread([&] {
    was_running = dlg_->job_running();
    view_->set_logic(nullptr);
    dlg_.reset();  // waits for the job, which needs the window thread
    destroyed = true;
  });
  ASSERT_TRUE(WaitFor([&destroyed] { return destroyed.load(); }));
  EXPECT_TRUE(was_running);
  EXPECT_EQ(adapter_.eeprom()[5], 0x01);
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
