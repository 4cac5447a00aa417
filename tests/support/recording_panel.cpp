#include "recording_panel.h"

#include "recording_reporter.h"

namespace srom {

std::vector<std::string> RecordingPanel::messages() const {
  return MessagesOf(events_);
}

void RecordingPanel::ShowMessage(const std::string& text) {
  events_.push_back("message: " + text);
}

void RecordingPanel::SetStatus(const std::string& text) {
  if (!quiet_) events_.push_back("status: " + text);
}

void RecordingPanel::SetResultPicture(ResultPicture picture) {
  picture_ = picture;
  events_.push_back(std::string("picture: ") + ResultPictureName(picture));
}

void RecordingPanel::ShowPreview(const std::string& listing) {
  output_ = listing;
  if (!quiet_) events_.push_back("preview");
}

bool RecordingPanel::AskOkCancel(const std::string& caption,
                                 const std::string&) {
  const bool ok = answers_.empty() ? true : answers_.front();
  if (!answers_.empty()) answers_.pop_front();
  events_.push_back("ask: " + caption + (ok ? " -> OK" : " -> Cancel"));
  return ok;
}

void RecordingPanel::SetProgress(int percent) {
  if (!quiet_) events_.push_back("progress: " + std::to_string(percent));
}

void RecordingPanel::SetAdapterPicture(int index, AdapterPictureKind) {
  if (!quiet_) events_.push_back("adapter picture: " + std::to_string(index));
}

BoxTexts RecordingPanel::ShownBoxTexts() {
  return BoxTextsOf(station_.settings);
}

void RecordingPanel::PutBack(Field field, const std::string& text) {
  events_.push_back("put back: " + text);
  PutBackIntoRecord(station_.settings, field, text);
}

bool RecordingPanel::ConfirmReissue(const std::string& text) {
  events_.push_back("reissue? " + text +
                    (allow_reissue_ ? " -> OK" : " -> Cancel"));
  return allow_reissue_;
}

void RecordingPanel::FocusField(Field) { events_.push_back("focus"); }

}  // namespace srom
