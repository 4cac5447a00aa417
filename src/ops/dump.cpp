#include "ops/dump.h"

#include <algorithm>

#include "files/image_files.h"
#include "model/srom_image.h"
#include "model/messages.h"

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

void DumpEeprom(const OpsContext& ctx) {
  Station& st = ctx.station;
  const std::string text =
      ctx.Device().ReadEeprom(st.dump, st.settings.SromSize, st.image_size);
  if (text != msg::kReadSuccess) {
    ctx.panel.ShowMessage(text);
    ctx.panel.SetResultPicture(ResultPicture::kFail);
    return;
  }
  if (!DumpAcceptable(st.dump, st.image_size)) {
    ctx.panel.ShowMessage(msg::kDumpInvalid);
    return;
  }
  std::copy_n(ImageArea(st.dump).begin(), kImageAreaSize,
              ImageArea(st.prev).begin());
  st.last_save_ok = SaveSromDat(st.folders, st.prev, st.settings.SromSize,
                                ctx.panel.OutputText(), ctx.panel);
  if (st.last_save_ok) {
    ctx.panel.SetResultPicture(ResultPicture::kPass);
  } else {
    ctx.panel.SetResultPicture(ResultPicture::kFail);
    ctx.panel.ShowMessage(msg::kSaveSromDatFail);
  }
}

void DumpEfuse(const OpsContext& ctx) {
  Station& st = ctx.station;
  if (!ctx.Device().ReadEfuse(st.dump, st.image_size)) return;
  // A blank eFuse holds nothing worth keeping; the read's pass picture stays.
  if (IsImageAreaBlank(st.dump, kEfuseSize)) return;
  std::copy_n(ImageArea(st.dump).begin(), kEfuseSize,
              ImageArea(st.prev).begin());
  st.last_save_ok =
      SaveEfuseDat(st.folders, st.prev, ctx.panel.OutputText(),
                   st.settings.CurrentMac, st.accepted, ctx.panel);
  if (st.last_save_ok) {
    ctx.panel.SetResultPicture(ResultPicture::kPass);
  } else {
    ctx.panel.SetResultPicture(ResultPicture::kFail);
    ctx.panel.ShowMessage(msg::kSaveEfuseDatFail);
  }
}

}  // namespace

void RunSingleDump(const OpsContext& ctx) {
  Station& st = ctx.station;
  ctx.panel.UpdateData(true);
  std::fill_n(ImageArea(st.dump).begin(), kImageAreaSize, 0xFF);
  ctx.panel.SetResultPicture(ResultPicture::kNone);
  ctx.panel.SetOutputText("");
  if (!ctx.Device().DetectDevice()) {
    ctx.panel.ShowMessage(msg::kDeviceNotFound);
    return;
  }
  if (IsEepromSel(st.settings.DeviceSel)) {
    DumpEeprom(ctx);
  } else if (IsEfuseSel(st.settings.DeviceSel)) {
    DumpEfuse(ctx);
  }
}

void RunDumpJob(const OpsContext& ctx, AdapterLoop* loop) {
  ctx.panel.SetOutputText("");
  if (!ctx.station.settings.MultiEnable) {
    RunSingleDump(ctx);
    return;
  }
  const AdapterLoop::Plan plan =
      loop != nullptr ? loop->PlanRun() : AdapterLoop::Plan::kNothing;
  if (plan == AdapterLoop::Plan::kSingle) RunSingleDump(ctx);
  if (plan == AdapterLoop::Plan::kLoop) {
    loop->RunLoop([&ctx] { RunSingleDump(ctx); });
  }
}

void EraseEeprom(const OpsContext& ctx, AdapterLoop* loop) {
  Station& st = ctx.station;
  if (!IsEepromSel(st.settings.DeviceSel)) return;
  FillImageHeader(st.prev, st.settings.DeviceSel, st.settings.SromSize,
                  st.image_size);
  std::fill_n(ImageArea(st.prev).begin(), kImageAreaSize, 0xFF);
  // The write's own messages tell of a failure; the dump shows the result.
  ctx.Device().WriteImage(st.prev, st.settings.DeviceSel, st.image_size);
  RunDumpJob(ctx, loop);
}

}  // namespace srom
