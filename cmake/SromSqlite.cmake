# SQLite for the Windows cross build: Debian has no libsqlite3 for the
# MinGW-w64 cross compiler, so the build compiles SQLite's amalgamation in,
# generated from Debian's own sqlite3 source package by
# scripts/sqlite-for-windows.sh. It becomes the SQLite::SQLite3 target that
# find_package(SQLite3) gives the native builds, which link Debian's
# libsqlite3 and take nothing from here.
include_guard(GLOBAL)

set(SROM_SQLITE_AMALGAMATION_DIR "" CACHE PATH
    "Folder holding SQLite's sqlite3.c and sqlite3.h, compiled into the Windows cross build")

if(NOT (CMAKE_CROSSCOMPILING AND WIN32) OR NOT SROM_SQLITE_AMALGAMATION_DIR)
  return()
endif()
# A folder that was asked for but is not there is an error, not a build
# without the ledger.
foreach(file sqlite3.c sqlite3.h)
  if(NOT EXISTS "${SROM_SQLITE_AMALGAMATION_DIR}/${file}")
    message(FATAL_ERROR
        "SROM_SQLITE_AMALGAMATION_DIR (${SROM_SQLITE_AMALGAMATION_DIR}) holds no "
        "${file}: generate it with scripts/sqlite-for-windows.sh <dir>")
  endif()
endforeach()

# SQLite is the project's only C.
enable_language(C)

add_library(srom_sqlite3 STATIC "${SROM_SQLITE_AMALGAMATION_DIR}/sqlite3.c")
# SYSTEM, as /usr/include is for Debian's sqlite3.h: the project's warnings
# stay off SQLite's macros (SQLITE_TRANSIENT is an old-style cast).
target_include_directories(srom_sqlite3 SYSTEM PUBLIC "${SROM_SQLITE_AMALGAMATION_DIR}")
# One station process per ledger file, threads of its own allowed; nothing
# loaded at run time; string literals in single quotes only, as SQL has them.
target_compile_definitions(srom_sqlite3 PRIVATE
    SQLITE_THREADSAFE=1
    SQLITE_DEFAULT_FOREIGN_KEYS=1
    SQLITE_OMIT_LOAD_EXTENSION
    SQLITE_DQS=0
    SQLITE_OMIT_SHARED_CACHE
    SQLITE_DEFAULT_MEMSTATUS=0
    SQLITE_LIKE_DOESNT_MATCH_BLOBS
    SQLITE_USE_ALLOCA)
# Not the project's code: none of srom_common_flags' warnings, nor -Werror.
target_compile_options(srom_sqlite3 PRIVATE -w)

add_library(SQLite::SQLite3 ALIAS srom_sqlite3)
message(STATUS "SQLite: compiled in from ${SROM_SQLITE_AMALGAMATION_DIR}")
