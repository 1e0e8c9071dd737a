# add_export_library(<name> SOURCES <files...> EXPORTS <names...> DESCRIPTION <text>)
#
# Builds one deliverable: the export sources over the shared core, as
# lib<name>.so on Linux and <name>.dll on Windows. Only the listed export
# names leave the library; on Windows they go out undecorated through a
# module-definition file, the whole runtime (C, C++, libgcc, winpthread) is
# linked in statically so the DLL imports system DLLs only, and a version
# resource is attached. The export objects are also kept as <name>_exports
# so tests can link them over the fake platform. The endpoints are the
# SIGNAL_SERVER_* and ACCOUNT_SERVICE_* scheme and host values.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/SourceDateEpoch.cmake)
endif()

function(add_export_library name)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "SOURCES;EXPORTS" ${ARGN})
  _kt_export_library(${name} ${name} "${ARG_SOURCES}" "${ARG_EXPORTS}" "${ARG_DESCRIPTION}"
    "${SIGNAL_SERVER_SCHEME}" "${SIGNAL_SERVER_HOST}" "${ACCOUNT_SERVICE_SCHEME}" "${ACCOUNT_SERVICE_HOST}")
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/include)

  # Test builds whose hosts carry loopback ports also make an https copy of
  # the library (in tls/, same file name) for "localhost" on those ports,
  # where the TLS tests put a server with a certificate of the test CA.
  _kt_tls_test_host(signal_tls_host "${SIGNAL_SERVER_HOST}")
  _kt_tls_test_host(account_tls_host "${ACCOUNT_SERVICE_HOST}")
  if(KT_BUILD_TESTS AND signal_tls_host AND account_tls_host)
    _kt_export_library(${name}_tls ${name} "${ARG_SOURCES}" "${ARG_EXPORTS}" "${ARG_DESCRIPTION}"
      https "${signal_tls_host}" https "${account_tls_host}")
    set_target_properties(${name}_tls PROPERTIES
      OUTPUT_NAME ${name}
      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/tls
      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/tls)
  endif()
endfunction()

# "localhost:<port>" for a host with a port, else empty.
function(_kt_tls_test_host out host)
  if(host MATCHES ":([0-9]+)$")
    set(${out} "localhost:${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

function(_kt_export_library target name sources exports description
         signal_scheme signal_host account_scheme account_host)
  add_library(${target}_exports OBJECT ${sources})
  target_include_directories(${target}_exports PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(${target}_exports PUBLIC export_support transport_core)
  target_compile_definitions(${target}_exports PRIVATE
    SIGNAL_SERVER_SCHEME="${signal_scheme}" SIGNAL_SERVER_HOST="${signal_host}"
    ACCOUNT_SERVICE_SCHEME="${account_scheme}" ACCOUNT_SERVICE_HOST="${account_host}")

  add_library(${target} SHARED $<TARGET_OBJECTS:${target}_exports>)
  target_link_libraries(${target} PRIVATE export_support transport_core platform_api)

  if(WIN32)
    _kt_windows_export_details(${target} ${name} "${exports}" "${description}")
  else()
    _kt_linux_export_details(${target} "${exports}")
  endif()
endfunction()

# A .def file with nothing but the plain names: with it the linker exports
# exactly these, and none of the statically linked runtime's symbols.
function(_kt_windows_export_details target name exports description)
  set(def_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  list(JOIN exports "\n    " export_lines)
  file(CONFIGURE OUTPUT ${def_file} CONTENT "LIBRARY ${name}.dll\nEXPORTS\n    ${export_lines}\n")

  set(KT_RC_NAME ${name})
  set(KT_RC_DESCRIPTION "${description}")
  set(rc_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/version.rc.in ${rc_file} @ONLY)

  target_sources(${target} PRIVATE ${def_file} ${rc_file})
  set_target_properties(${target} PROPERTIES PREFIX "" IMPORT_PREFIX "")
  # -static makes the driver take libstdc++, libgcc and libwinpthread as
  # archives; the system import libraries (kernel32, winhttp) stay imports.
  # -s leaves out the COFF symbol table, which nothing loads: the image then
  # ends on a file-alignment boundary, where a signature is appended without
  # padding, so removing the signature gives back these very bytes.
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ -s -Wl,--no-undefined)
  # ld takes the PE header's and the export directory's time stamps from
  # SOURCE_DATE_EPOCH; the checksum follows from the bytes.
  set_target_properties(${target} PROPERTIES
    CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;SOURCE_DATE_EPOCH=${KT_SOURCE_DATE_EPOCH}"
    LINK_DEPENDS ${KT_SOURCE_DATE_EPOCH_FILE})
endfunction()

function(_kt_linux_export_details target exports)
  set(map_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  list(JOIN exports "; " export_list)
  file(CONFIGURE OUTPUT ${map_file} CONTENT "{\n  global: ${export_list};\n  local: *;\n};\n")
  target_link_options(${target} PRIVATE -Wl,--version-script=${map_file} -Wl,--no-undefined -Wl,-Bsymbolic)
  set_target_properties(${target} PROPERTIES LINK_DEPENDS ${map_file})
endfunction()
