// The operator panel on a terminal: every message box becomes one line on
// the error stream, questions are answered by --yes, and the output box is
// kept so that the command can print it as its result.
#pragma once

#include <ostream>
#include <string>

#include "model/settings.h"
#include "ops/operator_panel.h"

namespace srom::cli {

// A message on one line: CR, LF, TAB and the backslash written as \r, \n, \t
// and \\, the way the texts are quoted in our documentation.
std::string OneLine(const std::string& text);

class ConsolePanel : public OperatorPanel {
 public:
  // `record` is the settings record the operations work on; with no window
  // it is also what the boxes show, and what a put-back restores. `verbose`
  // adds the status label and the result picture to the error stream.
  ConsolePanel(SromSettings& record, std::ostream& err, bool assume_yes,
               bool verbose, bool allow_reissue = false);

  // Reporter.
  void ShowMessage(const std::string& text) override;
  void SetStatus(const std::string& text) override;
  void SetResultPicture(ResultPicture picture) override;
  void ShowPreview(const std::string& listing) override;

  // OperatorPanel.
  bool AskOkCancel(const std::string& caption,
                   const std::string& text) override;
  std::string OutputText() override { return output_; }
  void SetOutputText(const std::string& text) override { output_ = text; }
  void SetProgress(int) override {}
  // The loop over several adapters sets an adapter's picture busy just
  // before its unit: the terminal keeps which adapter that was.
  void SetAdapterPicture(int index, AdapterPictureKind picture) override {
    if (picture == AdapterPictureKind::kBusy) busy_adapter_ = index;
  }
  // The adapter whose unit runs or ran last; -1 before the first.
  int busy_adapter() const { return busy_adapter_; }
  // The record is the only copy of the settings: nothing to exchange.
  void UpdateData(bool) override {}
  BoxTexts ShownBoxTexts() override;
  void PutBack(Field field, const std::string& text) override;
  void FocusField(Field) override {}
  void EnableMacControls() override {}
  int MacIncrementList() override { return record_.MacIncrement; }
  int SerialIncrementList() override { return record_.SerialIncrement; }
  bool ConfirmReissue(const std::string& text) override;
  void RearmAutoProgram() override {}
  // The terminal has its own last line; it keeps the MAC address the last
  // unit was for, which may differ from the one it started with (a failed
  // unit's address set aside on the way).
  void ShowVerdict(const std::string& line, bool passed) override;
  const std::string& last_unit_mac() const { return last_unit_mac_; }

 private:
  SromSettings& record_;
  std::ostream& err_;
  bool assume_yes_;
  bool verbose_;
  bool allow_reissue_;

  std::string output_;
  std::string status_;
  int busy_adapter_ = -1;
  std::string last_unit_mac_;
};

}  // namespace srom::cli
