# kestrelum carries its own colour engine: LittleCMS is the tests' oracle
# and must never be a dependency of the library. Run as:
# cmake -DLIB=<libkestrelum.so> -P check_no_lcms.cmake
execute_process(COMMAND readelf -d ${LIB} OUTPUT_VARIABLE dyn RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${LIB}")
endif()
if(dyn MATCHES "lcms")
  message(FATAL_ERROR "${LIB} needs LittleCMS:\n${dyn}")
endif()
execute_process(COMMAND nm -D --undefined-only ${LIB} OUTPUT_VARIABLE undef)
if(undef MATCHES "cms[A-Z]")
  message(FATAL_ERROR "${LIB} refers to LittleCMS functions")
endif()
