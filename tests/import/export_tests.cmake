# The CSV and vCard exports, read back by the imports (the vCard one through libpelbook.so).
kavo_add_gtest(import_export_test SOURCES export_test.cpp round_trip_test.cpp LIBS kavo_import ${CMAKE_DL_LIBS})
target_compile_definitions(import_export_test PRIVATE
  KAVO_BIN_DIR_DEFAULT="${CMAKE_BINARY_DIR}/bin"
  KAVO_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
add_dependencies(import_export_test pelbook)
