#include "device/driver_contract.h"

namespace srom {

std::string_view IoctlName(std::uint32_t code) {
  switch (code) {
    case IOCTL_WRITE_EEPROM:
      return "IOCTL_WRITE_EEPROM";
    case IOCTL_READ_EFUSE:
      return "IOCTL_READ_EFUSE";
    case IOCTL_WRITE_EFUSE:
      return "IOCTL_WRITE_EFUSE";
    case IOCTL_WRITE_REGISTER:
      return "IOCTL_WRITE_REGISTER";
    case IOCTL_READ_REGISTER:
      return "IOCTL_READ_REGISTER";
    case IOCTL_RELOAD_EEPROM:
      return "IOCTL_RELOAD_EEPROM";
    case IOCTL_QUERY_DRIVER:
      return "IOCTL_QUERY_DRIVER";
    default:
      return "IOCTL_unknown";
  }
}

}  // namespace srom
