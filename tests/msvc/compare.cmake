# Runs the caller in both ABIs and compares what they print:
#   cmake -DMODE=layout|calls -DEMULATOR=... -DMICROSOFT=exe -DGNU=exe -DSOURCE_DIR=... -P compare.cmake
# calls: every typical and empty record of the records fuzz corpus (each
# record type at least once) and every buffer of samples/.
separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
set(inputs)
if(MODE STREQUAL "calls")
  file(GLOB inputs ${SOURCE_DIR}/fuzz/corpus/records/*-typical ${SOURCE_DIR}/fuzz/corpus/records/*-empty-lcs
                   ${SOURCE_DIR}/samples/*.ber)
endif()
foreach(abi MICROSOFT GNU)
  execute_process(COMMAND ${emulator} ${${abi}} ${MODE} ${inputs}
                  OUTPUT_VARIABLE out_${abi} ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${${abi}} ${MODE}: exit status ${rc}\n${out_${abi}}${err}")
  endif()
  string(REGEX REPLACE "^[a-z]+ ABI\n" "" out_${abi} "${out_${abi}}")
endforeach()
if(NOT out_MICROSOFT STREQUAL out_GNU)
  message(FATAL_ERROR "the two ABIs differ:\n--- Microsoft\n${out_MICROSOFT}--- GNU\n${out_GNU}")
endif()
string(REGEX MATCHALL "\n" lines "${out_GNU}")
list(LENGTH lines count)
message(STATUS "${MODE}: the same ${count} lines in both ABIs")
