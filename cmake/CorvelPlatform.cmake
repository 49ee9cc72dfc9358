# Platform backends sit beside each other as FooPosix.cpp and FooWin32.cpp;
# a build takes the one of its platform and drops the other.
function(corvel_platform_sources var)
  set(files ${${var}})
  if(WIN32)
    list(FILTER files EXCLUDE REGEX ".*Posix\\.cpp$")
  else()
    list(FILTER files EXCLUDE REGEX ".*Win32\\.cpp$")
  endif()
  set(${var} ${files} PARENT_SCOPE)
endfunction()
