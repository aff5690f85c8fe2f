# Writes a C++ source that holds the bytes of the program's PNG icon, so the
# window icon works whatever folder the executable is started from. A missing
# PNG gives an empty icon, and the window then has the desktop's default icon.
# Run as: cmake -DINPUT=<png> -DOUTPUT=<cpp> -P embed_icon.cmake
set(_bytes "")
set(_size 0)
if(EXISTS "${INPUT}")
  file(READ "${INPUT}" _hex HEX)
  string(LENGTH "${_hex}" _hex_length)
  math(EXPR _size "${_hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
endif()
file(WRITE "${OUTPUT}"
  "// Generated from ${INPUT}; do not edit.\n"
  "#include \"window/native/embedded_icon.h\"\n\n"
  "namespace talewick {\n\n"
  "const unsigned char kEmbeddedIconPng[] = {${_bytes}0};\n"
  "const std::size_t kEmbeddedIconPngSize = ${_size};\n\n"
  "}  // namespace talewick\n")
