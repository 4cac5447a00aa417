#include "ports/host_name.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace srom {

std::string HostName() {
#ifdef _WIN32
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (GetComputerNameA(name, &size) && size > 0) return std::string(name, size);
#else
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') return name;
#endif
  return "this-computer";
}

}  // namespace srom
