find_package(GTest REQUIRED)
include(GoogleTest)

# zelk_add_test(NAME SOURCES... [LIBS libs...] [LABELS labels...] [PROPERTIES name value...])
# One GoogleTest executable; each test case becomes its own CTest test.
function(zelk_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    zelk_warnings(${name})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}" ${ARG_PROPERTIES})
endfunction()
