#include "ports/reporter.h"

namespace srom {

const char* ResultPictureName(ResultPicture picture) {
  switch (picture) {
    case ResultPicture::kPass:
      return "pass";
    case ResultPicture::kFail:
      return "fail";
    case ResultPicture::kBlank:
      return "blank";
    case ResultPicture::kNone:
      break;
  }
  return "none";
}

}  // namespace srom
