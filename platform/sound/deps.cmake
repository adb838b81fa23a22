# Sounds play through ALSA's default device (PipeWire and PulseAudio desktops serve it too).
pkg_check_modules(QUIVA_SOUND REQUIRED IMPORTED_TARGET alsa)
target_link_libraries(${QUIVA_AREA_TARGET} PUBLIC PkgConfig::QUIVA_SOUND)
