# libpq for the Windows cross build: Debian has no libpq (nor OpenSSL) for
# the MinGW-w64 cross compiler, so scripts/libpq-for-windows.sh builds both
# from Debian's own source packages into one folder of static libraries. It
# becomes the PostgreSQL::PostgreSQL target that find_package(PostgreSQL)
# gives the native builds, which link Debian's libpq5 and take nothing from
# here.
include_guard(GLOBAL)

set(SROM_LIBPQ_DIR "" CACHE PATH
    "Folder holding libpq, libssl and libcrypto built for the Windows cross build")

if(NOT (CMAKE_CROSSCOMPILING AND WIN32) OR NOT SROM_LIBPQ_DIR)
  return()
endif()
# A folder that was asked for but is not there is an error, not a build
# without the line's ledger.
foreach(file include/libpq-fe.h lib/libpq.a lib/libssl.a lib/libcrypto.a)
  if(NOT EXISTS "${SROM_LIBPQ_DIR}/${file}")
    message(FATAL_ERROR
        "SROM_LIBPQ_DIR (${SROM_LIBPQ_DIR}) holds no ${file}: "
        "build it with scripts/libpq-for-windows.sh, which prints the folder")
  endif()
endforeach()

# What the static libraries call in Windows itself: certificates and the
# registry (crypt32, advapi32, user32, gdi32) for OpenSSL; sockets for both;
# SSPI logins (secur32) and the user's profile folder (shell32) for libpq.
add_library(OpenSSL::Crypto STATIC IMPORTED GLOBAL)
set_target_properties(OpenSSL::Crypto PROPERTIES
    IMPORTED_LOCATION "${SROM_LIBPQ_DIR}/lib/libcrypto.a"
    INTERFACE_LINK_LIBRARIES "crypt32;ws2_32;advapi32;user32;gdi32")
add_library(OpenSSL::SSL STATIC IMPORTED GLOBAL)
set_target_properties(OpenSSL::SSL PROPERTIES
    IMPORTED_LOCATION "${SROM_LIBPQ_DIR}/lib/libssl.a"
    INTERFACE_LINK_LIBRARIES OpenSSL::Crypto)

add_library(PostgreSQL::PostgreSQL STATIC IMPORTED GLOBAL)
# SYSTEM, as /usr/include/postgresql is for Debian's libpq-fe.h.
set_target_properties(PostgreSQL::PostgreSQL PROPERTIES
    IMPORTED_LOCATION "${SROM_LIBPQ_DIR}/lib/libpq.a"
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${SROM_LIBPQ_DIR}/include"
    INTERFACE_INCLUDE_DIRECTORIES "${SROM_LIBPQ_DIR}/include"
    INTERFACE_LINK_LIBRARIES "OpenSSL::SSL;secur32;ws2_32;shell32")
set(PostgreSQL_FOUND TRUE)
message(STATUS "libpq: linked in from ${SROM_LIBPQ_DIR}")
