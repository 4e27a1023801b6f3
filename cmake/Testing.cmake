# Test helpers. Every test runs offscreen with its own configuration folder, so no test
# reads or writes the user's real settings.

function(_varnocliff_test_environment name)
    set(home ${CMAKE_BINARY_DIR}/test-home/${name})
    file(MAKE_DIRECTORY ${home}/config)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT
        "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_CONFIG_HOME=${home}/config;XDG_RUNTIME_DIR=${home};VARNOCLIFF_SOURCE_DIR=${PROJECT_SOURCE_DIR};VARNOCLIFF_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# varnocliff_gtest(NAME SOURCES ... LIBS ...): a GoogleTest executable for code without
# widgets. Its main creates a QCoreApplication, so QtCore types work in tests.
function(varnocliff_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} varnocliff_gtest_main GTest::gtest
                          GTest::gmock)
    varnocliff_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    _varnocliff_test_environment(${name})
endfunction()

# varnocliff_qtest(NAME SOURCES ... LIBS ...): a Qt Test executable for widgets
# (QTEST_MAIN in the source), run offscreen.
function(varnocliff_qtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test Qt6::Widgets)
    varnocliff_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    _varnocliff_test_environment(${name})
endfunction()
