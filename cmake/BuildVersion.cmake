# Writes the version of this build, run at every build (cmake -P) so that a
# build from a git checkout names the commit it was built from.
#
# In:  SOURCE_DIR, OUT_DIR, VERSION (the project's "2.0.0.1"), SPECIAL_BUILD,
#      MAINTAINER, CHANGELOG_IN, GZIP (may be empty).
# Out: OUT_DIR/BuildVersion.cpp   the texts the program compiles in;
#      OUT_DIR/package-version    the package version, read by CPack;
#      OUT_DIR/changelog.gz       the package's changelog, its entry at that version.
# Each file is rewritten only when its text changes, so an unchanged commit
# rebuilds nothing.

# "2.0.0.1" is FileVersion "2, 0, 0, 1" of the version block.
string(REPLACE "." ", " file_version "${VERSION}")

# The commit when SOURCE_DIR is the top of a git checkout (not a tarball that
# happens to lie inside another repository).
set(package_version "${VERSION}")
set(commit "")
set(changelog_date "")
find_program(GIT_PROGRAM git)
if(GIT_PROGRAM)
  execute_process(COMMAND ${GIT_PROGRAM} -C "${SOURCE_DIR}" rev-parse --show-toplevel
                  OUTPUT_VARIABLE top RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(rc EQUAL 0)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source_real)
  endif()
  if(rc EQUAL 0 AND top STREQUAL source_real)
    execute_process(COMMAND ${GIT_PROGRAM} -C "${SOURCE_DIR}" rev-parse --short=9 HEAD
                    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${GIT_PROGRAM} -C "${SOURCE_DIR}" rev-list --count HEAD
                    OUTPUT_VARIABLE count OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${GIT_PROGRAM} -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
                    OUTPUT_VARIABLE changes ERROR_QUIET)
    execute_process(COMMAND ${GIT_PROGRAM} -C "${SOURCE_DIR}" log -1 --format=%cD
                    OUTPUT_VARIABLE changelog_date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(commit MATCHES "^[0-9a-f]+$" AND count MATCHES "^[0-9]+$")
      # The commit count first, so that a later commit is a higher package version.
      set(package_version "${VERSION}+git${count}.g${commit}")
      if(NOT changes STREQUAL "")
        string(APPEND package_version ".dirty")
      endif()
    else()
      set(commit "")
    endif()
  endif()
endif()
if(changelog_date STREQUAL "")
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  else()
    file(TIMESTAMP "${CHANGELOG_IN}" changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  endif()
endif()
if(commit STREQUAL "")
  set(CHANGELOG_ORIGIN "from a source tree without git history")
else()
  set(CHANGELOG_ORIGIN "from commit ${commit}")
endif()

file(CONFIGURE OUTPUT "${OUT_DIR}/BuildVersion.cpp" CONTENT
"// Written by cmake/BuildVersion.cmake at build time: do not edit.
#include \"app/BuildVersion.h\"

const char* BuildFileVersion() { return \"${file_version}\"; }
const char* BuildSpecialBuild() { return \"${SPECIAL_BUILD}\"; }
const char* BuildPackageVersion() { return \"${package_version}\"; }
")
file(CONFIGURE OUTPUT "${OUT_DIR}/package-version" CONTENT "${package_version}\n")

set(PACKAGE_VERSION "${package_version}")
set(CHANGELOG_DATE "${changelog_date}")
configure_file("${CHANGELOG_IN}" "${OUT_DIR}/changelog" @ONLY)
if(GZIP AND ("${OUT_DIR}/changelog" IS_NEWER_THAN "${OUT_DIR}/changelog.gz"))
  # -n: no name or time stamp in the header, so the bytes depend on the text alone.
  execute_process(COMMAND ${GZIP} -9 -n -c "${OUT_DIR}/changelog"
                  OUTPUT_FILE "${OUT_DIR}/changelog.gz" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    file(REMOVE "${OUT_DIR}/changelog.gz")
    message(FATAL_ERROR "gzip failed on ${OUT_DIR}/changelog")
  endif()
endif()
