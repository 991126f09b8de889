# Fails when a file under src/ includes a header of a folder on its own floor
# or above it, so the floors of docs/ARCHITECTURE.md stay as drawn.
#   cmake -DSRC=<path to src> -P include_layers.cmake
cmake_minimum_required(VERSION 3.25)
get_filename_component(SRC "${SRC}" ABSOLUTE)

# Each folder and the folders it may include from.
set(ALLOWED_base "")
set(ALLOWED_config "base")
set(ALLOWED_ports "config;base")
set(ALLOWED_reject "config;base")
set(ALLOWED_relay "reject;config;base")
set(ALLOWED_sources "ports;relay;reject;config;base")
set(ALLOWED_transports "ports;relay;reject;config;base")
set(ALLOWED_app "sources;transports;ports;relay;reject;config;base")

file(GLOB_RECURSE files RELATIVE ${SRC} ${SRC}/*.h ${SRC}/*.cpp)
set(violations "")
foreach(file ${files})
  string(REGEX MATCH "^[^/]+" folder ${file})
  if(NOT DEFINED ALLOWED_${folder})
    list(APPEND violations "${file}: folder '${folder}' has no floor in include_layers.cmake")
    continue()
  endif()
  file(STRINGS ${SRC}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z_]+/")
  foreach(line ${includes})
    string(REGEX MATCH "\"([a-z_]+)/" ignored "${line}")
    set(target ${CMAKE_MATCH_1})
    if(NOT target STREQUAL folder AND NOT target IN_LIST ALLOWED_${folder})
      list(APPEND violations "${file}: ${line}")
    endif()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "Includes that run against the floors:\n  ${text}")
endif()
