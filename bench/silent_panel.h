// An operator who sees nothing and answers OK, for the benchmarks that
// program units: only the last message and the result picture are kept, so
// that a failed unit can say why.
#pragma once

#include <string>

#include "ops/operator_panel.h"
#include "ops/station.h"

namespace srom {

class SilentPanel : public OperatorPanel {
 public:
  explicit SilentPanel(Station& station) : station_(station) {}
  void ShowMessage(const std::string& text) override { last_message = text; }
  void SetStatus(const std::string&) override {}
  void SetResultPicture(ResultPicture picture) override { result = picture; }
  void ShowPreview(const std::string& listing) override { output_ = listing; }
  bool AskOkCancel(const std::string&, const std::string&) override {
    return true;
  }
  std::string OutputText() override { return output_; }
  void SetOutputText(const std::string& text) override { output_ = text; }
  void SetProgress(int) override {}
  void SetAdapterPicture(int, AdapterPictureKind) override {}
  void UpdateData(bool) override {}
  BoxTexts ShownBoxTexts() override { return BoxTextsOf(station_.settings); }
  void PutBack(Field, const std::string&) override {}
  void FocusField(Field) override {}
  void EnableMacControls() override {}
  // Never a rework: a unit that took an address given before would be
  // refused here rather than timed.
  bool ConfirmReissue(const std::string&) override { return false; }
  int MacIncrementList() override { return station_.settings.MacIncrement; }
  int SerialIncrementList() override {
    return station_.settings.SerialIncrement;
  }
  void RearmAutoProgram() override {}

  std::string last_message;
  ResultPicture result = ResultPicture::kNone;

 private:
  Station& station_;
  std::string output_;
};

}  // namespace srom
