#!/bin/bash
# Prints how this machine can run 32-bit x86 code: "native" when the kernel
# runs a 32-bit program, "emulated" when it refuses one. NW_32BIT_MODE
# (native|emulated|off) overrides what is found.
set -u
case "${NW_32BIT_MODE:-}" in
    native|emulated|off) echo "$NW_32BIT_MODE"; exit 0 ;;
    ""|auto) ;;
    *) echo "NW_32BIT_MODE must be native, emulated, off or auto" >&2; exit 2 ;;
esac
probe=$(mktemp /tmp/nw-elf32.XXXXXX)
trap 'rm -f "$probe"' EXIT
# A static 32-bit program of a single page that only calls exit(42): no
# 32-bit toolchain or library is needed to make or run it.
python3 - "$probe" <<'PY'
import struct, sys
base = 0x08048000
code = bytes([0xB8, 1, 0, 0, 0,      # mov eax, 1 (exit)
              0xBB, 42, 0, 0, 0,     # mov ebx, 42
              0xCD, 0x80])           # int 0x80
entry = base + 52 + 32
header = struct.pack('<4s5B7xHHIIIIIHHHHHH', b'\x7fELF', 1, 1, 1, 0, 0,
                     2, 3, 1, entry, 52, 0, 0, 52, 32, 1, 0, 0, 0)
size = 52 + 32 + len(code)
segment = struct.pack('<IIIIIIII', 1, 0, base, base, size, size, 5, 0x1000)
with open(sys.argv[1], 'wb') as f:
    f.write(header + segment + code)
PY
chmod +x "$probe"
"$probe" >/dev/null 2>&1
if [ $? -eq 42 ]; then echo native; else echo emulated; fi
