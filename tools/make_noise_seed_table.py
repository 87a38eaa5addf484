#!/usr/bin/env python3
"""Writes render/noise_seed_data.cpp: the fixed NoiseSeedTable and the improved-noise base
permutation.

NoiseSeedTable is 2048 integers in 0..2047 that every planet is drawn from. It was drawn once,
by this script, from the fixed generator seed below; the committed output is what the plug-in
uses, and the script is kept so that the table can be checked and its making understood. Running
it again writes the same file byte for byte (tests/render compares them).

Required properties (every stored planet depends on them):
  * first sixteen entries 1317 807 1939 1586 314 127 1935 1264 1847 969 1075 1400 1616 1864
    282 1750 and last eight 846 557 4 1845 955 26 391 1023;
  * exactly 1345 distinct values, none occurring more than five times (and some five times);
  * every low byte 0..255 occurs (A = entry AND 255 must be able to take every value).

The draw: the 2024 free entries are drawn uniformly from 0..2047 with a SplitMix64 generator,
then repaired by further draws from the same generator until the properties hold: an entry whose
value occurs too often is redrawn, the distinct count is brought to 1345 by turning a repeated
entry into a new value or a unique entry into a repeat, and a missing low byte is given to an
entry whose value is repeated. Each repair keeps every property already reached.

The improved-noise permutation is the 256-entry table published with the 2002 improved-noise
reference implementation, carried here as data.

Usage: make_noise_seed_table.py OUTPUT.cpp
"""
import sys

GENERATOR_SEED = 0x4B69766147_6C6F6265 & 0xFFFFFFFFFFFFFFFF  # fixed: the table is drawn once

FIRST = [1317, 807, 1939, 1586, 314, 127, 1935, 1264, 1847, 969, 1075, 1400, 1616, 1864, 282, 1750]
LAST = [846, 557, 4, 1845, 955, 26, 391, 1023]
SIZE = 2048
DISTINCT = 1345
MAX_REPEAT = 5

IMPROVED_PERMUTATION = [
    151, 160, 137, 91, 90, 15, 131, 13, 201, 95, 96, 53, 194, 233, 7, 225, 140, 36, 103, 30, 69,
    142, 8, 99, 37, 240, 21, 10, 23, 190, 6, 148, 247, 120, 234, 75, 0, 26, 197, 62, 94, 252,
    219, 203, 117, 35, 11, 32, 57, 177, 33, 88, 237, 149, 56, 87, 174, 20, 125, 136, 171, 168,
    68, 175, 74, 165, 71, 134, 139, 48, 27, 166, 77, 146, 158, 231, 83, 111, 229, 122, 60, 211,
    133, 230, 220, 105, 92, 41, 55, 46, 245, 40, 244, 102, 143, 54, 65, 25, 63, 161, 1, 216, 80,
    73, 209, 76, 132, 187, 208, 89, 18, 169, 200, 196, 135, 130, 116, 188, 159, 86, 164, 100,
    109, 198, 173, 186, 3, 64, 52, 217, 226, 250, 124, 123, 5, 202, 38, 147, 118, 126, 255, 82,
    85, 212, 207, 206, 59, 227, 47, 16, 58, 17, 182, 189, 28, 42, 223, 183, 170, 213, 119, 248,
    152, 2, 44, 154, 163, 70, 221, 153, 101, 155, 167, 43, 172, 9, 129, 22, 39, 253, 19, 98,
    108, 110, 79, 113, 224, 232, 178, 185, 112, 104, 218, 246, 97, 228, 251, 34, 242, 193, 238,
    210, 144, 12, 191, 179, 162, 241, 81, 51, 145, 235, 249, 14, 239, 107, 49, 192, 214, 31,
    181, 199, 106, 157, 184, 84, 204, 176, 115, 121, 50, 45, 127, 4, 150, 254, 138, 236, 205,
    93, 222, 114, 67, 29, 24, 72, 243, 141, 128, 195, 78, 66, 215, 61, 156, 180,
]


class SplitMix64:
    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & 0xFFFFFFFFFFFFFFFF
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & 0xFFFFFFFFFFFFFFFF
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & 0xFFFFFFFFFFFFFFFF
        return z ^ (z >> 31)

    def below(self, n):
        """Uniform in 0..n-1 by rejection (no modulo bias)."""
        limit = (1 << 64) - ((1 << 64) % n)
        while True:
            v = self.next()
            if v < limit:
                return v % n


def counts_of(table):
    counts = [0] * SIZE
    for v in table:
        counts[v] += 1
    return counts


def draw_table():
    rng = SplitMix64(GENERATOR_SEED)
    free = list(range(len(FIRST), SIZE - len(LAST)))
    table = FIRST + [rng.below(SIZE) for _ in free] + LAST

    def pick_free(predicate):
        # A free position chosen at random among those that satisfy the predicate.
        candidates = [k for k in free if predicate(k)]
        return candidates[rng.below(len(candidates))]

    for _ in range(100000):
        counts = counts_of(table)
        distinct = sum(1 for c in counts if c)
        low_bytes = {v & 255 for v in table}
        over = [v for v in range(SIZE) if counts[v] > MAX_REPEAT]
        if over:
            # Redraw one surplus entry as an unused value.
            k = pick_free(lambda k: table[k] == over[0])
            unused = [v for v in range(SIZE) if counts[v] == 0]
            table[k] = unused[rng.below(len(unused))]
            continue
        if len(low_bytes) < 256:
            missing = sorted(set(range(256)) - low_bytes)[0]
            k = pick_free(lambda k: counts[table[k]] > 1)
            choices = [v for v in range(missing, SIZE, 256) if counts[v] == 0]
            table[k] = choices[rng.below(len(choices))]
            continue
        if distinct < DISTINCT:
            # A repeated entry becomes a new value (keeps every low byte: its value stays present).
            k = pick_free(lambda k: counts[table[k]] > 1)
            unused = [v for v in range(SIZE) if counts[v] == 0]
            table[k] = unused[rng.below(len(unused))]
            continue
        if distinct > DISTINCT:
            # A unique entry becomes a repeat, unless it is the last holder of its low byte.
            holders = {}
            for v in set(table):
                holders[v & 255] = holders.get(v & 255, 0) + 1
            k = pick_free(lambda k: counts[table[k]] == 1 and holders[table[k] & 255] > 1)
            repeatable = [v for v in range(SIZE) if 0 < counts[v] < MAX_REPEAT]
            table[k] = repeatable[rng.below(len(repeatable))]
            continue
        if max(counts) < MAX_REPEAT:
            # Some value must occur five times: repeat one that occurs four times.
            k = pick_free(lambda k: counts[table[k]] == 1 and
                          sum(1 for v in set(table) if (v & 255) == (table[k] & 255)) > 1)
            fours = [v for v in range(SIZE) if counts[v] == MAX_REPEAT - 1]
            table[k] = fours[rng.below(len(fours))]
            # That removed a distinct value: the next rounds restore the count.
            continue
        break
    else:
        raise SystemExit("the repair did not converge")
    return table


def check(table):
    counts = counts_of(table)
    assert len(table) == SIZE
    assert all(0 <= v < SIZE for v in table)
    assert table[:16] == FIRST and table[-8:] == LAST
    assert sum(1 for c in counts if c) == DISTINCT
    assert max(counts) == MAX_REPEAT
    assert {v & 255 for v in table} == set(range(256))
    assert sorted(IMPROVED_PERMUTATION) == list(range(256))
    assert IMPROVED_PERMUTATION[:6] == [151, 160, 137, 91, 90, 15]
    assert IMPROVED_PERMUTATION[-4:] == [215, 61, 156, 180]


def rows(values, per_row, width):
    lines = []
    for i in range(0, len(values), per_row):
        lines.append("    " + " ".join(f"{v:>{width}}," for v in values[i:i + per_row]))
    return "\n".join(lines)


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    table = draw_table()
    check(table)
    text = f"""// noise_seed_data.cpp -- fixed data of the noise tables. Written by
// tools/make_noise_seed_table.py; do not edit: every planet is drawn from these values.
#include "render/noise.h"

// 2048 values in 0..2047: 1345 distinct, none more than five times, every low byte present.
const uint32_t NoiseSeedTable[kNoiseSeedTableSize] = {{
{rows(table, 16, 4)}
}};

// The 2002 improved-noise reference permutation.
const int32_t kImprovedNoiseBasePermutation[kNoiseLatticeSize] = {{
{rows(IMPROVED_PERMUTATION, 16, 3)}
}};
"""
    with open(sys.argv[1], "w", newline="\n") as out:
        out.write(text)


if __name__ == "__main__":
    main()
