# Helper functions shared by every module's CMakeLists.

# zelko_add_test(NAME SOURCES... LIBS ...): one GoogleTest executable per module,
# registered with CTest. Every test gets its own configuration directory.
function(zelko_add_test name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} zelko_test_main)
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE Qt6::Widgets)
  endif()
  set(env "ZELKO_BUILD_DIR=${PROJECT_BINARY_DIR}")
  if(ARG_GUI)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 900)
endfunction()

# zelko_add_benchmark(NAME SOURCES... LIBS ...): a Google Benchmark program (never a CTest test).
function(zelko_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
endfunction()

# zelko_add_fuzzer(NAME SOURCES... LIBS ...): a libFuzzer target (cmake --preset fuzz); it
# sees the shared fuzz helpers of testing/.
function(zelko_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/testing)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# Limits a shared library's exports to the symbols its version script names. The library
# also stays loaded after dlclose: its process-wide state (open files, locks, the engine's
# module) lives as long as the process.
function(zelko_export_only target script)
  target_link_options(${target} PRIVATE "LINKER:--version-script=${script}" "LINKER:-z,nodelete")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()
