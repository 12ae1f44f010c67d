# Writes a C++ source that holds the file IN as one string: `std::string_view NAME()` in
# namespace NAMESPACE. Run as `cmake -DIN=... -DOUT=... -DNAME=... -DNAMESPACE=... -P`.
file(READ ${IN} content)
file(WRITE ${OUT}.tmp
     "// Generated from ${IN}; edit that file.\n#include <string_view>\nnamespace ${NAMESPACE} {\n"
     "std::string_view ${NAME}() {\n    static constexpr std::string_view text = R\"nmsembed(${content})nmsembed\";\n"
     "    return text;\n}\n}\n")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
