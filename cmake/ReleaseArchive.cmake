# The release archive of the Windows build:
#   cmake --build --preset windows --target package
# writes Kestrane-Falloway-<version>-win64.zip (the version of the top
# CMakeLists.txt, which the DLLs' version resources carry too) holding
# exactly the two DLLs, their two headers, README.txt and SHA256SUMS.
set(kt_readme ${CMAKE_BINARY_DIR}/README.txt)
configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt.in ${kt_readme} @ONLY)

install(FILES $<TARGET_FILE:Kestrane> $<TARGET_FILE:Falloway> ${kt_readme} DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/include/kestrane.h ${PROJECT_SOURCE_DIR}/include/falloway.h DESTINATION include)
# Last, so that every other file is in place when it is summed.
install(CODE "
  set(kt_summed Falloway.dll Kestrane.dll README.txt include/falloway.h include/kestrane.h)
  include(${CMAKE_CURRENT_LIST_DIR}/WriteChecksums.cmake)")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Kestrane-Falloway)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Kestrane-Falloway-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
