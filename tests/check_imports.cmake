# Checks the import table of tvkdmpst.exe: tvksvcio.dll with exactly its
# three functions, and beside it only the system's own DLLs.
# Usage: cmake -DOBJDUMP=... -DPROGRAM=tvkdmpst.exe -P check_imports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} could not read ${PROGRAM}")
endif()

string(REGEX MATCH "Subsystem[ \t]+0*2[ \t]" gui "${dump}")
if(NOT gui)
  message(FATAL_ERROR "${PROGRAM} is not a Windows GUI program")
endif()
string(REGEX MATCH "Magic[ \t]+010b" pe32 "${dump}")
if(NOT pe32)
  message(FATAL_ERROR "${PROGRAM} is not PE32")
endif()

# objdump lists each DLL as "DLL Name: X" followed by its imported names.
string(REGEX MATCHALL "DLL Name: [^\n]+" dll_lines "${dump}")
set(dlls)
foreach(line IN LISTS dll_lines)
  string(REGEX REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  list(APPEND dlls ${dll})
endforeach()
list(SORT dlls)
if(NOT dlls STREQUAL "kernel32.dll;msvcrt.dll;tvksvcio.dll")
  message(FATAL_ERROR "imports from: ${dlls}; expected kernel32.dll, msvcrt.dll, tvksvcio.dll")
endif()

string(REGEX MATCH "DLL Name: tvksvcio\\.dll[^\n]*\n[^\n]*\n(([ \t]+[0-9a-f]+[ \t]+[0-9]+[ \t]+[A-Za-z_0-9]+\n)+)"
       block "${dump}")
string(REGEX MATCHALL "[A-Za-z_][A-Za-z_0-9]+\n" names "${CMAKE_MATCH_1}")
string(REPLACE "\n" "" names "${names}")
list(SORT names)
if(NOT names STREQUAL "tvk_get_ref_time_status;tvk_ref_time_accessible;tvk_time_adjustment_active")
  message(FATAL_ERROR "imports from tvksvcio.dll: '${names}'")
endif()
# The report is formatted by the system's own printf.
string(REGEX MATCH "DLL Name: msvcrt\\.dll.*[ \t]fprintf\n.*DLL Name: tvksvcio" msvcrt_fprintf "${dump}")
if(NOT msvcrt_fprintf)
  message(FATAL_ERROR "fprintf does not come from msvcrt.dll")
endif()
message(STATUS "imports: ${dlls}; tvksvcio.dll: ${names}")
