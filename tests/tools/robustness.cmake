# Tests of the oxser tool's ASN.1 module. Included from tools/CMakeLists.txt.
set(OXSER_TEST_DIR ${PROJECT_SOURCE_DIR}/tests/tools)
# They run the tool from a shell: native builds only.
if(CMAKE_CROSSCOMPILING)
  return()
endif()

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
