# Warnings on everywhere; the tree is kept clean of them.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
if(KT_WARNINGS_AS_ERRORS)
  add_compile_options(-Werror)
endif()
