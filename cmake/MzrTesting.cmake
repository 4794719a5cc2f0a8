include(GoogleTest)

# mzr_add_gtest(NAME source... LIBS lib...): a GoogleTest program whose cases are each
# registered with CTest, run under the offscreen platform so widget code needs no display.
function(mzr_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE mzr_settings GTest::gtest GTest::gtest_main ${ARG_LIBS})
  # TIMEOUT: seconds for each case where the default is too short (an independent optimiser
  # run under the sanitizers).
  set(properties ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(ARG_TIMEOUT)
    list(APPEND properties TIMEOUT ${ARG_TIMEOUT})
  endif()
  gtest_discover_tests(${name}
    PROPERTIES ${properties}
    DISCOVERY_TIMEOUT 60)
endfunction()

# mzr_add_qtest(NAME source... LIBS lib...): a QtTest program registered as one CTest test.
function(mzr_add_qtest name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE mzr_settings Qt6::Test ${ARG_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
