# vantrel_layer(FOLDER MAY_USE other folders...): the configure step fails when
# a source or header of src/FOLDER includes a header of a folder of src/ that
# is not its own and not listed, so that nothing imports upward or sideways by
# accident (the parsing library depends on nothing, the disc model and the mux
# on the library, never on the window's state or its runs).
function(vantrel_layer folder)
  cmake_parse_arguments(L "" "" "MAY_USE" ${ARGN})
  file(GLOB files ${CMAKE_SOURCE_DIR}/src/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/src/${folder}/*.h)
  foreach(file ${files})
    file(STRINGS ${file} includes REGEX "^#include \"[a-z_]+/")
    foreach(line ${includes})
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" used "${line}")
      if(NOT used STREQUAL folder AND NOT used IN_LIST L_MAY_USE)
        file(RELATIVE_PATH shown ${CMAKE_SOURCE_DIR} ${file})
        message(FATAL_ERROR "${shown}: ${line}: src/${folder} may use only ${L_MAY_USE}")
      endif()
    endforeach()
  endforeach()
endfunction()
