// A Reporter that keeps everything reported, for tests.
#pragma once

#include <string>
#include <vector>

#include "ports/reporter.h"

namespace srom {

// The texts of the "message: " lines of a recording, in order.
std::vector<std::string> MessagesOf(const std::vector<std::string>& events);

// Keeps everything reported, in order, as readable lines such as
// "message: Failed to open device!", "status: Device detected",
// "picture: fail" and "preview: <listing>".
class RecordingReporter : public Reporter {
 public:
  void ShowMessage(const std::string& text) override;
  void SetStatus(const std::string& text) override;
  void SetResultPicture(ResultPicture picture) override;
  void ShowPreview(const std::string& listing) override;

  const std::vector<std::string>& events() const { return events_; }
  std::vector<std::string> messages() const;
  void clear() { events_.clear(); }

 private:
  std::vector<std::string> events_;
};

}  // namespace srom
