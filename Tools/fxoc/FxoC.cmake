# grindlow_compile_fxo(<target> OUTPUT_DIR <dir> SOURCES <effect.fx>...)
#
# Compiles each effect source (relative to the calling folder) into <dir>/<name>.fxo, <name> being the source's file
# name without its extension; the GLSL code is checked with glslangValidator, so a broken shader fails the build.
# Each compiled file is checked by loading it with the stand-in's reader (fxoc --dump), which leaves the effect as
# it was read in <dir>/<name>.fxo.fx. <target> (built by default) makes them all; <target>_OUTPUTS lists the .fxo
# files.
function(grindlow_compile_fxo target)
  cmake_parse_arguments(F "" "OUTPUT_DIR" "SOURCES" ${ARGN})
  if(NOT F_OUTPUT_DIR OR NOT F_SOURCES)
    message(FATAL_ERROR "grindlow_compile_fxo(${target}): OUTPUT_DIR and SOURCES are needed")
  endif()
  grindlow_tool_program(fxoc fxoc)
  set(outputs "")
  foreach(src IN LISTS F_SOURCES)
    get_filename_component(abs "${src}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    get_filename_component(stem "${src}" NAME_WE)
    set(out "${F_OUTPUT_DIR}/${stem}.fxo")
    add_custom_command(OUTPUT "${out}" "${out}.fx"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${F_OUTPUT_DIR}"
      COMMAND "${fxoc}" --glslang "${GRINDLOW_GLSLANG}" --scratch "${CMAKE_CURRENT_BINARY_DIR}/${target}.glsl/${stem}"
              -o "${out}" "${abs}"
      COMMAND "${fxoc}" --dump "${out}" -o "${out}.fx"
      DEPENDS "${fxoc}" "${abs}"
      COMMENT "Compiling effect ${src}"
      VERBATIM)
    list(APPEND outputs "${out}")
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${outputs})
  set(${target}_OUTPUTS "${outputs}" PARENT_SCOPE)
endfunction()
