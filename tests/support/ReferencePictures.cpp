#include "tests/support/ReferencePictures.h"

#include <filesystem>

namespace quiva::test {

std::string ReferencePictureDir()
{
    std::string dir = std::string(QUIVA_BINARY_DIR) + "/reference-pictures";
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace quiva::test
