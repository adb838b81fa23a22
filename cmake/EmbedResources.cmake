# Script mode: writes OUT, a C++ source holding every file under DIR as bytes and registering
# them as the resources of MODULE.
file(GLOB_RECURSE files RELATIVE ${DIR} ${DIR}/*)
list(SORT files)
set(arrays "")
set(entries "")
set(n 0)
foreach(rel ${files})
  get_filename_component(name_we ${rel} NAME_WE)
  get_filename_component(folder ${rel} DIRECTORY)
  if(rel STREQUAL "strings.txt")
    set(type "STRINGS")
    set(name_we "1")
  elseif(folder STREQUAL "icons")
    set(type "ICON")
  elseif(folder STREQUAL "")
    continue()
  else()
    string(TOUPPER ${folder} type)
  endif()
  file(READ ${DIR}/${rel} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
  string(APPEND arrays "const unsigned char r${n}[] = {\n${bytes}0};\n")
  if(name_we MATCHES "^[0-9]+$")
    string(APPEND entries "    {L\"${type}\", ${name_we}, nullptr, r${n}, sizeof r${n} - 1},\n")
  else()
    string(APPEND entries "    {L\"${type}\", -1, L\"${name_we}\", r${n}, sizeof r${n} - 1},\n")
  endif()
  math(EXPR n "${n} + 1")
endforeach()
# The version resource: the marker that platform/base/version.cpp looks for, then the version.
if(VERSION)
  string(HEX "QUIVA-FILE-VERSION ${VERSION}" hex)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char r${n}[] = {${bytes}0};\n")
  string(APPEND entries "    {L\"VERSION\", 1, nullptr, r${n}, sizeof r${n} - 1},\n")
  math(EXPR n "${n} + 1")
endif()
if(n EQUAL 0)
  set(entries "    {L\"\", -1, L\"\", nullptr, 0},\n")
endif()
file(WRITE ${OUT}.tmp "// Generated from ${DIR}; do not edit.
#include \"platform/base/resources.h\"

namespace {
${arrays}
const quiva::EmbeddedResource kItems[] = {
${entries}};

// Registered before the module's other static objects are made (a library's start-up code may
// look its resources up) and taken back after they are gone.
struct Registration {
    Registration() { quiva::RegisterResourceModule(L\"${MODULE}\", kItems, ${n}, &kItems); }
    ~Registration() { quiva::UnregisterResourceModule(&kItems); }
} registration __attribute__((init_priority(200)));
}  // namespace
")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
