# Runs the native program under strace and checks that the report reaches
# its file in exactly one write of the whole report.
# Usage: cmake -DSTRACE=... -DPROGRAM=... -DSTUB_DIR=... -DWORK_DIR=... -P check_single_write.cmake
cmake_minimum_required(VERSION 3.20)
file(MAKE_DIRECTORY ${WORK_DIR})
set(report ${WORK_DIR}/single-write.ini)
set(trace ${WORK_DIR}/single-write.trace)
file(REMOVE ${report} ${trace})

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${STUB_DIR}
          ${STRACE} -o ${trace} -e trace=openat,open,creat,write,writev,pwrite64 ${PROGRAM} ${report}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "strace ${PROGRAM} ended with ${status}")
endif()

file(READ ${trace} calls)
string(REGEX MATCH "open[a-z]*\\([^\n]*\"${report}\"[^\n]*= ([0-9]+)\n" _ "${calls}")
set(fd ${CMAKE_MATCH_1})
if(fd STREQUAL "")
  message(FATAL_ERROR "the report file was not opened:\n${calls}")
endif()
string(REGEX MATCHALL "(write|writev|pwrite64)\\(${fd},[^\n]*" writes "${calls}")
list(LENGTH writes count)
file(SIZE ${report} size)
if(NOT count EQUAL 1 OR NOT writes MATCHES "= ${size}$")
  message(FATAL_ERROR "expected one write of ${size} bytes to fd ${fd}, got:\n${writes}")
endif()
message(STATUS "one write of ${size} bytes")
