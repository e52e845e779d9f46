#!/usr/bin/env python3
"""Writes annotations/BluetoothNumbersData.cpp from the Bluetooth SIG numbers
(company identifiers and GAP appearance values) in JSON form, and the digest
of every name the unit tests compare the decoded tables with.

The names of both tables are one corpus, coded in two stages:
  1. Pair rules: the most frequent pair of adjacent symbols becomes a new
     symbol, again and again (a pair may hold earlier pairs), while a rule
     pays for itself. Names never share a pair: each ends with its own end
     symbol, which is never part of a rule.
  2. One canonical Huffman code over the symbols (bytes, rules and the end
     symbol), numbered in code order, so the code is described by the
     number of codes of each length alone.
Each symbol has a fixed-width entry (left, right; at most 16 bits each): a
rule's two halves, or for a byte (left = the symbol itself) the byte in
right; the end symbol is the byte 0.

The ids of a table are kept as 32-id blocks: the block number and the bit
where its first name starts in one word, and which ids of the block are
assigned in a second. A lookup finds the block, counts the assigned ids
before it and skips that many names.

Usage: tools/make_bluetooth_numbers.py [data folder] [output file] [digest header]
   (defaults: ../shared/data/bluetooth-numbers beside the checkout,
    annotations/BluetoothNumbersData.cpp, tests/unit/bluetooth_numbers_digest.h)
"""
import heapq
import json
import os
import sys

BLOCK = 32          # ids per block (the bits of one mask word)
START_BITS = 21     # bit offsets below 2^21; the block number above them
MAX_LENGTH = 15     # longest Huffman code
MAX_DEPTH = 60      # deepest rule nesting the decoder's stack allows
END = 0             # the byte that ends a name


def make_rules(seqs):
    """Replaces frequent pairs in the byte sequences (in place) by new symbols
    256, 257, ...; returns the rules [(left, right)]. A rule is kept while it
    saves more than it costs: about 3 bytes of entry for each, so a pair
    seen fewer than 5 times is left alone."""
    counts = {}
    where = {}

    def count(i, sign):
        s = seqs[i]
        k = 0
        while k + 1 < len(s):
            p = (s[k], s[k + 1])
            counts[p] = counts.get(p, 0) + sign
            if sign > 0:
                where.setdefault(p, set()).add(i)
            # "aaa" holds one pair "aa" that can be replaced, not two.
            k += 2 if s[k] == s[k + 1] and k + 2 < len(s) and s[k + 2] == s[k] else 1

    for i in range(len(seqs)):
        count(i, 1)
    heap = [(-n, p) for p, n in counts.items()]
    heapq.heapify(heap)
    rules = []
    while heap:
        n, p = heapq.heappop(heap)
        n = -n
        if counts.get(p, 0) != n:
            if counts.get(p, 0) > 0:
                heapq.heappush(heap, (-counts[p], p))
            continue
        if n < 5:
            break
        code = 256 + len(rules)
        rules.append(p)
        touched = set()
        for i in sorted(where.pop(p, ())):
            s = seqs[i]
            if p[0] not in s:
                continue
            count(i, -1)
            out = []
            k = 0
            while k < len(s):
                if k + 1 < len(s) and s[k] == p[0] and s[k + 1] == p[1]:
                    out.append(code)
                    k += 2
                else:
                    out.append(s[k])
                    k += 1
            seqs[i] = out
            count(i, 1)
            for a, b in zip(out, out[1:]):
                touched.add((a, b))
        for q in sorted(touched):
            if counts.get(q, 0) > 0:
                heapq.heappush(heap, (-counts[q], q))
    return rules


def huffman_lengths(freq):
    """freq: {symbol: count > 0} -> {symbol: code length <= MAX_LENGTH}.
    Counts are halved until the longest code fits."""
    while True:
        heap = [(f, s, [s]) for s, f in sorted(freq.items())]
        heapq.heapify(heap)
        lengths = {s: 0 for s in freq}
        tie = max(freq) + 1
        while len(heap) > 1:
            f1, _, a = heapq.heappop(heap)
            f2, _, b = heapq.heappop(heap)
            for s in a + b:
                lengths[s] += 1
            heapq.heappush(heap, (f1 + f2, tie, a + b))
            tie += 1
        if len(freq) == 1:
            lengths = {s: 1 for s in freq}
        if max(lengths.values()) <= MAX_LENGTH:
            return lengths
        freq = {s: max(1, f // 2) for s, f in freq.items()}


def depth(symbol, rules, memo):
    if symbol < 256:
        return 0
    if symbol not in memo:
        a, b = rules[symbol - 256]
        memo[symbol] = 1 + max(depth(a, rules, memo), depth(b, rules, memo))
    return memo[symbol]


def encode(tables):
    """tables: [[(id, name)] sorted by id] -> the shared code and each table's
    blocks, as C text pieces and byte counts."""
    seqs = []
    for entries in tables:
        for _, name in entries:
            raw = name.encode("utf-8")
            assert raw and END not in raw, "an empty name or a zero byte"
            seqs.append(list(raw))
    rules = make_rules(seqs)
    memo = {}
    assert all(depth(256 + r, rules, memo) < MAX_DEPTH for r in range(len(rules))), "rules nest too deep"
    for s in seqs:
        s.append(END)
    freq = {}
    for s in seqs:
        for x in s:
            freq[x] = freq.get(x, 0) + 1
    # A rule only reached through other rules still needs an entry (and a
    # number), though no code: it gets the longest length's tail, after all
    # coded symbols; see number[] below.
    lengths = huffman_lengths(freq)
    used = set(freq)
    stack = list(used)
    while stack:
        x = stack.pop()
        if x >= 256:
            for y in rules[x - 256]:
                if y not in used:
                    used.add(y)
                    stack.append(y)
    coded = sorted(freq, key=lambda s: (lengths[s], s))
    uncoded = sorted(used - set(freq))
    order = coded + uncoded
    number = {s: k for k, s in enumerate(order)}
    length_counts = [0] * (MAX_LENGTH + 1)
    for s in coded:
        length_counts[lengths[s]] += 1
    width = max(8, (len(order) - 1).bit_length())
    assert width <= 16, "too many symbols for an entry"
    entries = []
    for s in order:
        if s < 256:
            entries += [number[s], s]
        else:
            a, b = rules[s - 256]
            entries += [number[a], number[b]]
    # Two zero bytes after the last entry: the decoder reads each field
    # through a three-byte window.
    entry_bits = bits_of(entries, width) + bytes(2)

    # The stream: every name's codes, table after table.
    codes = {}
    code = 0
    prev_len = 0
    for s in coded:
        code <<= lengths[s] - prev_len
        prev_len = lengths[s]
        codes[s] = (code, lengths[s])
        code += 1
    stream = []
    k = 0
    out_tables = []
    for entries_of in tables:
        blocks = []
        for ident, _ in entries_of:
            block = ident // BLOCK
            if not blocks or blocks[-1][0] != block:
                assert len(stream) < (1 << START_BITS), "stream too long for a start"
                blocks.append([block, 0, len(stream)])
            blocks[-1][1] |= 1 << (ident % BLOCK)
            for x in seqs[k]:
                c, n = codes[x]
                stream += [(c >> (n - 1 - j)) & 1 for j in range(n)]
            k += 1
        out_tables.append(blocks)
    packed = bytearray((len(stream) + 7) // 8)
    for i, bit in enumerate(stream):
        if bit:
            packed[i // 8] |= 0x80 >> (i % 8)
    return {
        "symbols": len(order),
        "rules": len(rules),
        "width": width,
        "end": number[END],
        "length_counts": length_counts[1:],
        "entries": entry_bits,
        "stream": bytes(packed),
        "stream_bits": len(stream),
        "blocks": out_tables,
    }


def bits_of(values, width):
    """Fixed-width values, the highest bit first, packed into bytes."""
    out = bytearray((len(values) * width + 7) // 8)
    at = 0
    for v in values:
        assert 0 <= v < (1 << width)
        for j in range(width - 1, -1, -1):
            if (v >> j) & 1:
                out[at // 8] |= 0x80 >> (at % 8)
            at += 1
    return bytes(out)


def c_numbers(values, per_line=16, indent="    "):
    lines = []
    for i in range(0, len(values), per_line):
        lines.append(indent + ",".join(str(v) for v in values[i:i + per_line]) + ",")
    return "\n".join(lines)


def digest(tables):
    """FNV-1a (64 bits) over "id=name\\n" in UTF-8 for every id of every
    table, in id order: the tests compute it again from the decoded names."""
    h = 0xCBF29CE484222325
    for entries in tables:
        for ident, name in entries:
            for b in f"{ident}={name}\n".encode("utf-8"):
                h = ((h ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    data = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "shared", "data", "bluetooth-numbers")
    target = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "annotations", "BluetoothNumbersData.cpp")
    digest_target = sys.argv[3] if len(sys.argv) > 3 else os.path.join(here, "..", "tests", "unit",
                                                                        "bluetooth_numbers_digest.h")
    with open(os.path.join(data, "company_ids.json"), encoding="utf-8") as f:
        companies = [(e["code"], e["name"].strip()) for e in json.load(f)]
    with open(os.path.join(data, "gap_appearance.json"), encoding="utf-8") as f:
        appearance = []
        for category in json.load(f):
            value = category["category"] << 6
            appearance.append((value, category["name"].strip()))
            for sub in category.get("subcategory", []):
                appearance.append((value | sub["value"], sub["name"].strip()))
    tables = [sorted(companies), sorted(appearance)]
    for entries in tables:
        ids = [e[0] for e in entries]
        assert len(set(ids)) == len(ids), "an id twice"
        assert all(0 <= i <= 0xFFFF for i in ids), "an id beyond 16 bits"
    code = encode(tables)
    blocks_text = []
    size = len(code["entries"]) + len(code["stream"]) + 2 * len(code["length_counts"])
    for prefix, blocks in zip(("Company", "Appearance"), code["blocks"]):
        keys = [(b << START_BITS) | start for b, _, start in blocks]
        masks = [m for _, m, _ in blocks]
        blocks_text.append(f"const uint32_t k{prefix}Blocks[] = {{\n{c_numbers(keys, 8)}\n}};\n"
                           f"const uint32_t k{prefix}Masks[] = {{\n{c_numbers(masks, 8)}\n}};")
        size += 8 * len(blocks)
    text = f"""// Generated by tools/make_bluetooth_numbers.py from the Bluetooth SIG
// company identifiers and GAP appearance values (Nordic Semiconductor's
// bluetooth-numbers-database, BSD 3-clause: docs/licences/bluetooth-numbers.txt).
// Do not edit; run the script again. {len(companies)} companies, {len(appearance)} appearance values,
// {code["rules"]} pair rules, {code["symbols"]} symbols, about {size} bytes.
#include "annotations/BluetoothNumbers.h"

namespace nw::sig {{

namespace {{

const uint16_t kLengthCounts[] = {{{",".join(str(n) for n in code["length_counts"])}}};
const uint8_t kEntries[] = {{
{c_numbers(code["entries"], 20)}
}};
const uint8_t kStream[] = {{
{c_numbers(code["stream"], 20)}
}};
{blocks_text[0]}
{blocks_text[1]}

}}  // namespace

const NameCode kNameCode = {{kLengthCounts, sizeof kLengthCounts / sizeof kLengthCounts[0], kEntries, {code["width"]},
                            {code["symbols"]}, {code["end"]}, kStream, {code["stream_bits"]}}};
const NumberTable kCompanies = {{&kNameCode, kCompanyBlocks, kCompanyMasks, sizeof kCompanyMasks / sizeof kCompanyMasks[0]}};
const NumberTable kAppearances = {{&kNameCode, kAppearanceBlocks, kAppearanceMasks,
                                  sizeof kAppearanceMasks / sizeof kAppearanceMasks[0]}};

}}  // namespace nw::sig
"""
    with open(target, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    count = sum(len(t) for t in tables)
    with open(digest_target, "w", encoding="utf-8", newline="\n") as f:
        f.write(f"""// Generated by tools/make_bluetooth_numbers.py: FNV-1a (64 bits) over
// "id=name\\n" in UTF-8 for every company, then every appearance value, in id
// order, as the source data names them.
#pragma once
#include <cstdint>

constexpr uint64_t kBluetoothNumbersDigest = 0x{digest(tables):016X}ull;
constexpr unsigned kBluetoothNumbersCount = {count};
""")
    print(f"{target}: {len(companies)} companies, {len(appearance)} appearance values, "
          f"{code['rules']} rules, about {size} bytes")


if __name__ == "__main__":
    main()
