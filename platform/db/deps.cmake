# The database area talks to unixODBC (driver manager and its configuration library).
pkg_check_modules(ODBC REQUIRED IMPORTED_TARGET odbc odbcinst)
target_link_libraries(${QUIVA_AREA_TARGET} PUBLIC PkgConfig::ODBC)
# The driver configuration the system ships (see resources/odbc/odbcinst.ini).
target_compile_definitions(${QUIVA_AREA_TARGET} PRIVATE QUIVA_ODBC_CONFIG_DIR="${PROJECT_SOURCE_DIR}/resources/odbc")
