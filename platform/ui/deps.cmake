pkg_check_modules(QUIVA_UI REQUIRED IMPORTED_TARGET x11 xi libpng)
target_link_libraries(${QUIVA_AREA_TARGET} PUBLIC PkgConfig::QUIVA_UI)
