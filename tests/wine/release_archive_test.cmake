# The release archive as a user receives it: built afresh from the Windows
# build, unpacked into an empty folder, its file list and SHA256SUMS
# checked, and both DLLs loaded from that folder under Wine and one export
# of each called.
# cmake -DWINDOWS_BUILD=<dir> -DVERSION=<x.y.z> -DWORK=<scratch dir>
#       -DWINE64=<wine64> -DWINEPREFIX=<prefix> -DDLL_CALLER=<dll_caller.exe> -P release_archive_test.cmake
# Stops the test with `message` unless `condition` (if() syntax) holds.
macro(require condition message)
  cmake_language(EVAL CODE "if(NOT (${condition}))\n message(FATAL_ERROR [==[${message}]==])\nendif()")
endmacro()

execute_process(COMMAND ${CMAKE_COMMAND} --build ${WINDOWS_BUILD} --target package
                RESULT_VARIABLE built OUTPUT_VARIABLE log ERROR_VARIABLE log)
require("built EQUAL 0" "cmake --build ${WINDOWS_BUILD} --target package failed:\n${log}")
set(archive ${WINDOWS_BUILD}/Kestrane-Falloway-${VERSION}-win64.zip)
require("EXISTS ${archive}" "the package target wrote no ${archive}")

file(REMOVE_RECURSE ${WORK})
file(ARCHIVE_EXTRACT INPUT ${archive} DESTINATION ${WORK})
file(GLOB_RECURSE found RELATIVE ${WORK} ${WORK}/*)
list(SORT found)
set(expected Falloway.dll Kestrane.dll README.txt SHA256SUMS include/falloway.h include/kestrane.h)
require("found STREQUAL expected" "the archive holds [${found}], not [${expected}]")

file(STRINGS ${WORK}/SHA256SUMS lines)
set(summed "")
foreach(line ${lines})
  require("line MATCHES [[^([0-9a-f]+)  (.+)$]]" "SHA256SUMS line not understood: ${line}")
  set(listed ${CMAKE_MATCH_1})
  set(name ${CMAKE_MATCH_2})
  file(SHA256 ${WORK}/${name} actual)
  require("actual STREQUAL listed" "${name}: SHA-256 ${actual}, SHA256SUMS says ${listed}")
  list(APPEND summed ${name})
endforeach()
list(SORT summed)
list(REMOVE_ITEM expected SHA256SUMS)
require("summed STREQUAL expected" "SHA256SUMS covers [${summed}], not [${expected}]")

foreach(built_dll signal/Kestrane.dll account/Falloway.dll)
  get_filename_component(name ${built_dll} NAME)
  file(SHA256 ${WINDOWS_BUILD}/${built_dll} built_sum)
  file(SHA256 ${WORK}/${name} packed_sum)
  require("built_sum STREQUAL packed_sum" "${name} in the archive is not the one just built")
endforeach()

# One call per library from the unpacked folder (by full path, so no other
# copy can be picked up); no server needs to answer, the call must return.
set(calls_Kestrane "CheckLimits s:41 s:42 r")
set(calls_Falloway "GetLastUpdate s:41 b:20:00")
foreach(library Kestrane Falloway)
  file(WRITE ${WORK}.${library}.calls "${calls_${library}}\n")
  string(REPLACE "/" "\\" windows_path "Z:${WORK}/${library}.dll")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${WINEPREFIX} WINEDEBUG=-all
                          ${WINE64} ${DLL_CALLER} ${windows_path}
                  INPUT_FILE ${WORK}.${library}.calls RESULT_VARIABLE ran OUTPUT_VARIABLE out ERROR_VARIABLE err
                  TIMEOUT 180)
  string(REGEX MATCH "^[A-Za-z]+ ret=[01] " answered "${out}")
  require("ran EQUAL 0 AND answered" "${library}.dll from the archive under Wine: exit ${ran}, output:\n${out}${err}")
  message(STATUS "${library}.dll from the archive: ${out}")
endforeach()
