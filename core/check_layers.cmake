# Checks that core's includes run one way: a source or header of core may
# include a header of core only from its own floor or a floor below it.
# Run as: cmake -DCORE_DIR=<core folder> -P check_layers.cmake
#
# The floors, from the bottom (ARCHITECTURE.md, "Layers"):
set(FLOORS sys records ddd handle ddm common log config devmode printerdata ejcl)
#   sys       the system services of each build (kcore_sys.h, um/ and km/ parts)
#   records   the records' layouts and DDM id names, no code
#   ddd       the description file reader
#   handle    the description handle
#   ddm       the DDM value access: layout tables, values, the access core
#   common    the common library: strings, papers, forms, resources
#   log       the trace log
#   config    pre-configuration and devmode emulation
#   devmode   defaults, values, lists, merge
#   printerdata the printer-data record, chunked values, upgrade
#   ejcl      the job frame: EJCL header and trailer, job-information
#             comment, fax address list (user mode only)
#
# A header's floor comes from this table; a new header must be added to it.
set(HEADER_FLOORS
  kcore_sys.h=sys
  devmode.h=records ddm_layout.h=records ddm_ids.h=records
  ddd.h=ddd ddd_types.h=ddd ddd_layout.h=ddd
  cddd.h=handle
  ddm_value.h=ddm dma_core.h=ddm dma_kernel.h=ddm dma_module.h=ddm transedge.h=ddm
  zanlib.h=common qsp.h=common papdat.h=common strconv.h=common ordered_sprintf.h=common systtf.h=common cfg_parser.h=common cil_color.h=common
  cddd_open.h=common ddm_access.h=common
  logout.h=log
  preconfig.h=config dme.h=config
  cdm_defaults.h=devmode cdm_values.h=devmode cdm_lists.h=devmode cdm_merge.h=devmode
  printerdata.h=printerdata nondev.h=printerdata regfile.h=printerdata ttsubst.h=printerdata upgrade.h=printerdata
  ejcl.h=ejcl jobinfo.h=ejcl faxlist.h=ejcl vellum.h=ejcl gsb_ctrl.h=ejcl
  seams.h=top)
# A source's floor is its folder's; the um/ and km/ parts sit on the floor
# of the file they are named after.
set(SOURCE_FLOORS
  zanlib=common seams=common cddd_open=common ddm_access_init=common
  kcore_sys=sys qsp=common ddm_access=ddm dma=ddm cddd=handle strconv=common forms=common resource=common papdat=common
  iobin_icc=common cil_color=common logout=log preconfig=config dme=config cfg_parser=common cdm_merge=devmode cdm_defaults=devmode
  cdm_values=devmode cdm_lists=devmode nondev=printerdata regfile=printerdata pdrecord=printerdata chunked=printerdata
  ttsubst=printerdata upgrade=printerdata)
# Includes that still run upward, each to be untangled (ARCHITECTURE.md
# names them); no other may be added.
set(KNOWN_UPWARD)

function(floor_index name out)
  list(FIND FLOORS "${name}" i)
  set(${out} ${i} PARENT_SCOPE)
endfunction()

function(table_lookup table key out)
  set(value "")
  foreach(row ${${table}})
    if(row MATCHES "^([^=]+)=(.+)$" AND CMAKE_MATCH_1 STREQUAL key)
      set(value ${CMAKE_MATCH_2})
    endif()
  endforeach()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files RELATIVE ${CORE_DIR} ${CORE_DIR}/*.cpp ${CORE_DIR}/*.h)
set(faults "")
foreach(rel ${files})
  get_filename_component(name ${rel} NAME)
  if(rel MATCHES "^include/")
    table_lookup(HEADER_FLOORS ${name} floor)
    if(floor STREQUAL "")
      string(APPEND faults "  ${rel}: not in the header table of core/check_layers.cmake\n")
      continue()
    endif()
  else()
    table_lookup(SOURCE_FLOORS ${name} floor)
    if(floor STREQUAL "" AND rel MATCHES "^(um|km)/([a-z_0-9]+)_(um|km)\\.cpp$")
      table_lookup(SOURCE_FLOORS ${CMAKE_MATCH_2} floor)
      if(floor STREQUAL "")
        string(APPEND faults "  ${rel}: not in the source table of core/check_layers.cmake\n")
        continue()
      endif()
    elseif(floor STREQUAL "")
      string(REGEX REPLACE "/.*" "" floor ${rel})
    endif()
  endif()
  if(floor STREQUAL "top")
    continue()
  endif()
  floor_index(${floor} here)
  if(here LESS 0)
    string(APPEND faults "  ${rel}: floor '${floor}' is not in the list of floors\n")
    continue()
  endif()
  file(STRINGS ${CORE_DIR}/${rel} lines REGEX "^#include \"kestrel/core/")
  foreach(line ${lines})
    string(REGEX REPLACE "^#include \"kestrel/core/([^\"]+)\".*" "\\1" header "${line}")
    table_lookup(HEADER_FLOORS ${header} target)
    if(target STREQUAL "top")
      string(APPEND faults "  ${rel} includes ${header}, the list of every seam: include the seam's own header\n")
      continue()
    endif()
    floor_index("${target}" there)
    if(there GREATER here)
      list(FIND KNOWN_UPWARD "${name}>${header}" known)
      if(known LESS 0)
        string(APPEND faults "  ${rel} (${floor}) includes ${header} (${target}), a floor above it\n")
      endif()
    endif()
  endforeach()
  # A private header of another folder ("../folder/name.h") sits on that
  # folder's floor.
  file(STRINGS ${CORE_DIR}/${rel} lines REGEX "^#include \"\\.\\./[a-z]+/")
  foreach(line ${lines})
    string(REGEX REPLACE "^#include \"\\.\\./([a-z]+)/([^\"]+)\".*" "\\1" folder "${line}")
    string(REGEX REPLACE "^#include \"\\.\\./([a-z]+)/([^\"]+)\".*" "\\2" header "${line}")
    floor_index("${folder}" there)
    if(there GREATER here)
      string(APPEND faults "  ${rel} (${floor}) includes ${folder}/${header} (${folder}), a floor above it\n")
    endif()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "core's includes run upward:\n${faults}")
endif()
message(STATUS "core's includes run one way (${CMAKE_CURRENT_LIST_FILE})")
