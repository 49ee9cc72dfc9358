# The layers of the core, checked when the build is configured.
#
#   base       <- transport <- protocol
#   base       <- format    <- protocol
#   base, format            <- ui
#   everything in the core  <- tool
#
# A file of a layer may include headers of its own layer and of the layers it
# stands on, nothing above: a protocol or a format never reaches a tool or the
# UserInterface seam, a transport or base file nothing but what lies below it.
# No core file includes the front ends (cli/, gui/) or the virtual equipment
# (sim/), and the virtual equipment includes nothing of the core. A breach
# stops the configure step with the file and line, before anything links.
#
# New folders under a layer (protocol/dsp, tool/kernel, ...) are checked
# without edits here: the layer is the first folder under src/core.
#
# Also runs as a script, for the guard's own tests:
#   cmake -DCORVEL_LAYER_ROOT=<a src folder> -P CorvelLayerGuard.cmake

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
endif()

# What each layer may include, by the first folder under core/.
set(CORVEL_LAYER_ALLOWED_base base)
set(CORVEL_LAYER_ALLOWED_transport base transport)
set(CORVEL_LAYER_ALLOWED_format base format)
set(CORVEL_LAYER_ALLOWED_protocol base transport format protocol)
set(CORVEL_LAYER_ALLOWED_ui base format ui)
set(CORVEL_LAYER_ALLOWED_tool base transport format protocol ui tool)

# Includes still waiting for their rework, as "file-under-src|included-header".
# Each one here is a known debt; the guard says so when one is no longer needed.
# None today.
set(CORVEL_LAYER_EXCEPTIONS)

# The layer an include names ("core/<layer>/..."), or "" when it is outside
# the core. Relative includes are resolved against the including file.
function(_corvel_included_path root file_dir include out)
  if(include MATCHES "^(core|cli|gui|sim)/")
    set(${out} "${include}" PARENT_SCOPE)
  elseif(EXISTS "${file_dir}/${include}")
    get_filename_component(_abs "${file_dir}/${include}" ABSOLUTE)
    file(RELATIVE_PATH _rel "${root}" "${_abs}")
    set(${out} "${_rel}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)  # a system or library header
  endif()
endfunction()

# Checks every .h and .cpp under root/core and root/sim; returns the breaches
# as "file:line: why" lines in out, and the exceptions that no longer match
# anything in stale.
function(corvel_check_layers root out stale)
  set(_patterns "${root}/core/*.h" "${root}/core/*.cpp" "${root}/sim/*.h" "${root}/sim/*.cpp")
  if(CMAKE_SCRIPT_MODE_FILE)
    file(GLOB_RECURSE _files ${_patterns})
  else()
    # A file added later re-runs the configure step, and with it this check.
    file(GLOB_RECURSE _files CONFIGURE_DEPENDS ${_patterns})
  endif()
  list(SORT _files)
  set(_breaches "")
  set(_used "")
  foreach(_f IN LISTS _files)
    file(RELATIVE_PATH _rel "${root}" "${_f}")
    if(_rel MATCHES "^core/([^/]+)/")
      set(_layer "${CMAKE_MATCH_1}")
      if(NOT DEFINED CORVEL_LAYER_ALLOWED_${_layer})
        list(APPEND _breaches "${_f}:1: '${_layer}' is not a layer of the core (base, transport, format, protocol, ui, tool)")
        continue()
      endif()
    elseif(_rel MATCHES "^sim/")
      set(_layer sim)
    else()
      continue()  # a file directly in core/: nothing of its own to check
    endif()
    get_filename_component(_dir "${_f}" DIRECTORY)
    # One list element per line. Characters that CMake lists treat specially
    # (";", brackets, backslash) never occur in an include path, so they are
    # turned into harmless ones to keep the line numbers right.
    file(READ "${_f}" _text)
    string(REPLACE ";" "," _text "${_text}")
    string(REPLACE "[" "(" _text "${_text}")
    string(REPLACE "]" ")" _text "${_text}")
    string(REPLACE "\\" "/" _text "${_text}")
    string(REPLACE "\n" ";" _lines "${_text}")
    set(_n 0)
    foreach(_line IN LISTS _lines)
      math(EXPR _n "${_n} + 1")
      if(NOT _line MATCHES "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"]")
        continue()
      endif()
      _corvel_included_path("${root}" "${_dir}" "${CMAKE_MATCH_1}" _target)
      if(_target STREQUAL "")
        continue()
      endif()
      set(_why "")
      if(_layer STREQUAL "sim")
        if(_target MATCHES "^core/")
          set(_why "the virtual equipment includes ${_target}; it builds its frames on its own")
        endif()
      elseif(_target MATCHES "^(cli|gui|sim)/")
        set(_why "the core includes ${_target}; front ends and virtual equipment stand on the core, not under it")
      elseif(_target MATCHES "^core/([^/]+)/")
        set(_to "${CMAKE_MATCH_1}")
        if(NOT _to IN_LIST CORVEL_LAYER_ALLOWED_${_layer})
          set(_why "the ${_layer} layer includes ${_target} from the ${_to} layer")
        endif()
      endif()
      if(_why STREQUAL "")
        continue()
      endif()
      if("${_rel}|${_target}" IN_LIST CORVEL_LAYER_EXCEPTIONS)
        list(APPEND _used "${_rel}|${_target}")
        continue()
      endif()
      list(APPEND _breaches "${_f}:${_n}: ${_why}")
    endforeach()
  endforeach()
  set(_stale "")
  foreach(_e IN LISTS CORVEL_LAYER_EXCEPTIONS)
    if(NOT _e IN_LIST _used)
      list(APPEND _stale "${_e}")
    endif()
  endforeach()
  set(${out} "${_breaches}" PARENT_SCOPE)
  set(${stale} "${_stale}" PARENT_SCOPE)
endfunction()

function(corvel_enforce_layers root)
  corvel_check_layers("${root}" _breaches _stale)
  foreach(_e IN LISTS _stale)
    message(AUTHOR_WARNING "Layer exception no longer needed, remove it from CorvelLayerGuard.cmake: ${_e}")
  endforeach()
  if(_breaches)
    list(JOIN _breaches "\n" _text)
    message(FATAL_ERROR "Layer breach:\n${_text}")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT CORVEL_LAYER_ROOT)
    message(FATAL_ERROR "Give -DCORVEL_LAYER_ROOT=<src folder>")
  endif()
  corvel_enforce_layers("${CORVEL_LAYER_ROOT}")
endif()
