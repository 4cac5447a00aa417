// An operator panel for tests of the operations without a window: it keeps
// everything shown, in order, as readable lines ("message: ...", "picture:
// pass", "ask: <caption>"), answers questions from a script, and treats the
// settings record as what the boxes show, as srom-cli does.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "ops/operator_panel.h"
#include "ops/station.h"

namespace srom {

class RecordingPanel : public OperatorPanel {
 public:
  explicit RecordingPanel(Station& station) : station_(station) {}

  // Answers for the coming OK/Cancel questions, in order; OK once they run
  // out.
  void AnswerNext(bool ok) { answers_.push_back(ok); }
  // Keeps only the messages and pictures: the status label and previews are
  // left out, so that expectations stay short.
  void set_quiet(bool quiet) { quiet_ = quiet; }

  const std::vector<std::string>& events() const { return events_; }
  std::vector<std::string> messages() const;
  ResultPicture picture() const { return picture_; }
  void clear() { events_.clear(); }

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
  void SetProgress(int percent) override;
  void SetAdapterPicture(int index, AdapterPictureKind picture) override;
  void UpdateData(bool) override {}
  BoxTexts ShownBoxTexts() override;
  void PutBack(Field field, const std::string& text) override;
  void FocusField(Field field) override;
  void EnableMacControls() override {}
  int MacIncrementList() override { return station_.settings.MacIncrement; }
  int SerialIncrementList() override {
    return station_.settings.SerialIncrement;
  }
  bool ConfirmReissue(const std::string& text) override;
  void RearmAutoProgram() override { events_.push_back("rearm"); }
  // The answer to a reissue question; no by default.
  void set_allow_reissue(bool allow) { allow_reissue_ = allow; }
  // The last verdict line shown (kept apart from events()).
  void ShowVerdict(const std::string& line, bool) override { verdict_ = line; }
  const std::string& verdict() const { return verdict_; }

 private:
  Station& station_;
  std::vector<std::string> events_;
  std::deque<bool> answers_;
  std::string output_;
  ResultPicture picture_ = ResultPicture::kNone;
  bool quiet_ = false;
  bool allow_reissue_ = false;
  std::string verdict_;
};

}  // namespace srom
