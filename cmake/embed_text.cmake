# Writes a text file into a C++ header as one string constant, so that a
# file kept apart in the sources (a style sheet) is part of the program.
#
#   cmake -DINPUT=file -DOUTPUT=header.h -DNAMESPACE=ns -DNAME=kConstant -P embed_text.cmake
#
# The text becomes a raw string literal after a line break; it must not hold
# the literal's closing delimiter.
file(READ "${INPUT}" text)
set(delimiter "text")
string(FIND "${text}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} holds )${delimiter}\", which would end the string early")
endif()
file(WRITE "${OUTPUT}" "// Generated from ${INPUT} at build time; edit that file.\n#pragma once\n\n"
                      "namespace ${NAMESPACE} {\n\ninline constexpr const char* ${NAME} = R\"${delimiter}(\n"
                      "${text})${delimiter}\";\n\n}  // namespace ${NAMESPACE}\n")
