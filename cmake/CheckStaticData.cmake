# Fails when a layer's library defines more writable static objects than it may: the monitor
# and the job driver keep none (their state is handed to them by its owner), the application
# one, the program's state. Writable means .data, .bss and their thread-local kin; read-only
# after relocation (.data.rel.ro) is not, nor the compiler's pointer to the exception
# personality routine.
# Run as a test: cmake -DOBJDUMP=<objdump> -DLIBRARY=<lib.a> -DMAX_OBJECTS=<n> -P CheckStaticData.cmake

cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -t ${LIBRARY}
                OUTPUT_VARIABLE table RESULT_VARIABLE status ERROR_VARIABLE error)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -t ${LIBRARY} failed: ${error}")
endif()

string(REPLACE "\n" ";" lines "${table}")
set(found "")
foreach(line IN LISTS lines)
  # value, seven flag columns, section, size, name
  if(NOT line MATCHES "^[0-9a-fA-F]+ (.......) ([^ \t]+)[ \t]+[0-9a-fA-F]+[ \t]+(.*)$")
    continue()
  endif()
  set(flags "${CMAKE_MATCH_1}")
  set(section "${CMAKE_MATCH_2}")
  set(name "${CMAKE_MATCH_3}")
  if(NOT flags MATCHES "O" OR NOT section MATCHES "^\\.(data|bss|tdata|tbss)")
    continue()
  endif()
  if(section MATCHES "^\\.data\\.rel\\.ro" OR name MATCHES "DW\\.ref\\.__gxx_personality_v0")
    continue()
  endif()
  list(APPEND found "${name} (${section})")
endforeach()

list(LENGTH found count)
if(count GREATER MAX_OBJECTS)
  list(JOIN found "\n  " shown)
  message(FATAL_ERROR
          "${LIBRARY} has ${count} writable static objects, at most ${MAX_OBJECTS} allowed:\n  ${shown}")
endif()
message(STATUS "${LIBRARY}: ${count} writable static objects")
