# The media layer decodes and encodes motion-JPEG with libjpeg.
find_package(JPEG REQUIRED)
target_link_libraries(${QUIVA_AREA_TARGET} PUBLIC JPEG::JPEG)
