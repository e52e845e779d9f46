#include "lang/Strings.h"
#include "lang/LanguageFile.h"
#include <windows.h>
#include <cwchar>

namespace nw {

namespace {

constexpr int kPoolUnits = 32768;
constexpr int kMaxEntries = 256;
constexpr int kScratchUnits = 4096;

struct Entry {
    unsigned key;
    int offset;
};

// Texts are stored back to back and never moved or removed, so callers keep
// the returned pointers for the whole run without copying. Window thread only.
struct StringCache {
    wchar_t pool[kPoolUnits];
    int used;
    Entry entries[kMaxEntries];
    int count;
    wchar_t scratch[kScratchUnits];
};

StringCache* g_cache = nullptr;
const wchar_t kEmpty[] = L"";

StringCache* Cache() {
    if (!g_cache) g_cache = new StringCache{};
    return g_cache;
}

int LoadBuiltIn(unsigned id, wchar_t* buffer) {
    int length = ::LoadStringW(::GetModuleHandleW(nullptr), id & 0xFFFF, buffer, kScratchUnits);
    if (length <= 0) {
        buffer[0] = 0;
        return 0;
    }
    return length;
}

}  // namespace

const wchar_t* GetString(unsigned key) {
    StringCache* cache = Cache();
    for (int i = 0; i < cache->count; ++i)
        if (cache->entries[i].key == key) return cache->pool + cache->entries[i].offset;

    wchar_t* scratch = cache->scratch;
    int length;
    if (key & kBuiltInString) {
        length = LoadBuiltIn(key, scratch);
    } else if (LanguageFileInUse() && ReadLanguageString(key, scratch, kScratchUnits)) {
        length = static_cast<int>(wcslen(scratch));
    } else {
        length = LoadBuiltIn(key, scratch);
    }
    // An empty text is not cached: a later call tries again.
    if (length == 0) return kEmpty;
    if (cache->used + length + 2 >= kPoolUnits || cache->count >= kMaxEntries) return kEmpty;
    wchar_t* text = cache->pool + cache->used;
    wmemcpy(text, scratch, static_cast<size_t>(length));
    text[length] = 0;
    cache->entries[cache->count++] = {key, cache->used};
    cache->used += length + 1;
    return text;
}

void ResetStringCacheForTests() {
    delete g_cache;
    g_cache = nullptr;
}

}  // namespace nw
