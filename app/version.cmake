# Writes OUTPUT (a header defining KORVAN_BUILD_VERSION) from the git history of SOURCE_DIR, in the form
# git describe gives: v1.2.3-4-gabcdef0. Without a version tag the count runs from the first commit and
# the version is v0.0.0; outside a repository the text is v0.0.0-0-g0000000. The header is rewritten only
# when the text changes, so an unchanged history rebuilds nothing.

find_package(Git QUIET)
set(version "")
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} describe --tags --long --abbrev=7
                          --match "v[0-9]*.[0-9]*.[0-9]*"
                  OUTPUT_VARIABLE described RESULT_VARIABLE failed
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT failed AND described MATCHES "^v[0-9]+\\.[0-9]+\\.[0-9]+-[0-9]+-g[0-9a-f]+$")
    set(version ${described})
  else()
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-list --count HEAD
                    OUTPUT_VARIABLE count RESULT_VARIABLE failed_count
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=7 HEAD
                    OUTPUT_VARIABLE hash RESULT_VARIABLE failed_hash
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT failed_count AND NOT failed_hash AND count MATCHES "^[0-9]+$" AND hash MATCHES "^[0-9a-f]+$")
      set(version "v0.0.0-${count}-g${hash}")
    endif()
  endif()
endif()
if(version STREQUAL "")
  set(version "v0.0.0-0-g0000000")
endif()

set(content "#pragma once\n#define KORVAN_BUILD_VERSION \"${version}\"\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} existing)
endif()
if(NOT existing STREQUAL content)
  file(WRITE ${OUTPUT} "${content}")
endif()
