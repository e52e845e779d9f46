#include "app/KeyRouting.h"

namespace nw {

bool IsTextEditingKey(UINT message, WPARAM key, bool ctrlDown, bool altDown) {
    if (message != WM_KEYDOWN || altDown) return false;
    if (key == VK_DELETE) return !ctrlDown;
    if (!ctrlDown) return false;
    switch (key) {
        case 'A': case 'C': case 'V': case 'X': case 'Z':
            return true;
        default:
            return false;
    }
}

}  // namespace nw
