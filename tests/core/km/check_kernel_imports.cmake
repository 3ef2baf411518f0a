# Run as a script: lists the undefined symbols of each static library in LIBS
# (a ;-list) with NM and fails when an object imports a heap or file function
# of the C library or the C++ allocation operators. The kernel-mode build
# allocates with EngAllocMem and reads files through the engine's modules.
set(forbidden
    "^(malloc|calloc|realloc|free|aligned_alloc|posix_memalign|valloc|memalign|strdup|strndup|wcsdup)$"
    "^(fopen|fopen64|freopen|fdopen|fread|fwrite|fclose|open|open64|creat|mmap|mmap64)$"
    "^_Zn[wa]m"   # operator new, new[]
    "^_Zd[la]Pv"  # operator delete, delete[]
)
foreach(lib ${LIBS})
  execute_process(COMMAND ${NM} -u ${lib} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${lib}")
  endif()
  string(REGEX MATCHALL "[^\n]+" lines "${out}")
  set(object "")
  foreach(line ${lines})
    if(line MATCHES "^(.*):$")
      set(object "${CMAKE_MATCH_1}")
      continue()
    endif()
    string(REGEX REPLACE "^.* " "" name "${line}")
    string(REGEX REPLACE "@.*$" "" name "${name}")
    foreach(pattern ${forbidden})
      if(name MATCHES "${pattern}")
        message(SEND_ERROR "${lib}: ${object} imports ${name}")
      endif()
    endforeach()
  endforeach()
endforeach()
