#include <gtest/gtest.h>
#include <windows.h>
#include <cwchar>
#include "app/AboutDialog.h"
#include "frame/Frame.h"

namespace {

HWND FakeWindow(int n) { return reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1000 + 4 * n)); }
void* FakeObject(int n) { return reinterpret_cast<void*>(static_cast<INT_PTR>(0x9000 + 8 * n)); }

TEST(HandleObjectMap, GrowsByEightWhenFull) {
    nw::HandleObjectMap map;
    EXPECT_EQ(0, map.Capacity());
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(map.Add(FakeObject(i), FakeWindow(i)));
    EXPECT_EQ(8, map.Capacity());
    ASSERT_TRUE(map.Add(FakeObject(8), FakeWindow(8)));   // the ninth
    EXPECT_EQ(16, map.Capacity());
    EXPECT_EQ(9, map.Count());
    // Every pair survived the move into the larger array.
    for (int i = 0; i < 9; ++i) EXPECT_EQ(FakeObject(i), map.Find(FakeWindow(i))) << i;
}

TEST(HandleObjectMap, FreedSlotIsReusedBeforeGrowing) {
    nw::HandleObjectMap map;
    for (int i = 0; i < 8; ++i) map.Add(FakeObject(i), FakeWindow(i));
    map.RemoveObject(FakeObject(3));
    EXPECT_EQ(nullptr, map.Find(FakeWindow(3)));
    EXPECT_EQ(7, map.Count());
    ASSERT_TRUE(map.Add(FakeObject(20), FakeWindow(20)));
    EXPECT_EQ(8, map.Capacity());
    EXPECT_EQ(FakeObject(20), map.Find(FakeWindow(20)));
    ASSERT_TRUE(map.Add(FakeObject(21), FakeWindow(21)));
    EXPECT_EQ(16, map.Capacity());
}

TEST(HandleObjectMap, FirstMatchWinsAndRemovalTakesTheObjectsOwnSlot) {
    nw::HandleObjectMap map;
    map.Add(FakeObject(1), FakeWindow(1));
    map.Add(FakeObject(2), FakeWindow(7));
    map.Add(FakeObject(3), FakeWindow(7));   // same handle again
    EXPECT_EQ(FakeObject(2), map.Find(FakeWindow(7)));
    map.RemoveObject(FakeObject(2));
    EXPECT_EQ(FakeObject(3), map.Find(FakeWindow(7)));
    map.RemoveObject(FakeObject(99));        // unknown: nothing happens
    EXPECT_EQ(2, map.Count());
    EXPECT_EQ(nullptr, map.Find(FakeWindow(5)));
}

// ---- Scrambled texts ----------------------------------------------------------

TEST(ScrambledText, RoundTripsAndCutsToTheBuffer) {
    static constexpr auto kStored = nw::ScrambleText("Nearwatch 1.00 - ~!@#");
    for (size_t i = 0; i + 1 < kStored.size(); ++i) EXPECT_NE(0, kStored[i]) << i;
    wchar_t text[64];
    nw::DescrambleText(text, 64, kStored.data());
    EXPECT_STREQ(L"Nearwatch 1.00 - ~!@#", text);
    nw::DescrambleText(text, 5, kStored.data());
    EXPECT_STREQ(L"Near", text);
    // The stored form is not the text itself.
    EXPECT_NE('N', kStored[0]);
}

TEST(ScrambledText, DescramblesByTheDocumentedRule) {
    // Unit i = byte XOR key XOR (start - i), up to the first zero byte.
    const unsigned char stored[] = {0x41, 0x42, 0x00, 0x43};
    wchar_t text[8];
    nw::DescrambleText(text, 8, stored);
    EXPECT_EQ(2u, wcslen(text));
    EXPECT_EQ(static_cast<wchar_t>(0x41 ^ nw::kScrambleKey ^ nw::kScrambleStart), text[0]);
    EXPECT_EQ(static_cast<wchar_t>(0x42 ^ nw::kScrambleKey ^ (nw::kScrambleStart - 1)), text[1]);
}

TEST(ScrambledText, ProductAddressAndLinkText) {
    wchar_t address[256], link[256];
    nw::ProductWebAddress(address, 256);
    nw::ProductLinkText(link, 256);
    EXPECT_TRUE(nw::IsWebAddress(address)) << address;
    EXPECT_NE(nullptr, wcsstr(address, link)) << address << L" / " << link;
}

TEST(AboutLinks, OnlyWebAddressesAreOpened) {
    EXPECT_TRUE(nw::IsWebAddress(L"https://example.org/"));
    EXPECT_TRUE(nw::IsWebAddress(L"HTTP://example.org"));
    EXPECT_TRUE(nw::IsWebAddress(L"mailto:someone@example.org"));
    EXPECT_FALSE(nw::IsWebAddress(L"http://"));
    EXPECT_FALSE(nw::IsWebAddress(L"C:\\Windows\\notepad.exe"));
    EXPECT_FALSE(nw::IsWebAddress(L"file:///C:/x.exe"));
    EXPECT_FALSE(nw::IsWebAddress(L""));
    EXPECT_FALSE(nw::IsWebAddress(nullptr));
}

}  // namespace
