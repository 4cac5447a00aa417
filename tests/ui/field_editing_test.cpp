// Editing the main window's fields: what the boxes take and show, the rules
// on every change and on losing the focus, the LED boxes, the lists and the
// key filter, driven key by key and click by click on the FakeView.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "model/led_rules.h"
#include "model/validation.h"
#include "ui/box_rules.h"
#include "ui/data_exchange.h"
#include "window_fixture.h"

namespace srom::test {
namespace {

constexpr char kBs = kBackspace;

// Types into a box as an edit control does: a character the box does not
// take is dropped; backspace deletes the last character; the first character
// replaces a selected text; a full box takes no more. The box's rule runs
// after every change. Returns the box's text after each key, and the texts
// of `watch` after each key.
struct Typed {
  std::vector<std::string> shown;
  std::vector<std::vector<std::string>> watched;
};

Typed TypeKeys(FakeView& view, CKM62058_SromDlg& dlg, ControlId box,
               const std::string& keys, bool selected,
               const std::vector<ControlId>& watch) {
  Typed out;
  out.watched.resize(watch.size());
  bool replace = selected;
  for (const char key : keys) {
    FakeView::ControlState& state = view.State(box);
    if (BoxTakes(box, key)) {
      std::string text = replace ? std::string() : state.text;
      if (key == kBackspace) {
        if (!text.empty()) text.pop_back();
      } else if (state.limit == 0 ||
                 static_cast<int>(text.size()) < state.limit) {
        text += ShownAs(box, key);
      }
      replace = false;
      if (text != state.text) {
        state.text = text;
        dlg.OnTextChanged(box);
      }
    }
    out.shown.push_back(view.State(box).text);
    for (std::size_t i = 0; i < watch.size(); ++i) {
      out.watched[i].push_back(view.State(watch[i]).text);
    }
  }
  return out;
}

// ---- What the boxes take and show -----------------------------------------

constexpr ControlId kHexBoxes[] = {
    ControlId::kCurrentMac,    ControlId::kMaximumMac,
    ControlId::kCurrentSerial, ControlId::kMaximumSerial,
    ControlId::kVendorId,      ControlId::kProductId,
    ControlId::kFlagByte,
};

TEST(BoxRulesTest, HexBoxesTakeHexDigitsAndBackspaceOnly) {
  for (const ControlId box : kHexBoxes) {
    for (int c = 0; c < 128; ++c) {
      const char ch = static_cast<char>(c);
      const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                       (c >= 'A' && c <= 'F');
      EXPECT_EQ(BoxTakes(box, ch), hex || c == 8)
          << ControlName(box) << " character " << c;
    }
    EXPECT_EQ(ShownAs(box, 'e'), 'E') << ControlName(box);
    EXPECT_EQ(ShownText(box, "0a-bc"), "0A-BC")
        << "pasted text is not filtered";
  }
}

TEST(BoxRulesTest, OtherBoxesTakeEverythingAndOnlySwFieldShowsUpperCase) {
  const struct {
    ControlId box;
    char shown_for_a;
  } cases[] = {
      {ControlId::kSwField, 'A'},       {ControlId::kManufacturer, 'a'},
      {ControlId::kProduct, 'a'},       {ControlId::kSuperBusPower, 'a'},
      {ControlId::kHighSelfPower, 'a'}, {ControlId::kDelayTime, 'a'},
  };
  for (const auto& c : cases) {
    for (const char ch : {'a', '-', 'z', '\x16', '"'}) {
      EXPECT_TRUE(BoxTakes(c.box, ch)) << ControlName(c.box) << ' ' << +ch;
    }
    EXPECT_EQ(ShownAs(c.box, 'a'), c.shown_for_a) << ControlName(c.box);
  }
}

// ---- Typing, with the rules on every change --------------------------------

struct TypingCase {
  const char* name;
  std::function<void(SromSettings&)> setup;
  ControlId box;
  bool selected;  // the box's text is selected, so the first key replaces it
  std::string keys;
  std::vector<std::string> shown;  // the box after each key
  std::vector<ControlId> watch = {};
  std::vector<std::vector<std::string>> watched = {};  // each watched, per key
  std::vector<std::string> messages = {};
};

void PrintTo(const TypingCase& c, std::ostream* os) { *os << c.name; }

class TypingTest : public WindowTest,
                   public ::testing::WithParamInterface<TypingCase> {};

TEST_P(TypingTest, ShowsEachKeyAsTheRulesLeaveIt) {
  const TypingCase& c = GetParam();
  if (c.setup) c.setup(settings());
  Show();
  view_.ClearEvents();
  const Typed typed =
      TypeKeys(view_, *dlg_, c.box, c.keys, c.selected, c.watch);
  EXPECT_EQ(typed.shown, c.shown);
  for (std::size_t i = 0; i < c.watch.size(); ++i) {
    EXPECT_EQ(typed.watched[i], c.watched[i]) << ControlName(c.watch[i]);
  }
  EXPECT_EQ(view_.messages(), c.messages);
}

void ChipBEeprom(SromSettings& s) { s.DeviceSel = kChipBEeprom; }

INSTANTIATE_TEST_SUITE_P(
    Boxes, TypingTest,
    ::testing::Values(
        TypingCase{"HexBoxShowsUpperCaseAndDropsOtherKeys",
                   nullptr,
                   ControlId::kVendorId,
                   true,
                   "4c-1\x16"
                   "e",
                   {"4", "4C", "4C", "4C1", "4C1", "4C1E"}},
        TypingCase{"BackspaceEditsAHexBox",
                   nullptr,
                   ControlId::kFlagByte,
                   false,
                   {kBs, kBs, 'a', '7', '1'},
                   {"7", "", "A", "A7", "A7"}},
        TypingCase{"SwFieldShowsUpperCaseAndTakesAnything",
                   nullptr,
                   ControlId::kSwField,
                   true,
                   "a-z",
                   {"A", "A-", "A-Z"}},
        TypingCase{"StringBoxKeepsWhatIsTyped",
                   nullptr,
                   ControlId::kManufacturer,
                   true,
                   "aB c",
                   {"a", "aB", "aB ", "aB c"}},
        TypingCase{"SuperSpeedBusIsHalvedIntoTheLowerSpeeds",
                   nullptr,
                   ControlId::kSuperBusPower,
                   true,
                   "496",
                   {"4", "49", "496"},
                   {ControlId::kHighBusPower, ControlId::kFullBusPower},
                   {{"2", "24", "248"}, {"2", "24", "248"}}},
        TypingCase{"LetterInAPowerBoxIsRemovedAtOnce",
                   nullptr,
                   ControlId::kSuperBusPower,
                   true,
                   "4x9",
                   {"4", "4", "49"},
                   {ControlId::kHighBusPower},
                   {{"2", "2", "24"}}},
        TypingCase{"ClearedSuperSpeedSelfDerivesZero",
                   [](SromSettings& s) {
                     s.SuperSelfPower = "100";
                     DerivePowerRows(s);
                   },
                   ControlId::kSuperSelfPower,
                   false,
                   {kBs, kBs, kBs},
                   {"10", "1", ""},
                   {ControlId::kHighSelfPower, ControlId::kFullSelfPower},
                   {{"5", "0", "0"}, {"5", "0", "0"}}},
        TypingCase{"HighSpeedIsCopiedIntoFullSpeed",
                   ChipBEeprom,
                   ControlId::kHighBusPower,
                   true,
                   "25",
                   {"2", "25"},
                   {ControlId::kFullBusPower, ControlId::kSuperBusPower},
                   {{"2", "25"}, {"496", "496"}}},
        TypingCase{"OtherChipsProductIdIsCorrected",
                   ChipBEeprom,
                   ControlId::kProductId,
                   true,
                   "0580",
                   {"0", "05", "058", "057D"},
                   {},
                   {},
                   {"Current Device Selection is KM62057D"}},
        TypingCase{"ThisChipsProductIdIsAccepted",
                   nullptr,
                   ControlId::kProductId,
                   true,
                   "0580",
                   {"0", "05", "058", "0580"}},
        TypingCase{"SerialFollowsTheCurrentMac",
                   [](SromSettings& s) {
                     s.BasedOnMac = true;
                     s.CurrentSerial = "AB000000000001";
                   },
                   ControlId::kCurrentMac,
                   true,
                   "0a0b0c0d0e0f0",  // one key more than the box takes
                   {"0", "0A", "0A0", "0A0B", "0A0B0", "0A0B0C", "0A0B0C0",
                    "0A0B0C0D", "0A0B0C0D0", "0A0B0C0D0E", "0A0B0C0D0E0",
                    "0A0B0C0D0E0F", "0A0B0C0D0E0F"},
                   {ControlId::kCurrentSerial},
                   {{"AB0", "AB0A", "AB0A0", "AB0A0B", "AB0A0B0", "AB0A0B0C",
                     "AB0A0B0C0", "AB0A0B0C0D", "AB0A0B0C0D0", "AB0A0B0C0D0E",
                     "AB0A0B0C0D0E0", "AB0A0B0C0D0E0F", "AB0A0B0C0D0E0F"}}},
        TypingCase{"SerialDoesNotFollowWithoutBasedOnMac",
                   nullptr,
                   ControlId::kCurrentMac,
                   true,
                   "0a",
                   {"0", "0A"},
                   {ControlId::kCurrentSerial},
                   {{"00000000000001", "00000000000001"}}},
        TypingCase{"MaximumSerialFollowsTheMaximumMac",
                   [](SromSettings& s) { s.BasedOnMac = true; },
                   ControlId::kMaximumMac,
                   true,
                   "0a",
                   {"0", "0A"},
                   {ControlId::kMaximumSerial},
                   {{"FF0", "FF0A"}}},
        TypingCase{"DelayTimeAboveFifteenIsClamped",
                   [](SromSettings& s) { s.DelayTime = 5; },
                   ControlId::kDelayTime,
                   true,
                   "20",
                   {"2", "15"},
                   {},
                   {},
                   {"輸入 0 和 15 之間的整數。"}},
        TypingCase{"DelayTimeMinusBringsThePreviousValueBack",
                   [](SromSettings& s) { s.DelayTime = 5; },
                   ControlId::kDelayTime,
                   true,
                   "-",
                   {"5"},
                   {},
                   {},
                   {"輸入整數。"}},
        TypingCase{"DelayTimeIsNeverLeftEmpty",
                   [](SromSettings& s) { s.DelayTime = 7; },
                   ControlId::kDelayTime,
                   false,
                   {kBs},
                   {"7"},
                   {},
                   {},
                   {"輸入整數。"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Losing the focus -------------------------------------------------------

struct FocusCase {
  const char* name;
  int device_sel;
  ControlId box;
  std::string typed;
  std::vector<std::string> messages;
  std::string shown_after;  // the box once the rule has run
  std::string record_after;
  std::string LastAccepted::*entry;  // null: the box has none
  std::string accepted_after;
  bool image_changed;
};

void PrintTo(const FocusCase& c, std::ostream* os) { *os << c.name; }

class FocusLossTest : public WindowTest,
                      public ::testing::WithParamInterface<FocusCase> {};

TEST_P(FocusLossTest, ChecksRebuildsAndRemembersOnlyWhatPassed) {
  const FocusCase& c = GetParam();
  if (IsEfuseSel(c.device_sel)) {
    SelectEfuse(c.device_sel);
  } else {
    settings().DeviceSel = c.device_sel;
  }
  Show();
  ASSERT_TRUE(dlg_->RefreshImage());
  const ImageBuffer before = station().prev;
  view_.ClearEvents();
  TypeKeys(view_, *dlg_, c.box, c.typed, true, {});
  dlg_->OnKillFocus(c.box);
  EXPECT_EQ(view_.messages(), c.messages);
  EXPECT_EQ(view_.State(c.box).text, c.shown_after);
  EXPECT_EQ(*FieldText(settings(), FieldOf(c.box)), c.record_after);
  if (c.entry) {
    EXPECT_EQ(station().accepted.*c.entry, c.accepted_after);
  }
  EXPECT_EQ(station().prev != before, c.image_changed);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, FocusLossTest,
    ::testing::Values(
        FocusCase{"VendorIsRemembered",
                  kChipAEeprom,
                  ControlId::kVendorId,
                  "1234",
                  {},
                  "1234",
                  "1234",
                  &LastAccepted::VendorId,
                  "1234",
                  true},
        FocusCase{"ShortVendorIsPutBackAndNotRemembered",
                  kChipAEeprom,
                  ControlId::kVendorId,
                  "4C1",
                  {"Wrong Vendor ID Length", "CheckDataCorrect FAIL"},
                  "4C1E",
                  "4C1",
                  &LastAccepted::VendorId,
                  "4C1E",
                  false},
        FocusCase{"ShortMacIsPutBackThroughItsRuleIntoTheRecord",
                  kChipAEeprom,
                  ControlId::kCurrentMac,
                  "00000000002",
                  {"Wrong Current Mac Address Length", "CheckDataCorrect FAIL"},
                  "000000000001",
                  "000000000001",
                  &LastAccepted::CurrentMac,
                  "000000000001",
                  false},
        FocusCase{"LowSuperSpeedBusPowerIsPutBack",
                  kChipAEeprom,
                  ControlId::kSuperBusPower,
                  "4",
                  {"Bus Power Can not be less than 8", "CheckDataCorrect FAIL"},
                  "496",
                  "496",
                  &LastAccepted::BusPower,
                  "496",
                  false},
        FocusCase{"SuperSpeedBusPowerIsRememberedAsBusPower",
                  kChipAEeprom,
                  ControlId::kSuperBusPower,
                  "512",
                  {},
                  "512",
                  "512",
                  &LastAccepted::BusPower,
                  "512",
                  true},
        FocusCase{"HighSpeedSelfPowerIsRememberedAsSelfPower",
                  kChipBEeprom,
                  ControlId::kHighSelfPower,
                  "100",
                  {},
                  "100",
                  "100",
                  &LastAccepted::SelfPower,
                  "100",
                  true},
        FocusCase{"ManufacturerIsRemembered",
                  kChipAEeprom,
                  ControlId::kManufacturer,
                  "New Maker",
                  {},
                  "New Maker",
                  "New Maker",
                  &LastAccepted::Manufacturer,
                  "New Maker",
                  true},
        FocusCase{"BlankProductStringShowsTheAcceptedOneAgain",
                  kChipAEeprom,
                  ControlId::kProduct,
                  " ",
                  {},
                  "KM62058",
                  "KM62058",
                  &LastAccepted::Product,
                  "KM62058",
                  false},
        FocusCase{"MaximumSerialIsRemembered",
                  kChipAEeprom,
                  ControlId::kMaximumSerial,
                  "FFFFFFFFFFFFF0",
                  {},
                  "FFFFFFFFFFFFF0",
                  "FFFFFFFFFFFFF0",
                  &LastAccepted::MaximumSerial,
                  "FFFFFFFFFFFFF0",
                  false},
        FocusCase{"FlagIsRemembered",
                  kChipAEeprom,
                  ControlId::kFlagByte,
                  "63",
                  {},
                  "63",
                  "63",
                  &LastAccepted::FlagByte,
                  "63",
                  true},
        FocusCase{"SwFieldRebuildsTheImageAndHasNoEntry",
                  kChipAEeprom,
                  ControlId::kSwField,
                  "00FF",
                  {},
                  "00FF",
                  "00FF",
                  nullptr,
                  "",
                  true},
        FocusCase{"MacInAnEfuseSelectionRebuildsTheEfuseImage",
                  kChipAEfuse,
                  ControlId::kCurrentMac,
                  "0A0B0C0D0E10",
                  {},
                  "0A0B0C0D0E10",
                  "0A0B0C0D0E10",
                  &LastAccepted::CurrentMac,
                  "0A0B0C0D0E10",
                  true}),
    [](const auto& info) { return std::string(info.param.name); });

// A rejected text must never become the one a later failure puts back.
TEST_F(WindowTest, SecondFailureInABoxPutsBackTheLastTextThatPassed) {
  for (const char* bad : {"4C1", "12"}) {
    view_.ClearEvents();
    TypeKeys(view_, *dlg_, ControlId::kVendorId, bad, true, {});
    dlg_->OnKillFocus(ControlId::kVendorId);
    EXPECT_EQ(view_.State(ControlId::kVendorId).text, "4C1E") << bad;
    EXPECT_EQ(view_.messages().front(), "Wrong Vendor ID Length") << bad;
  }
}

TEST_F(WindowTest, LeavingDelayTimeChecksNothing) {
  Type(ControlId::kVendorId, "4C1");
  dlg_->OnKillFocus(ControlId::kDelayTime);
  EXPECT_TRUE(view_.messages().empty());
  EXPECT_EQ(settings().VendorId, "4C1E") << "no exchange either";
}

// ---- LED boxes -------------------------------------------------------------

// One click and the state it leaves: LedWord, and the LED's six boxes in the
// order "USB3.0", "Active", "10Mbps", "100Mbps", "Giga", "Duplex", each 'x'
// checked, 'o' enabled and unchecked, '-' disabled and unchecked.
struct LedClick {
  int led;
  int bit;  // 0..4 as LedBitBox; -1 for "USB3.0"
  std::uint16_t word_after;
  const char* boxes_after;
};

struct LedCase {
  const char* name;
  std::vector<LedClick> clicks;
};

void PrintTo(const LedCase& c, std::ostream* os) { *os << c.name; }

class LedBoxTest : public WindowTest,
                   public ::testing::WithParamInterface<LedCase> {
 protected:
  std::string Boxes(int led) {
    std::string out;
    for (int bit = -1; bit <= kLedDuplexBit; ++bit) {
      const auto& b =
          view_.State(bit < 0 ? LedUsb3Box(led) : LedBitBox(led, bit));
      out += b.checked ? (b.enabled ? 'x' : '!') : (b.enabled ? 'o' : '-');
    }
    return out;
  }
};

TEST_P(LedBoxTest, EachClickLeavesTheLedWordAndBoxes) {
  // As start-up leaves them: LED values 01, 0E, 0F; bit 15 set.
  dlg_->ApplyLedBits();
  ASSERT_EQ(settings().LedWord, 0xBDC1);
  view_.ClearEvents();
  int n = 0;
  for (const LedClick& click : GetParam().clicks) {
    SCOPED_TRACE("click " + std::to_string(++n));
    const ControlId box =
        click.bit < 0 ? LedUsb3Box(click.led) : LedBitBox(click.led, click.bit);
    ASSERT_TRUE(view_.State(box).enabled) << "a disabled box takes no click";
    view_.State(box).checked = !view_.State(box).checked;
    if (click.bit < 0) {
      dlg_->OnLedUsb3Clicked(click.led);
    } else {
      dlg_->OnLedBoxClicked(click.led, click.bit);
    }
    EXPECT_EQ(settings().LedWord, click.word_after);
    EXPECT_EQ(settings().LedSetting[click.led],
              LedBits(click.word_after, click.led));
    EXPECT_EQ(Boxes(click.led), click.boxes_after);
    const auto area = ImageArea(station().prev);
    EXPECT_EQ(area[0x84] | area[0x85] << 8, click.word_after) << "image";
  }
  EXPECT_TRUE(view_.messages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, LedBoxTest,
    ::testing::Values(LedCase{"DuplexStandsAloneAndUncheckingItClearsTheLed",
                              {{1, 4, 0xBE01, "-----x"},
                               {1, 4, 0xBC01, "oooooo"},
                               {1, 3, 0xBD01, "ooooxo"}}},
                      LedCase{"SpeedBoxesSetAndClearTheirOwnBit",
                              {{0, 3, 0xBDC9, "oxooxo"},
                               {0, 1, 0xBDCB, "oxxoxo"},
                               {0, 0, 0xBDCA, "ooxoxo"}}},
                      LedCase{"Usb3ClearsTheLedAndUncheckingItKeepsItClear",
                              {{0, -1, 0xBDC0, "x-----"},
                               {0, -1, 0xBDC0, "oooooo"},
                               {0, 0, 0xBDC1, "oxoooo"}}},
                      LedCase{"LastLedKeepsBit15",
                              {{2, 4, 0xC1C1, "-----x"},
                               {2, 4, 0x81C1, "oooooo"},
                               {2, 2, 0x91C1, "oooxoo"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Lists and size buttons ------------------------------------------------

TEST_F(WindowTest, MacIncreaseByIsFollowedOnlyWithBasedOnMac) {
  for (const bool based : {false, true}) {
    settings().BasedOnMac = based;
    view_.State(ControlId::kSerialIncrement).list_index = 1;
    view_.State(ControlId::kMacIncrement).list_index = 3;
    dlg_->OnMacIncrementPicked();
    EXPECT_EQ(view_.State(ControlId::kSerialIncrement).list_index,
              based ? 3 : 1)
        << based;
  }
}

TEST_F(WindowTest, SizeButtonRebuildsTheImageAtTheNewSize) {
  view_.State(ControlId::kSromSize256).checked = false;
  view_.State(ControlId::kSromSize512).checked = true;
  dlg_->OnSromSizeClicked();
  EXPECT_EQ(settings().SromSize, 1);
  EXPECT_EQ(station().image_size, 512);
  const std::string& listing = view_.State(ControlId::kOutputBox).text;
  EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 32) << listing;
}

// ---- Key filter ------------------------------------------------------------

struct KeyCase {
  const char* name;
  std::optional<ControlId> focus;
  Key key;
  bool bar_code;
  bool consumed;
  const char* current_mac_after;  // in the record
  std::size_t writes;
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class KeyFilterTest : public WindowTest,
                      public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyFilterTest, HandlesTheKey) {
  const KeyCase& c = GetParam();
  view_.State(ControlId::kBarCode).checked = c.bar_code;
  Type(ControlId::kCurrentMac, "00AABBCCDD00");
  EXPECT_EQ(dlg_->OnKey(c.focus, c.key), c.consumed);
  EXPECT_EQ(settings().CurrentMac, c.current_mac_after);
  EXPECT_EQ(view_.State(ControlId::kCurrentMac).text,
            c.writes ? "00AABBCCDD01" : "00AABBCCDD00");
  EXPECT_EQ(port_.Requests(IOCTL_WRITE_EEPROM).size(), c.writes);
  EXPECT_FALSE(view_.closed());
  if (c.writes) {
    EXPECT_EQ(view_.events().back(), "select all: kCurrentMac");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyFilterTest,
    ::testing::Values(KeyCase{"EscapeInABoxIsDiscarded", ControlId::kCurrentMac,
                              Key::kEscape, true, true, "000000000001", 0},
                      KeyCase{"EscapeWithoutFocusIsDiscarded", std::nullopt,
                              Key::kEscape, false, true, "000000000001", 0},
                      KeyCase{"EnterElsewhereIsDiscardedAndScansNothing",
                              ControlId::kVendorId, Key::kEnter, true, true,
                              "000000000001", 0},
                      KeyCase{
                          "EnterInTheMacBoxWithoutBarCodeOnlyTakesTheFields",
                          ControlId::kCurrentMac, Key::kEnter, false, true,
                          "00AABBCCDD00", 0},
                      KeyCase{"EnterInTheMacBoxWithBarCodeProgramsOneUnit",
                              ControlId::kCurrentMac, Key::kEnter, true, true,
                              "00AABBCCDD01", 1},
                      KeyCase{"OtherKeysGoToTheBox", ControlId::kCurrentMac,
                              Key::kOther, true, false, "000000000001", 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace srom::test
