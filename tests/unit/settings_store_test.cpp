#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <string>
#include <vector>
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "TestFolder.h"

using nw::SettingsStore;

namespace {

using nw::test::TempFolder;

using nw::test::ReadBytes;
using nw::test::ReadUtf16Lines;

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}


bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

nw::Settings Defaults() {
    nw::Settings s{};
    nw::ApplyDefaultSettings(s);
    return s;
}

void ExpectSameSettings(const nw::Settings& a, const nw::Settings& b) {
    EXPECT_EQ(a.ShowGridLines, b.ShowGridLines);
    EXPECT_EQ(a.ShowInfoTip, b.ShowInfoTip);
    EXPECT_EQ(a.TrayIcon, b.TrayIcon);
    EXPECT_EQ(a.SortOnEveryUpdate, b.SortOnEveryUpdate);
    EXPECT_EQ(a.DisplayBalloonOnNewDevice, b.DisplayBalloonOnNewDevice);
    EXPECT_EQ(a.OpenWindowOnNewDevice, b.OpenWindowOnNewDevice);
    EXPECT_EQ(a.BeepOnNewDevice, b.BeepOnNewDevice);
    EXPECT_EQ(a.MarkNewDevices, b.MarkNewDevices);
    EXPECT_EQ(a.DevicesAlertOnlyWithDesc, b.DevicesAlertOnlyWithDesc);
    EXPECT_EQ(a.AutoSetDeviceDescription, b.AutoSetDeviceDescription);
    EXPECT_EQ(a.UpdateRate, b.UpdateRate);
    EXPECT_STREQ(a.alerts.NewDeviceExecute, b.alerts.NewDeviceExecute);
    EXPECT_STREQ(a.alerts.NewDeviceSpeak, b.alerts.NewDeviceSpeak);
    EXPECT_EQ(a.alerts.UseNewDeviceExecute, b.alerts.UseNewDeviceExecute);
    EXPECT_EQ(a.alerts.UseNewDeviceSpeak, b.alerts.UseNewDeviceSpeak);
    EXPECT_EQ(a.SaveFilterIndex, b.SaveFilterIndex);
}

void Save(const std::wstring& path, nw::Settings& s) {
    SettingsStore store(SettingsStore::Write, path.c_str());
    nw::ExchangeSettings(store, s);
    EXPECT_TRUE(store.Commit());
}

nw::Settings Load(const std::wstring& path) {
    nw::Settings s{};
    memset(&s, 0x5A, sizeof(s));   // every key must be given a value
    SettingsStore store(SettingsStore::Read, path.c_str());
    nw::ExchangeSettings(store, s);
    return s;
}

}  // namespace

// ---- Configuration file --------------------------------------------------------

TEST(SettingsFile, FirstStartGivesEveryDefault) {
    TempFolder dir;
    nw::Settings loaded = Load(dir.File(L"nw.cfg"));
    nw::Settings expected = Defaults();
    ExpectSameSettings(expected, loaded);
    EXPECT_EQ(1, loaded.TrayIcon);
    EXPECT_EQ(0, loaded.ShowGridLines);
    EXPECT_EQ(1, loaded.UpdateRate);
    EXPECT_STREQ(L"", loaded.alerts.NewDeviceExecute);
    EXPECT_STREQ(L"%device_desc% is here", loaded.alerts.NewDeviceSpeak);

    WINDOWPLACEMENT placement;
    memset(&placement, 0x77, sizeof(placement));
    SettingsStore store(SettingsStore::Read, dir.File(L"nw.cfg").c_str());
    EXPECT_FALSE(nw::ExchangeWindowPlacement(store, placement));
    WINDOWPLACEMENT zero{};
    EXPECT_EQ(0, memcmp(&zero, &placement, sizeof(zero)));
    EXPECT_FALSE(FileExists(dir.File(L"nw.cfg")));   // reading never creates it
}

TEST(SettingsFile, SaveWritesEveryKeyInTableOrder) {
    TempFolder dir;
    std::wstring cfg = dir.File(L"nw.cfg");
    nw::Settings s = Defaults();
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    placement.showCmd = SW_SHOWMAXIMIZED;
    placement.rcNormalPosition = {10, 20, 650, -1};
    uint8_t columns[4] = {0x01, 0xAB, 0x00, 0xFF};
    int32_t sort = -4097;
    {
        SettingsStore store(SettingsStore::Write, cfg.c_str());
        nw::ExchangeSettings(store, s);
        EXPECT_TRUE(nw::ExchangeWindowPlacement(store, placement));
        EXPECT_TRUE(store.ExchangeBytes(L"Columns", columns, sizeof(columns)));
        store.ExchangeInt(L"Sort", sort, 0);
        EXPECT_FALSE(FileExists(cfg));   // nothing replaced before the commit
        EXPECT_TRUE(store.Commit());
    }
    EXPECT_FALSE(FileExists(cfg + L".new"));
    std::vector<std::wstring> lines = ReadUtf16Lines(cfg);
    const std::vector<std::wstring> expected = {
        L"[General]", L"ShowGridLines=0", L"SaveFilterIndex=0", L"ShowInfoTip=1", L"TrayIcon=1",
        L"SortOnEveryUpdate=1", L"DisplayBalloonOnNewDevice=1", L"OpenWindowOnNewDevice=0",
        L"BeepOnNewDevice=0", L"MarkNewDevices=1", L"DevicesAlertOnlyWithDesc=0",
        L"AutoSetDeviceDescription=1", L"UpdateRate=1", L"NewDeviceExecute=", L"UseNewDeviceExecute=0",
        L"NewDeviceSpeak=%device_desc% is here", L"UseNewDeviceSpeak=0",
        L"WinPos=2C 00 00 00 00 00 00 00 03 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
        L"0A 00 00 00 14 00 00 00 8A 02 00 00 FF FF FF FF",
        L"Columns=01 AB 00 FF", L"Sort=-4097"};
    ASSERT_GE(lines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(expected[i], lines[i]) << i;
    for (size_t i = expected.size(); i < lines.size(); ++i) EXPECT_EQ(L"", lines[i]);
    EXPECT_EQ(131u, lines[17].size() - wcslen(L"WinPos="));

    WINDOWPLACEMENT back;
    SettingsStore reader(SettingsStore::Read, cfg.c_str());
    EXPECT_TRUE(nw::ExchangeWindowPlacement(reader, back));
    EXPECT_EQ(0, memcmp(&placement, &back, sizeof(back)));
    int32_t sortBack = 0;
    reader.ExchangeInt(L"sort", sortBack, 0);   // keys match without regard to case
    EXPECT_EQ(-4097, sortBack);
}

TEST(SettingsFile, EveryValueRoundTripsIncludingTextOutsideTheCodePage) {
    TempFolder dir;
    std::wstring cfg = dir.File(L"nw.cfg");
    nw::Settings s{};
    s.ShowGridLines = 1; s.ShowInfoTip = 0; s.TrayIcon = 0; s.SortOnEveryUpdate = 0;
    s.DisplayBalloonOnNewDevice = 0; s.OpenWindowOnNewDevice = 1; s.BeepOnNewDevice = 1;
    s.MarkNewDevices = 0; s.DevicesAlertOnlyWithDesc = 1; s.AutoSetDeviceDescription = 0;
    s.UpdateRate = 3; s.SaveFilterIndex = 7;
    s.alerts.UseNewDeviceExecute = 1; s.alerts.UseNewDeviceSpeak = 1;
    wcscpy(s.alerts.NewDeviceExecute, L"\"C:\\Program Files\\x.exe\" \"%device_name%\"");
    wcscpy(s.alerts.NewDeviceSpeak, L"\u0417\u0434\u0440\u0430\u0432\u0441\u0442\u0432\u0443\u0439 "
                                    L"%device_desc% \u65e5\u672c \U0001F600");
    Save(cfg, s);
    ExpectSameSettings(s, Load(cfg));

    // Blanks at either end and quotes around the whole text survive too.
    wcscpy(s.alerts.NewDeviceExecute, L"  padded  ");
    wcscpy(s.alerts.NewDeviceSpeak, L"'quoted'");
    Save(cfg, s);
    ExpectSameSettings(s, Load(cfg));
}

TEST(SettingsFile, AnExtraSectionIsGoneAfterASave) {
    TempFolder dir;
    std::wstring cfg = dir.File(L"nw.cfg");
    WriteBytes(cfg, "[Extra]\r\nKeep=1\r\n[General]\r\nHandAdded=5\r\nTrayIcon=0\r\n");
    nw::Settings s = Load(cfg);
    EXPECT_EQ(0, s.TrayIcon);
    Save(cfg, s);
    wchar_t value[16];
    GetPrivateProfileStringW(L"Extra", L"Keep", L"gone", value, 16, cfg.c_str());
    EXPECT_STREQ(L"gone", value);
    GetPrivateProfileStringW(L"General", L"HandAdded", L"gone", value, 16, cfg.c_str());
    EXPECT_STREQ(L"gone", value);
    EXPECT_EQ(0, Load(cfg).TrayIcon);
}

TEST(SettingsFile, HandWrittenEightBitFileIsRead) {
    TempFolder dir;
    std::wstring cfg = dir.File(L"nw.cfg");
    WriteBytes(cfg, "[general]\r\nshowgridlines=1\r\nUpdateRate=abc\r\nSaveFilterIndex= -3 \r\n"
                    "TrayIcon=\r\nNewDeviceSpeak=\r\nNewDeviceExecute=notepad.exe \"%device_name%\"\r\n");
    nw::Settings s = Load(cfg);
    EXPECT_EQ(1, s.ShowGridLines);
    EXPECT_EQ(1, s.UpdateRate);          // not a number: the default
    EXPECT_EQ(-3, s.SaveFilterIndex);
    EXPECT_EQ(1, s.TrayIcon);            // an empty number counts as absent
    EXPECT_STREQ(L"", s.alerts.NewDeviceSpeak);   // an empty text stays empty
    EXPECT_STREQ(L"notepad.exe \"%device_name%\"", s.alerts.NewDeviceExecute);
}

TEST(SettingsFile, LongCommandLineIsCutTo1022CharactersAndKeepsThemThroughASave) {
    TempFolder dir;
    std::wstring cfg = dir.File(L"nw.cfg");
    std::wstring longText(1100, L'x');
    WritePrivateProfileStringW(L"General", L"NewDeviceExecute", longText.c_str(), cfg.c_str());
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, cfg.c_str());
    nw::Settings s = Load(cfg);
    EXPECT_EQ(1022u, wcslen(s.alerts.NewDeviceExecute));
    // At that length a text stored in quotes (outer blanks) used to lose its
    // last character at every save and load (found by the configuration fuzz
    // test, NW_FUZZ_SEED=0x62B036FC73E9B07C NW_FUZZ_SCALE=4, round 68).
    std::wstring quoted = L" " + std::wstring(1020, L'y') + L" ";
    wcscpy(s.alerts.NewDeviceExecute, quoted.c_str());
    Save(dir.File(L"again.cfg"), s);
    EXPECT_EQ(quoted, Load(dir.File(L"again.cfg")).alerts.NewDeviceExecute);
}

TEST(SettingsFile, FailedSaveLeavesTheOldFileIntact) {
    TempFolder dir;
    std::wstring cfg = dir.File(L"nw.cfg");
    nw::Settings s = Defaults();
    s.UpdateRate = 2;
    Save(cfg, s);
    std::vector<unsigned char> before = ReadBytes(cfg);
    ASSERT_FALSE(before.empty());
    s.UpdateRate = 3;

    // The new file cannot be created: a folder stands in its way.
    ASSERT_TRUE(CreateDirectoryW((cfg + L".new").c_str(), nullptr));
    {
        SettingsStore store(SettingsStore::Write, cfg.c_str());
        nw::ExchangeSettings(store, s);
        EXPECT_FALSE(store.Commit());
    }
    EXPECT_EQ(before, ReadBytes(cfg));
    RemoveDirectoryW((cfg + L".new").c_str());

    // A missing folder: nothing is created, nothing is reported.
    std::wstring missing = dir.File(L"missing\\nw.cfg");
    {
        SettingsStore store(SettingsStore::Write, missing.c_str());
        nw::ExchangeSettings(store, s);
        EXPECT_FALSE(store.Commit());
    }
    EXPECT_FALSE(FileExists(missing));
    EXPECT_FALSE(FileExists(dir.File(L"missing")));
    EXPECT_EQ(2, Load(cfg).UpdateRate);
}

TEST(SettingsFile, DestructorCommitsAnUncommittedSave) {
    TempFolder dir;
    std::wstring cfg = dir.File(L"nw.cfg");
    nw::Settings s = Defaults();
    s.BeepOnNewDevice = 1;
    {
        SettingsStore store(SettingsStore::Write, cfg.c_str());
        nw::ExchangeSettings(store, s);
    }
    EXPECT_EQ(1, Load(cfg).BeepOnNewDevice);
    EXPECT_FALSE(FileExists(cfg + L".new"));
}

// ---- Store operations ------------------------------------------------------------

namespace {
// Records which operations the store's own operations reach through the table.
class RecordingStore : public SettingsStore {
public:
    using SettingsStore::SettingsStore;
    bool ExchangeInt(const wchar_t* key, int32_t& value, int32_t defaultValue) override {
        calls += L"Int:" + std::wstring(key) + L";";
        return SettingsStore::ExchangeInt(key, value, defaultValue);
    }
    bool ExchangeUInt(const wchar_t* key, uint32_t& value, uint32_t defaultValue) override {
        calls += L"UInt:" + std::wstring(key) + L";";
        return SettingsStore::ExchangeUInt(key, value, defaultValue);
    }
    std::wstring calls;
};
}  // namespace

TEST(SettingsStoreOps, NarrowAndBoolFormsGoThroughTheTable) {
    TempFolder dir;
    std::wstring cfg = dir.File(L"nw.cfg");
    {
        RecordingStore store(SettingsStore::Write, cfg.c_str());
        int32_t flag = 1;
        uint32_t rate = 0xFFFFFFFFu;
        int16_t small = -2;
        uint16_t wide = 65535;
        store.ExchangeBool(L"B", flag, 0);
        store.ExchangeUInt(L"U", rate, 0);
        store.ExchangeShort(L"S", small, 0);
        store.ExchangeUShort(L"W", wide, 0);
        EXPECT_EQ(L"Int:B;UInt:U;Int:U;UInt:S;Int:S;", store.calls);
    }
    std::vector<std::wstring> lines = ReadUtf16Lines(cfg);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(L"B=1", lines[1]);
    EXPECT_EQ(L"U=-1", lines[2]);
    EXPECT_EQ(L"S=-2", lines[3]);
    EXPECT_EQ(L"W=65535", lines[4]);

    WritePrivateProfileStringW(L"General", L"W", L"70000", cfg.c_str());
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, cfg.c_str());
    SettingsStore reader(SettingsStore::Read, cfg.c_str());
    int16_t small = 0;
    uint16_t wide = 0, absent = 0;
    uint32_t rate = 0;
    reader.ExchangeShort(L"S", small, 5);
    reader.ExchangeUShort(L"W", wide, 5);
    reader.ExchangeUShort(L"Nope", absent, 65534);
    reader.ExchangeUInt(L"U", rate, 5);
    EXPECT_EQ(-2, small);
    EXPECT_EQ(65535, wide);   // past the range: its end, never wrapped
    EXPECT_EQ(65534, absent);
    EXPECT_EQ(0xFFFFFFFFu, rate);
}

TEST(SettingsStoreOps, BytesReadReportsWhetherTheKeyHeldText) {
    TempFolder dir;
    std::wstring cfg = dir.File(L"nw.cfg");
    WriteBytes(cfg, "[General]\r\nEmpty=\r\nShort=0A 0b\r\nZero=\r\n");
    SettingsStore reader(SettingsStore::Read, cfg.c_str());
    uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_FALSE(reader.ExchangeBytes(L"Absent", bytes, 4));
    EXPECT_FALSE(reader.ExchangeBytes(L"Empty", bytes, 4));
    EXPECT_TRUE(reader.ExchangeBytes(L"Short", bytes, 4));
    const uint8_t expected[4] = {0x0A, 0x0B, 3, 4};
    EXPECT_EQ(0, memcmp(expected, bytes, 4));

    // A zero size writes an empty value.
    {
        SettingsStore writer(SettingsStore::Write, cfg.c_str());
        EXPECT_TRUE(writer.ExchangeBytes(L"Zero", bytes, 0));
    }
    std::vector<std::wstring> lines = ReadUtf16Lines(cfg);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(L"Zero=", lines[1]);
}

TEST(SettingsStoreOps, DeleteKeyRemovesTheKey) {
    TempFolder dir;
    std::wstring cfg = dir.File(L"nw.cfg");
    {
        SettingsStore writer(SettingsStore::Write, cfg.c_str());
        int32_t a = 1, b = 2;
        writer.ExchangeInt(L"A", a, 0);
        writer.ExchangeInt(L"B", b, 0);
        EXPECT_TRUE(writer.DeleteKey(L"A"));
    }
    SettingsStore reader(SettingsStore::Read, cfg.c_str());
    int32_t a = 0, b = 0;
    reader.ExchangeInt(L"A", a, 9);
    reader.ExchangeInt(L"B", b, 9);
    EXPECT_EQ(9, a);
    EXPECT_EQ(2, b);
}

// ---- Byte lists and numbers -----------------------------------------------------

TEST(ByteList, FormatsUpperCasePairsWithoutTrailingSpace) {
    const uint8_t data[3] = {0x00, 0x9f, 0xFF};
    wchar_t out[16];
    EXPECT_EQ(8u, nw::FormatByteList(data, 3, out, 16));
    EXPECT_STREQ(L"00 9F FF", out);
    EXPECT_EQ(0u, nw::FormatByteList(data, 0, out, 16));
    EXPECT_STREQ(L"", out);
    // Only whole bytes fit: 7 characters hold two bytes ("00 9F"), not half a third.
    EXPECT_EQ(5u, nw::FormatByteList(data, 3, out, 8));
    EXPECT_STREQ(L"00 9F", out);

    std::vector<uint8_t> big(4000, 0x42);
    std::vector<wchar_t> text(nw::kByteListChars + 1);
    size_t length = nw::FormatByteList(big.data(), big.size(), text.data(), text.size());
    EXPECT_LE(length, static_cast<size_t>(nw::kByteListChars));
    EXPECT_EQ(2u, length % 3);   // ends on a whole byte
}

TEST(ByteList, ParsesPairsSkippingSpaces) {
    uint8_t out[6];
    memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(3u, nw::ParseByteList(L"2C  00 ff", out, 6));
    EXPECT_EQ(0x2C, out[0]);
    EXPECT_EQ(0x00, out[1]);
    EXPECT_EQ(0xFF, out[2]);
    EXPECT_EQ(0xEE, out[3]);   // bytes beyond the text keep their content

    // Pairs need no spaces; an odd last character is a pair of one.
    memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(3u, nw::ParseByteList(L"0102A", out, 6));
    EXPECT_EQ(0x01, out[0]);
    EXPECT_EQ(0x02, out[1]);
    EXPECT_EQ(0x0A, out[2]);

    // A non-digit ends the pair's number: digits before it count, none gives 0.
    memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(4u, nw::ParseByteList(L"5G G5 -1 zz", out, 6));
    EXPECT_EQ(0x05, out[0]);
    EXPECT_EQ(0x00, out[1]);
    EXPECT_EQ(0x00, out[2]);
    EXPECT_EQ(0x00, out[3]);

    // Stops once the requested bytes are filled.
    memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(2u, nw::ParseByteList(L"01 02 03", out, 2));
    EXPECT_EQ(0xEE, out[2]);
}

// Every numeric key: past the range gives its nearer end, anything that is
// not a plain decimal number the key's default.
TEST(SettingsFile, NumbersOutOfRangeStopAtTheEndAndNonNumbersGiveTheDefault) {
    struct Case {
        const char* text;
        int32_t departAfter;   // 1-99, default 3
        bool number;           // false: every key takes its default
        int32_t whole;         // what a key of the whole 32-bit range reads
    };
    const Case cases[] = {
        {"2147483648", 99, true, INT32_MAX}, {"-2147483649", 1, true, INT32_MIN},
        {"99999999999999999999999", 99, true, INT32_MAX}, {"-99999999999999999999999", 1, true, INT32_MIN},
        {"2147483647", 99, true, INT32_MAX}, {"-2147483648", 1, true, INT32_MIN},
        {"abc", 3, false, 0}, {"0x10", 3, false, 0}, {"1.5", 3, false, 0}, {"7 days", 3, false, 0},
        {"-", 3, false, 0}, {"+", 3, false, 0}, {"", 3, false, 0},
        {" 7 ", 7, true, 7}, {"+42", 42, true, 42}, {"-0", 1, true, 0}, {"100", 99, true, 100},
        {"0099", 99, true, 99}, {"-40000", 1, true, -40000},
    };
    TempFolder dir;
    const std::wstring cfg = dir.File(L"nw.cfg");
    for (const Case& c : cases) {
        const std::string text(c.text);
        WriteBytes(cfg, "[General]\r\nDepartAfterScans=" + text + "\r\nSort=" + text + "\r\nTrayIcon=" + text +
                            "\r\nS=" + text + "\r\nW=" + text + "\r\n");
        nw::Settings s = Load(cfg);
        SettingsStore store(SettingsStore::Read, cfg.c_str());
        nw::ExchangePresenceSettings(store, s);
        int32_t sort = -7;
        uint32_t rate = 5;
        int16_t small = 5;
        uint16_t wide = 5;
        store.ExchangeInt(L"Sort", sort, 0);
        store.ExchangeUInt(L"Sort", rate, 9);
        store.ExchangeShort(L"S", small, 9);
        store.ExchangeUShort(L"W", wide, 9);
        const int32_t short16 = c.whole < INT16_MIN ? INT16_MIN : c.whole > INT16_MAX ? INT16_MAX : c.whole;
        const int32_t ushort16 = c.whole < 0 ? 0 : c.whole > UINT16_MAX ? UINT16_MAX : c.whole;
        EXPECT_EQ(c.departAfter, s.presence.DepartAfterScans) << text;
        EXPECT_EQ(c.number ? c.whole : 0, sort) << text;
        EXPECT_EQ(c.number ? c.whole : 1, s.TrayIcon) << text;
        EXPECT_EQ(c.number ? static_cast<uint32_t>(c.whole) : 9u, rate) << text;
        EXPECT_EQ(c.number ? short16 : 9, small) << text;
        EXPECT_EQ(c.number ? ushort16 : 9, wide) << text;
    }
}

// ---- Window placement -----------------------------------------------------------

TEST(WindowPlacement, PlausibilityBoundaries) {
    WINDOWPLACEMENT p{};
    p.length = sizeof(p);
    p.showCmd = SW_SHOWNORMAL;
    p.rcNormalPosition = {100, 100, 121, 200};   // 21 wide
    EXPECT_TRUE(nw::IsPlacementPlausible(p, 1280, 900));
    p.rcNormalPosition.right = 120;                // 20 wide
    EXPECT_FALSE(nw::IsPlacementPlausible(p, 1280, 900));
    p.rcNormalPosition = {100, 100, 300, 120};     // 20 high
    EXPECT_FALSE(nw::IsPlacementPlausible(p, 1280, 900));
    p.rcNormalPosition = {-100, -10, 6, 300};      // right just past 5, top at -10
    EXPECT_TRUE(nw::IsPlacementPlausible(p, 1280, 900));
    p.rcNormalPosition = {-100, -11, 6, 300};
    EXPECT_FALSE(nw::IsPlacementPlausible(p, 1280, 900));
    p.rcNormalPosition = {-100, 0, 5, 300};
    EXPECT_FALSE(nw::IsPlacementPlausible(p, 1280, 900));
    p.rcNormalPosition = {1259, 0, 1600, 300};     // left + 20 < width
    EXPECT_TRUE(nw::IsPlacementPlausible(p, 1280, 900));
    p.rcNormalPosition = {1260, 0, 1600, 300};
    EXPECT_FALSE(nw::IsPlacementPlausible(p, 1280, 900));
    p.rcNormalPosition = {0, 880, 300, 1200};
    EXPECT_FALSE(nw::IsPlacementPlausible(p, 1280, 900));
    p.rcNormalPosition = {0, 0, 300, 300};
    p.showCmd = 0;
    EXPECT_FALSE(nw::IsPlacementPlausible(p, 1280, 900));
    // Values from a file may be anything; no overflow.
    p.showCmd = SW_SHOWNORMAL;
    p.rcNormalPosition = {INT32_MIN, 0, INT32_MAX, 300};
    EXPECT_TRUE(nw::IsPlacementPlausible(p, 1280, 900));
}

TEST(WindowPlacement, ShortValueLeavesTheRestZero) {
    TempFolder dir;
    std::wstring cfg = dir.File(L"nw.cfg");
    WriteBytes(cfg, "[General]\r\nWinPos=2C 00 00 00 01\r\n");
    WINDOWPLACEMENT p;
    memset(&p, 0x66, sizeof(p));
    SettingsStore reader(SettingsStore::Read, cfg.c_str());
    EXPECT_TRUE(nw::ExchangeWindowPlacement(reader, p));
    EXPECT_EQ(44u, p.length);
    EXPECT_EQ(1u, p.flags);
    EXPECT_EQ(0u, p.showCmd);
    EXPECT_FALSE(nw::IsPlacementPlausible(p, 1280, 900));
}

TEST(SettingsDefaults, ConfigurationFileSitsBesideTheProgram) {
    wchar_t path[MAX_PATH], exe[MAX_PATH];
    ASSERT_TRUE(nw::ConfigurationPath(path, MAX_PATH));
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    wchar_t* dot = wcsrchr(exe, L'.');
    ASSERT_NE(nullptr, dot);
    wcscpy(dot, L".cfg");
    EXPECT_STREQ(exe, path);
}

TEST(SettingsFile, ReadOnlyFileIsNotReplaced) {
    TempFolder dir;
    std::wstring cfg = dir.File(L"nw.cfg");
    nw::Settings s = Defaults();
    Save(cfg, s);
    std::vector<unsigned char> before = ReadBytes(cfg);
    ASSERT_TRUE(SetFileAttributesW(cfg.c_str(), FILE_ATTRIBUTE_READONLY));
    s.UpdateRate = 3;
    {
        SettingsStore store(SettingsStore::Write, cfg.c_str());
        nw::ExchangeSettings(store, s);
        EXPECT_FALSE(store.Commit());
    }
    EXPECT_EQ(before, ReadBytes(cfg));
    EXPECT_FALSE(FileExists(cfg + L".new"));
}
