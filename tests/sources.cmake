# Test-side programs: end-to-end tests (NW_E2E_TEST_SOURCES, with the test
# driver library) and the command-line driver used by the demo.
list(APPEND NW_E2E_TEST_SOURCES
)
set(NW_DRIVER_SOURCES
)
set(NW_BENCH_SOURCES
)
