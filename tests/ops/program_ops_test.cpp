// Program, one unit at a time, on the plain sequence: what the operator sees,
// the outcome's class, the requests the adapter gets in their order, and the
// files and settings a unit leaves behind.
#include <gtest/gtest.h>

#include <functional>

#include "model/messages.h"
#include "ops/program.h"
#include "ops_fixture.h"
#include "ports/system_error_text.h"

namespace srom::test {
namespace {

struct ProgramRow {
  const char* name;
  std::function<void(OpsTest&)> setup;
  Outcome outcome;
  std::vector<std::string> messages;  // in order
  ResultPicture picture;
  std::string requests;
  bool logged;  // the unit is in Serial-MAC.log and the MAC has stepped
};

class ProgramOpsTest : public OpsTest,
                       public ::testing::WithParamInterface<ProgramRow> {};

TEST_P(ProgramOpsTest, EndsAsTheRowSays) {
  const ProgramRow& row = GetParam();
  row.setup(*this);
  const std::string mac_before = st().settings.CurrentMac;

  const Outcome outcome = RunSingleUnit(Context());

  EXPECT_EQ(outcome, row.outcome);
  EXPECT_EQ(panel_.messages(), row.messages);
  EXPECT_EQ(panel_.picture(), row.picture);
  EXPECT_EQ(RequestOrder(adapter_.log()), row.requests);
  EXPECT_FALSE(st().busy);
  EXPECT_EQ(Exists("Serial-MAC.log"), row.logged);
  EXPECT_EQ(Exists("EEPROM.dat"), row.logged);
  EXPECT_EQ(st().settings.CurrentMac != mac_before, row.logged);
}

constexpr char kEfuseClean[] =
    "read-efuse, write-efuse, read-efuse, write-efuse, read-efuse";

const ProgramRow kProgramRows[] = {
    {"ChipAEepromUnit",
     [](OpsTest&) {},
     Outcome::kOk,
     {},
     ResultPicture::kPass,
     "write-eeprom, word x128",
     true},
    {"ReloadAfterAVerifiedUnit",
     [](OpsTest& t) { t.st().settings.Reload = true; },
     Outcome::kOk,
     {},
     ResultPicture::kPass,
     "write-eeprom, word x128, reload",
     true},
    {"ChipAEfuseUnit",
     [](OpsTest& t) { t.SelectEfuse(kChipAEfuse); },
     Outcome::kOk,
     {},
     ResultPicture::kPass,
     kEfuseClean,
     true},
    // A fuse that needs a second write is retried and passes: the unit is
    // good, whatever the retry log says on the way.
    {"EfuseUnitPassingOnItsFirstRetry",
     [](OpsTest& t) {
       t.SelectEfuse(kChipAEfuse);
       t.adapter().set_weak_efuse_bits(0x05, 0x02, 2);
     },
     Outcome::kOk,
     {},
     ResultPicture::kPass,
     "read-efuse, write-efuse, read-efuse, write-efuse, read-efuse, "
     "write-efuse, read-efuse",
     true},
    {"ChipAWithChipBProductId",
     [](OpsTest& t) { t.st().settings.ProductId = "057D"; },
     Outcome::kSettingsRejected,
     {msg::kSelectionIsChipA},
     ResultPicture::kNone,
     "",
     false},
    {"ChipBWithChipAProductId",
     [](OpsTest& t) {
       t.st().settings.DeviceSel = kChipBEeprom;
       t.st().settings.Product = "KM62057D";
     },
     Outcome::kSettingsRejected,
     {msg::kSelectionIsChipB},
     ResultPicture::kNone,
     "",
     false},
    {"NoAdapter",
     [](OpsTest& t) { t.adapter().set_plugged(false); },
     Outcome::kDeviceAbsent,
     {msg::kDeviceNotFound},
     ResultPicture::kNone,
     "",
     false},
    {"SettingsTheChecksRefuse",
     [](OpsTest& t) { t.st().settings.VendorId = "4C1G"; },
     Outcome::kSettingsRejected,
     {msg::kVendorIdFormat, msg::kCheckDataCorrectFail},
     ResultPicture::kNone,
     "",
     false},
    {"EfuseImageByteBreaksItsRule",
     [](OpsTest& t) {
       t.SelectEfuse(kChipAEfuse);
       ImageArea(t.st().prev)[0x0B] = 0x00;
     },
     Outcome::kSettingsRejected,
     {msg::kEfuseFormatError},
     ResultPicture::kFail,
     "",
     false},
    {"EfuseAlreadyProgrammed",
     [](OpsTest& t) {
       t.SelectEfuse(kChipAEfuse);
       auto fuses = t.adapter().efuse();
       fuses[40] = 0x00;
       t.adapter().set_efuse(fuses);
     },
     Outcome::kWriteFailed,
     {msg::kEfuseProgrammed},
     ResultPicture::kFail,
     "read-efuse",
     false},
    {"EfuseBlankCheckCannotRead",
     [](OpsTest& t) {
       t.SelectEfuse(kChipAEfuse);
       t.adapter().FailEveryRequest(IOCTL_READ_EFUSE);
     },
     Outcome::kWriteFailed,
     {msg::kReadEfuseFailed},
     ResultPicture::kFail,
     "read-efuse(failed)",
     false},
    {"EepromImageByteBreaksItsRule",
     [](OpsTest& t) {
       t.st().image_size = 256;
       ImageArea(t.st().prev)[0x0C] = 0x55;
     },
     Outcome::kSettingsRejected,
     {msg::kEepromDataWrong},
     ResultPicture::kNone,
     "",
     false},
    {"MacAtItsMaximum",
     [](OpsTest& t) {
       t.st().settings.CurrentMac = "00000000000A";
       t.st().settings.MaximumMac = "00000000000A";
     },
     Outcome::kSettingsRejected,
     {msg::kMacAtMaximum},
     ResultPicture::kFail,
     "",
     false},
    {"SerialAtItsMaximum",
     [](OpsTest& t) { t.st().settings.MaximumSerial = "00000000000001"; },
     Outcome::kSettingsRejected,
     {msg::kSerialAtMaximum},
     ResultPicture::kFail,
     "",
     false},
    {"ReloadWarningCancelled",
     [](OpsTest& t) {
       t.st().settings.Reload = true;
       t.panel().AnswerNext(false);
     },
     Outcome::kNotConfirmed,
     {},
     ResultPicture::kNone,
     "",
     false},
    {"FirstWriteFails",
     [](OpsTest& t) { t.adapter().FailEveryRequest(IOCTL_WRITE_EEPROM); },
     Outcome::kWriteFailed,
     {msg::kWriteEepromFailed, msg::kProgramFail},
     ResultPicture::kFail,
     "write-eeprom(failed)",
     false},
    {"AdapterPulledBeforeTheWrite",
     [](OpsTest& t) {
       t.SelectEfuse(kChipAEfuse);
       t.adapter().UnplugAfterRequests(1);  // after the blank check
     },
     Outcome::kDeviceAbsent, {msg::kOpenDeviceFail, msg::kProgramFail},
     ResultPicture::kFail, "read-efuse", false},
    {"EepromReadsBackDifferently",
     [](OpsTest& t) { t.adapter().set_eeprom_cell_stuck(0x20); },
     Outcome::kVerifyFailed,
     {msg::kEepromProgramIncomplete},
     ResultPicture::kFail,
     "write-eeprom, word x128",
     false},
    {"EfuseRewriteFails",
     [](OpsTest& t) {
       t.SelectEfuse(kChipAEfuse);
       t.adapter().set_weak_efuse_bits(0x05, 0x02, 2);
       // Blank check, first write, read back; the fourth request is the
       // rewrite.
       t.adapter().FailRequest(4);
     },
     Outcome::kWriteFailed,
     {msg::kWriteEfuseFailed, msg::kProgramFail},
     ResultPicture::kFail,
     "read-efuse, write-efuse, read-efuse, write-efuse(failed)",
     false},
    {"EfuseRetriesUsedUp",
     [](OpsTest& t) {
       t.SelectEfuse(kChipAEfuse);
       t.adapter().set_weak_efuse_bits(0x05, 0x02, 10);
     },
     Outcome::kVerifyFailed,
     {msg::kEfuseProgramIncomplete},
     ResultPicture::kFail,
     "read-efuse, write-efuse, read-efuse, write-efuse, read-efuse, "
     "write-efuse, read-efuse, write-efuse, read-efuse",
     false},
    {"FinalMarkCannotOpenTheDevice",
     [](OpsTest& t) {
       t.SelectEfuse(kChipAEfuse);
       t.adapter().UnplugAfterRequests(3);
     },
     Outcome::kDeviceAbsent,
     {msg::kOpenDeviceFail},
     ResultPicture::kFail,
     "read-efuse, write-efuse, read-efuse",
     false},
    {"FinalMarkWriteFails",
     [](OpsTest& t) {
       t.SelectEfuse(kChipAEfuse);
       t.adapter().FailRequest(4);
     },
     Outcome::kWriteFailed,
     {msg::kWriteEfuseFailed},
     ResultPicture::kFail,
     "read-efuse, write-efuse, read-efuse, write-efuse(failed)",
     false},
    {"FinalMarkNeverReadsBack",
     [](OpsTest& t) {
       t.SelectEfuse(kChipAEfuse);
       t.adapter().set_weak_efuse_bits(63, 0xF0, 10);
     },
     Outcome::kVerifyFailed,
     {msg::kFinalCheckFail},
     ResultPicture::kFail,
     "read-efuse, write-efuse, read-efuse, write-efuse, read-efuse, "
     "write-efuse, read-efuse, write-efuse, read-efuse, write-efuse, "
     "read-efuse",
     false},
};

INSTANTIATE_TEST_SUITE_P(Rows, ProgramOpsTest,
                         ::testing::ValuesIn(kProgramRows),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

// A unit whose bookkeeping fails is still a good unit on the adapter, but
// the station must not go on as if nothing happened.
TEST_F(OpsTest, AVerifiedUnitWhoseLogCannotBeWrittenIsAFileFailure) {
  std::filesystem::create_directory(folder_ / "Serial-MAC.log");
  EXPECT_EQ(RunSingleUnit(Context()), Outcome::kFileRejected);
  EXPECT_EQ(panel_.messages(),
            (std::vector<std::string>{
                msg::kSerialMacLogFailed,
                "Serial-MAC.log could not be written in " +
                    QuotedPath(folder_.path()) + ": it is a folder."}));
  EXPECT_EQ(panel_.picture(), ResultPicture::kPass);
}

TEST_F(OpsTest, ASecondSequenceWhileOneHoldsTheBusyMarkWritesNothing) {
  st().busy = true;
  EXPECT_EQ(RunSingleUnit(Context()), Outcome::kFailed);
  EXPECT_EQ(RequestOrder(adapter_.log()), "");
  EXPECT_TRUE(st().busy);  // still the first sequence's
}

}  // namespace
}  // namespace srom::test
