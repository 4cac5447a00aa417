// What device and file operations show the operator: the status label, modal
// message boxes, the result picture and the output box. The main window
// implements it on its view, srom-cli on the terminal, tests record it.
#pragma once

#include <string>
#include <vector>

namespace srom {

enum class ResultPicture { kNone, kPass, kFail, kBlank };

const char* ResultPictureName(ResultPicture picture);

// The texts of the "message: " lines of a recording, in order.
std::vector<std::string> MessagesOf(const std::vector<std::string>& events);

class Reporter {
 public:
  virtual ~Reporter() = default;
  // A modal message box with an OK button; returns once it is closed.
  virtual void ShowMessage(const std::string& text) = 0;
  // The status label: "Device detected" or "Device Unplugged".
  virtual void SetStatus(const std::string& text) = 0;
  virtual void SetResultPicture(ResultPicture picture) = 0;
  // Replaces the whole text of the output box (the image listing).
  virtual void ShowPreview(const std::string& listing) = 0;
};

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
