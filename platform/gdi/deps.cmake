# Drawing: Cairo for pixels, Pango for text, libjpeg-turbo and libpng for image files.
pkg_check_modules(QUIVA_GDI REQUIRED IMPORTED_TARGET cairo pangocairo pango fontconfig libpng)
find_package(JPEG REQUIRED)
target_link_libraries(${QUIVA_AREA_TARGET} PUBLIC PkgConfig::QUIVA_GDI JPEG::JPEG)
