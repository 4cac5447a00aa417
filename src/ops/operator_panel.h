// What an operation shows the operator and asks of them, and the data
// exchange it requests. The main window implements it on its view; srom-cli
// on the terminal; tests record it.
#pragma once

#include <string>

#include "model/validation.h"
#include "ports/reporter.h"

namespace srom {

enum class AdapterPictureKind { kPass, kFail, kBlank, kBusy };

class OperatorPanel : public Reporter {
 public:
  // A box with OK and Cancel and a warning icon; true for OK.
  virtual bool AskOkCancel(const std::string& caption,
                           const std::string& text) = 0;
  // The output box: its whole text, and replacing it.
  virtual std::string OutputText() = 0;
  virtual void SetOutputText(const std::string& text) = 0;
  virtual void SetProgress(int percent) = 0;
  virtual void SetAdapterPicture(int index, AdapterPictureKind picture) = 0;

  // The data exchange: the controls into the settings (true), or the
  // settings into the controls (false). Waits until it is done.
  virtual void UpdateData(bool to_record) = 0;
  // The texts the boxes show, which the length checks measure.
  virtual BoxTexts ShownBoxTexts() = 0;
  // A rejected field shows its last accepted text again (before the message)
  // or gets the input focus (after it).
  virtual void PutBack(Field field, const std::string& text) = 0;
  virtual void FocusField(Field field) = 0;
  // After an eFuse refresh: the MAC boxes and the MAC list are usable.
  virtual void EnableMacControls() = 0;
  // The increments as their lists show them right now.
  virtual int MacIncrementList() = 0;
  virtual int SerialIncrementList() = 0;
  // The MAC address about to be written was given to a unit before (`text`
  // says when and where): true when the operator wants it programmed again
  // on purpose, as a rework.
  virtual bool ConfirmReissue(const std::string& text) = 0;
  // After a Program job with "Auto" checked: watch for the next adapter.
  virtual void RearmAutoProgram() = 0;
  // The unit just finished, large enough to read from across the line:
  // "PASS 00E04C000701" or "FAIL 00E04C000702", kept until the next unit
  // starts; an empty line clears it. A terminal has its own last line.
  virtual void ShowVerdict(const std::string& line, bool passed) {
    (void)line;
    (void)passed;
  }
};

}  // namespace srom
