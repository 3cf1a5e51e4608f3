# Checks the import table of tvkdmpst.exe: a PE32 GUI program that imports
# tvksvcio.dll with exactly its three functions, beside it only the system's
# own DLLs, and formats the report with msvcrt's own printf.
# Usage: cmake -DOBJDUMP=... -DPROGRAM=tvkdmpst.exe -P check_imports.cmake
cmake_minimum_required(VERSION 3.20)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} could not read ${PROGRAM}")
endif()

function(expect_match regex what)
  if(NOT dump MATCHES "${regex}")
    message(FATAL_ERROR "${PROGRAM}: ${what}")
  endif()
endfunction()
expect_match("Magic[ \t]+010b" "not PE32")
expect_match("Subsystem[ \t]+0*2[ \t]" "not a Windows GUI program")

# objdump lists each DLL as "DLL Name: X", a heading line, then one line per
# imported name, and an empty line.
string(REGEX MATCHALL "DLL Name: [^\n]+\n[^\n]*\n([^\n]+\n)*" blocks "${dump}")
set(dlls)
foreach(block IN LISTS blocks)
  string(REGEX MATCH "DLL Name: ([^\n]+)" _ "${block}")
  string(STRIP "${CMAKE_MATCH_1}" dll)
  string(TOLOWER "${dll}" dll)
  list(APPEND dlls ${dll})
  string(REGEX MATCHALL "[ \t][0-9]+[ \t]+[A-Za-z_][A-Za-z_0-9@]*\n" rows "${block}")
  set(names)
  foreach(row IN LISTS rows)
    string(REGEX MATCH "[A-Za-z_][A-Za-z_0-9@]*\n$" name "${row}")
    string(STRIP "${name}" name)
    list(APPEND names ${name})
  endforeach()
  list(SORT names)
  set(imports_${dll} "${names}")
endforeach()
list(SORT dlls)

if(NOT dlls STREQUAL "kernel32.dll;msvcrt.dll;tvksvcio.dll")
  message(FATAL_ERROR "imports from: ${dlls}; expected kernel32.dll, msvcrt.dll, tvksvcio.dll")
endif()
if(NOT imports_tvksvcio.dll STREQUAL
   "tvk_get_ref_time_status;tvk_ref_time_accessible;tvk_time_adjustment_active")
  message(FATAL_ERROR "imports from tvksvcio.dll: ${imports_tvksvcio.dll}")
endif()
if(NOT "fprintf" IN_LIST imports_msvcrt.dll)
  message(FATAL_ERROR "fprintf does not come from msvcrt.dll")
endif()
message(STATUS "imports: ${dlls}; tvksvcio.dll: ${imports_tvksvcio.dll}")
