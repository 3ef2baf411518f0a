# Lists the defined dynamic symbols of LIB with NM and fails unless they are
# exactly the entry points kestrelui has so far (DllInitialize, the loader's
# DllMain and GetUpgradedPrinterData). A dma_ definition (the access core
# linked in from the core) must never be visible: the devmode-access module
# is loaded, not re-exported.
execute_process(COMMAND ${NM} -D --defined-only ${LIB} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${out}")
set(names "")
foreach(line ${lines})
  string(REGEX REPLACE "^.* " "" name "${line}")
  string(REGEX REPLACE "@.*$" "" name "${name}")
  if(name MATCHES "^dma" OR name MATCHES "^DMA_")
    message(FATAL_ERROR "kestrelui defines ${name}")
  endif()
  # The linker's version node is not an entry point.
  if(NOT name MATCHES "^(VERS_|_init$|_fini$)")
    list(APPEND names ${name})
  endif()
endforeach()
list(SORT names)
if(NOT names STREQUAL "DllInitialize;DllMain;GetUpgradedPrinterData")
  message(FATAL_ERROR "kestrelui exports: ${names}")
endif()
