// The device table the merge fuzzers feed: over a hidden list, with default
// settings and a description file in a folder of its own; the settings and
// the file are let go when it goes.
#pragma once
#include <memory>
#include "TestFolder.h"
#include "annotations/Descriptions.h"
#include "discovery/DeviceTable.h"
#include "discovery/ScanWorker.h"
#include "settings/Settings.h"
#include "unit/listview_testsupport.h"

struct FuzzTable {
    nw::test::TempFolder folder;
    nw::Settings settings = {};
    listtest::ListWindow window;   // declared before the table, so it outlives it
    std::unique_ptr<nw::DeviceTable> table = std::make_unique<nw::DeviceTable>();
    std::unique_ptr<nw::ScanAnswer> scan = std::make_unique<nw::ScanAnswer>();

    FuzzTable() {
        nw::ApplyDefaultSettings(settings);
        nw::SetAppSettings(&settings);
        nw::SetDescriptionFileForTesting(folder.File(L"fuzz_Desc.ini").c_str());
        table->Attach(window.List());
        table->InsertColumns();
        scan->count = 0;
        table->scanResults = scan.get();
    }
    ~FuzzTable() {
        table.reset();
        nw::SetAppSettings(nullptr);
        nw::SetDescriptionFileForTesting(nullptr);
    }
    FuzzTable(const FuzzTable&) = delete;
    FuzzTable& operator=(const FuzzTable&) = delete;
};
