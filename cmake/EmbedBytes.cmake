# Writes a file's bytes as a C++ source defining a byte array and its size.
# Usage: cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=Name -DHEADER=dir/Name.h -P EmbedBytes.cmake
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# Sixteen bytes a line, each as 0xNN (CMake's expressions have no {n}).
string(REPEAT "[0-9a-f]" 32 line)
string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp
  "// Generated from ${INPUT} at build time; do not edit.\n"
  "#include \"${HEADER}\"\n\n"
  "namespace tavrin {\n\n"
  "extern const unsigned char ${SYMBOL}Bytes[] = {\n    ${bytes}\n};\n"
  "extern const std::size_t ${SYMBOL}Size = ${size};\n\n"
  "}  // namespace tavrin\n")
# Only a changed file makes the core recompile.
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUTPUT}.tmp ${OUTPUT})
file(REMOVE ${OUTPUT}.tmp)
