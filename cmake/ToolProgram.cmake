# GRINDLOW_HOST_TOOLS: a build folder whose tools make this build's data (scripts/test.sh gives the sanitizer
# builds the normal build's). The data is the same whichever build's tools make it, and the instrumented tools ran
# over all of the content several times slower; the sanitizer builds still build their own tools for the tools'
# tests.
set(GRINDLOW_HOST_TOOLS "" CACHE PATH "Build folder whose tools make this build's data (empty: this build's own)")

# grindlow_tool_program(<var> <tool>)
# Sets <var> to what a custom command runs and depends on for the tool target <tool>: the target itself, or with
# GRINDLOW_HOST_TOOLS the same program in that build folder (which must have been built).
function(grindlow_tool_program out_var tool)
  set(program "${tool}")
  if(GRINDLOW_HOST_TOOLS)
    get_target_property(dir ${tool} BINARY_DIR)
    get_target_property(name ${tool} OUTPUT_NAME)
    if(NOT name)
      set(name "${tool}")
    endif()
    file(RELATIVE_PATH rel "${CMAKE_BINARY_DIR}" "${dir}")
    set(program "${GRINDLOW_HOST_TOOLS}/${rel}/${name}")
    if(NOT EXISTS "${program}")
      message(FATAL_ERROR "GRINDLOW_HOST_TOOLS: there is no ${program}; build the tools in ${GRINDLOW_HOST_TOOLS} first")
    endif()
  endif()
  set(${out_var} "${program}" PARENT_SCOPE)
endfunction()
