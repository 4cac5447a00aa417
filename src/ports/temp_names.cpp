#include "ports/temp_names.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "ports/process_identity.h"

namespace srom {
namespace fs = std::filesystem;

namespace {

using NativeString = fs::path::string_type;
using NativeChar = NativeString::value_type;

// The target's name is cut to this many characters in the temporary name, so
// that a long name still leaves room for the pid and the random part.
constexpr std::size_t kMaxNameInTempName = 64;

// The target's own name in the temporary name, shortened to keep the whole
// name within the file system's limit. A UTF-16 pair is never split.
NativeString NamePart(const fs::path& target) {
  NativeString name = target.filename().native();
  if (name.size() > kMaxNameInTempName) {
    name.resize(kMaxNameInTempName);
    if constexpr (sizeof(NativeChar) == 2) {
      const auto last = static_cast<std::uint16_t>(name.back());
      if (last >= 0xD800 && last <= 0xDBFF) name.pop_back();
    }
  }
  return name;
}

std::uint32_t RandomTag() {
  // Seeded once per thread from the system; the pid in the name already
  // separates processes, this separates attempts and threads.
  thread_local std::mt19937 engine = [] {
    std::random_device device;
    const auto now = static_cast<std::uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    std::seed_seq seed{device(), device(), now};
    return std::mt19937(seed);
  }();
  return static_cast<std::uint32_t>(engine());
}

template <typename Char>
std::basic_string<Char> Widen(std::string_view ascii) {
  return std::basic_string<Char>(ascii.begin(), ascii.end());
}

bool IsHexDigit(NativeChar c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

bool IsDecimalDigit(NativeChar c) { return c >= '0' && c <= '9'; }

// The writer a temporary name names: its pid, and its start where the name
// carries one.
struct TempWriter {
  unsigned long pid = 0;
  std::optional<std::uint64_t> start;
};

// The digits of name[from, to) as a number; nothing when there are none, a
// character is not a digit or the number does not fit.
std::optional<std::uint64_t> DecimalAt(const NativeString& name,
                                       std::size_t from, std::size_t to) {
  if (from >= to || to - from > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t i = from; i < to; ++i) {
    if (!IsDecimalDigit(name[i])) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(name[i] - '0');
  }
  return value;
}

// The writer of a temporary file named as TempPathBeside names them; nothing
// for any other name.
std::optional<TempWriter> TempNameWriter(const NativeString& name) {
  const NativeString ending = Widen<NativeChar>(".tmp");
  constexpr std::size_t kHexDigits = 8;
  // A dot, a name character, a dot, a pid digit, a dot, the hex digits.
  if (name.size() < 1 + 1 + 1 + 1 + 1 + kHexDigits + ending.size() ||
      name[0] != '.') {
    return std::nullopt;
  }
  if (name.compare(name.size() - ending.size(), ending.size(), ending) != 0) {
    return std::nullopt;
  }
  std::size_t end = name.size() - ending.size();  // one past the hex digits
  for (std::size_t i = end - kHexDigits; i < end; ++i) {
    if (!IsHexDigit(name[i])) return std::nullopt;
  }
  end -= kHexDigits;
  if (name[end - 1] != '.') return std::nullopt;
  --end;  // one past the writer's field: "<pid>" or "<pid>-<start>"
  std::size_t field = end;
  while (field > 0 && name[field - 1] != '.') --field;
  // The dot before the field, and at least one name character before it.
  if (field < 3) return std::nullopt;
  std::size_t pid_end = field;
  while (pid_end < end && name[pid_end] != '-') ++pid_end;
  TempWriter writer;
  const auto pid = DecimalAt(name, field, pid_end);
  if (!pid || *pid > 0xFFFFFFFFu) return std::nullopt;
  writer.pid = static_cast<unsigned long>(*pid);
  if (pid_end < end) {
    writer.start = DecimalAt(name, pid_end + 1, end);
    if (!writer.start) return std::nullopt;
  }
  return writer;
}

}  // namespace

fs::path TempPathBeside(const fs::path& target) {
  char suffix[64];
  const std::optional<std::uint64_t> start = CurrentProcessStartToken();
  if (start) {
    std::snprintf(suffix, sizeof suffix, ".%lu-%llu.%08x.tmp", CurrentPid(),
                  static_cast<unsigned long long>(*start),
                  static_cast<unsigned>(RandomTag()));
  } else {
    std::snprintf(suffix, sizeof suffix, ".%lu.%08x.tmp", CurrentPid(),
                  static_cast<unsigned>(RandomTag()));
  }
  // Appended piece by piece: GCC 12 warns falsely about `literal + string`.
  NativeString name(1, '.');
  name += NamePart(target);
  name += Widen<NativeChar>(suffix);
  return target.parent_path() / name;
}

bool IsTempFileName(const fs::path::string_type& name) {
  return TempNameWriter(name).has_value();
}

void RemoveStaleTempFiles(const fs::path& folder) {
  std::error_code error;
  const fs::path where = folder.empty() ? fs::path(".") : folder;
  for (fs::directory_iterator it(where, error), end; !error && it != end;
       it.increment(error)) {
    const auto writer = TempNameWriter(it->path().filename().native());
    if (!writer) continue;
    // A writer that still runs is midway through its save: a sim command
    // beside a running station, the panel, another thread of this program.
    if (!ProcessHasEnded(writer->pid, writer->start)) continue;
    std::error_code ignored;
    const fs::file_status status = fs::symlink_status(it->path(), ignored);
    // remove() takes a link itself away, never what it points to.
    if (fs::is_regular_file(status) || fs::is_symlink(status)) {
      fs::remove(it->path(), ignored);
    }
  }
}

}  // namespace srom
