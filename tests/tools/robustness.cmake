# Tests of the oxser tool: its status agreement with the record functions
# on damaged input, and its ASN.1 module. Included from
# tools/CMakeLists.txt.
find_package(GTest REQUIRED)
include(GoogleTest)
set(OXSER_TEST_DIR ${PROJECT_SOURCE_DIR}/tests/tools)
# They start the tool with fork and exec, or run it from a shell: native
# builds only.
if(CMAKE_CROSSCOMPILING)
  return()
endif()

add_executable(oxser_status_tests ${OXSER_TEST_DIR}/status_agreement_test.cpp)
target_link_libraries(oxser_status_tests PRIVATE oxser_core GTest::gtest GTest::gtest_main)
target_compile_definitions(oxser_status_tests PRIVATE
  OXSER_PROGRAM="$<TARGET_FILE:oxser>"
  OXSER_FUZZ_CORPUS="${PROJECT_SOURCE_DIR}/fuzz/corpus"
  OXSER_SAMPLES_DIR="${PROJECT_SOURCE_DIR}/samples"
  OXSER_TEST_DIR="${OXSER_TEST_DIR}")
add_dependencies(oxser_status_tests oxser)
gtest_discover_tests(oxser_status_tests DISCOVERY_TIMEOUT 60)

# The ASN.1 module through asn1c, and the benchmark's copy of it.
add_test(NAME oxser.asn1_module_asn1c
  COMMAND sh ${OXSER_TEST_DIR}/asn1_module_test.sh $<TARGET_FILE:oxser> ${PROJECT_SOURCE_DIR}/samples
          ${CMAKE_CURRENT_BINARY_DIR}/asn1_module_test)
set_tests_properties(oxser.asn1_module_asn1c PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
# bench/asn1c/records.asn1 is `oxser asn1` of the benchmark's four records,
# committed so that the benchmark configures without the tool: it must not
# drift from the tool's output.
add_test(NAME oxser.asn1_module_bench_copy
  COMMAND sh -c "\"$1\" asn1 acl_ext_t attrlist_t oxauditevent_t uuid_t | diff -u \"$2\" -"
          sh $<TARGET_FILE:oxser> ${PROJECT_SOURCE_DIR}/bench/asn1c/records.asn1)
