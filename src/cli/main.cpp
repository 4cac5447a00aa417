// srom-cli's entry point: the streams made byte-exact, then the commands.
#include <iostream>

#include "cli/cli_app.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // Listings carry their own CR LF, which text mode would turn into CR CR LF;
  // both streams give the same bytes on every system.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  return srom::cli::RunSromCli(argc, argv, std::cout, std::cerr);
}
