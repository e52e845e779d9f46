# Files of discovery/: program code into NW_CORE_SOURCES, unit tests into
# NW_UNIT_TEST_SOURCES, end-to-end tests into NW_E2E_TEST_SOURCES.
list(APPEND NW_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/AdvertisementData.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DeviceRecord.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DeviceTable.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ScanWorker.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ConnectionProbe.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PropertiesDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ScanCycle.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LeWatchLogic.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LeWatcher.cpp
)
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/discovery_devicetable_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/discovery_lowenergy_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/discovery_scanworker_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/discovery_probe_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/discovery_properties_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/discovery_scancycle_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/discovery_lewatcher_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/simradio_scenario_test.cpp
)
