# Fails when a file of the numeric core, the readers or the analysis models includes Qt.
file(GLOB_RECURSE core_files
  ${SOURCE_DIR}/src/core/*.h ${SOURCE_DIR}/src/core/*.cpp
  ${SOURCE_DIR}/src/io/*.h ${SOURCE_DIR}/src/io/*.cpp
  ${SOURCE_DIR}/src/analysis/*.h ${SOURCE_DIR}/src/analysis/*.cpp
  ${SOURCE_DIR}/src/setup/*.h ${SOURCE_DIR}/src/setup/*.cpp)
set(offenders "")
foreach(f IN LISTS core_files)
  if(f MATCHES "_form\\.(h|cpp)$")
    continue()
  endif()
  file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Za-z]|qt)")
  if(lines)
    list(APPEND offenders ${f})
  endif()
endforeach()
if(offenders)
  message(FATAL_ERROR "Qt headers included by core files: ${offenders}")
endif()
