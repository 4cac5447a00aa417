// Reading a whole file the tool depends on, so that nothing planted under its
// name can hang a command or fill the memory: only a plain file is opened
// (never waiting on a pipe or a device), and only up to a cap, judged from
// its size before a byte is read. Every reader of a station's files, and of
// the files an operator chooses, goes through here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

namespace srom {

// A station's own files refuse a symbolic link under their names: a link
// planted there could make the station read another station's counter or
// send its writes elsewhere. A file the operator names is read where its
// link leads.
enum class LinkRule { kRefuse, kFollow };

enum class ReadFault {
  kNone,
  kMissing,     // nothing under the name
  kLink,        // a symbolic link where LinkRule::kRefuse allows none
  kFolder,      // a folder
  kNotPlain,    // a pipe, a device, a socket
  kTooLarge,    // larger than the cap: not read at all
  kUnreadable,  // the system refused the open or a read (`error` says why)
};

struct FileRead {
  ReadFault fault = ReadFault::kNone;
  std::string bytes;        // the whole file when read
  std::uintmax_t size = 0;  // its size, for kTooLarge
  std::uintmax_t cap = 0;   // the cap it was read under
  std::error_code error;    // for kUnreadable

  bool ok() const { return fault == ReadFault::kNone; }
};

// The whole file at `path`, at most `cap` bytes. A file that grows past the
// cap while it is read is refused as too large all the same.
FileRead ReadPlainFile(const std::filesystem::path& path, std::uintmax_t cap,
                       LinkRule links);

// Why a read failed, in plain words that follow "...: " without a capital or
// a full stop: "it is not a plain file (a pipe or a device)", "it is 3.0
// GiB, more than the 64 KiB such a file may hold". Empty for a read that
// worked.
std::string ReadFaultText(const FileRead& read);

// A byte count for messages: "812 bytes", "64 KiB", "3.0 GiB".
std::string SizeText(std::uintmax_t bytes);

}  // namespace srom
