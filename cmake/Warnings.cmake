# Compiler warnings for every target of the project; errors when TESSALINE_WERROR is on.
function(tessaline_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual)
  if(TESSALINE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(TESSALINE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
