# add_wine_test(<name> LABEL <room> SOURCES <files...> [LIBS <targets...>])
# One GoogleTest program, run by CTest through Wine in the build's prefix.
function(add_wine_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    LABELS ${T_LABEL}
    ENVIRONMENT "WINEPREFIX=${WINE_PREFIX};WINEDEBUG=-all")
endfunction()
