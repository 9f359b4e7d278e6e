# Runs the flat-interface example on a fresh copy of the shop dictionary with its own
# configuration directory, twice (the second run finds the data file left by the first), and
# compares its output with the expected text.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/shop" "${WORK}/config")
file(COPY "${SHOP}/FILE.DDF" "${SHOP}/FIELD.DDF" "${SHOP}/INDEX.DDF" DESTINATION "${WORK}/shop")
set(ENV{ZELKO_CONFIG_DIR} "${WORK}/config")
file(READ "${EXPECTED}" expected)
foreach(run first second)
  execute_process(COMMAND "${PROGRAM}" "${WORK}/shop"
    OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${run} run: exit ${result}\n${output}\n${errors}")
  endif()
  if(run STREQUAL "first" AND NOT output STREQUAL expected)
    message(FATAL_ERROR "${run} run: output differs\n--- expected\n${expected}--- got\n${output}")
  endif()
endforeach()
if(NOT EXISTS "${WORK}/shop/CUSTOMER.btr")
  message(FATAL_ERROR "the data file was not created beside the dictionary")
endif()
