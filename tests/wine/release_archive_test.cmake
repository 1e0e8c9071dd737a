# The release archive as a user receives it: built afresh from the Windows
# build, unpacked into an empty folder, its file list and SHA256SUMS
# checked, and both DLLs loaded from that folder under Wine and one export
# of each called.
# cmake -DWINDOWS_BUILD=<dir> -DVERSION=<x.y.z> -DWORK=<scratch dir> -DOBJDUMP=<mingw objdump>
#       -DWINE64=<wine64> -DWINEPREFIX=<prefix> -DDLL_CALLER=<dll_caller.exe> -P release_archive_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/release_checks.cmake)

execute_process(COMMAND ${CMAKE_COMMAND} --build ${WINDOWS_BUILD} --target package
                RESULT_VARIABLE built OUTPUT_VARIABLE log ERROR_VARIABLE log)
require("built EQUAL 0" "cmake --build ${WINDOWS_BUILD} --target package failed:\n${log}")
unpack_checked(${WINDOWS_BUILD}/Kestrane-Falloway-${VERSION}-win64.zip ${WORK})
file(READ ${WORK}/README.txt readme)
foreach(service SIGNAL_SERVER ACCOUNT_SERVICE)
  cache_value(${WINDOWS_BUILD} ${service}_SCHEME scheme)
  cache_value(${WINDOWS_BUILD} ${service}_HOST host)
  string(FIND "${readme}" " ${scheme}://${host}\n" at)
  require("at GREATER -1" "README.txt does not name ${scheme}://${host}, the build's ${service}")
endforeach()

foreach(built_dll signal/Kestrane.dll account/Falloway.dll)
  get_filename_component(name ${built_dll} NAME)
  file(SHA256 ${WINDOWS_BUILD}/${built_dll} built_sum)
  file(SHA256 ${WORK}/${name} packed_sum)
  require("built_sum STREQUAL packed_sum" "${name} in the archive is not the one just built")
  require_system_imports(${WORK}/${name})
endforeach()
call_exports(${WORK})
