# tessaline_add_test(<name> SOURCES <files...> LIBS <targets...>)
# One Qt Test executable, registered with CTest; it runs headless, in UTF-8, and with a
# configuration and state folder of its own so that no test ever reads or writes the user's settings
# or renaming records.
function(tessaline_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
  tessaline_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set(config_home "${CMAKE_CURRENT_BINARY_DIR}/${name}.config")
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8;XDG_CONFIG_HOME=${config_home};XDG_CONFIG_DIRS=${config_home}/xdg;XDG_STATE_HOME=${CMAKE_CURRENT_BINARY_DIR}/${name}.state")
endfunction()
