# Writes a C++ source that holds the program's resources as byte arrays and
# registers them under their resource names.
file(READ "${ICON}" ICON_HEX HEX)
string(LENGTH "${ICON_HEX}" HEX_LENGTH)
math(EXPR BYTE_COUNT "${HEX_LENGTH} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," ICON_BYTES "${ICON_HEX}")
file(WRITE "${OUT}" "// Generated from res/fernwood2.ico; do not edit.\n"
  "#include <cstddef>\n#include <cstdint>\n"
  "namespace fwlayer {\n"
  "extern const uint8_t kMainIcon[] = {${ICON_BYTES}};\n"
  "extern const size_t kMainIconSize = ${BYTE_COUNT};\n"
  "}\n")
