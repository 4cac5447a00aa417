#include "ops/refresh.h"

#include "model/efuse_image.h"
#include "model/messages.h"
#include "model/srom_image.h"

namespace srom {

void ReportCheckFailure(OperatorPanel& panel, const CheckFailure& failure) {
  if (failure.remedy == Remedy::kPutBack) {
    panel.PutBack(failure.field, failure.put_back_text);
  }
  panel.ShowMessage(failure.message);
  if (failure.remedy == Remedy::kFocus) panel.FocusField(failure.field);
}

void LoadDefaultImage(const OpsContext& ctx) {
  Station& st = ctx.station;
  ctx.panel.UpdateData(true);
  ctx.panel.SetResultPicture(ResultPicture::kNone);
  LoadDefaultImageArea(st.prev, st.settings.DeviceSel, st.settings.SromSize,
                       st.image_size);
  ctx.panel.ShowPreview(FormatImagePreview(st.prev, st.image_size));
}

bool RefreshImage(const OpsContext& ctx) {
  Station& st = ctx.station;
  if (IsEfuseSel(st.settings.DeviceSel)) {
    ctx.Device().DetectDevice();
    const EfuseBuildResult result =
        BuildEfuseImage(st.prev, st.settings, ctx.panel.ShownBoxTexts(),
                        st.accepted, st.values, st.image_size);
    // The MAC boxes are usable after every eFuse refresh, a failed one too:
    // the operator must be able to correct the address it refused.
    ctx.panel.EnableMacControls();
    if (result.failure) {
      ReportCheckFailure(ctx.panel, *result.failure);
      return false;
    }
    if (result.loaded_default) {
      ctx.panel.ShowPreview(FormatImagePreview(st.prev, st.image_size));
    }
    ctx.panel.ShowPreview(FormatImagePreview(st.prev, st.image_size));
    return true;
  }
  if (!IsEepromSel(st.settings.DeviceSel)) return false;

  ctx.Device().DetectDevice();
  const auto failure = CheckDataCorrect(st.settings, ctx.panel.ShownBoxTexts(),
                                        st.accepted, st.values);
  if (failure) {
    ReportCheckFailure(ctx.panel, *failure);
    ctx.panel.ShowMessage(msg::kCheckDataCorrectFail);
    return false;
  }
  if (IsImageAreaBlank(st.prev, static_cast<std::size_t>(st.image_size))) {
    LoadDefaultImage(ctx);
  }
  ctx.panel.UpdateData(false);
  FillImageHeader(st.prev, st.settings.DeviceSel, st.settings.SromSize,
                  st.image_size);
  BuildSromImage(st.prev, st.settings);
  ctx.panel.ShowPreview(FormatImagePreview(st.prev, st.image_size));
  return true;
}

}  // namespace srom
