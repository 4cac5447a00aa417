// Text at the Qt boundary: the core speaks UTF-8 and ends message lines with
// CR LF; Qt speaks QString with plain line breaks.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace srom {

QString QtString(std::string_view utf8);
std::string Utf8(const QString& text);

// A message text for a label or a plain text box: its CR LF line ends as
// plain breaks, and no CR left anywhere.
QString WithPlainBreaks(std::string_view text);

// The file dialog's filter, "display|pattern|...", as Qt wants it:
// "display (pattern);;...". "*.*" means every file, also those without a dot
// in their name.
QString QtFilter(std::string_view filter);

}  // namespace srom
