# brevicam_add_test(<module> SOURCES ... [LIBS ...] [ENV ...])
# One GoogleTest executable per module, discovered into CTest with a label per module. Each test process
# gets the offscreen Qt platform and a fresh registry folder, so tests never see each other's settings.
# Each test has a time limit, so that a hang fails in minutes rather than at the limit of the CI job.
set(BREVICAM_TEST_TIMEOUT 300 CACHE STRING "Seconds one test may run before CTest stops it")
function(brevicam_add_test module)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
    set(target ${module}_tests)
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} test_support GTest::gtest GTest::gmock)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    gtest_discover_tests(${target}
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
        PROPERTIES LABELS ${module} TIMEOUT ${BREVICAM_TEST_TIMEOUT}
        DISCOVERY_TIMEOUT 60)
    # The environment is a list, which does not survive the hand-over to the discovery script (only its
    # first variable would be set); it is set on the discovered tests once CTest has read them.
    set(env QT_QPA_PLATFORM=offscreen BREVICAM_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR}
            BREVICAM_TEST_BINARY_DIR=${CMAKE_BINARY_DIR} ${ARG_ENV})
    set(env_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_environment.cmake)
    file(WRITE ${env_file}
        "if(${target}_TESTS)\n  set_tests_properties(\${${target}_TESTS} PROPERTIES ENVIRONMENT [==[${env}]==])\nendif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${env_file})
endfunction()

include(Resources)
