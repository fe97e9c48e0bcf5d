# glad 2 is generated from Debian's packaged specs at configure time and never
# committed; --reproducible keeps it offline and byte-stable.
set(GLAD_DIR ${CMAKE_BINARY_DIR}/glad)
if(NOT EXISTS ${GLAD_DIR}/src/gl.c)
  execute_process(
    COMMAND /usr/bin/python3 -m glad --reproducible --api gl:core=3.3 --out-path ${GLAD_DIR} c
    RESULT_VARIABLE gladResult
    OUTPUT_QUIET)
  if(NOT gladResult EQUAL 0)
    message(FATAL_ERROR "glad generation failed (is python3-glad installed? run scripts/setup.sh)")
  endif()
endif()
add_library(glad STATIC ${GLAD_DIR}/src/gl.c)
target_include_directories(glad PUBLIC ${GLAD_DIR}/include)
set_target_properties(glad PROPERTIES POSITION_INDEPENDENT_CODE ON)
