# Run by ctest as it starts (a TEST_INCLUDE_FILES script): registers the unit
# test program's tests one suite to a process, "Suite.*", instead of one test
# to a process. Starting a Wine process is most of a unit test's time (about
# a second under emulation). Set by the generated include: NW_SUITE_EMULATOR,
# NW_SUITE_EXE, NW_SUITE_BIN.
execute_process(COMMAND ${NW_SUITE_EMULATOR} ${NW_SUITE_EXE} --gtest_list_tests
                OUTPUT_VARIABLE listing RESULT_VARIABLE failed TIMEOUT 120)
if(failed)
    # Listed as a test of its own, so the run fails where it can be seen.
    add_test(unit.listing ${NW_SUITE_EMULATOR} ${NW_SUITE_EXE} --gtest_list_tests)
    return()
endif()
string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
    # "Suite." starts a suite; its tests follow on indented lines.
    if(line MATCHES "^([A-Za-z0-9_/]+)\\.")
        set(name "${CMAKE_MATCH_1}.*")
        add_test("${name}" ${NW_SUITE_EMULATOR} ${NW_SUITE_EXE} "--gtest_filter=${name}" --gtest_also_run_disabled_tests)
        set_tests_properties("${name}" PROPERTIES ENVIRONMENT "NW_TEST_BIN=${NW_SUITE_BIN}" TIMEOUT 900)
    endif()
endforeach()
