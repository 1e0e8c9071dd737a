# add_export_library(<name> SOURCES <files...> EXPORTS <names...> DESCRIPTION <text>)
#
# Builds one deliverable: the export sources over the shared core, as
# lib<name>.so on Linux and <name>.dll on Windows. Only the listed export
# names leave the library; on Windows they go out undecorated through a
# module-definition file, the whole runtime (C, C++, libgcc, winpthread) is
# linked in statically so the DLL imports system DLLs only, and a version
# resource is attached. The export objects are also kept as <name>_exports
# so tests can link them over the fake platform.
function(add_export_library name)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "SOURCES;EXPORTS" ${ARGN})

  add_library(${name}_exports OBJECT ${ARG_SOURCES})
  target_include_directories(${name}_exports PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(${name}_exports PUBLIC export_support transport_core)
  target_compile_definitions(${name}_exports PRIVATE
    SIGNAL_SERVER_HOST="${SIGNAL_SERVER_HOST}"
    ACCOUNT_SERVICE_HOST="${ACCOUNT_SERVICE_HOST}")

  add_library(${name} SHARED $<TARGET_OBJECTS:${name}_exports>)
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(${name} PRIVATE export_support transport_core platform_api)

  if(WIN32)
    _kt_windows_export_details(${name} "${ARG_EXPORTS}" "${ARG_DESCRIPTION}")
  else()
    _kt_linux_export_details(${name} "${ARG_EXPORTS}")
  endif()
endfunction()

# A .def file with nothing but the plain names: with it the linker exports
# exactly these, and none of the statically linked runtime's symbols.
function(_kt_windows_export_details name exports description)
  set(def_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.def)
  list(JOIN exports "\n    " export_lines)
  file(CONFIGURE OUTPUT ${def_file} CONTENT "LIBRARY ${name}.dll\nEXPORTS\n    ${export_lines}\n")

  set(KT_RC_NAME ${name})
  set(KT_RC_DESCRIPTION "${description}")
  set(rc_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_version.rc)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/version.rc.in ${rc_file} @ONLY)

  target_sources(${name} PRIVATE ${def_file} ${rc_file})
  set_target_properties(${name} PROPERTIES PREFIX "" IMPORT_PREFIX "")
  # -static makes the driver take libstdc++, libgcc and libwinpthread as
  # archives; the system import libraries (kernel32, winhttp) stay imports.
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--no-undefined)
endfunction()

function(_kt_linux_export_details name exports)
  set(map_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
  list(JOIN exports "; " export_list)
  file(CONFIGURE OUTPUT ${map_file} CONTENT "{\n  global: ${export_list};\n  local: *;\n};\n")
  target_link_options(${name} PRIVATE -Wl,--version-script=${map_file} -Wl,--no-undefined -Wl,-Bsymbolic)
  set_target_properties(${name} PROPERTIES LINK_DEPENDS ${map_file})
endfunction()
