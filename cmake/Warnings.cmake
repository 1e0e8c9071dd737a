# Warnings on everywhere; the tree is kept clean of them. Only the C and C++
# compilers get them: the resource compiler (windres) rejects such flags.
set(KT_WARNING_FLAGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:${KT_WARNING_FLAGS}>")
option(KT_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)
if(KT_WARNINGS_AS_ERRORS)
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-Werror>")
endif()
