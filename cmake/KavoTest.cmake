# kavo_add_gtest(<name> SOURCES ... LIBS ... [GUI] [OWN_MAIN])
# A GoogleTest program registered with ctest, one ctest entry per test case.
#   GUI       runs the cases with the offscreen Qt platform
#   OWN_MAIN  the sources bring their own main() (for a QApplication, say)
# Every case sees KAVO_BIN_DIR, where kavo-server, kavoctl and libpelbook.so are built,
# and KAVO_TEST_DATA, the folder of the test fixtures.
function(kavo_add_gtest name)
  cmake_parse_arguments(T "GUI;OWN_MAIN" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock Threads::Threads)
  if(NOT T_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(env "KAVO_BIN_DIR=${CMAKE_BINARY_DIR}/bin" "KAVO_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
  if(T_GUI)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${env}" TIMEOUT 600)
endfunction()
