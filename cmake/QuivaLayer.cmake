# quiva_layer(<target> [DEPENDS <libs>...])
# One static library per layer folder; every .cpp below the folder belongs to it.
function(quiva_layer target)
  cmake_parse_arguments(L "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(NOT srcs)
    set(srcs ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${target} STATIC ${srcs})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  if(L_DEPENDS)
    target_link_libraries(${target} PUBLIC ${L_DEPENDS})
  endif()
endfunction()

# quiva_test_suite(<layer> [DEPENDS <libs>...])
# tests/<layer>/*.cpp become one GoogleTest program, registered with ctest.
function(quiva_test_suite layer)
  cmake_parse_arguments(T "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${layer}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(test_${layer} ${srcs})
  target_link_libraries(test_${layer} PRIVATE quiva_testsupport ${T_DEPENDS} GTest::gtest_main GTest::gmock)
  # The capture module's resources, so captions, icons and strings are real in tests.
  quiva_embed_resources(test_${layer} MODULE "QUIVA.Capture.dll" DIR ${PROJECT_SOURCE_DIR}/resources/capture
                        VERSION ${PROJECT_VERSION})
  # Tests find the source and build trees through these (an environment list would be split
  # by gtest_discover_tests).
  target_compile_definitions(test_${layer} PRIVATE
    QUIVA_SOURCE_DIR="${PROJECT_SOURCE_DIR}" QUIVA_BINARY_DIR="${PROJECT_BINARY_DIR}"
    QUIVA_VERSION=L"${PROJECT_VERSION}")
  gtest_discover_tests(test_${layer}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300)
endfunction()
