// Dump and Erase on the plain sequence: what is kept and saved, the outcome's
// class and the requests in their order.
#include <gtest/gtest.h>

#include <functional>

#include "model/default_images.h"
#include "model/messages.h"
#include "ops/dump.h"
#include "ops_fixture.h"

namespace srom::test {
namespace {

struct DumpRow {
  const char* name;
  std::function<void(OpsTest&)> setup;
  Outcome outcome;
  std::vector<std::string> messages;
  std::string requests;
  const char* saved_file;  // nullptr: nothing saved
};

class DumpOpsTest : public OpsTest,
                    public ::testing::WithParamInterface<DumpRow> {};

TEST_P(DumpOpsTest, EndsAsTheRowSays) {
  const DumpRow& row = GetParam();
  row.setup(*this);
  adapter_.clear_log();

  EXPECT_EQ(RunDumpJob(Context(), nullptr), row.outcome);

  EXPECT_EQ(panel_.messages(), row.messages);
  EXPECT_EQ(RequestOrder(adapter_.log()), row.requests);
  for (const char* file : {"SROM.dat", "EFUSE.dat"}) {
    EXPECT_EQ(Exists(file),
              row.saved_file != nullptr && std::string(row.saved_file) == file)
        << file;
  }
}

void ChipAImageOnTheAdapter(OpsTest& t) {
  const SromDefault& image = DefaultSromImage(Chip::kA);
  t.adapter().set_eeprom(
      std::vector<std::uint8_t>(image.begin(), image.begin() + 256));
}

const DumpRow kDumpRows[] = {
    {"ValidEepromIsKeptAndSaved",
     ChipAImageOnTheAdapter,
     Outcome::kOk,
     {},
     "word x128",
     "SROM.dat"},
    {"BlankEepromIsKept",
     [](OpsTest&) {},
     Outcome::kOk,
     {},
     "word x128",
     "SROM.dat"},
    {"EepromWithAnInvalidByteIsRefused",
     [](OpsTest& t) {
       ChipAImageOnTheAdapter(t);
       auto eeprom = t.adapter().eeprom();
       eeprom[0x0C] = 0x55;
       t.adapter().set_eeprom(eeprom);
     },
     Outcome::kVerifyFailed,
     {msg::kDumpInvalid},
     "word x128",
     nullptr},
    {"EepromReadFails",
     [](OpsTest& t) { t.adapter().set_busy_stuck(true); },
     Outcome::kWriteFailed,
     {msg::kReadEepromFailed},
     "word",
     nullptr},
    {"NoAdapter",
     [](OpsTest& t) { t.adapter().set_plugged(false); },
     Outcome::kDeviceAbsent,
     {msg::kDeviceNotFound},
     "",
     nullptr},
    {"BlankEfuseKeepsNothing",
     [](OpsTest& t) { t.SelectEfuse(kChipAEfuse); },
     Outcome::kOk,
     {},
     "read-efuse",
     nullptr},
    {"ProgrammedEfuseIsKeptAndSaved",
     [](OpsTest& t) {
       t.SelectEfuse(kChipAEfuse);
       std::array<std::uint8_t, 64> fuses{};
       std::copy_n(ImageArea(t.st().prev).begin(), 64, fuses.begin());
       t.adapter().set_efuse(fuses);
     },
     Outcome::kOk,
     {},
     "read-efuse",
     "EFUSE.dat"},
};

INSTANTIATE_TEST_SUITE_P(Rows, DumpOpsTest, ::testing::ValuesIn(kDumpRows),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST_F(OpsTest, EraseWritesFFOverTheWholeEepromAndDumpsIt) {
  ChipAImageOnTheAdapter(*this);
  EXPECT_EQ(EraseEeprom(Context(), nullptr), Outcome::kOk);
  EXPECT_EQ(RequestOrder(adapter_.log()), "write-eeprom, word x128");
  EXPECT_EQ(adapter_.eeprom(), std::vector<std::uint8_t>(256, 0xFF));
  EXPECT_TRUE(Exists("SROM.dat"));
}

TEST_F(OpsTest, EraseWhoseWriteFailsSaysSoEvenThoughTheDumpPasses) {
  adapter_.FailEveryRequest(IOCTL_WRITE_EEPROM);
  EXPECT_EQ(EraseEeprom(Context(), nullptr), Outcome::kWriteFailed);
  EXPECT_EQ(RequestOrder(adapter_.log()), "write-eeprom(failed), word x128");
}

}  // namespace
}  // namespace srom::test
