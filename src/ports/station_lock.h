// One station folder serves one program at a time: two programs on one
// folder would both read the same MAC counter from EEPROM.dat and give the
// same address to two units.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "ports/station_files.h"

namespace srom {

// The lock file in the station folder. It stays there between runs.
inline constexpr char kStationLockFile[] = "station.lock";
static_assert(std::string_view(kStationLockFile) == station_file::kStationLock);

// An exclusive lock on a station folder, held from Acquire until the object
// is destroyed or the process ends in any way, kill -9 included: the
// operating system releases it, so a crash never leaves a stale lock behind.
// The lock is not handed to child processes.
class StationLock {
 public:
  // Locks `folder` without waiting. When another program (or another
  // StationLock of this one) holds it, or the folder cannot be used, returns
  // nothing and puts an operator message naming the folder, and the holder
  // when it can be told, into `error` (when given). `held_elsewhere` tells
  // a lock another program holds from a folder that cannot be used.
  static std::optional<StationLock> Acquire(const std::filesystem::path& folder,
                                            std::string* error,
                                            bool* held_elsewhere = nullptr);
  // The same on another lock file of the folder, for a piece of the station
  // that its own commands share with a program that holds the station (the
  // simulated bench's files, which a running program keeps reading).
  static std::optional<StationLock> AcquireFile(
      const std::filesystem::path& folder, std::string_view lock_file,
      std::string* error, bool* held_elsewhere = nullptr);

  StationLock(StationLock&& other) noexcept;
  StationLock& operator=(StationLock&& other) noexcept;
  StationLock(const StationLock&) = delete;
  StationLock& operator=(const StationLock&) = delete;
  ~StationLock();

  const std::filesystem::path& folder() const { return folder_; }

 private:
#ifdef _WIN32
  using Handle = void*;  // a Win32 HANDLE
#else
  using Handle = int;  // a file descriptor
#endif
  StationLock(Handle handle, std::filesystem::path folder);
  void Release();

  Handle handle_;
  std::filesystem::path folder_;
};

}  // namespace srom
