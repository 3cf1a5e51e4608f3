# Checks the entries of the Windows package and unpacks it for the test that
# runs the program from it: one folder named after the package, holding the
# program, README.txt and the licence, and never a tvksvcio.dll, which belongs
# to the service. The stand-in library of the tests is then put beside the
# unpacked program, where the service's own would stand.
# Usage: cmake -DPACKAGE=x.zip -DDESTINATION=folder -DSTAND_IN=tvksvcio.dll -P unpack_zip.cmake
set(expected
    tvkdmpst-1.1.0-win32/LICENSE.txt
    tvkdmpst-1.1.0-win32/README.txt
    tvkdmpst-1.1.0-win32/tvkdmpst.exe)

# Read with Info-ZIP's unzip, as another tool than the one that wrote it.
execute_process(COMMAND unzip -Z1 ${PACKAGE} OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "unzip cannot list ${PACKAGE}")
endif()
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" entries "${listing}")
list(SORT entries)
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "${PACKAGE} holds\n  ${entries}\nexpected\n  ${expected}")
endif()

file(REMOVE_RECURSE ${DESTINATION})
execute_process(COMMAND unzip -q ${PACKAGE} -d ${DESTINATION} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "unzip cannot unpack ${PACKAGE}")
endif()
file(COPY ${STAND_IN} DESTINATION ${DESTINATION}/tvkdmpst-1.1.0-win32)
message(STATUS "entries: ${entries}")
