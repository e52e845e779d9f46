// The decisions of an /export run against a world of the test's own: scans
// scripted, files in memory, the console's lines recorded.
#include <gtest/gtest.h>
#include <windows.h>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "app/CommandLine.h"
#include "batch/BatchExport.h"
#include "batch/BatchOptions.h"
#include "lang/Strings.h"
#include "resource.h"

namespace {

using nw::BatchScanEnd;

struct ScriptedScan {
    BatchScanEnd end;
    bool radio;
};

class FakeWorld : public nw::BatchWorld {
public:
    // ---- Scans
    bool Open(DWORD& error) override {
        log += L"open;";
        error = openError;
        return openError == 0;
    }
    bool StartScan(int32_t multiplier) override {
        if (startFailsAt == static_cast<int>(multipliers.size())) return false;
        multipliers.push_back(multiplier);
        return true;
    }
    BatchScanEnd WaitScan(bool& radioFound) override {
        const size_t at = multipliers.size() - 1;
        const ScriptedScan scan = at < scans.size() ? scans[at] : ScriptedScan{BatchScanEnd::Done, true};
        radioFound = scan.radio;
        return scan.end;
    }
    int RowCount() override { return 4; }

    // ---- Files
    DWORD Attributes(const wchar_t* path) override {
        if (folders.count(path)) return FILE_ATTRIBUTE_DIRECTORY;
        if (readOnly.count(path)) return FILE_ATTRIBUTE_READONLY;
        return files.count(path) ? FILE_ATTRIBUTE_NORMAL : INVALID_FILE_ATTRIBUTES;
    }
    DWORD FolderError(const wchar_t*) override { return folderError; }
    DWORD WriteNew(const wchar_t* path, int kind, bool& created) override {
        created = false;
        if (files.count(path) || folders.count(path)) return ERROR_FILE_EXISTS;
        created = true;
        files[path] = writeError ? "part" : "rows of kind " + std::to_string(kind);
        return writeError;
    }
    DWORD Move(const wchar_t* from, const wchar_t* to, DWORD flags) override {
        moveFlags = flags;
        if (!files.count(from)) return ERROR_FILE_NOT_FOUND;
        if (files.count(to) && !(flags & MOVEFILE_REPLACE_EXISTING)) return ERROR_ALREADY_EXISTS;
        if (moveError) return moveError;
        files[to] = files[from];
        files.erase(from);
        return 0;
    }
    void Delete(const wchar_t* path) override {
        deleted.push_back(path);
        files.erase(path);
    }
    uint32_t Random() override { return next < randoms.size() ? randoms[next++] : 0x1000u + next++; }

    void Say(const std::wstring& line, bool error) override { (error ? errors : output).push_back(line); }

    // The script
    std::vector<ScriptedScan> scans;
    int startFailsAt = -1;
    DWORD openError = 0, folderError = 0, writeError = 0, moveError = 0;
    std::vector<uint32_t> randoms;
    std::map<std::wstring, std::string> files;
    std::set<std::wstring> folders, readOnly;
    // What happened
    std::vector<int32_t> multipliers;
    std::vector<std::wstring> deleted, output, errors;
    std::wstring log;
    DWORD moveFlags = 0;
    size_t next = 0;
};

const wchar_t kTarget[] = L"C:\\out\\list.csv";

nw::BatchOptions Options(const wchar_t* commandLine) {
    return nw::ParseBatchOptions(nw::SplitCommandLine(commandLine), nw::IsOptionWord);
}

std::wstring Temporary(uint32_t random) {
    wchar_t name[64];
    _snwprintf(name, 64, L"C:\\out\\nw%08x.tmp", random);
    return name;
}

bool Says(const std::vector<std::wstring>& lines, unsigned id) {
    for (const std::wstring& line : lines)
        if (line.find(nw::GetString(id)) == 0) return true;
    return false;
}

}  // namespace

// Replacing the old file, never a partial one: the rows go to a new file of
// a random name beside the target, which then takes the target's place.
TEST(BatchRun, ScansAtTheWindowsPaceThenPutsTheFileInPlace) {
    FakeWorld world;
    world.files[kTarget] = "yesterday's list";
    world.randoms = {0xCAFE0001u};
    EXPECT_EQ(0, nw::RunBatchExport(Options(L"/export csv C:\\out\\list.csv"), world));
    EXPECT_EQ((std::vector<int32_t>{3, 8, 13}), world.multipliers);
    EXPECT_EQ("rows of kind 7", world.files[kTarget]);
    EXPECT_EQ(1u, world.files.size());   // nothing left beside it
    EXPECT_EQ(static_cast<DWORD>(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), world.moveFlags);
    EXPECT_TRUE(world.deleted.empty());
    EXPECT_TRUE(world.errors.empty());
    ASSERT_EQ(1u, world.output.size());
    EXPECT_EQ(std::wstring(L"4 devices written: ") + kTarget, world.output[0]);

    for (int scans : {1, 2, 5, 100}) {
        FakeWorld counted;
        const std::wstring line = L"/export xml C:\\out\\list.csv /scans " + std::to_wstring(scans);
        EXPECT_EQ(0, nw::RunBatchExport(Options(line.c_str()), counted));
        ASSERT_EQ(static_cast<size_t>(scans), counted.multipliers.size());
        EXPECT_EQ(3, counted.multipliers.front());
        EXPECT_EQ(scans >= 3 ? 13 : scans == 2 ? 8 : 3, counted.multipliers.back());
        EXPECT_EQ("rows of kind 6", counted.files[kTarget]);
    }
}

// Names another program took first (links to a file of the user's, say) are
// passed by and never written or deleted; only the run's own file is.
TEST(BatchRun, TheTemporaryFileIsAlwaysNewAndOnlyItsOwnIsDeleted) {
    FakeWorld world;
    world.randoms = {1, 2, 3};
    world.files[Temporary(1)] = "victim";
    world.folders.insert(Temporary(2));
    EXPECT_EQ(0, nw::RunBatchExport(Options(L"/export csv C:\\out\\list.csv /scans 1"), world));
    EXPECT_EQ("victim", world.files[Temporary(1)]);
    EXPECT_EQ("rows of kind 7", world.files[kTarget]);
    EXPECT_EQ(2u, world.files.size());
    EXPECT_TRUE(world.deleted.empty());

    // Every name taken: nothing written, nothing deleted.
    FakeWorld taken;
    taken.files[kTarget] = "old";
    for (uint32_t i = 0; i < nw::kBatchTemporaryNames; ++i) {
        taken.randoms.push_back(i);
        taken.files[Temporary(i)] = "victim";
    }
    EXPECT_EQ(1, nw::RunBatchExport(Options(L"/export csv C:\\out\\list.csv /scans 1"), taken));
    EXPECT_EQ(static_cast<size_t>(nw::kBatchTemporaryNames) + 1, taken.files.size());
    EXPECT_EQ("old", taken.files[kTarget]);
    EXPECT_TRUE(taken.deleted.empty());
    EXPECT_TRUE(Says(taken.errors, IDS_BATCH_NOT_WRITTEN));

    // A failed write or move: the run's own file goes, the old one stays.
    for (bool moveFails : {false, true}) {
        FakeWorld failing;
        failing.files[kTarget] = "old";
        failing.randoms = {7};
        (moveFails ? failing.moveError : failing.writeError) = moveFails ? ERROR_ACCESS_DENIED : ERROR_DISK_FULL;
        EXPECT_EQ(1, nw::RunBatchExport(Options(L"/export csv C:\\out\\list.csv /scans 1"), failing));
        EXPECT_EQ(std::vector<std::wstring>{Temporary(7)}, failing.deleted);
        EXPECT_EQ(1u, failing.files.size());
        EXPECT_EQ("old", failing.files[kTarget]);
        ASSERT_EQ(1u, failing.errors.size());
        EXPECT_NE(std::wstring::npos, failing.errors[0].find(moveFails ? L"Error 5:" : L"Error 112:"))
            << failing.errors[0];
        EXPECT_TRUE(failing.output.empty());
    }
}

TEST(BatchRun, HowTheScansEndDecidesTheMessagesAndTheExitCode) {
    constexpr BatchScanEnd kDone = BatchScanEnd::Done;
    struct Case {
        std::vector<ScriptedScan> scans;
        int startFailsAt;
        int code;
        size_t scansRun;
        unsigned message;   // the one error line before the file's, 0 for none
    };
    const Case cases[] = {
        {{{kDone, true}, {kDone, false}, {kDone, false}}, -1, 0, 3, 0},
        {{{kDone, false}, {kDone, false}, {kDone, false}}, -1, 3, 3, 0},   // no radio: still written
        {{{kDone, false}, {BatchScanEnd::TimedOut, false}}, -1, 0, 2, IDS_BATCH_TIMED_OUT},   // it hung in a radio
        {{{BatchScanEnd::Interrupted, false}}, -1, 0, 1, IDS_BATCH_INTERRUPTED},
        {{{kDone, false}, {BatchScanEnd::Interrupted, false}}, -1, 3, 2, IDS_BATCH_INTERRUPTED},
        {{{kDone, true}}, 1, 0, 1, IDS_BATCH_TIMED_OUT},   // no thread for the second scan
        {{}, 0, 0, 0, IDS_BATCH_TIMED_OUT},
    };
    int index = 0;
    for (const Case& c : cases) {
        FakeWorld world;
        world.scans = c.scans;
        world.startFailsAt = c.startFailsAt;
        EXPECT_EQ(c.code, nw::RunBatchExport(Options(L"/export tab C:\\out\\list.csv"), world)) << index;
        EXPECT_EQ(c.scansRun, world.multipliers.size()) << index;
        EXPECT_EQ("rows of kind 2", world.files[kTarget]) << index;
        EXPECT_EQ(c.message != 0, c.message != 0 && Says(world.errors, c.message)) << index;
        EXPECT_EQ(c.code == 3, Says(world.errors, IDS_BATCH_NO_RADIO)) << index;
        EXPECT_EQ((c.message != 0 ? 1u : 0u) + (c.code == 3 ? 1u : 0u), world.errors.size()) << index;
        EXPECT_EQ(1u, world.output.size()) << index;
        ++index;
    }
}

// A mistake in the options, or a file that could never be written, ends the
// run before the first scan.
TEST(BatchRun, MistakesAndUnwritableTargetsStartNoScan) {
    FakeWorld mistake;
    EXPECT_EQ(2, nw::RunBatchExport(Options(L"/export csv out.csv /savelangfile"), mistake));
    ASSERT_EQ(2u, mistake.errors.size());
    EXPECT_EQ(std::wstring(nw::GetString(IDS_BATCH_CONFLICT)) + L": \"/savelangfile\"", mistake.errors[0]);
    EXPECT_STREQ(nw::GetString(IDS_BATCH_SEE_HELP), mistake.errors[1].c_str());
    EXPECT_EQ(L"", mistake.log);
    EXPECT_TRUE(mistake.files.empty());

    struct Case {
        const wchar_t* what;
        void (*arrange)(FakeWorld&);
        DWORD error;
    };
    const Case cases[] = {
        {L"read-only file", [](FakeWorld& w) { w.readOnly.insert(kTarget); }, ERROR_ACCESS_DENIED},
        {L"a folder's name", [](FakeWorld& w) { w.folders.insert(kTarget); }, ERROR_ACCESS_DENIED},
        {L"folder takes no files", [](FakeWorld& w) { w.folderError = ERROR_WRITE_PROTECT; }, ERROR_WRITE_PROTECT},
        {L"no hidden list", [](FakeWorld& w) { w.openError = ERROR_NOT_ENOUGH_MEMORY; }, ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const Case& c : cases) {
        FakeWorld world;
        c.arrange(world);
        EXPECT_EQ(1, nw::RunBatchExport(Options(L"/export csv C:\\out\\list.csv"), world)) << c.what;
        EXPECT_TRUE(world.multipliers.empty()) << c.what;
        EXPECT_EQ(c.error == ERROR_NOT_ENOUGH_MEMORY ? L"open;" : L"", world.log) << c.what;
        EXPECT_FALSE(world.files.count(kTarget) && !world.folders.count(kTarget) && !world.readOnly.count(kTarget))
            << c.what;
        ASSERT_EQ(1u, world.errors.size()) << c.what;
        EXPECT_EQ(0u, world.errors[0].find(std::wstring(nw::GetString(IDS_BATCH_NOT_WRITTEN)) + L": " + kTarget))
            << c.what;
        EXPECT_NE(std::wstring::npos, world.errors[0].find(L"Error " + std::to_wstring(c.error) + L":")) << c.what;
    }
}
