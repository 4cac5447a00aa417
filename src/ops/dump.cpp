#include "ops/dump.h"

#include <algorithm>

#include "files/image_files.h"
#include "model/messages.h"
#include "model/srom_image.h"

namespace srom {
namespace {

// A dumped EEPROM byte is kept when its position's rule accepts it, or when
// it is still blank.
bool DumpAcceptable(const ImageBuffer& dump, int image_size) {
  const auto area = ImageArea(dump);
  for (int n = 0; n < image_size; ++n) {
    if (area[n] != 0xFF &&
        !SromByteValid(static_cast<std::size_t>(n), area[n])) {
      return false;
    }
  }
  return true;
}

// The kept image's file: the pass picture, or the fail picture and the
// message.
Outcome ShowSaveResult(const OpsContext& ctx, bool saved,
                       const char* fail_message) {
  if (saved) {
    ctx.panel.SetResultPicture(ResultPicture::kPass);
    return Outcome::kOk;
  }
  ctx.panel.SetResultPicture(ResultPicture::kFail);
  ctx.panel.ShowMessage(fail_message);
  return Outcome::kFileRejected;
}

Outcome DumpEeprom(const OpsContext& ctx) {
  Station& st = ctx.station;
  DeviceAccess device = ctx.Device();
  const std::string text =
      device.ReadEeprom(st.dump, st.settings.SromSize, st.image_size);
  if (text != msg::kReadSuccess) {
    ctx.panel.ShowMessage(text);
    ctx.panel.SetResultPicture(ResultPicture::kFail);
    return DeviceOutcome(device);
  }
  if (!DumpAcceptable(st.dump, st.image_size)) {
    ctx.panel.ShowMessage(msg::kDumpInvalid);
    return Outcome::kVerifyFailed;
  }
  std::copy_n(ImageArea(st.dump).begin(), kImageAreaSize,
              ImageArea(st.prev).begin());
  st.last_save_ok = SaveSromDat(st.folders, st.prev, st.settings.SromSize,
                                ctx.panel.OutputText(), ctx.panel);
  return ShowSaveResult(ctx, st.last_save_ok, msg::kSaveSromDatFail);
}

Outcome DumpEfuse(const OpsContext& ctx) {
  Station& st = ctx.station;
  DeviceAccess device = ctx.Device();
  if (!device.ReadEfuse(st.dump, st.image_size)) return DeviceOutcome(device);
  // A blank eFuse holds nothing worth keeping; the read's pass picture stays.
  if (IsImageAreaBlank(st.dump, kEfuseSize)) return Outcome::kOk;
  std::copy_n(ImageArea(st.dump).begin(), kEfuseSize,
              ImageArea(st.prev).begin());
  st.last_save_ok =
      SaveEfuseDat(st.folders, st.prev, ctx.panel.OutputText(),
                   st.settings.CurrentMac, st.accepted, ctx.panel);
  return ShowSaveResult(ctx, st.last_save_ok, msg::kSaveEfuseDatFail);
}

}  // namespace

Outcome RunSingleDump(const OpsContext& ctx) {
  Station& st = ctx.station;
  ctx.panel.UpdateData(true);
  std::fill_n(ImageArea(st.dump).begin(), kImageAreaSize, 0xFF);
  ctx.panel.SetResultPicture(ResultPicture::kNone);
  ctx.panel.SetOutputText("");
  if (!ctx.Device().DetectDevice()) {
    ctx.panel.ShowMessage(msg::kDeviceNotFound);
    return Outcome::kDeviceAbsent;
  }
  if (IsEepromSel(st.settings.DeviceSel)) return DumpEeprom(ctx);
  if (IsEfuseSel(st.settings.DeviceSel)) return DumpEfuse(ctx);
  return Outcome::kFailed;
}

Outcome RunDumpJob(const OpsContext& ctx, AdapterLoop* loop) {
  ctx.panel.SetOutputText("");
  if (!ctx.station.settings.MultiEnable) return RunSingleDump(ctx);
  const AdapterLoop::Plan plan =
      loop != nullptr ? loop->PlanRun() : AdapterLoop::Plan::kNothing;
  if (plan == AdapterLoop::Plan::kSingle) return RunSingleDump(ctx);
  if (plan == AdapterLoop::Plan::kNothing) {
    ctx.panel.ShowMessage(msg::kNoAdapterTicked);
    return Outcome::kDeviceAbsent;
  }
  return loop->RunLoop(
      AdapterLoop::Kind::kDump, ctx,
      [](const OpsContext& unit_ctx) { return RunSingleDump(unit_ctx); });
}

Outcome EraseEeprom(const OpsContext& ctx, AdapterLoop* loop) {
  Station& st = ctx.station;
  if (!IsEepromSel(st.settings.DeviceSel)) return Outcome::kFailed;
  FillImageHeader(st.prev, st.settings.DeviceSel, st.settings.SromSize,
                  st.image_size);
  std::fill_n(ImageArea(st.prev).begin(), kImageAreaSize, 0xFF);
  // The write's own messages tell of a failure; the dump shows the result.
  DeviceAccess device = ctx.Device();
  const Outcome written =
      device.WriteImage(st.prev, st.settings.DeviceSel, st.image_size)
          ? Outcome::kOk
          : DeviceOutcome(device);
  return FirstFailure(written, RunDumpJob(ctx, loop));
}

}  // namespace srom
