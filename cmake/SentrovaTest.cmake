# sentrova_add_test(<name> SOURCES <files...> LIBS <targets...> [NETNS] [TIMEOUT <s>] [LABELS <l...>]
#                   [SCREEN <width>x<height>])
#
# Builds tst_<name> and registers it with CTest. NETNS tests need the
# protocol's fixed ports, broadcast or multicast: they run inside a private
# network namespace (tests/netns-run.sh) and are skipped where namespaces are
# not allowed. The whole suite runs under xvfb-run, so widget and GL tests
# get a display; a test that needs a screen of a given size (a laptop's) gets
# an Xvfb of its own with SCREEN.
function(sentrova_add_test name)
    cmake_parse_arguments(T "NETNS" "TIMEOUT;SCREEN" "SOURCES;LIBS;LABELS" ${ARGN})
    set(target tst_${name})
    add_executable(${target} ${T_SOURCES})
    target_link_libraries(${target} PRIVATE ${T_LIBS} Qt5::Test)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(${target} PRIVATE
        SENTROVA_BIN_DIR="${PROJECT_BINARY_DIR}"
        SENTROVA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set(display "")
    if(T_SCREEN)
        set(display xvfb-run -a -s "-screen 0 ${T_SCREEN}x24")
    endif()
    if(T_NETNS)
        add_test(NAME ${name}
                 COMMAND ${display} ${PROJECT_SOURCE_DIR}/tests/netns-run.sh $<TARGET_FILE:${target}>)
        set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
        list(APPEND T_LABELS netns)
    else()
        add_test(NAME ${name} COMMAND ${display} $<TARGET_FILE:${target}>)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_LOGGING_RULES=sentrova.*.debug=false;SENTROVA_BIN_DIR=${PROJECT_BINARY_DIR};SENTROVA_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
    if(T_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()

# sentrova_add_fuzz_replay(<fuzz_name> LIBS <targets...>)
#
# Builds fuzz/<fuzz_name>.cpp with a plain replay driver and runs it over
# fuzz/corpus/<fuzz_name>, so the seeds and every crash input that was once
# found stay in the normal test suite.
function(sentrova_add_fuzz_replay name)
    cmake_parse_arguments(F "" "" "LIBS" ${ARGN})
    set(target replay_${name})
    add_executable(${target} ${PROJECT_SOURCE_DIR}/fuzz/${name}.cpp
                             ${PROJECT_SOURCE_DIR}/fuzz/ReplayMain.cpp)
    target_link_libraries(${target} PRIVATE ${F_LIBS} Qt5::Core)
    file(MAKE_DIRECTORY ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
    add_test(NAME ${name}_replay COMMAND ${target} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
    set_tests_properties(${name}_replay PROPERTIES TIMEOUT 300 LABELS fuzz)
endfunction()
