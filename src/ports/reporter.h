// What device and file operations show the operator: the status label, modal
// message boxes, the result picture and the output box. The main window
// implements it on its view, srom-cli on the terminal, tests record it.
#pragma once

#include <string>

namespace srom {

enum class ResultPicture { kNone, kPass, kFail, kBlank };

const char* ResultPictureName(ResultPicture picture);

class Reporter {
 public:
  virtual ~Reporter() = default;
  // A modal message box with an OK button; returns once it is closed.
  virtual void ShowMessage(const std::string& text) = 0;
  // The status label: msg::kStatusDetected or msg::kStatusUnplugged.
  virtual void SetStatus(const std::string& text) = 0;
  virtual void SetResultPicture(ResultPicture picture) = 0;
  // Replaces the whole text of the output box (the image listing).
  virtual void ShowPreview(const std::string& listing) = 0;
};

}  // namespace srom
