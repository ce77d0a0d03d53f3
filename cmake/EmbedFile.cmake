# Writes a C++ source that holds a file's bytes as an array, and the function that hands them out:
#   cmake -DQM_IN=<file> -DQM_OUT=<source.cpp> -DQM_HEADER=<header to include>
#         -DQM_FUNCTION=<qualified function name> -P EmbedFile.cmake
# The function returns an EmbeddedFile (data, size), declared in QM_HEADER. An array of numbers
# rather than a string literal, which some compilers cap at 64 KiB.
cmake_minimum_required(VERSION 3.25)

file(READ "${QM_IN}" hex HEX)
string(LENGTH "${hex}" digits)
if(digits EQUAL 0)
  message(FATAL_ERROR "${QM_IN} is empty")
endif()
math(EXPR size "${digits} / 2")
string(REPEAT "[0-9a-f][0-9a-f]" 16 row)
string(REGEX REPLACE "(${row})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
get_filename_component(name "${QM_IN}" NAME)
file(WRITE "${QM_OUT}.tmp"
"// Generated from ${name} by cmake/EmbedFile.cmake: do not edit.
#include \"${QM_HEADER}\"

namespace {
const unsigned char Bytes[${size}] = {
${bytes}
};
} // namespace

qm::EmbeddedFile ${QM_FUNCTION}()
{
    return {Bytes, sizeof Bytes};
}
")
file(RENAME "${QM_OUT}.tmp" "${QM_OUT}")
