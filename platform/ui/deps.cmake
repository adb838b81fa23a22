pkg_check_modules(QUIVA_UI REQUIRED IMPORTED_TARGET x11 xi libpng)
target_link_libraries(quiva_platform PUBLIC PkgConfig::QUIVA_UI)
