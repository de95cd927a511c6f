# qov_add_plugin(NAME EFFECT library SOURCES files... [FREI0R file_name FREI0R_SOURCES files...])
#
# Every target of one plug-in, from its sources in plugins/NAME/ (SOURCES) and frei0r/
# (FREI0R_SOURCES) and the effect library it drives:
#   qov_plugin_NAME   the plug-in's own code as object files, linked by its library and by
#                     its fuzz targets (fuzz/);
#   NAME              the FreeFrame library (NAME.so, NAME.dll), exporting nothing but
#                     plugMain, installed into lib/freeframe;
#   frei0r_NAME       the frei0r edition (FREI0R file_name.so, what frei0r hosts look it up
#                     by), where frei0r/ is built.
# NAME joins the global property QOV_PLUGINS, and file_name QOV_FREI0R_PLUGINS, from which
# the fuzz targets, tests and tools take the list of plug-ins.
function(qov_add_plugin name)
  cmake_parse_arguments(PLUGIN "" "EFFECT;FREI0R" "SOURCES;FREI0R_SOURCES" ${ARGN})
  if(NOT PLUGIN_EFFECT OR NOT PLUGIN_SOURCES)
    message(FATAL_ERROR "qov_add_plugin(${name}): EFFECT and SOURCES are required")
  endif()
  list(TRANSFORM PLUGIN_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/plugins/${name}/)

  add_library(qov_plugin_${name} OBJECT ${PLUGIN_SOURCES})
  target_link_libraries(qov_plugin_${name} PUBLIC qov_framework ${PLUGIN_EFFECT})
  set_target_properties(qov_plugin_${name} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

  add_library(${name} MODULE)
  target_link_libraries(${name} PRIVATE qov_plugin_${name} qov_framework ${PLUGIN_EFFECT})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}
    RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
  if(WIN32)
    # A self-contained DLL (libgcc, libstdc++ and winpthread linked in) whose
    # __stdcall entry point is exported undecorated, as "plugMain" rather than "plugMain@12";
    # release builds leave out the symbol table.
    target_link_options(${name} PRIVATE -static -Wl,--kill-at -Wl,--no-undefined
      $<$<OR:$<CONFIG:Release>,$<CONFIG:MinSizeRel>>:-s>)
  elseif(NOT APPLE)
    target_link_options(${name} PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/framework/exports.map)
    # clang's sanitizer runtimes live in the executable, not in shared libraries.
    if(NOT (CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND (QOV_FUZZ OR CMAKE_CXX_FLAGS MATCHES "-fsanitize")))
      target_link_options(${name} PRIVATE -Wl,--no-undefined)
    endif()
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/framework/exports.map)
  endif()
  # Where FreeFrame hosts (and qovhost) look for plug-ins under an installation prefix.
  install(TARGETS ${name} LIBRARY DESTINATION lib/freeframe RUNTIME DESTINATION lib/freeframe)
  set_property(GLOBAL APPEND PROPERTY QOV_PLUGINS ${name})
  set_property(GLOBAL PROPERTY QOV_PLUGIN_EFFECT_${name} ${PLUGIN_EFFECT})

  if(PLUGIN_FREI0R AND TARGET qov_frei0r_entry)
    list(TRANSFORM PLUGIN_FREI0R_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/frei0r/)
    qov_add_frei0r_plugin(frei0r_${name} ${PLUGIN_FREI0R} SOURCES ${PLUGIN_FREI0R_SOURCES} LIBRARIES ${PLUGIN_EFFECT})
    set_property(GLOBAL APPEND PROPERTY QOV_FREI0R_PLUGINS ${PLUGIN_FREI0R})
    set_property(GLOBAL APPEND PROPERTY QOV_FREI0R_TARGETS frei0r_${name})
  endif()
endfunction()

# qov_depends_on_plugins(TARGET): TARGET is built after every plug-in's FreeFrame library (a
# program or test that loads them at run time).
function(qov_depends_on_plugins target)
  get_property(plugins GLOBAL PROPERTY QOV_PLUGINS)
  add_dependencies(${target} ${plugins})
endfunction()
