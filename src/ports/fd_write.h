// Writing a whole buffer to a POSIX file descriptor.
#pragma once

#ifndef _WIN32
#include <string_view>

namespace srom {

// Writes every byte, again after an interrupted write. On failure errno says
// why; a write that makes no progress and reports no error counts as a full
// disk (ENOSPC).
bool WriteAll(int fd, std::string_view bytes);

}  // namespace srom
#endif
