# quiva_embed_resources(<target> MODULE <module name> DIR <folder>)
# Turns the files under <folder> into a generated source compiled into <target>, registered at
# start-up under <module name> (see platform/base/resources.h for the folder's layout).
function(quiva_embed_resources target)
  cmake_parse_arguments(R "" "MODULE;DIR" "" ${ARGN})
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${R_DIR}/*)
  # One target may carry the resources of several modules (a test program beside its module's own).
  string(MAKE_C_IDENTIFIER "${target}_${R_MODULE}" id)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${id}_resources.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DMODULE=${R_MODULE} -DDIR=${R_DIR} -DOUT=${out}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedResources.cmake
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/EmbedResources.cmake
    COMMENT "Embedding ${R_MODULE} resources into ${target}")
  target_sources(${target} PRIVATE ${out})
endfunction()
