// Which keys belong to a text field rather than to the program's accelerators.
#pragma once
#include <windows.h>

namespace nw {

// True for a key press that an edit field uses to edit its own text (Delete,
// Ctrl+A/C/V/X/Z). While the find dialog has the focus such keys must reach its
// text box instead of removing, copying or selecting rows of the list.
bool IsTextEditingKey(UINT message, WPARAM key, bool ctrlDown, bool altDown);

}  // namespace nw
