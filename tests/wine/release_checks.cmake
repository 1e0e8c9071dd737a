# What the release archive tests check of an archive and its DLLs, as a user
# who receives one would. Expects VERSION, WINE64, WINEPREFIX, DLL_CALLER
# and OBJDUMP set by the including script.
cmake_minimum_required(VERSION 3.21)

# Stops the test with `message` unless `condition` (if() syntax) holds.
macro(require condition message)
  cmake_language(EVAL CODE "if(NOT (${condition}))\n message(FATAL_ERROR [==[${message}]==])\nendif()")
endmacro()

# The value of cache entry <name> of the build folder <build>.
function(cache_value build name out)
  file(STRINGS ${build}/CMakeCache.txt line REGEX "^${name}:[A-Z]+=")
  string(REGEX REPLACE "^[^=]*=" "" value "${line}")
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

# Unpacks <archive> into the empty folder <work>; checks its file list, that
# SHA256SUMS covers every other file and holds, and that README.txt names
# the version of the archive's file name.
function(unpack_checked archive work)
  require("EXISTS ${archive}" "no archive ${archive}")
  file(REMOVE_RECURSE ${work})
  file(ARCHIVE_EXTRACT INPUT ${archive} DESTINATION ${work})
  file(GLOB_RECURSE found RELATIVE ${work} ${work}/*)
  list(SORT found)
  set(expected Falloway.dll Kestrane.dll README.txt SHA256SUMS include/falloway.h include/kestrane.h)
  require("found STREQUAL expected" "${archive} holds [${found}], not [${expected}]")

  file(STRINGS ${work}/SHA256SUMS lines)
  set(summed "")
  foreach(line ${lines})
    require("line MATCHES [[^([0-9a-f]+)  (.+)$]]" "SHA256SUMS line not understood: ${line}")
    set(listed ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    file(SHA256 ${work}/${name} actual)
    require("actual STREQUAL listed" "${name}: SHA-256 ${actual}, SHA256SUMS says ${listed}")
    list(APPEND summed ${name})
  endforeach()
  list(SORT summed)
  list(REMOVE_ITEM expected SHA256SUMS)
  require("summed STREQUAL expected" "SHA256SUMS covers [${summed}], not [${expected}]")

  get_filename_component(archive_name ${archive} NAME)
  file(STRINGS ${work}/README.txt title LIMIT_COUNT 1)
  require("archive_name STREQUAL \"Kestrane-Falloway-${VERSION}-win64.zip\" AND title MATCHES \"^Kestrane and Falloway ${VERSION} \""
          "${archive_name} opens its README.txt with \"${title}\"")
endfunction()

# One call per library from <folder> (by full path, so no other copy can be
# picked up); no server needs to answer, the call must return.
function(call_exports folder)
  set(calls_Kestrane "CheckLimits s:41 s:42 r")
  set(calls_Falloway "GetLastUpdate s:41 b:20:00")
  foreach(library Kestrane Falloway)
    file(WRITE ${folder}.${library}.calls "${calls_${library}}\n")
    string(REPLACE "/" "\\" windows_path "Z:${folder}/${library}.dll")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${WINEPREFIX} WINEDEBUG=-all
                            ${WINE64} ${DLL_CALLER} ${windows_path}
                    INPUT_FILE ${folder}.${library}.calls RESULT_VARIABLE ran OUTPUT_VARIABLE out ERROR_VARIABLE err
                    TIMEOUT 180)
    string(REGEX MATCH "^[A-Za-z]+ ret=[01] " answered "${out}")
    require("ran EQUAL 0 AND answered" "${folder}/${library}.dll under Wine: exit ${ran}, output:\n${out}${err}")
    message(STATUS "${folder}/${library}.dll under Wine: ${out}")
  endforeach()
endfunction()

# The DLLs a loader must find for <dll>: Windows' own only.
function(require_system_imports dll)
  execute_process(COMMAND ${OBJDUMP} -p ${dll} OUTPUT_VARIABLE text RESULT_VARIABLE failed)
  require("NOT failed" "${OBJDUMP} -p ${dll} failed")
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${text}")
  require("imports" "${dll} imports nothing")
  foreach(import ${imports})
    string(TOLOWER "${import}" import)
    require("import MATCHES [[^dll name: (kernel32|winhttp|msvcrt)\\.dll$|^dll name: api-ms-win-]]"
            "${dll}: ${import} is not a system DLL")
  endforeach()
endfunction()
