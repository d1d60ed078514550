"""Merging and then extracting gives back every file, line for line."""

import random
import re

from scenario_harness import ARROW, PLAIN, lines, scenario

# Names the Windows file system takes for devices.
DEVICE = re.compile(r"^(CON|PRN|AUX|NUL|COM\d|LPT\d)(\..*)?$")
ALPHABET = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"


def random_names(rng):
    names = {}
    while len(names) < rng.randint(1, 7):
        name = "".join(rng.choice(ALPHABET) for _ in range(rng.randint(1, 10)))
        name += rng.choice(["", ".txt", ".TXT", ".Md", ".c"])
        if not DEVICE.match(name.upper()):
            names.setdefault(name.upper(), name)  # names stay apart after upper-casing
    return list(names.values())


def random_line(rng, first):
    while True:
        line = bytes(rng.randint(0x20, 0x7E) for _ in range(rng.choice([0, 1, 5, 40, 200])))
        if first and rng.random() < 0.2:
            line = b"./" + line  # only the first line of a member may look like a header
        if line.startswith((PLAIN, ARROW)):
            continue
        if first or not line.startswith((b"./", b">>>>>>>>>>")):
            return line


def random_file(rng):
    """The bytes of a source file, the lines it holds, and the line of its first CR that no
    LF follows (0 for none)."""
    if rng.random() < 0.15:
        return b"", [], 0
    data, found, lone_cr = b"", [], 0
    count = rng.randint(1, 12)
    for i in range(count):
        line = random_line(rng, i == 0)
        found.append(line)
        end = rng.choice([b"\n", b"\r\n"] + ([b""] if i == count - 1 else []))
        if rng.random() < 0.1:  # a lone CR is dropped wherever it stands
            at = rng.randint(0, len(line))
            line = line[:at] + b"\r" + line[at:]
            if not (at == len(line) - 1 and end == b"\n"):  # else it is a CR LF line end
                lone_cr = lone_cr or i + 1
        if line + end == b"":
            found.pop()  # nothing after the last line break: no further line
        data += line + end
    return data, found, lone_cr


@scenario
def round_trip_of_random_trees(t):
    rng = random.Random(1955)
    for tree in range(12):
        expected, lone_crs = {}, {}
        for name in random_names(rng):
            data, found, lone_cr = random_file(rng)
            t.write(f"t{tree}/{name}", data)
            expected[name.upper()] = lines(*found) if found else b""
            lone_crs[name.upper()] = lone_cr
        style = ["-nice"] if rng.random() < 0.5 else []
        merge = t.run("-merge", *style, f"t{tree}/*", f"m{tree}.txt", stdin=b"").expect(
            stderr=None, status=1 if any(lone_crs.values()) else 0)
        progress = t.merge_progress(f"t{tree}/*", f"m{tree}.txt")
        assert merge.stdout.startswith(progress), merge.stdout
        order = merge.stdout[len(progress):].split(b"\r\n")[:-1]
        assert sorted(order) == sorted(b"Adding " + n.encode() for n in expected), order
        # The merge warned, in its order, about each CR it could not keep.
        warned = [line[len(b"Adding "):].decode() for line in order]
        merge.expect(stderr=lines(*(f"Warning: {n} line {lone_crs[n]} holds a CR that no LF "
                                    "follows, which is dropped." for n in warned if lone_crs[n])))
        t.mkdir(f"x{tree}")
        t.run("-extract", f"m{tree}.txt", f"x{tree}", stdin=b"").expect(
            stdout=t.extract_progress(f"m{tree}.txt", f"x{tree}")
            + lines(*(b"Extracting " + line[len(b"Adding "):] for line in order)), status=0)
        for name, data in expected.items():
            t.expect_file(f"x{tree}/{name}", data)
        t.expect_files(expected, under=f"x{tree}")
