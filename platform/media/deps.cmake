# The media layer decodes and encodes motion-JPEG with libjpeg.
find_package(JPEG REQUIRED)
target_link_libraries(quiva_platform PUBLIC JPEG::JPEG)
