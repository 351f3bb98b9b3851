# vantrel_warnings(target [CORE])
# CORE adds -Wconversion: the engine and the runs handle byte counts and offsets
# where a silent narrowing is a real fault.
function(vantrel_warnings target)
  cmake_parse_arguments(W "CORE" "" "" ${ARGN})
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(W_CORE)
    target_compile_options(${target} PRIVATE -Wconversion)
  endif()
  if(VANTREL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

