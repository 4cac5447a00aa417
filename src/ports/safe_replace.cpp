#include "ports/safe_replace.h"

#include "ports/file_kind.h"
#include "ports/replace_native.h"
#include "ports/system_error_text.h"
#include "ports/temp_names.h"

namespace srom {
namespace fs = std::filesystem;
using namespace replace_native;

namespace {

// A name taken by chance (another writer's attempt) is tried again with a
// new random part this many times.
constexpr int kTempNameAttempts = 16;

bool Fail(std::string* error, const fs::path& path, const std::string& why) {
  if (error != nullptr) *error = "Cannot save " + QuotedPath(path) + ": " + why;
  return false;
}

}  // namespace

bool ReplaceFileSafely(const fs::path& path, std::string_view bytes,
                       std::string* error) {
  std::error_code cause;
  // The file itself is replaced, never what a link under its name leads to;
  // the rename would put a plain file in the link's place, so a link is
  // refused before anything is written, and the operator told its name.
  if (EntryKindOf(path) == FileKind::kLink) {
    return Fail(error, path,
                "it is a symbolic link, and the tool never writes through "
                "one. Remove the link, or name the file it leads to");
  }
  const fs::path& target = path;
  const fs::file_status old_status = fs::status(target, cause);
  if (cause && old_status.type() != fs::file_type::not_found) {
    return Fail(error, path, DescribeSystemError(cause));
  }
  if (fs::is_directory(old_status)) {
    return Fail(error, path, "it is a folder");
  }
  if (fs::exists(old_status) && !fs::is_regular_file(old_status)) {
    return Fail(error, path, "it is not a plain file (a pipe or a device)");
  }

  fs::path temp;
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    temp = TempPathBeside(target);
    cause.clear();
    if (WriteTempFile(temp, bytes, old_status, &cause)) break;
    if (!IsNameTaken(cause)) break;
  }
  if (cause) {
    if (IsMissingFolder(cause)) {
      fs::path folder = target.parent_path();
      if (folder.empty()) folder = ".";
      return Fail(error, path,
                  "the folder " + QuotedPath(folder) + " does not exist");
    }
    return Fail(error, path, DescribeSystemError(cause));
  }
  if (!RenameOver(temp, target, &cause)) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return Fail(error, path, DescribeSystemError(cause));
  }
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  if (!FlushFolder(folder, &cause)) {
    return Fail(error, path,
                "the new contents may not have reached the disk: " +
                    DescribeSystemError(cause));
  }
  return true;
}

}  // namespace srom
