# The linker map's part of tools/size-report.sh: what each library and
# object of nwcore brings into the image, and the largest pieces.
# Usage: python3 tools/size-report.py MAP TOP
import collections
import re
import sys

path, top = sys.argv[1], int(sys.argv[2])
with open(path, errors='replace') as f:
    lines = f.read().split('\n')
start = next((i for i, l in enumerate(lines) if l.startswith('Linker script and memory map')), 0)
KINDS = ('.text', '.rdata', '.data', '.bss', '.eh_frame', '.pdata', '.xdata', '.rsrc', '.idata', '.tls', '.CRT',
         '.reloc')


def kind(name):
    for k in KINDS:
        if name == k or name.startswith(k + '.') or name.startswith(k + '$'):
            return k
    return name


def origin(obj):
    # libstdc++.a(locale.o) -> libstdc++.a; libnwcore.a(X.cpp.obj) -> nwcore: X.cpp
    m = re.search(r'([^/]+\.a)\(([^)]+)\)', obj)
    if m:
        return ('nwcore: ' + m.group(2).replace('.obj', '')) if m.group(1) == 'libnwcore.a' else m.group(1)
    return obj.split('/')[-1].replace('.obj', '')


# Input sections kept in the image: [output kind, size, origin, first symbol].
pieces = []
pending = None
for line in lines[start:]:
    m = re.match(r'^ (\.\S+|COMMON)\s*$', line)
    if m:
        pending = m.group(1)
        continue
    m = re.match(r'^ (\.\S+|COMMON)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$', line)
    if m and (m.group(1) or pending):
        name = m.group(1) or pending
        pending = None
        pieces.append([kind(name), int(m.group(3), 16), origin(m.group(4).strip()), None])
        continue
    pending = None
    m = re.match(r'^\s+0x([0-9a-f]+)\s+(\S.*?)\s*$', line)
    if m and pieces and pieces[-1][3] is None:
        pieces[-1][3] = m.group(2)
pieces = [p for p in pieces if p[1] and p[0] in KINDS and p[0] not in ('.bss', '.reloc')]

by_lib = collections.Counter()
by_obj = collections.Counter()
by_kind = collections.defaultdict(collections.Counter)
for k, size, o, _ in pieces:
    lib = 'nwcore' if o.startswith('nwcore: ') else o
    by_lib[lib] += size
    by_kind[lib][k] += size
    if o.startswith('nwcore: '):
        by_obj[o[8:]] += size
print('\nfrom                        bytes  (.text / .rdata+.data / .eh_frame, before alignment)')
for o, size in by_lib.most_common(14):
    c = by_kind[o]
    print(f'{o:<24} {size:9d}  ({c[".text"]} / {c[".rdata"] + c[".data"]} / {c[".eh_frame"]})')
if top:
    print(f'\nlargest of nwcore\'s {len(by_obj)} objects')
    for o, size in by_obj.most_common(top):
        print(f'{o:<40} {size:9d}')
    print(f'\nlargest {top} pieces (a function or datum; a whole object where the library has no section per function)')
    for k, size, o, sym in sorted(pieces, key=lambda p: -p[1])[:top]:
        print(f'{size:8d}  {k:<9} {(sym or "?")[:72]:<72} {o}')
