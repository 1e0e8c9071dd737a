# The release archive of the Windows build:
#   cmake --build --preset windows --target package
# writes Kestrane-Falloway-<version>-win64.zip (the version of the top
# CMakeLists.txt, which the DLLs' version resources carry too) holding
# exactly the two DLLs, their two headers, README.txt and SHA256SUMS.
# The same source and options give the same archive, byte for byte, in any
# folder (cmake/WriteReleaseArchive.cmake says how); with KT_SIGNING_CERT
# the DLLs in it are signed (cmake/ReleaseSigning.cmake).

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

include(${CMAKE_CURRENT_LIST_DIR}/ReleaseSigning.cmake)

# CPack's zip writer records the builder's user and group ids and local
# time, which no setting removes; Info-ZIP's zip, told to store neither, is
# run by the package target instead.
find_program(KT_ZIP zip)
set(kt_release_settings ${CMAKE_BINARY_DIR}/release_archive_settings.cmake)
file(GENERATE OUTPUT ${kt_release_settings} CONTENT "\
set(kt_archive [==[${CMAKE_BINARY_DIR}/Kestrane-Falloway-${PROJECT_VERSION}-win64.zip]==])
set(kt_staging [==[${CMAKE_BINARY_DIR}/release_staging]==])
set(kt_epoch ${KT_SOURCE_DATE_EPOCH})
set(kt_zip [==[${KT_ZIP}]==])
set(kt_sources
  [==[$<TARGET_FILE:Falloway>]==] Falloway.dll
  [==[$<TARGET_FILE:Kestrane>]==] Kestrane.dll
  [==[${kt_readme}]==] README.txt
  [==[${PROJECT_SOURCE_DIR}/include/falloway.h]==] include/falloway.h
  [==[${PROJECT_SOURCE_DIR}/include/kestrane.h]==] include/kestrane.h)
set(kt_signed Falloway.dll Kestrane.dll)
${KT_SIGNING_SETTINGS}")

# Build folders from the time CPack wrote the archive still hold its
# configuration, which would claim the target's name.
file(REMOVE ${CMAKE_BINARY_DIR}/CPackConfig.cmake ${CMAKE_BINARY_DIR}/CPackSourceConfig.cmake)
add_custom_target(package
  COMMAND ${CMAKE_COMMAND} -DSETTINGS=${kt_release_settings} -P ${CMAKE_CURRENT_LIST_DIR}/WriteReleaseArchive.cmake
  COMMENT "Writing Kestrane-Falloway-${PROJECT_VERSION}-win64.zip"
  VERBATIM)
add_dependencies(package Kestrane Falloway)
