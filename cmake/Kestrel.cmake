# Helpers shared by every folder's CMakeLists.

# Shared libraries are linked with every symbol resolved, except in a clang
# sanitizer build, where the sanitizer runtime is linked into the programs
# only and the libraries leave its symbols to them.
if(KESTREL_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(KESTREL_NO_UNDEFINED "")
else()
  set(KESTREL_NO_UNDEFINED "-Wl,--no-undefined")
endif()

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

# kestrel_add_test_model(TARGET source DIR dir MAIN name REFERENCED file):
# a test's own model, compiled by dddc from `source` (which may include the
# models' sources) into <dir>/<name>.DDD and its referenced file
# <dir>/<file>; TARGET builds both.
function(kestrel_add_test_model target source)
  cmake_parse_arguments(M "" "DIR;MAIN;REFERENCED" "" ${ARGN})
  get_filename_component(source_path ${source} ABSOLUTE)
  file(GLOB_RECURSE model_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/models/*.dds)
  add_custom_command(
    OUTPUT ${M_DIR}/${M_MAIN}.DDD ${M_DIR}/${M_REFERENCED}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${M_DIR}
    COMMAND dddc ${source_path} -o ${M_DIR}/${M_MAIN}.DDD
    DEPENDS dddc ${source_path} ${model_sources}
    VERBATIM)
  add_custom_target(${target} DEPENDS ${M_DIR}/${M_MAIN}.DDD)
endfunction()

# kestrel_version_script(TARGET file): export only the entry points listed in
# the file (a GNU ld version script).
function(kestrel_version_script target file)
  target_link_options(${target} PRIVATE "-Wl,--version-script=${file}" ${KESTREL_NO_UNDEFINED})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${file})
endfunction()

# kestrel_add_resources(TARGET source): compiles a resource source (see
# resources/README.md) with krc into a C++ source linked into the library,
# which registers the resources with the platform's loader when the library
# loads; FindResourceW and LoadStringW on the library's module handle read them.
# Call it in the folder that defines the target.
function(kestrel_add_resources target source)
  get_filename_component(source_path ${source} ABSOLUTE)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
  add_custom_command(
    OUTPUT ${generated}
    COMMAND krc ${source_path} --cpp ${generated} --depfile ${generated}.d
    DEPENDS krc ${source_path}
    DEPFILE ${generated}.d
    COMMENT "Compiling resources ${source} for ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${generated})
endfunction()

# kestrel_add_export_test(NAME target EXPORTS names... [FORBIDDEN regex]):
# a test that the shared library exports exactly these entry points.
function(kestrel_add_export_test name target)
  cmake_parse_arguments(E "" "FORBIDDEN" "EXPORTS" ${ARGN})
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DLIB=$<TARGET_FILE:${target}> "-DEXPECTED=${E_EXPORTS}"
                   "-DFORBIDDEN=${E_FORBIDDEN}" -P ${PROJECT_SOURCE_DIR}/cmake/CheckExports.cmake)
endfunction()
