#include <gtest/gtest.h>
#include <windows.h>
#include <bluetoothapis.h>
#include <cstring>

#include "simradio/Scenario.h"
#include "simradio/TestRadio.h"

using nw::simradio::ParseScenario;
using nw::simradio::Scenario;
using namespace nw::testradio;

// ---- The scenario parser ----------------------------------------------------------

TEST(SimRadioScenario, EmptyTextIsARadioWithNothingAround) {
    Scenario s = ParseScenario("");
    EXPECT_TRUE(s.radioOn);
    EXPECT_EQ(1280u, s.unitMs);
    EXPECT_TRUE(s.devices.empty());
    EXPECT_TRUE(s.problems.empty());
}

TEST(SimRadioScenario, DirectivesCommentsAndLineEnds) {
    Scenario s = ParseScenario("\xEF\xBB\xBF# a comment\r\n\r\n  unit_ms 300\r\nradio off\n   # indented comment\nradio on\n"
                               "unit_ms 5");
    EXPECT_TRUE(s.radioOn);
    EXPECT_EQ(5u, s.unitMs);
    EXPECT_TRUE(s.problems.empty());
    EXPECT_FALSE(ParseScenario("radio off\n").radioOn);
}

TEST(SimRadioScenario, DeviceFieldsAndAddressByteOrder) {
    Scenario s = ParseScenario(
        "device 00:1A:7d:da:71:13 class=0x5a020c connected=1 remembered=1 authenticated=0 scans=2-5,7- "
        "name=My  phone \n"
        "device 11:22:33:44:55:66\n");
    ASSERT_EQ(2u, s.devices.size());
    const auto& d = s.devices[0];
    EXPECT_EQ(0x001A7DDA7113ull, d.address);
    EXPECT_EQ(0x5a020cu, d.classOfDevice);
    EXPECT_TRUE(d.connected);
    EXPECT_TRUE(d.remembered);
    EXPECT_FALSE(d.authenticated);
    EXPECT_EQ(u"My  phone ", d.name);
    EXPECT_FALSE(d.InScan(1));
    EXPECT_TRUE(d.InScan(2));
    EXPECT_TRUE(d.InScan(5));
    EXPECT_FALSE(d.InScan(6));
    EXPECT_TRUE(d.InScan(7));
    EXPECT_TRUE(d.InScan(100000));
    const auto& plain = s.devices[1];
    EXPECT_EQ(0x112233445566ull, plain.address);
    EXPECT_EQ(0u, plain.classOfDevice);
    EXPECT_FALSE(plain.connected || plain.remembered || plain.authenticated);
    EXPECT_TRUE(plain.InScan(1));
    EXPECT_TRUE(plain.InScan(99));
    EXPECT_EQ(u"", plain.name);
}

TEST(SimRadioScenario, NameIsTheRestOfTheLineAndMayBeEmpty) {
    Scenario s = ParseScenario("device 00:00:00:00:00:01 name=\ndevice 00:00:00:00:00:02 name=a=b scans=3 x\r\n");
    ASSERT_EQ(2u, s.devices.size());
    EXPECT_EQ(u"", s.devices[0].name);
    EXPECT_EQ(u"a=b scans=3 x", s.devices[1].name);
    EXPECT_TRUE(s.devices[1].scans.empty());
}

TEST(SimRadioScenario, NamesAreUtf16CutToTheAnswerBlock) {
    // "Zoë's 🎧" : a two-byte sequence and a pair of surrogates.
    Scenario s = ParseScenario("device 00:00:00:00:00:01 name=Zo\xC3\xAB's \xF0\x9F\x8E\xA7\n"
                               "device 00:00:00:00:00:02 name=\xFF\xC3(ok\n" +
                               std::string("device 00:00:00:00:00:03 name=") + std::string(300, 'x') + "\n" +
                               "device 00:00:00:00:00:04 name=" + std::string(246, 'y') + "\xF0\x9F\x8E\xA7\n");
    ASSERT_EQ(4u, s.devices.size());
    EXPECT_EQ(u"Zo\u00EB's \U0001F3A7", s.devices[0].name);
    EXPECT_EQ(u"\uFFFD\uFFFD(ok", s.devices[1].name);
    EXPECT_EQ(247u, s.devices[2].name.size());
    // A pair that does not fit whole is left out, never split.
    EXPECT_EQ(std::u16string(246, u'y'), s.devices[3].name);
}

TEST(SimRadioScenario, BadLinesAreSkippedAndNamed) {
    Scenario s = ParseScenario(
        "device 00:00:00:00:00:01\n"       // 1 ok
        "device 00:00:00:00:01\n"          // 2 short address
        "device 00-00-00-00-00-02\n"       // 3 wrong separator
        "device zz:00:00:00:00:03\n"       // 4 not hex
        "device 00:00:00:00:00:04 class=0xGG\n"      // 5
        "device 00:00:00:00:00:05 connected=2\n"     // 6
        "device 00:00:00:00:00:06 scans=0\n"         // 7 scans start at 1
        "device 00:00:00:00:00:07 scans=5-2\n"       // 8
        "device 00:00:00:00:00:08 scans=1,,2\n"      // 9
        "device 00:00:00:00:00:09 colour=red\n"      // 10
        "device 00:00:00:00:00:0a bare\n"            // 11
        "unit_ms -4\n"                               // 12
        "unit_ms 99999999999999\n"                   // 13
        "radio maybe\n"                              // 14
        "jump 3\n"                                   // 15
        "device\n"                                   // 16
        "device 00:00:00:00:00:0b class=0x123456789\n"  // 17
        "device 00:00:00:00:00:0c scans=2-3,9\n");      // 18 ok
    ASSERT_EQ(2u, s.devices.size());
    EXPECT_EQ(1ull, s.devices[0].address);
    EXPECT_EQ(0x0cull, s.devices[1].address);
    EXPECT_TRUE(s.devices[1].InScan(9));
    EXPECT_FALSE(s.devices[1].InScan(4));
    ASSERT_EQ(16u, s.problems.size());
    for (size_t i = 0; i < s.problems.size(); ++i) EXPECT_EQ(i + 2, s.problems[i].line);
    EXPECT_EQ(1280u, s.unitMs);
    EXPECT_TRUE(s.radioOn);
}

TEST(SimRadioScenario, ArbitraryBytesNeverBreakTheParser) {
    std::string noise;
    unsigned x = 12345;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1103515245u + 12345u;
        noise.push_back(static_cast<char>(x >> 16));
        if (i % 97 == 0) noise += "\ndevice 00:00:00:00:00:01 name=";
    }
    Scenario s = ParseScenario(noise);
    for (const auto& d : s.devices) EXPECT_LT(d.name.size(), 248u);
}

TEST(SimRadioScenario, LeLinesRuntimeWordsAndTheirBadValues) {
    // A 300-byte name of two-byte letters: cut to the limit on a letter's edge.
    std::string longName;
    for (int i = 0; i < 150; ++i) longName += "\xC3\xA4";
    Scenario s = ParseScenario(
        "le 5a:11:22:33:44:55 random=1 rssi=-70 txpower=-8 connectable=0 mfr=004C:0215aa appearance=0x00c2 "
        "uuids=180f,FE9F scans=2- name=A \"b\" %x% & c\\nd\n"
        "le 00:00:00:00:00:01 name=" + longName + "\n"
        "le_runtime no_args2\nle_runtime stop_after 1500\n"
        "le 00:00:00:00:00:02 rssi=5x\n"
        "le 00:00:00:00:00:03 mfr=004c:021\n"
        "le 00:00:00:00:00:04 uuids=1,2\n"
        "le 00:00:00:00:00:05 appearance=0x10000\n"
        "le 00:00:00:00:00:06 uuids=0001,0002,0003,0004,0005,0006,0007,0008,0009\n"
        "le_runtime stop_after 0\nle_runtime sometimes\n");
    ASSERT_EQ(2u, s.leDevices.size());
    const auto& d = s.leDevices[0];
    EXPECT_EQ(0x5a1122334455ull, d.address);
    EXPECT_TRUE(d.random);
    EXPECT_EQ(-70, d.rssi);
    EXPECT_TRUE(d.hasTxPower);
    EXPECT_EQ(-8, d.txPower);
    EXPECT_FALSE(d.connectable);
    EXPECT_EQ(0x004c, d.company);
    EXPECT_EQ(std::string("\x02\x15\xaa"), d.mfr);
    EXPECT_EQ(0x00c2, d.appearance);
    EXPECT_EQ((std::vector<uint16_t>{0x180f, 0xfe9f}), d.uuids);
    EXPECT_FALSE(d.InScan(1));
    EXPECT_TRUE(d.InScan(9));
    EXPECT_EQ("A \"b\" %x% & c\nd", d.name);
    EXPECT_EQ(248u, s.leDevices[1].name.size());
    EXPECT_EQ(-60, s.leDevices[1].rssi);
    EXPECT_TRUE(s.leNoArgs2);
    EXPECT_FALSE(s.leAbsent || s.leAborted);
    EXPECT_EQ(1500u, s.leStopAfterMs);
    EXPECT_EQ(7u, s.problems.size());
}

// ---- The library itself -------------------------------------------------------------

namespace {

struct Radio {
    HMODULE module = nullptr;
    decltype(&BluetoothFindFirstDevice) first = nullptr;
    decltype(&BluetoothFindNextDevice) next = nullptr;
    decltype(&BluetoothFindDeviceClose) close = nullptr;

    Radio() {
        module = ::LoadLibraryW(SimRadioPath().c_str());
        if (!module) return;
        first = reinterpret_cast<decltype(first)>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module, "BluetoothFindFirstDevice")));
        next = reinterpret_cast<decltype(next)>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module, "BluetoothFindNextDevice")));
        close = reinterpret_cast<decltype(close)>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module, "BluetoothFindDeviceClose")));
    }
    ~Radio() {
        if (module) ::FreeLibrary(module);
    }
    bool ok() const { return first && next && close; }
};

BLUETOOTH_DEVICE_SEARCH_PARAMS Params(UCHAR multiplier) {
    BLUETOOTH_DEVICE_SEARCH_PARAMS p;
    memset(&p, 0, sizeof p);
    p.dwSize = sizeof p;
    p.fReturnAuthenticated = p.fReturnRemembered = p.fReturnUnknown = p.fReturnConnected = TRUE;
    p.fIssueInquiry = TRUE;
    p.cTimeoutMultiplier = multiplier;
    return p;
}

BLUETOOTH_DEVICE_INFO Block() {
    BLUETOOTH_DEVICE_INFO info;
    memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    return info;
}

// Every answer of one enumeration, or none.
std::vector<BLUETOOTH_DEVICE_INFO> Enumerate(UCHAR multiplier = 1) {
    std::vector<BLUETOOTH_DEVICE_INFO> answers;
    Radio radio;
    if (!radio.ok()) return answers;
    auto params = Params(multiplier);
    auto info = Block();
    HBLUETOOTH_DEVICE_FIND find = radio.first(&params, &info);
    if (!find) return answers;
    do {
        answers.push_back(info);
        info.dwSize = sizeof info;
    } while (radio.next(find, &info));
    radio.close(find);
    return answers;
}

}  // namespace

TEST(SimRadioLibrary, AnswersInFileOrderWithTheScanNumberSurvivingUnload) {
    RadioFolder folder;
    ASSERT_TRUE(folder.Scenario("unit_ms 0\n"
                                "device 00:1a:7d:da:71:13 class=0x5a020c connected=1 name=Phone\n"
                                "device aa:bb:cc:dd:ee:ff scans=2- remembered=1 authenticated=1 name=Late\n"
                                "device 00:1a:7d:da:71:13 name=Phone again\n"));
    {
        Radio radio;
        ASSERT_TRUE(radio.ok());
    }
    auto first = Enumerate();
    ASSERT_EQ(2u, first.size());
    EXPECT_EQ(0x001A7DDA7113ull, first[0].Address.ullLong);
    EXPECT_EQ(0x13, first[0].Address.rgBytes[0]);
    EXPECT_EQ(0x5a020cu, first[0].ulClassofDevice);
    EXPECT_TRUE(first[0].fConnected);
    EXPECT_FALSE(first[0].fRemembered);
    EXPECT_STREQ(L"Phone", first[0].szName);
    EXPECT_EQ(sizeof(BLUETOOTH_DEVICE_INFO), first[0].dwSize);
    EXPECT_NE(0, first[0].stLastSeen.wYear);
    EXPECT_STREQ(L"Phone again", first[1].szName);

    // The library was unloaded in between; the count goes on.
    EXPECT_EQ(nullptr, ::GetModuleHandleW(L"simradio.dll"));
    auto second = Enumerate();
    ASSERT_EQ(3u, second.size());
    EXPECT_STREQ(L"Late", second[1].szName);
    EXPECT_TRUE(second[1].fRemembered && second[1].fAuthenticated);
    EXPECT_EQ((std::vector<std::string>{"start 1 multiplier 1", "close 1 answers 2", "start 2 multiplier 1",
                                        "close 2 answers 3"}),
              folder.LogEvents());

    // The program loads the library for every scan: no load may keep a
    // thread-local-storage index (the library once ran out at ~1,080 scans).
    const DWORD before = ::TlsAlloc();
    ::TlsFree(before);
    for (int i = 0; i < 20; ++i) Enumerate();
    const DWORD after = ::TlsAlloc();
    ::TlsFree(after);
    EXPECT_EQ(before, after);
}

TEST(SimRadioLibrary, NoRadioNoDevicesAndBadCalls) {
    RadioFolder folder;
    Radio radio;
    ASSERT_TRUE(radio.ok());
    auto params = Params(2);
    auto info = Block();

    // No file: a machine without a radio.
    EXPECT_EQ(nullptr, radio.first(&params, &info));
    ASSERT_TRUE(folder.Scenario("radio off\ndevice 00:00:00:00:00:01\n"));
    EXPECT_EQ(nullptr, radio.first(&params, &info));
    // A radio with nobody around answers like the platform.
    ASSERT_TRUE(folder.Scenario("unit_ms 1\n"));
    ::SetLastError(0);
    EXPECT_EQ(nullptr, radio.first(&params, &info));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), ::GetLastError());

    // Wrong block sizes are refused and noted, and are no scan.
    ASSERT_TRUE(folder.Scenario("unit_ms 0\ndevice 00:00:00:00:00:01\ndevice 00:00:00:00:00:02\nbogus\n"));
    auto wrongParams = params;
    wrongParams.dwSize = 24;
    EXPECT_EQ(nullptr, radio.first(&wrongParams, &info));
    info.dwSize = 0;
    EXPECT_EQ(nullptr, radio.first(&params, &info));
    info.dwSize = sizeof info;
    HBLUETOOTH_DEVICE_FIND find = radio.first(&params, &info);
    ASSERT_NE(nullptr, find);
    info.dwSize = 7;
    EXPECT_FALSE(radio.next(find, &info));
    info.dwSize = sizeof info;
    EXPECT_TRUE(radio.next(find, &info));
    EXPECT_FALSE(radio.next(find, &info));
    EXPECT_TRUE(radio.close(find));
    // A closed handle is not taken twice.
    EXPECT_FALSE(radio.close(find));

    auto events = folder.LogEvents();
    ASSERT_EQ(12u, events.size());
    EXPECT_EQ("start 1 multiplier 2", events[0]);
    EXPECT_EQ("close 1 answers 0", events[1]);
    EXPECT_EQ("close 2 answers 0", events[3]);
    EXPECT_EQ("close 3 answers 0", events[5]);
    EXPECT_EQ(0u, events[6].rfind("note bad call", 0));
    EXPECT_EQ(0u, events[7].rfind("note bad call", 0));
    EXPECT_EQ("start 4 multiplier 2", events[8]);
    EXPECT_EQ("note line 4 skipped: unknown directive", events[9]);
    EXPECT_EQ(0u, events[10].rfind("note bad call", 0));
    EXPECT_EQ("close 4 answers 2", events[11]);
}

TEST(SimRadioLibrary, InquiryLastsTheMultiplierTimesTheUnit) {
    RadioFolder folder;
    ASSERT_TRUE(folder.Scenario("unit_ms 40\ndevice 00:00:00:00:00:01\n"));
    ASSERT_EQ(1u, Enumerate(3).size());
    auto lines = folder.Log();
    ASSERT_EQ(2u, lines.size());
    unsigned scan = 0, value = 0;
    unsigned long long started = 0, closed = 0;
    ASSERT_EQ(3, sscanf(lines[0].c_str(), "start %u multiplier %u ms %llu", &scan, &value, &started));
    ASSERT_EQ(3, sscanf(lines[1].c_str(), "close %u answers %u ms %llu", &scan, &value, &closed));
    // A lower bound only: the sleep may last longer on a busy machine.
    EXPECT_GE(closed - started, 110u);
}

TEST(SimRadioScenario, DemoScenarioIsClean) {
#ifdef NW_SOURCE_DIR
    // The source folder is a Unix path; Wine shows the Unix root as Z:.
    std::string path = NW_SOURCE_DIR "/tests/simradio/demo-scenario.txt";
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    std::wstring wide(path.begin(), path.end());
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) GTEST_SKIP() << "source folder not reachable";
    std::string text(1 << 16, '\0');
    DWORD got = 0;
    ::ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &got, nullptr);
    ::CloseHandle(file);
    text.resize(got);
    Scenario s = ParseScenario(text);
    EXPECT_TRUE(s.problems.empty());
    EXPECT_GE(s.devices.size(), 12u);
    size_t baseline = 0, arrivals = 0;
    for (const auto& d : s.devices) {
        if (d.InScan(1)) ++baseline;
        if (!d.InScan(1) && !d.InScan(2) && !d.InScan(3)) ++arrivals;
    }
    EXPECT_GE(baseline, 5u);
    EXPECT_GE(arrivals, 3u);
#else
    GTEST_SKIP();
#endif
}
