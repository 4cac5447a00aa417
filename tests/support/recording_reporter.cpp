#include "recording_reporter.h"

namespace srom {

void RecordingReporter::ShowMessage(const std::string& text) {
  events_.push_back("message: " + text);
}
void RecordingReporter::SetStatus(const std::string& text) {
  events_.push_back("status: " + text);
}
void RecordingReporter::SetResultPicture(ResultPicture picture) {
  events_.push_back(std::string("picture: ") + ResultPictureName(picture));
}
void RecordingReporter::ShowPreview(const std::string& listing) {
  events_.push_back("preview: " + listing);
}

std::vector<std::string> MessagesOf(const std::vector<std::string>& events) {
  std::vector<std::string> out;
  const std::string prefix = "message: ";
  for (const auto& e : events) {
    if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size()));
  }
  return out;
}

std::vector<std::string> RecordingReporter::messages() const {
  return MessagesOf(events_);
}

}  // namespace srom
