# Writes a C++ source holding the icon PNGs as byte arrays, for the toolkit-free file-type
# registration. Run as: cmake -DOUTPUT=file.cpp -DICONS="index:size:path;..." -P embedicons.cmake
set(arrays "")
set(indexes "")
foreach(icon IN LISTS ICONS)
  string(REPLACE ":" ";" parts "${icon}")
  list(GET parts 0 index)
  list(GET parts 1 size)
  list(GET parts 2 path)
  file(READ "${path}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # A line break every 16 bytes keeps the generated file readable in a debugger.
  string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
  string(APPEND arrays "const unsigned char icon${index}_${size}[] = {\n    ${bytes}\n};\n")
  list(APPEND indexes ${index})
  string(APPEND entries_${index} "    {${size}, icon${index}_${size}, sizeof icon${index}_${size}},\n")
endforeach()
list(REMOVE_DUPLICATES indexes)

set(tables "")
set(cases "")
foreach(index IN LISTS indexes)
  string(APPEND tables "const EmbeddedIcon index${index}[] = {\n${entries_${index}}};\n")
  string(APPEND cases "    case ${index}:\n        return index${index};\n")
endforeach()

file(WRITE "${OUTPUT}.tmp" "// Generated from resources/icons by resources/embedicons.cmake; do not edit.
#include \"resourcedata.h\"

namespace {

${arrays}
${tables}
}  // namespace

std::span<const EmbeddedIcon> embeddedIcons(int iconIndex)
{
    switch (iconIndex) {
${cases}    default:
        return {};
    }
}
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
