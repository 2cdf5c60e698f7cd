# Removes the presets under DIR that are not in the list KEEP.
cmake_minimum_required(VERSION 3.25)
file(GLOB_RECURSE built ${DIR}/*.kfp)
foreach(f ${built})
  if(NOT f IN_LIST KEEP)
    file(REMOVE ${f})
  endif()
endforeach()
