# Helpers shared by every folder's CMakeLists.

# Tests that exercise threads carry the label "concurrency"; they are built
# and run again under ThreadSanitizer.
add_custom_target(concurrency_tests)

# kestrel_add_test(NAME SOURCES files... [LIBS libs...] [LABELS labels...])
# One GoogleTest program, run by CTest with its own temporary platform root.
function(kestrel_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE kestrel_test_common ${T_LIBS} GTest::gtest GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    if("concurrency" IN_LIST T_LABELS)
      add_dependencies(concurrency_tests ${name})
    endif()
  endif()
endfunction()

# kestrel_version_script(TARGET file): export only the entry points listed in
# the file (a GNU ld version script).
function(kestrel_version_script target file)
  target_link_options(${target} PRIVATE "-Wl,--version-script=${file}" "-Wl,--no-undefined")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${file})
endfunction()
