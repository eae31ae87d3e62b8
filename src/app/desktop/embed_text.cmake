# cmake -DINPUT=file -DOUTPUT=file.cpp -DFUNCTION=name -P embed_text.cmake
# Writes a C++ file whose quillmer::FUNCTION() returns the input file's text.
file(READ "${INPUT}" text)
string(FIND "${text}" ")EMBEDDED\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw-string delimiter )EMBEDDED\"")
endif()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} at build time; edit that file instead.\n"
  "namespace quillmer {\n"
  "const char* ${FUNCTION}() {\n"
  "    return R\"EMBEDDED(${text})EMBEDDED\";\n"
  "}\n"
  "}  // namespace quillmer\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
