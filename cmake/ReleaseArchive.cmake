# The release archive of the Windows build:
#   cmake --build --preset windows --target package
# writes Kestrane-Falloway-<version>-win64.zip (the version of the top
# CMakeLists.txt, which the DLLs' version resources carry too) holding
# exactly the two DLLs, their two headers, README.txt and SHA256SUMS.
# A paragraph of a public header's leading comment, found by its first
# word, without the comment's " * " margins; so the README can never say
# other than the headers.
function(kt_header_paragraph header first_word out)
  file(READ ${header} text)
  string(REGEX MATCH " \\* ${first_word}:[^\n]*(\n \\* [^\n]+)*" paragraph "${text}")
  if(NOT paragraph)
    message(FATAL_ERROR "${header} has no \"${first_word}:\" paragraph for README.txt")
  endif()
  string(REGEX REPLACE "(^|\n) \\* " "\\1  " paragraph "${paragraph}")
  set(${out} "${paragraph}" PARENT_SCOPE)
endfunction()
kt_header_paragraph(${PROJECT_SOURCE_DIR}/include/kestrane.h Blocking KT_TIME_BOUND)
kt_header_paragraph(${PROJECT_SOURCE_DIR}/include/kestrane.h "Repeated delivery" KT_RETRIES)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/include/kestrane.h)

# With Windows line ends, for the people who read it there.
set(kt_readme ${CMAKE_BINARY_DIR}/README.txt)
file(READ ${PROJECT_SOURCE_DIR}/packaging/README.txt.in kt_readme_text)
string(CONFIGURE "${kt_readme_text}" kt_readme_text @ONLY)
string(REPLACE "\n" "\r\n" kt_readme_text "${kt_readme_text}")
file(WRITE ${kt_readme} "${kt_readme_text}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/README.txt.in)

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
