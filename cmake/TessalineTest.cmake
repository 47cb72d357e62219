# tessaline_add_test(<name> SOURCES <files...> LIBS <targets...>
#                    [LOCALE <locale> FUNCTIONS <test functions...>])
# One Qt Test executable, registered with CTest; it runs headless, in UTF-8, and with a
# configuration, state and cache folder of its own so that no test ever reads or writes the user's
# settings, renaming records or thumbnail cache. With LOCALE, the given test functions run once
# more under that locale, as <name>_<locale>: orders that must not depend on the user's language
# are checked where collation rules differ from the code-unit order.
function(tessaline_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT;LOCALE" "SOURCES;LIBS;FUNCTIONS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
  tessaline_warnings(${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  tessaline_register_test(${name} ${name} C.UTF-8 ${ARG_TIMEOUT})
  if(ARG_LOCALE)
    tessaline_register_test(${name}_${ARG_LOCALE} ${name} ${ARG_LOCALE} ${ARG_TIMEOUT} ${ARG_FUNCTIONS})
  endif()
endfunction()

function(tessaline_register_test test executable locale timeout)
  add_test(NAME ${test} COMMAND ${executable} ${ARGN})
  set(home "${CMAKE_CURRENT_BINARY_DIR}/${test}")
  set_tests_properties(${test} PROPERTIES
    TIMEOUT ${timeout}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=${locale};LC_ALL=${locale};XDG_CONFIG_HOME=${home}.config;XDG_CONFIG_DIRS=${home}.config/xdg;XDG_STATE_HOME=${home}.state;XDG_CACHE_HOME=${home}.cache")
  if(TESSALINE_SANITIZE)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
                 "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
  endif()
endfunction()
