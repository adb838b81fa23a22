// Where window tests leave pictures for people to look at.
#pragma once

#include <string>

namespace quiva::test {

// The folder of the pictures in the build tree (created on demand).
std::string ReferencePictureDir();

}  // namespace quiva::test
