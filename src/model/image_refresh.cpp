#include "model/image_refresh.h"

#include "model/efuse_image.h"
#include "model/srom_image.h"

namespace srom {

RefreshResult RefreshImageData(ImageBuffer& buffer, SromSettings& settings,
                               const BoxTexts& boxes,
                               const LastAccepted& accepted,
                               NumericValues& values, int& image_size) {
  RefreshResult result;
  if (IsEfuseSel(settings.DeviceSel)) {
    const EfuseBuildResult efuse = BuildEfuseImage(buffer, settings, boxes,
                                                   accepted, values, image_size);
    result.built = !efuse.failure;
    result.failure = efuse.failure;
    result.loaded_default = efuse.loaded_default;
    return result;
  }
  if (!IsEepromSel(settings.DeviceSel)) return result;

  result.failure = CheckDataCorrect(settings, boxes, accepted, values);
  if (result.failure) return result;
  if (IsImageAreaBlank(buffer, static_cast<std::size_t>(image_size))) {
    LoadDefaultImageArea(buffer, settings.DeviceSel, settings.SromSize,
                         image_size);
    result.loaded_default = true;
  }
  FillImageHeader(buffer, settings.DeviceSel, settings.SromSize, image_size);
  BuildSromImage(buffer, settings);
  result.built = true;
  return result;
}

}  // namespace srom
