# The core library must build without Qt: stop the configure step the moment a
# Qt header shows up in it, rather than letting it link by accident.
file(GLOB_RECURSE _corvel_core_files CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/src/core/*.h ${CMAKE_SOURCE_DIR}/src/core/*.cpp)
foreach(_f IN LISTS _corvel_core_files)
  file(STRINGS ${_f} _qt_lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Za-z]|qt)")
  if(_qt_lines)
    message(FATAL_ERROR "Qt header in the core library: ${_f}: ${_qt_lines}")
  endif()
endforeach()
