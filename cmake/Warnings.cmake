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

# The optimised build is the one that gets packaged: checked buffer functions where the compiler
# can tell a size, and relocations made read-only before the program runs (Debian's hardening).
if(NOT TESSALINE_SANITIZE AND NOT TESSALINE_BUILD_FUZZ)
  add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  add_link_options($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:LINKER:-z,relro,-z,now>)
endif()
