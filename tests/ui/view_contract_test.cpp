// The cases every view of the window passes, written once over the
// WindowDriver and run on the view of the test binary (ViewOfThisBinary):
// a typed address programmed, a rejected setting put back, each device
// selection's layout, and a close or the logic's end while a unit is written.
#include "view_contract.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "model/device_sel.h"
#include "model/messages.h"
#include "ui/device_layout.h"
#include "ui/picture_ids.h"
#include "ui/window_texts.h"

namespace srom::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

constexpr int kSelections[] = {kChipBEeprom, kChipBEfuse, kChipAEeprom,
                               kChipAEfuse};

std::string SelectionName(int sel) {
  switch (sel) {
    case kChipBEeprom:
      return "ChipBEeprom";
    case kChipBEfuse:
      return "ChipBEfuse";
    case kChipAEeprom:
      return "ChipAEeprom";
    case kChipAEfuse:
      return "ChipAEfuse";
  }
  return "Selection" + std::to_string(sel);
}

INSTANTIATE_TEST_SUITE_P(Views, ViewContract,
                         ::testing::Values(ViewOfThisBinary()),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

INSTANTIATE_TEST_SUITE_P(
    Views, ViewSelectionContract,
    ::testing::Combine(::testing::Values(ViewOfThisBinary()),
                       ::testing::ValuesIn(kSelections)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" +
             SelectionName(std::get<1>(info.param));
    });

// An eFuse unit whose bits need a second write waits between its writes;
// the hold keeps it there, however slow the machine, until released. The
// clock's hook shares the hold's state, so a late sleep never reaches a hold
// that is gone.
class RetryWaitHold {
 public:
  explicit RetryWaitHold(WindowDriver& window) : window_(window) {
    window.adapter().set_weak_efuse_bits(0, 0x0F, 3);
    window.clock().during_sleep = [state = state_](int) {
      state->waiting = true;
      const auto deadline = std::chrono::steady_clock::now() + 30s;
      while (!state->released && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
      }
    };
  }
  ~RetryWaitHold() { Release(); }

  bool WaitUntilHeld() {
    return window_.WaitFor([this] { return state_->waiting.load(); });
  }
  void Release() { state_->released = true; }

 private:
  struct State {
    std::atomic<bool> waiting{false};
    std::atomic<bool> released{false};
  };
  WindowDriver& window_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

TEST_P(ViewContract, TypedAddressIsProgrammedAndStepped) {
  WindowDriver& w = window();
  w.Type(ControlId::kCurrentMac, "00e04c0000a1");
  EXPECT_EQ(w.Text(ControlId::kCurrentMac), "00E04C0000A1") << "upper case";

  w.Click(ControlId::kProgram);
  w.Settle();
  ASSERT_TRUE(w.WaitFor([&w] { return !w.JobRunning(); }));
  w.Settle();

  EXPECT_THAT(w.boxes(), IsEmpty());
  EXPECT_EQ(w.Text(ControlId::kCurrentMac), "00E04C0000A2");
  EXPECT_EQ(w.adapter().eeprom()[0], 0x00);
  EXPECT_EQ(w.adapter().eeprom()[5], 0xA1);
  EXPECT_THAT(w.Text(ControlId::kOutputBox), StartsWith("00 E0 4C 00 00 A1"));
  const PictureInfo& pass = PictureOf(PictureId::kPass);
  EXPECT_EQ(w.PictureSize(ControlId::kResultPicture),
            std::make_pair(pass.width, pass.height));
  EXPECT_TRUE(w.Enabled(ControlId::kProgram));
  EXPECT_TRUE(w.Enabled(ControlId::kVendorId));
}

TEST_P(ViewContract, RejectedSettingShowsItsMessageAndPutsTheTextBack) {
  WindowDriver& w = window();
  w.Type(ControlId::kVendorId, "4g-c1");
  EXPECT_EQ(w.Text(ControlId::kVendorId), "4C1")
      << "the hex box drops what it does not take and shows upper case";

  w.LeaveBox(ControlId::kVendorId);
  ASSERT_TRUE(w.WaitFor([&w] { return w.boxes().size() >= 2; }));
  w.Settle();

  EXPECT_THAT(
      w.boxes(),
      ElementsAre(ShownBox{kMessageBoxTitle, "Wrong Vendor ID Length"},
                  ShownBox{kMessageBoxTitle, msg::kCheckDataCorrectFail}));
  EXPECT_EQ(w.Text(ControlId::kVendorId), "4C1E");
  EXPECT_THAT(w.OpenDialogs(), IsEmpty());
  EXPECT_TRUE(w.Shown());
}

TEST_P(ViewSelectionContract, EachEntryShowsItsLayout) {
  WindowDriver& w = window();
  const int sel = Selection();
  const int other = sel == kChipAEeprom ? kChipBEeprom : kChipAEeprom;
  w.Pick(ControlId::kDeviceSel, other);
  w.Pick(ControlId::kDeviceSel, sel);
  ASSERT_TRUE(w.WaitFor([&w, sel] { return w.Title() == WindowTitle(sel); }))
      << w.Title();

  for (ControlId id : SelectionDependentControls()) {
    EXPECT_EQ(w.Visible(id), *VisibleIn(id, sel)) << ControlName(id);
  }
  EXPECT_EQ(w.Text(ControlId::kSave), SaveButtonCaption(sel));
  EXPECT_EQ(w.Text(ControlId::kLoadEeprom), LoadButtonCaption(sel));
}

TEST_P(ViewContract, ClosingDuringAJobClosesWhenTheJobEnds) {
  WindowDriver& w = window();
  w.Pick(ControlId::kDeviceSel, kChipAEfuse);
  RetryWaitHold hold(w);
  w.Click(ControlId::kProgram);
  ASSERT_TRUE(hold.WaitUntilHeld());

  w.CloseWindow();
  w.Settle();
  EXPECT_TRUE(w.Shown()) << "held while the unit is written";
  EXPECT_FALSE(w.Closed()) << "held while the unit is written";

  hold.Release();
  ASSERT_TRUE(w.WaitFor([&w] { return w.Closed(); }));
  EXPECT_FALSE(w.Shown());
  EXPECT_FALSE(w.JobRunning());
  EXPECT_EQ(w.adapter().efuse()[5], 0x01) << "the unit was written to its end";
}

TEST_P(ViewContract, DestroyingTheLogicDuringAJobServesTheJobToItsEnd) {
  WindowDriver& w = window();
  w.Pick(ControlId::kDeviceSel, kChipAEfuse);
  RetryWaitHold hold(w);
  w.Click(ControlId::kProgram);
  ASSERT_TRUE(hold.WaitUntilHeld());
  // The unit goes on while the logic is being destroyed, which waits for it.
  std::thread release([&hold] {
    std::this_thread::sleep_for(200ms);
    hold.Release();
  });
  EXPECT_TRUE(w.DestroyLogic()) << "the job should still have been running";
  release.join();
  EXPECT_EQ(w.adapter().efuse()[5], 0x01) << "the unit was written to its end";
}

}  // namespace
}  // namespace srom::test
