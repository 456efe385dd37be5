# add_wine_test(<name> LABEL <room> SOURCES <files...> [LIBS <targets...>])
# One GoogleTest program, run by CTest through Wine in the build's prefix.
# The test's name carries the build's TEST_SUFFIX.
function(add_wine_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main)
  add_test(NAME ${name}${TEST_SUFFIX} COMMAND ${name})
  set_tests_properties(${name}${TEST_SUFFIX} PROPERTIES
    LABELS ${T_LABEL}
    ENVIRONMENT "WINEPREFIX=${WINE_PREFIX};WINEDEBUG=-all")
endfunction()
