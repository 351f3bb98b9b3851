# The hardening Debian builds its packages with, for the optimised builds that
# become the .deb (the sanitizer and fuzz builds check memory their own way):
# checked string and memory calls where the size is known, stack protection,
# and a read-only GOT bound at start (relro, now). Position-independent
# executables are the compiler's default.
option(VANTREL_HARDENING "Build optimised builds with Debian's hardening flags" ON)
if(VANTREL_HARDENING AND NOT VANTREL_FUZZ AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  if(NOT "${CMAKE_CXX_FLAGS} ${CMAKE_C_FLAGS}" MATCHES "_FORTIFY_SOURCE")
    add_compile_definitions(_FORTIFY_SOURCE=2)
  endif()
  add_compile_options(-fstack-protector-strong)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
