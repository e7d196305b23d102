# Tests of the oxser tool on large, deep and damaged input, its status
# agreement with the record functions, and its ASN.1 module. Included from
# tools/CMakeLists.txt.
find_package(GTest REQUIRED)
include(GoogleTest)
set(OXSER_TEST_DIR ${PROJECT_SOURCE_DIR}/tests/tools)

add_executable(oxser_status_tests ${OXSER_TEST_DIR}/status_agreement_test.cpp)
target_link_libraries(oxser_status_tests PRIVATE oxser_core GTest::gtest GTest::gtest_main)
target_compile_definitions(oxser_status_tests PRIVATE
  OXSER_PROGRAM="$<TARGET_FILE:oxser>"
  OXSER_FUZZ_CORPUS="${PROJECT_SOURCE_DIR}/fuzz/corpus"
  OXSER_SAMPLES_DIR="${PROJECT_SOURCE_DIR}/samples")
add_dependencies(oxser_status_tests oxser)
gtest_discover_tests(oxser_status_tests DISCOVERY_TIMEOUT 60)
