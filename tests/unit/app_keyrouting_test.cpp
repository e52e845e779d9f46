#include <gtest/gtest.h>
#include "app/KeyRouting.h"

// Keys typed into the find box edit the search text; the rest stay accelerators.
TEST(KeyRouting, EditingKeysStayWithTheTextField) {
    EXPECT_TRUE(nw::IsTextEditingKey(WM_KEYDOWN, VK_DELETE, false, false));
    EXPECT_TRUE(nw::IsTextEditingKey(WM_KEYDOWN, 'C', true, false));
    EXPECT_TRUE(nw::IsTextEditingKey(WM_KEYDOWN, 'A', true, false));
    EXPECT_TRUE(nw::IsTextEditingKey(WM_KEYDOWN, 'V', true, false));
}

TEST(KeyRouting, OtherKeysStayAccelerators) {
    EXPECT_FALSE(nw::IsTextEditingKey(WM_KEYDOWN, VK_F5, false, false));
    EXPECT_FALSE(nw::IsTextEditingKey(WM_KEYDOWN, 'S', true, false));   // save
    EXPECT_FALSE(nw::IsTextEditingKey(WM_KEYDOWN, 'D', true, false));   // deselect all
    EXPECT_FALSE(nw::IsTextEditingKey(WM_KEYDOWN, 'C', false, false));  // plain letter: typed text
    EXPECT_FALSE(nw::IsTextEditingKey(WM_SYSKEYDOWN, VK_RETURN, false, true));  // Alt+Enter
    EXPECT_FALSE(nw::IsTextEditingKey(WM_KEYUP, VK_DELETE, false, false));
}
