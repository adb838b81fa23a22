# Read by ctest after the test programs' discovered tests: every test of theirs that is not
# listed in tests/slow-tests.txt (the ones that take a second or more) also carries the label
# "fast", so that `ctest -L fast` is a quick loop.
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/../tests/slow-tests.txt" quiva_slow REGEX "^[^#]")
foreach(quiva_layer platform framework dicom capture monitor app host)
  foreach(quiva_test IN LISTS test_${quiva_layer}_TESTS)
    # Parameterised tests carry their parameter after "  #" in the name.
    string(REGEX REPLACE "  #.*$" "" quiva_name "${quiva_test}")
    list(FIND quiva_slow "${quiva_name}" quiva_at)
    if(quiva_at EQUAL -1)
      set_tests_properties("${quiva_test}" PROPERTIES LABELS "test_${quiva_layer};fast")
    endif()
  endforeach()
endforeach()
