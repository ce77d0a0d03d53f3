# Checks that a Windows program loads on the oldest Windows it is built for: the subsystem
# version in its header is that Windows's, and it imports none of the calls listed as newer.
# The programs' own code cannot call a newer function (the headers, compiled for that Windows,
# do not declare it), but the static C and C++ runtime linked into them can import one.
#
#   cmake -DEXE=prog.exe -DOBJDUMP=objdump -DSUBSYSTEM=5.01 -DNEWER=post_xp_imports.txt
#         -DLISTING=prog.imports.txt -P CheckImports.cmake
#
# Writes the program's imports, a "DLL function" line each, to LISTING.
cmake_minimum_required(VERSION 3.25)
foreach(var EXE OBJDUMP SUBSYSTEM NEWER LISTING)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckImports.cmake: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed (${rc})")
endif()
get_filename_component(name ${EXE} NAME)

string(REGEX MATCH "MajorSubsystemVersion[ \t]+([0-9]+)" _ "${dump}")
set(major ${CMAKE_MATCH_1})
string(REGEX MATCH "MinorSubsystemVersion[ \t]+([0-9]+)" _ "${dump}")
set(minor ${CMAKE_MATCH_1})
string(REPLACE "." ";" wanted "${SUBSYSTEM}")
list(GET wanted 0 wanted_major)
list(GET wanted 1 wanted_minor)
math(EXPR wanted_minor "${wanted_minor}")  # "01" is 1
if(NOT "${major}.${minor}" STREQUAL "${wanted_major}.${wanted_minor}")
  message(FATAL_ERROR "${name}: subsystem version ${major}.${minor} in its header, not ${SUBSYSTEM}")
endif()

file(STRINGS ${NEWER} newer REGEX "^[A-Za-z_]")
string(REPLACE "\n" ";" lines "${dump}")
set(dll "")
set(listing "")
set(found "")
foreach(line IN LISTS lines)
  if(line MATCHES "DLL Name: (.+)$")
    set(dll ${CMAKE_MATCH_1})
  elseif(dll AND line MATCHES "^\t[0-9a-f]+\t +[0-9]+ +([A-Za-z_][A-Za-z0-9_@?$]*)$")
    set(fn ${CMAKE_MATCH_1})
    string(APPEND listing "${dll} ${fn}\n")
    if(fn IN_LIST newer)
      list(APPEND found "${dll} ${fn}")
    endif()
  elseif(line MATCHES "^[^\t]")
    set(dll "")  # the import table has ended
  endif()
endforeach()
if(listing STREQUAL "")
  message(FATAL_ERROR "${name}: no imports found in the output of ${OBJDUMP} -p")
endif()
file(WRITE ${LISTING} "${listing}")
if(found)
  list(JOIN found "\n  " found)
  message(FATAL_ERROR "${name} imports calls newer than the Windows it is built for (${SUBSYSTEM}), "
                      "so it would not load there:\n  ${found}\n(all its imports: ${LISTING})")
endif()
