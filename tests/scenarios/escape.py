"""The escape: a merged file whose first line says that member lines which look like
headers carry one bar more, so that every line comes back; a reader that knows no escape
still finds every member whole."""

import glob
import os
import re
import shutil

from scenario_harness import (ARROW, PLAIN, CRLF, ScenarioFailure, lines, member, scenario)

MARKER = (b"Quillpack escaped bundle: a member line that begins with | followed by ./ or "
          b">>>>>>>>>> has one | added.")
NEEDS_ESCAPE = re.compile(rb"^\|*(\./|>{10})")

# Each line as a source holds it, and as the escaped merged file carries it.
ESCAPED_LINES = [
    (b"./configure --prefix=/usr", b"|./configure --prefix=/usr"),
    (b"|./x", b"||./x"),
    (b"||>>>>>>>>>>y", b"|||>>>>>>>>>>y"),
    (b">>>>>>>>>> z", b"|>>>>>>>>>> z"),
    (b"|x", b"|x"),
    (b">>>>>>>>>x", b">>>>>>>>>x"),
    (b"|", b"|"),
    (b"plain", b"plain"),
]


def escape_sources(t):
    """A file of the table's lines, one whose first line is a header as the merge writes
    it, and an empty one before it: the line after a header is escaped as any other."""
    install = b"".join(line + b"\n" for line, _ in ESCAPED_LINES)
    t.write("src/INSTALL", install)
    t.write("src/empty.txt", b"")
    t.write("src/first.txt", PLAIN + b"FIRST\n" + ARROW + b"X\n")
    escaped = [e for _, e in ESCAPED_LINES]
    return (lines(MARKER) + member("EMPTY.TXT") + member("FIRST.TXT", b"|" + PLAIN + b"FIRST",
                                                         b"|" + ARROW + b"X")
            + member("INSTALL", *escaped))


@scenario
def escaped_merge_gives_every_line_back(t):
    bundle = escape_sources(t)
    t.run("-merge", "-escape", "src", "m.txt").expect(stdout=None, stderr=b"", status=0)
    t.expect_file("m.txt", bundle)
    t.mkdir("out")
    t.run("-extract", "-lf", "m.txt", "out").expect(
        stdout=t.extract_progress("m.txt", "out")
        + lines("Extracting EMPTY.TXT", "Extracting FIRST.TXT", "Extracting INSTALL"), status=0)
    for name in ("INSTALL", "first.txt", "empty.txt"):
        t.expect_file("out/" + name.upper(), t.read("src/" + name))
    listed = t.run("-list", "-", stdin=bundle).expect(stdout=None, status=0)
    if listed.stdout.split() != [b"EMPTY.TXT", b"FIRST.TXT", b"INSTALL"]:
        raise ScenarioFailure(f"-list gave {listed.stdout!r}")
    # The arrow style escapes alike; the marker may end in LF alone.
    t.run("-merge", "-escape", "-nice", "src", "-").expect(
        stdout=bundle.replace(PLAIN + b"EMPTY", ARROW + b"EMPTY").replace(
            CRLF + PLAIN + b"FIRST.TXT", CRLF + ARROW + b"FIRST.TXT").replace(
            CRLF + PLAIN + b"INSTALL", CRLF + ARROW + b"INSTALL"), stderr=None, status=0)
    t.write("lf.txt", bundle.replace(MARKER + CRLF, MARKER + b"\n"))
    t.mkdir("out2")
    t.run("-extract", "-lf", "-", "out2", stdin=t.read("lf.txt")).expect(stdout=None, status=0)
    t.expect_file("out2/INSTALL", t.read("src/INSTALL"))
    # The escape looks at a line as the extract will read it, after a lone CR is dropped.
    t.write("cr/cr.txt", b"|\r./x\n")
    t.run("-merge", "-escape", "cr", "cr.txt").expect(
        stdout=None, stderr=lines("Warning: CR.TXT line 1 holds a CR that no LF follows, which "
                                  "is dropped."), status=1)
    t.expect_file("cr.txt", lines(MARKER) + member("CR.TXT", b"||./x"))
    t.run("-extract", "-lf", "cr.txt", "out").expect(stdout=None, status=0)
    t.expect_file("out/CR.TXT", b"|./x\n")
    # Without the word the merge warns and names the word that keeps the line.
    t.run("-merge", "src", "plain.txt").expect(
        stdout=None, stderr=lines(
            "Warning: FIRST.TXT line 1 will read back as a member header; -escape keeps it a "
            "line.",
            "Warning: INSTALL line 4 will read back as a member header; -escape keeps it a "
            "line."), status=1)


@scenario
def only_the_exact_marker_turns_the_escape_on(t):
    bundle = escape_sources(t)
    body = bundle[len(MARKER) + 2:]
    barred = b"".join(e + b"\n" for _, e in ESCAPED_LINES)
    marker = MARKER.decode()
    for first, escaped in ((marker, True),
                           (marker.replace("member", "membre"), False),  # one byte off
                           (marker[:-1], False),  # no last period
                           (marker + " ", False),  # a trailing space
                           (None, False)):
        t.write("m.txt", (lines(first) if first else b"") + body)
        shutil.rmtree(t.path("out"), ignore_errors=True)
        t.mkdir("out")
        t.run("-extract", "-lf", "m.txt", "out").expect(stdout=None, status=0)
        # A reader that knows no escape keeps every bar: each member is whole all the same.
        t.expect_file("out/INSTALL", t.read("src/INSTALL") if escaped else barred)
        t.expect_files(["EMPTY.TXT", "FIRST.TXT", "INSTALL"], under="out")


def read_without_escape(bundle):
    """The members as a reader that knows no escape finds them, by the format's reading
    rules: a line that begins with ten ">" or "./" is a header, except the one right after
    a header, which is a member line unless it begins as the merge writes a header; lines
    before the first header belong to no member."""
    members = []
    after_header = False
    for line in bundle.split(CRLF)[:-1]:
        if after_header:
            after_header = False
            if not (line.startswith(PLAIN) or line.startswith(ARROW)):
                members[-1][1].append(line)
                continue
        if line.startswith(b">" * 10):
            members.append((line[11:][:120], []))
            after_header = True
        elif line.startswith(b"./"):
            mark = line.find(b"NAME=")
            members.append(((line[mark + 5:] if mark >= 0 else line[4:])[:120], []))
            after_header = True
        elif members:
            members[-1][1].append(line)
    return members


def round_trips(data):
    """Whether a merge with -keepcase and an extract with -lf give `data` back as it is."""
    return (b"\0" not in data and b"\r" not in data and b"\x1a" not in data
            and (data == b"" or data.endswith(b"\n")))


def copy_tree_with_header_lines(t, top):
    """Up to about 200 files of `top` that come back whole and whose names every system
    keeps: every one that holds a line that would read as a header, and others besides."""
    chosen = []
    others = 0
    taken_names = set()
    for base, folders, files in os.walk(top):
        folders[:] = sorted(f for f in folders if not f.startswith("."))
        for name in sorted(files):
            path = os.path.join(base, name)
            relative = os.path.relpath(path, top)
            if (os.path.islink(path) or not os.path.isfile(path) or name.startswith(".")
                    or len(relative) > 100 or relative.lower() in taken_names
                    or not all(" " <= c <= "~" for c in relative)
                    or re.search(r"[. ](/|$)", relative) or "\\" in relative):
                continue
            with open(path, "rb") as f:
                data = f.read()
            if not round_trips(data):
                continue
            marked = any(NEEDS_ESCAPE.match(line) for line in data.split(b"\n"))
            if not marked:
                others += 1
                if others % 8:
                    continue
            taken_names.add(relative.lower())
            chosen.append(relative)
            t.write(os.path.join("tree", relative), data)
    return chosen


def generate_tree_with_header_lines(t):
    files = {
        "INSTALL": "Build it:\n./configure --prefix=/usr\nmake\n",
        "doc/notes.md": ">>>>>>>>>> not a header\n|./already barred\n||||>>>>>>>>>>\n",
        "doc/deep/README": "./       ADD   NAME=FAKE.TXT\nafter\n",
        "scripts/run.sh": "#!/bin/sh\n./build.sh \"$@\"\n|| exit 1\n",
        "empty.txt": "",
    }
    for n in range(40):
        files[f"src/part{n % 4}/file{n}.c"] = f"int f{n}(void);\n./x{n}\n" * (n % 3 + 1)
    for relative, text in files.items():
        t.write(os.path.join("tree", relative), text)
    return list(files)


@scenario
def a_tree_with_header_lines_comes_back_with_the_escape(t):
    modules = sorted(glob.glob("/usr/share/cmake*/Modules"))
    if modules:
        chosen = copy_tree_with_header_lines(t, modules[-1])
    else:
        print("no CMake modules on this machine: a generated tree stands in")
        chosen = generate_tree_with_header_lines(t)
    marked = [c for c in chosen
              if any(NEEDS_ESCAPE.match(line) for line in t.read("tree/" + c).split(b"\n"))]
    if len(marked) < 3:
        raise ScenarioFailure(f"only {len(marked)} files with lines that read as headers")
    t.run("-merge", "-recurse", "-keepcase", "-escape", "tree", "m.txt").expect(
        stdout=None, stderr=b"", status=0)
    t.mkdir("back")
    t.run("-extract", "-lf", "m.txt", "back").expect(stdout=None, status=0)
    slashed = [c.replace(os.sep, "/") for c in chosen]
    t.expect_files(slashed, under="back")
    for relative in slashed:
        if t.read("back/" + relative) != t.read("tree/" + relative):
            raise ScenarioFailure(f"{relative} did not come back as it was")
    # Read by the format's rules alone: every member whole, under its own name, its lines
    # those of its file with a bar in front of each that needs one.
    found = read_without_escape(t.read("m.txt"))
    names = [name.decode() for name, _ in found]
    if sorted(names) != sorted(c.replace("/", "\\") for c in slashed):
        extra = sorted(set(names) - {c.replace("/", "\\") for c in slashed})
        raise ScenarioFailure(f"a reader without the escape splits files: {extra[:5]}")
    for name, member_lines in found:
        data = t.read("tree/" + name.decode().replace("\\", "/"))
        expected = [b"|" + line if NEEDS_ESCAPE.match(line) else line
                    for line in data.split(b"\n")[:-1]]
        if member_lines != expected:
            raise ScenarioFailure(f"{name!r} reads back otherwise without the escape")
