// Real files in real folders for tests: a fresh folder removed with all it
// holds, and byte-exact reads and writes.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <system_error>

namespace srom::test {

namespace fs = std::filesystem;

// A new empty folder under the system's temporary folder, removed with all
// it holds when the object goes (made writable again first, for tests that
// take the write permission away).
class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    path_ = fs::temp_directory_path() /
            ("srom-test-" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add,
                    ignored);
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

  // The names in the folder, to show that nothing was added or removed.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

 private:
  fs::path path_;
};

inline std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace srom::test
