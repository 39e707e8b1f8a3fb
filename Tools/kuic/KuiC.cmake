# grindlow_compile_kui(<target> OUTPUT_DIR <dir> SOURCES <description.json>...)
#
# Compiles each screen-set description (relative to the calling folder) into <dir>/<name>.kui, <name> being
# the description's file name without its extension, and checks each compiled file by loading it with the
# engine's loader (kuic --dump), which leaves its description as the engine read it in <dir>/<name>.kui.json.
# <target> (built by default) makes them all; the variable <target>_OUTPUTS lists the .kui files.
function(grindlow_compile_kui target)
  cmake_parse_arguments(K "" "OUTPUT_DIR" "SOURCES" ${ARGN})
  if(NOT K_OUTPUT_DIR OR NOT K_SOURCES)
    message(FATAL_ERROR "grindlow_compile_kui(${target}): OUTPUT_DIR and SOURCES are needed")
  endif()
  grindlow_tool_program(kuic kuic)
  set(outputs "")
  foreach(src IN LISTS K_SOURCES)
    get_filename_component(abs "${src}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    get_filename_component(stem "${src}" NAME_WE)
    set(out "${K_OUTPUT_DIR}/${stem}.kui")
    add_custom_command(OUTPUT "${out}" "${out}.json"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${K_OUTPUT_DIR}"
      COMMAND "${kuic}" -o "${out}" "${abs}"
      COMMAND "${kuic}" --dump "${out}" --names "${abs}" -o "${out}.json"
      DEPENDS "${kuic}" "${abs}"
      COMMENT "Compiling UI screens ${src}"
      VERBATIM)
    list(APPEND outputs "${out}")
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${outputs})
  set(${target}_OUTPUTS "${outputs}" PARENT_SCOPE)
endfunction()
