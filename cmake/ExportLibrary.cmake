# add_export_library(<name> SOURCES <files...> EXPORTS <names...> DESCRIPTION <text>)
#
# Builds one deliverable: the export sources over the shared core, as
# lib<name>.so on Linux and <name>.dll on Windows. Only the listed export
# names leave the library; on Windows they go out undecorated through a
# module-definition file, the runtime is linked statically and a version
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
    set(def_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.def)
    list(JOIN ARG_EXPORTS "\n    " export_lines)
    file(WRITE ${def_file} "LIBRARY ${name}\nEXPORTS\n    ${export_lines}\n")
    set(KT_RC_NAME ${name})
    set(KT_RC_DESCRIPTION "${ARG_DESCRIPTION}")
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}_version.rc @ONLY)
    target_sources(${name} PRIVATE ${def_file} ${CMAKE_CURRENT_BINARY_DIR}/${name}_version.rc)
    set_target_properties(${name} PROPERTIES PREFIX "" IMPORT_PREFIX "")
    target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--kill-at)
  else()
    set(map_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
    list(JOIN ARG_EXPORTS "; " export_list)
    file(WRITE ${map_file} "{\n  global: ${export_list};\n  local: *;\n};\n")
    target_link_options(${name} PRIVATE -Wl,--version-script=${map_file} -Wl,--no-undefined -Wl,-Bsymbolic)
    set_target_properties(${name} PROPERTIES LINK_DEPENDS ${map_file})
  endif()
endfunction()
