# embed_templates(OUT_VAR file...): generates a C++ source that defines
# tarvo::templates::embedded(name) over the bytes of each file, keyed by its file name.

function(embed_templates out_var)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/embedded_templates.cpp)
  add_custom_command(
    OUTPUT ${generated}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${generated} "-DINPUTS=${ARGN}"
            -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/embed_templates_script.cmake
    DEPENDS ${ARGN} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/embed_templates_script.cmake
    COMMENT "Embedding project templates"
    VERBATIM)
  set(${out_var} ${generated} PARENT_SCOPE)
endfunction()
