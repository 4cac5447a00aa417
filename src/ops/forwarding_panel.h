// An operator panel that passes every call on to another one: the base of
// the panels that change a few calls on their way (the adapter loop names
// the adapter in each message of its unit).
#pragma once

#include <string>

#include "ops/operator_panel.h"

namespace srom {

class ForwardingPanel : public OperatorPanel {
 public:
  explicit ForwardingPanel(OperatorPanel& inner) : inner_(inner) {}

  void ShowMessage(const std::string& text) override {
    inner_.ShowMessage(text);
  }
  void SetStatus(const std::string& text) override { inner_.SetStatus(text); }
  void SetResultPicture(ResultPicture picture) override {
    inner_.SetResultPicture(picture);
  }
  void ShowPreview(const std::string& listing) override {
    inner_.ShowPreview(listing);
  }
  bool AskOkCancel(const std::string& caption,
                   const std::string& text) override {
    return inner_.AskOkCancel(caption, text);
  }
  std::string OutputText() override { return inner_.OutputText(); }
  void SetOutputText(const std::string& text) override {
    inner_.SetOutputText(text);
  }
  void SetProgress(int percent) override { inner_.SetProgress(percent); }
  void SetAdapterPicture(int index, AdapterPictureKind picture) override {
    inner_.SetAdapterPicture(index, picture);
  }
  void UpdateData(bool to_record) override { inner_.UpdateData(to_record); }
  BoxTexts ShownBoxTexts() override { return inner_.ShownBoxTexts(); }
  void PutBack(Field field, const std::string& text) override {
    inner_.PutBack(field, text);
  }
  void FocusField(Field field) override { inner_.FocusField(field); }
  void EnableMacControls() override { inner_.EnableMacControls(); }
  int MacIncrementList() override { return inner_.MacIncrementList(); }
  int SerialIncrementList() override { return inner_.SerialIncrementList(); }
  bool ConfirmReissue(const std::string& text) override {
    return inner_.ConfirmReissue(text);
  }
  void RearmAutoProgram() override { inner_.RearmAutoProgram(); }
  void ShowVerdict(const std::string& line, bool passed) override {
    inner_.ShowVerdict(line, passed);
  }

 private:
  OperatorPanel& inner_;
};

}  // namespace srom
