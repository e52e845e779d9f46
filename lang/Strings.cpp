#include "lang/Strings.h"
#include "lang/LanguageFile.h"
#include "base/UnitBuffer.h"
#include <windows.h>
#include <cwchar>
#include <new>

namespace nw {

namespace {

constexpr int kPoolUnits = 32768;   // one block; the longest text (4,095 units) fits many times
constexpr int kMaxEntries = 256;
constexpr int kScratchUnits = 4096;

struct Entry {
    unsigned key;
    const wchar_t* text;
};

// Texts are stored back to back and never moved or removed, so callers keep
// the returned pointers for the whole run without copying. A full block is
// kept and a new one started: a translation of long texts (eight of the
// longest filled the one fixed block) must not leave the later texts empty.
struct PoolBlock {
    PoolBlock* next;
    int used;
    wchar_t* units;   // kPoolUnits of them, apart so the test build guards their end
};

// Window thread only.
struct StringCache {
    PoolBlock* blocks;   // the newest first
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
        if (cache->entries[i].key == key) return cache->entries[i].text;

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
    if (cache->count >= kMaxEntries) return kEmpty;
    PoolBlock* block = cache->blocks;
    if (!block || block->used + length + 1 > kPoolUnits) {
        wchar_t* units = AllocateUnits(kPoolUnits);
        block = units ? new (std::nothrow) PoolBlock{cache->blocks, 0, units} : nullptr;
        if (!block) {
            FreeUnits(units);
            return kEmpty;
        }
        cache->blocks = block;
    }
    wchar_t* text = block->units + block->used;
    wmemcpy(text, scratch, static_cast<size_t>(length));
    text[length] = 0;
    block->used += length + 1;
    cache->entries[cache->count++] = {key, text};
    return text;
}

void ResetStringCacheForTests() {
    if (!g_cache) return;
    while (PoolBlock* block = g_cache->blocks) {
        g_cache->blocks = block->next;
        FreeUnits(block->units);
        delete block;
    }
    delete g_cache;
    g_cache = nullptr;
}

}  // namespace nw
