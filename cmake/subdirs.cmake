# Each tool, test group and benchmark lives in its own folder with its own
# CMakeLists.txt; a folder is picked up as soon as it has one.
function(add_subdirectories_with_lists parent)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/${parent}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
