// A second program for the lock and replacement tests, started by them as a
// real process. Prints one result line on stdout.
//
//   lock <folder> [hold]     locks the station folder; prints "locked" or the
//                            refusal (exit 3); with "hold", keeps the lock
//                            until stdin closes
//   replace <file> <times> <tag>
//                            replaces the file <times> times with whole
//                            versions; prints "replaced <ok> failed <n>"
//                            and the first error (exit 1 if any failed)
//   replace-limited <file> <max bytes> <size> ignore|die   (POSIX)
//                            replaces the file with <size> bytes while any
//                            file may hold at most <max bytes>: the write
//                            stops short as on a full disk, or with "die"
//                            the process is killed right there
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ports/safe_replace.h"
#include "ports/station_lock.h"
#include "ports_test_support.h"

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

namespace {

using srom::test::PathFromUtf8;

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int Lock(const std::string& folder, bool hold) {
  std::string error;
  std::optional<srom::StationLock> lock =
      srom::StationLock::Acquire(PathFromUtf8(folder), &error);
  if (!lock) {
    PrintLine(error);
    return 3;
  }
  PrintLine("locked");
  if (hold) {
    char c;
    while (std::fread(&c, 1, 1, stdin) == 1) {
    }
  }
  return 0;
}

int Replace(const std::string& file, int times, char tag) {
  int failed = 0;
  std::string first_error;
  for (int i = 1; i <= times; ++i) {
    std::string error;
    if (!srom::ReplaceFileSafely(PathFromUtf8(file),
                                 srom::test::VersionText(tag, i), &error)) {
      if (failed++ == 0) first_error = error;
    }
  }
  PrintLine("replaced " + std::to_string(times - failed) + " failed " +
            std::to_string(failed));
  PrintLine(first_error);
  return failed == 0 ? 0 : 1;
}

#ifndef _WIN32
int ReplaceLimited(const std::string& file, rlim_t max_bytes, std::size_t size,
                   bool die) {
  if (!die) std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = max_bytes;
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
    PrintLine("cannot limit the file size");
    return 2;
  }
  std::string error;
  if (!srom::ReplaceFileSafely(PathFromUtf8(file), std::string(size, 'n'),
                               &error)) {
    PrintLine(error);
    return 1;
  }
  PrintLine("replaced");
  return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "lock" && argc >= 3) {
    return Lock(argv[2], argc > 3 && std::string(argv[3]) == "hold");
  }
  if (command == "replace" && argc == 5) {
    return Replace(argv[2], std::atoi(argv[3]), argv[4][0]);
  }
#ifndef _WIN32
  if (command == "replace-limited" && argc == 6) {
    return ReplaceLimited(argv[2], std::strtoull(argv[3], nullptr, 10),
                          std::strtoull(argv[4], nullptr, 10),
                          std::string(argv[5]) == "die");
  }
#endif
  PrintLine("usage: ports_test_helper lock|replace|replace-limited ...");
  return 2;
}
