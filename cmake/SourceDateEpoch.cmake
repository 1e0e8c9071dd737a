# The one time a Windows build writes into what it ships (the DLLs' PE time
# stamps, the release archive's entry times), so that the same source gives
# the same bytes in any folder, on any machine, at any hour:
#   SOURCE_DATE_EPOCH when it is set at configure time (seconds since 1970),
#   else the time of the commit checked out,
#   else (no git, no checkout) 1980-01-01, the earliest time a zip entry holds.
# Sets KT_SOURCE_DATE_EPOCH and KT_SOURCE_DATE_EPOCH_FILE (a file holding the
# value, rewritten only when it changes, for targets to depend on).
function(_kt_commit_time out)
  set(${out} "" PARENT_SCOPE)
  find_package(Git QUIET)
  if(NOT GIT_FOUND)
    return()
  endif()
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                  RESULT_VARIABLE failed OUTPUT_VARIABLE time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(failed OR NOT time MATCHES "^[0-9]+$")
    return()
  endif()
  # A new commit must reach the time stamps without anyone reconfiguring by
  # hand: HEAD and the branch it names are what a commit rewrites.
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} rev-parse --path-format=absolute
                          --git-path HEAD --git-path packed-refs
                  OUTPUT_VARIABLE watched OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} symbolic-ref -q HEAD
                  OUTPUT_VARIABLE branch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(branch)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} rev-parse --path-format=absolute --git-path ${branch}
                    OUTPUT_VARIABLE branch_file OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    string(APPEND watched "\n${branch_file}")
  endif()
  string(REPLACE "\n" ";" watched "${watched}")
  foreach(file ${watched})
    if(EXISTS ${file})
      set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
    endif()
  endforeach()
  set(${out} ${time} PARENT_SCOPE)
endfunction()

if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(KT_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
  # The linker and the archive read it as a plain count of seconds; anything
  # else would be read differently by each, or not at all.
  if(NOT KT_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$" OR KT_SOURCE_DATE_EPOCH GREATER 4102444799)
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is '${KT_SOURCE_DATE_EPOCH}': it must be a number of seconds since 1970, before 2100")
  endif()
  set(KT_SOURCE_DATE_EPOCH_FROM "SOURCE_DATE_EPOCH")
else()
  _kt_commit_time(KT_SOURCE_DATE_EPOCH)
  set(KT_SOURCE_DATE_EPOCH_FROM "commit")
  if(NOT KT_SOURCE_DATE_EPOCH)
    set(KT_SOURCE_DATE_EPOCH 315532800)
    set(KT_SOURCE_DATE_EPOCH_FROM "fixed")
    message(WARNING "No SOURCE_DATE_EPOCH and no git checkout: the time stamps are 1980-01-01")
  endif()
endif()
# For the release archive's test, which rebuilds with the same time.
set(KT_SOURCE_DATE_EPOCH_FROM ${KT_SOURCE_DATE_EPOCH_FROM} CACHE INTERNAL "Where the build's time stamps came from")
set(KT_SOURCE_DATE_EPOCH ${KT_SOURCE_DATE_EPOCH} CACHE INTERNAL "The build's time stamps, seconds since 1970")
message(STATUS "Time stamps of the DLLs and the release archive: ${KT_SOURCE_DATE_EPOCH} (${KT_SOURCE_DATE_EPOCH_FROM})")

set(KT_SOURCE_DATE_EPOCH_FILE ${CMAKE_BINARY_DIR}/source_date_epoch.txt)
file(CONFIGURE OUTPUT ${KT_SOURCE_DATE_EPOCH_FILE} CONTENT "${KT_SOURCE_DATE_EPOCH}\n")
