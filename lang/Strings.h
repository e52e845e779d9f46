// String lookup: the text of a string-table ID in the current language.
#pragma once

namespace nw {

// Key with bit 16 set asks for the program's own (built-in) text.
constexpr unsigned kBuiltInString = 0x10000;

// Never null; empty when the key has no text. The pointer stays valid until
// the program ends.
const wchar_t* GetString(unsigned key);

// ---- Test hook ----------------------------------------------------------------
// Forgets every cached text. Pointers handed out before become invalid; only
// tests call this.
void ResetStringCacheForTests();

}  // namespace nw
