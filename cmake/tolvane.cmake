# tolvane_test(NAME SOURCES... LIBS libs... [LABELS labels...])
# Builds one GoogleTest executable and registers each of its tests with CTest.
# Label "unit" runs in the sanitizer build too; "render" needs a display
# (the test command provides a virtual one).
function(tolvane_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  set(env)
  if(TOLVANE_SANITIZE)
    # Leaks the system's libraries keep to the end are not ours.
    set(env ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    PROPERTIES LABELS "${T_LABELS}" ${env}
    DISCOVERY_TIMEOUT 60)
endfunction()

include(GoogleTest)

# tolvane_export_to_gameobj(TARGET)
# The game-object module calls back into the program that loads it. Linking
# takes from a static library only what the program itself uses, so the
# libraries whose services the module may call go in whole.
function(tolvane_export_to_gameobj target)
  # Named by generator expressions: some of these libraries are defined
  # after the programs that use them.
  set(libs platform world script worldgen_script fx_script device audio render objects)
  if(NOT TOLVANE_SYSTEM_SQUIRREL)
    list(APPEND libs sqvm)
  endif()
  set(files)
  foreach(lib ${libs})
    list(APPEND files $<TARGET_FILE:${lib}>)
  endforeach()
  target_link_options(${target} PRIVATE LINKER:--whole-archive ${files} LINKER:--no-whole-archive)
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
endfunction()
