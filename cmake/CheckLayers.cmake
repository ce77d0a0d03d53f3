# Fails when a source under src/ includes a header of a layer above its own. The layers, top
# down: app, monitor, job, render, spool; the platform ports sit beneath app, monitor and job,
# and each backend sees only the ports; qmspool (cli) stands beside the program over render and
# spool (a job's page split lives in render). host, qmspool's print and watch commands, stands on
# top: it runs the monitor and the job driver over the POSIX backend, so it sees them, the
# ports, that backend (which it sets up, as the Windows entry point sets up its own) and the
# portable commands. host/services, the native host's services (the CUPS client, the settings
# file's writer, the watch's lock), sits beneath host: it sees the ports and the portable layers
# it writes through, and the POSIX backend whose settings file it writes; the backend never sees
# it, but is handed what it needs of it by the host.
# text, the escaping of names shown on one line, sits beneath qmspool and the backends, which
# write such names alike. platform/common holds what the backends share with each other and is
# theirs alone: a layer above them that reached for it would depend on one way of backing a port.
#
# The check reads include text, so it also refuses the two ways of writing an include that the
# text alone cannot place: a path that climbs with "..", which can name any folder from any
# other, and a layer's header in angle brackets, which the compiler finds through the include
# path like a quoted one. Every include of our own headers is quoted and written from src/.
#
# Run as a build step: cmake -DQM_SOURCE_DIR=<src> -P CheckLayers.cmake

cmake_minimum_required(VERSION 3.25)

set(allowed_text text)
set(allowed_spool spool)
set(allowed_render render spool)
set(allowed_platform platform render spool)
set(allowed_backend platform platform/common render spool text) # and the backend's own folder
set(allowed_job job platform render spool)
set(allowed_monitor monitor job platform render spool)
set(allowed_app app monitor job platform render spool)
set(allowed_cli cli render spool text)
set(allowed_host host host/services cli monitor job platform platform/posix render spool text)
set(allowed_host/services host/services cli platform platform/posix render spool text)

# Every layer's name, as an include's first folder names it.
set(layers app monitor job render spool text platform platform/common platform/sim platform/win32
    platform/posix cli host host/services)

# The layer a file or an included header belongs to: its first folder, with the platform's
# backends told apart from the ports.
function(layer_of path out)
  if(path MATCHES "^platform/(sim|win32|posix|common)/")
    set(${out} "platform/${CMAKE_MATCH_1}" PARENT_SCOPE)
  elseif(path MATCHES "^host/services/")
    set(${out} "host/services" PARENT_SCOPE)
  elseif(path MATCHES "^([a-z0-9_]+)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

file(GLOB_RECURSE sources RELATIVE "${QM_SOURCE_DIR}" "${QM_SOURCE_DIR}/*.h" "${QM_SOURCE_DIR}/*.cpp")
set(violations "")
foreach(source IN LISTS sources)
  layer_of("${source}" layer)
  if(layer STREQUAL "")
    continue()
  endif()
  if(layer MATCHES "^platform/")
    set(allowed ${allowed_backend} ${layer})
    # The Windows entry point starts the program: it alone may call into the application.
    if(source STREQUAL "platform/win32/win_main.cpp")
      list(APPEND allowed app)
    endif()
  else()
    set(allowed ${allowed_${layer}})
    # qmspool's entry point hands its print and watch commands to the host layer.
    if(source STREQUAL "cli/qmspool_main.cpp")
      list(APPEND allowed host)
    endif()
  endif()
  file(STRINGS "${QM_SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS includes)
    if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*<([^>]*)>")
      set(header "${CMAKE_MATCH_1}")
      layer_of("${header}" target)
      if(header MATCHES "\\.\\.")
        string(APPEND violations "  ${source} (${layer}) includes <${header}>, which climbs with ..\n")
      elseif(target IN_LIST layers)
        string(APPEND violations "  ${source} (${layer}) includes <${header}> in angle brackets\n")
      endif()
      continue()
    endif()
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
    if(header MATCHES "\\.\\.")
      string(APPEND violations "  ${source} (${layer}) includes ${header}, which climbs with ..\n")
      continue()
    endif()
    layer_of("${header}" target)
    if(target STREQUAL "")
      continue()
    endif()
    if(NOT target IN_LIST allowed)
      string(APPEND violations "  ${source} (${layer}) includes ${header} (${target})\n")
    endif()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes that run up or across the layers:\n${violations}")
endif()
