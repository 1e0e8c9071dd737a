# The package target's step: cmake -DSETTINGS=<file> -P WriteReleaseArchive.cmake
# (the settings are written by ReleaseArchive.cmake). Stages the files,
# signs the DLLs when a signing command is set, writes SHA256SUMS, and zips
# them so that nothing of the machine, the folder, the user or the hour gets
# in: every entry has the build's fixed time (in UTC), mode 0644, no owner,
# no extra fields, and the entries come in one fixed order.
cmake_minimum_required(VERSION 3.20)
include(${SETTINGS})
include(${CMAKE_CURRENT_LIST_DIR}/WriteChecksums.cmake)

# kt_run(<what> <working folder> <command...>)
macro(kt_run what folder)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${folder} RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log INPUT_FILE /dev/null)
  if(failed)
    message(FATAL_ERROR "${what} failed (${failed}):\n${log}")
  endif()
endmacro()

if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "" AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "${kt_epoch}")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is $ENV{SOURCE_DATE_EPOCH} but the DLLs were configured with ${kt_epoch}: "
                      "configure again with it set")
endif()
if(NOT kt_zip)
  message(FATAL_ERROR "The release archive needs Info-ZIP's zip (Debian: apt-get install zip)")
endif()

# No archive of an earlier run may stand in for one that failed.
file(REMOVE ${kt_archive} ${kt_archive}.part)
file(REMOVE_RECURSE ${kt_staging})
set(entries "")
while(kt_sources)
  list(POP_FRONT kt_sources source entry)
  get_filename_component(folder ${kt_staging}/${entry} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  if(entry IN_LIST kt_signed AND kt_sign_command)
    kt_run("Signing ${entry}" ${kt_staging} ${kt_sign_command} -in ${source} -out ${kt_staging}/${entry})
  else()
    file(COPY ${source} DESTINATION ${folder})
  endif()
  list(APPEND entries ${entry})
endwhile()
kt_write_checksums(${kt_staging} ${entries})
list(APPEND entries SHA256SUMS)

foreach(entry ${entries})
  file(CHMOD ${kt_staging}/${entry} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
kt_run("Setting the entries' times" ${kt_staging} touch -d @${kt_epoch} ${entries})
# -X: no owner ids, no extra time fields; -D: no folder entries. ZIPOPT and
# ZIP would add options of the user's; TZ=UTC makes the DOS times the same
# everywhere.
kt_run("zip" ${kt_staging} ${CMAKE_COMMAND} -E env --unset=ZIPOPT --unset=ZIP TZ=UTC
       ${kt_zip} -X -D -q ${kt_archive}.part ${entries})
file(RENAME ${kt_archive}.part ${kt_archive})
