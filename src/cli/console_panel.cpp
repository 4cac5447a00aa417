#include "cli/console_panel.h"

namespace srom::cli {
std::string OneLine(const std::string& text) {
  std::string line;
  line.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '\r':
        line += "\\r";
        break;
      case '\n':
        line += "\\n";
        break;
      case '\t':
        line += "\\t";
        break;
      case '\\':
        line += "\\\\";
        break;
      default:
        line += c;
    }
  }
  return line;
}

ConsolePanel::ConsolePanel(SromSettings& record, std::ostream& err,
                           bool assume_yes, bool verbose, bool allow_reissue)
    : record_(record),
      err_(err),
      assume_yes_(assume_yes),
      verbose_(verbose),
      allow_reissue_(allow_reissue) {}

bool ConsolePanel::ConfirmReissue(const std::string& text) {
  err_ << OneLine(text) << '\n';
  err_ << (allow_reissue_
               ? "Programmed again (--allow-reissue)\n"
               : "Refused: give --allow-reissue to program it again on "
                 "purpose\n")
       << std::flush;
  return allow_reissue_;
}

void ConsolePanel::ShowMessage(const std::string& text) {
  err_ << OneLine(text) << '\n' << std::flush;
}

void ConsolePanel::SetStatus(const std::string& text) {
  status_ = text;
  if (verbose_) err_ << "[status] " << text << '\n' << std::flush;
}

void ConsolePanel::SetResultPicture(ResultPicture picture) {
  if (verbose_) {
    err_ << "[picture] " << ResultPictureName(picture) << '\n' << std::flush;
  }
}

void ConsolePanel::ShowPreview(const std::string& listing) {
  output_ = listing;
}

bool ConsolePanel::AskOkCancel(const std::string& caption,
                               const std::string& text) {
  err_ << OneLine(caption) << ": " << OneLine(text) << '\n';
  if (assume_yes_) {
    err_ << "OK (--yes)\n" << std::flush;
    return true;
  }
  err_ << "Cancel (give --yes to answer OK)\n" << std::flush;
  return false;
}

BoxTexts ConsolePanel::ShownBoxTexts() { return BoxTextsOf(record_); }

void ConsolePanel::PutBack(Field field, const std::string& text) {
  PutBackIntoRecord(record_, field, text);
}

void ConsolePanel::ShowVerdict(const std::string& line, bool) {
  // "PASS <MAC>" or "FAIL <MAC>".
  const std::size_t space = line.find(' ');
  last_unit_mac_ = space == std::string::npos ? "" : line.substr(space + 1);
}

}  // namespace srom::cli
