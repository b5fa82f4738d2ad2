# kavo_add_gtest(<name> SOURCES ... LIBS ... [GUI] [OWN_MAIN] [RESOURCE_LOCK <lock>])
# A GoogleTest program registered with ctest, one ctest entry per test case.
#   GUI       a window test: its main() must default to the offscreen Qt platform
#   OWN_MAIN  the sources bring their own main() (for a QApplication, say)
#   RESOURCE_LOCK  cases that must not run beside others holding the same lock
# Every case sees KAVO_BIN_DIR in its environment, where kavo-server, kavoctl and
# libpelbook.so are built; the sources see KAVO_TEST_DATA_DIR, the folder of the fixtures,
# and KAVO_BUILD_BIN_DIR, the same as KAVO_BIN_DIR for runs outside ctest.
function(kavo_add_gtest name)
  cmake_parse_arguments(T "GUI;OWN_MAIN" "RESOURCE_LOCK" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock Threads::Threads)
  if(NOT T_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_compile_definitions(${name} PRIVATE
    KAVO_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
    KAVO_BUILD_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(extra)
  if(T_RESOURCE_LOCK)
    set(extra RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  # One variable only: gtest_discover_tests flattens a list of them into the property list.
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "KAVO_BIN_DIR=${CMAKE_BINARY_DIR}/bin" TIMEOUT 600 ${extra})
endfunction()
