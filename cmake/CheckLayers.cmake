# Fails when a file includes a header of a layer above its own:
#   core <- io <- analysis <- setup models <- app and the *_form windows,
# and cli uses the Qt-free layers only.
#
#   cmake -DSOURCE_DIR=<repository> -P CheckLayers.cmake
cmake_policy(VERSION 3.25)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckLayers.cmake needs -DSOURCE_DIR=<repository>")
endif()

# Folder -> include prefixes it must not use. Window files (*_form) of
# analysis and setup sit above the models and are left to the Qt check.
set(forbidden_core "io/;analysis/;setup/;app/;cli/")
set(forbidden_io "analysis/;setup/;app/;cli/")
set(forbidden_analysis "setup/;app/;cli/")
set(forbidden_setup "app/;cli/")
set(forbidden_cli "app/")

# Line number of the first line of `file` that equals `text`.
function(line_of file text out)
  file(READ ${file} content)
  # Keep list separators and brackets out of the line list.
  string(REPLACE ";" "," content "${content}")
  string(REPLACE "[" "(" content "${content}")
  string(REPLACE "]" ")" content "${content}")
  string(REPLACE "[" "(" text "${text}")
  string(REPLACE "]" ")" text "${text}")
  string(REPLACE "\n" ";" lines "${content}")
  set(n 0)
  foreach(line IN LISTS lines)
    math(EXPR n "${n} + 1")
    string(REGEX REPLACE "\r$" "" line "${line}")
    if(line STREQUAL text)
      set(${out} ${n} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "?" PARENT_SCOPE)
endfunction()

set(report "")
set(count 0)
foreach(layer core io analysis setup cli)
  file(GLOB_RECURSE files ${SOURCE_DIR}/src/${layer}/*.h ${SOURCE_DIR}/src/${layer}/*.cpp)
  list(SORT files)
  foreach(f IN LISTS files)
    file(RELATIVE_PATH rel ${SOURCE_DIR} ${f})
    if(f MATCHES "_form\\.(h|cpp)$" AND (layer STREQUAL "analysis" OR layer STREQUAL "setup"))
      continue()
    endif()
    file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"][^>\"]+[>\"]")
    foreach(inc IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*$" "\\1" header "${inc}")
      set(bad FALSE)
      foreach(prefix IN LISTS forbidden_${layer})
        string(FIND "${header}" "${prefix}" at)
        if(at EQUAL 0)
          set(bad TRUE)
        endif()
      endforeach()
      if(layer STREQUAL "cli" AND header MATCHES "_form\\.h$")
        set(bad TRUE)
      endif()
      if(bad)
        line_of(${f} "${inc}" n)
        string(APPEND report "  ${rel}:${n}: ${header}\n")
        math(EXPR count "${count} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

if(count GREATER 0)
  message(FATAL_ERROR
    "${count} include(s) of a higher layer (core <- io <- analysis <- setup <- app, cli without app or windows):\n"
    "${report}")
endif()
