"""Extracting the members of a merged file into a target directory."""

import os

from scenario_harness import (ARROW, CANCELLED, PLAIN, ScenarioFailure, closing_block, lines,
                              member, overwrite_question, scenario)
from scenarios.scripts import listed


@scenario
def extract_the_merged_example(t):
    t.write("src/a.txt", "x\ny\n")
    t.write("src/b.txt", "z\n")
    t.run("-merge", "src/*.txt", "m.txt").expect(status=0)
    t.mkdir("out")
    t.run("-extract", "m.txt", "out").expect(
        stdout=t.extract_progress("m.txt", "out") + lines("Extracting A.TXT", "Extracting B.TXT"),
        status=0)
    t.expect_file("out/A.TXT", b"x\r\ny\r\n")
    t.expect_file("out/B.TXT", b"z\r\n")
    t.expect_files(["A.TXT", "B.TXT"], under="out")


@scenario
def extract_target_directory_forms(t):
    t.write("m.txt", member("A.TXT", "x"))
    # (second path or None, target as printed, where the file lands)
    rows = [("o1", t.join("o1", ""), "o1"), (None, t.host_path() + t.sep, ".")]
    if t.windows:
        # One backslash is added unless the path ends in one; "/" is no delimiter there.
        rows += [("o2\\", b"o2\\", "o2"), ("o3/", b"o3/\\", "o3")]
    else:
        rows += [("o2/", b"o2/", "o2")]
    for second, target, directory in rows:
        if second:
            t.mkdir(directory)
        t.run("-extract", "m.txt", *([second] if second else [])).expect(
            stdout=lines(b"Extracting files from " + t.host_path("m.txt"),
                         b".................. to " + target, "Extracting A.TXT"), status=0)
        t.expect_file(os.path.join(directory, "A.TXT"), b"x\r\n")


@scenario
def extract_overwrite_question_answers(t):
    names = ["A.TXT", "B.TXT", "C.TXT", "D.TXT"]
    t.write("m.txt", b"".join(member(n, "new " + n) for n in names))
    for n in names:
        t.write("out/" + n, "old\r\n")
    asked = [overwrite_question(t.join("out", n)) for n in names]
    # A: empty and unknown answers repeat, n skips; B: yes; C: all, so D is not asked.
    t.run("-extract", "m.txt", "out", stdin=lines("", "x", "n", "y", "a", "y")).expect(
        stdout=t.extract_progress("m.txt", "out") + asked[0] * 3 + lines("Skipping A.TXT")
        + asked[1] + lines("Extracting B.TXT") + asked[2]
        + lines("Extracting C.TXT", "Extracting D.TXT"), status=0)
    t.expect_file("out/A.TXT", b"old\r\n")
    for n in names[1:]:
        t.expect_file("out/" + n, b"new " + n.encode() + b"\r\n")


@scenario
def extract_cancel_keeps_earlier_files(t):
    t.write("m.txt", member("A.TXT", "a") + member("B.TXT", "b") + member("C.TXT", "c"))
    t.write("out/B.TXT", "old\r\n")
    t.run("-extract", "m.txt", "out", stdin=b"c\r\n").expect(
        stdout=t.extract_progress("m.txt", "out") + lines("Extracting A.TXT")
        + overwrite_question(t.join("out", "B.TXT")) + closing_block(CANCELLED), status=1)
    t.expect_file("out/A.TXT", b"a\r\n")
    t.expect_file("out/B.TXT", b"old\r\n")
    t.expect_files(["A.TXT", "B.TXT"], under="out")


@scenario
def extract_file_without_headers(t):
    # No member header at all: no merged file, whatever else it holds.
    for data in ("just\r\ntext\n", ""):
        t.write("m.txt", data)
        t.mkdir("out")
        t.run("-extract", "m.txt", "out").expect(
            stdout=t.extract_progress("m.txt", "out"),
            stderr=lines("No member header found in m.txt; it is no merged file."), status=1)
        t.expect_files(["m.txt"])


@scenario
def names_without_a_file_are_refused_by_list_and_extract(t):
    # An empty name, and one whose last part is empty: the folder it names cannot be written
    # as a file. List and extract refuse it alike, before a folder of it is made; the members
    # before it stay. A header keeps 120 bytes of a name, which may end just after a "\".
    long_name = "F" * 60 + "\\" + "G" * 58 + "\\" + "REST.TXT"
    shapes = [("", PLAIN, "Member name ends without a file name."),
              ("", ARROW, "Member name ends without a file name."),
              ("A\\B\\", PLAIN, "Member name A\\B\\ ends without a file name."),
              ("A/B/", ARROW, "Member name A/B/ ends without a file name."),
              (long_name, PLAIN, f"Member name {long_name[:120]} ends without a file name.")]
    t.mkdir("out")
    for name, header, refusal in shapes:
        t.write("m.txt", member("OK.TXT", "ok") + member(name, "x", header=header)
                + member("LATER.TXT", "l"))
        t.run("-list", "m.txt").expect(stdout=listed(t, "OK.TXT"), stderr=lines(refusal), status=1)
        t.run("-extract", "m.txt", "out").expect(
            stdout=t.extract_progress("m.txt", "out") + lines("Extracting OK.TXT")
            + closing_block(refusal), status=1)
        t.expect_file("out/OK.TXT", b"ok\r\n")
        made = (sorted(os.listdir(t.path("out"))), sorted(os.listdir(t.dir)))
        if made != (["OK.TXT"], ["m.txt", "out"]):
            raise ScenarioFailure(f"{name!r}: made {made}")
        os.remove(t.path("out/OK.TXT"))


@scenario
def extract_reads_header_lines(t):
    t.write("m.txt", lines(
        PLAIN + b"A.TXT",
        "./keep",              # the first line after a header stays a line
        "a2",
        "./ COPY",             # no NAME=: the name starts at the fifth character
        ">>>>>>>>>>first",     # not a whole arrow prefix, so a first line like any other
        ">>>>>>>>>>x.txt",     # the eleventh character is skipped whatever it is
        "t1",
        "./ junk NAME=Q.TXT",  # the name follows the first NAME=
        "q1",
        ARROW + b"L" * 130,    # names are cut to 120 characters
        "l1"))
    t.mkdir("out")
    names = ["A.TXT", "OPY", ".txt", "Q.TXT", "L" * 120]
    t.run("-extract", "m.txt", "out").expect(
        stdout=t.extract_progress("m.txt", "out") + lines(*("Extracting " + n for n in names)),
        status=0)
    for name, data in zip(names, [b"./keep\r\na2\r\n", b">>>>>>>>>>first\r\n", b"t1\r\n",
                                  b"q1\r\n", b"l1\r\n"]):
        t.expect_file("out/" + name, data)
    t.expect_files(names, under="out")


@scenario
def extract_empty_members(t):
    # A header right after a header starts the next member; at the end nothing follows.
    t.write("m.txt", member("E.TXT") + member("F.TXT", "f1") + member("G.TXT")
            + member("H.TXT", "", header=ARROW) + member("I.TXT", header=ARROW)
            + member("J.TXT"))
    t.mkdir("out")
    names = ["E.TXT", "F.TXT", "G.TXT", "H.TXT", "I.TXT", "J.TXT"]
    t.run("-extract", "m.txt", "out").expect(
        stdout=t.extract_progress("m.txt", "out") + lines(*("Extracting " + n for n in names)),
        status=0)
    for name, data in zip(names, [b"", b"f1\r\n", b"", b"\r\n", b"", b""]):
        t.expect_file("out/" + name, data)
    t.expect_files(names, under="out")


@scenario
def extract_line_ends_of_the_merged_file(t):
    # Targets get CR LF whatever the merged file used; a Ctrl-Z ends the merged file.
    t.write("m.txt", PLAIN + b"A.TXT\nx\ny\rz\n\n" + PLAIN + b"B.TXT\rw\n\x1a" + PLAIN
            + b"C.TXT\r\nc\r\n")
    t.mkdir("out")
    t.run("-extract", "m.txt", "out").expect(
        stdout=t.extract_progress("m.txt", "out") + lines("Extracting A.TXT", "Extracting B.TXTw"),
        status=0)
    t.expect_file("out/A.TXT", b"x\r\nyz\r\n\r\n")
    t.expect_file("out/B.TXTw", b"")
    t.expect_files(["A.TXT", "B.TXTw"], under="out")


@scenario
def extract_refuses_names_leading_outside(t):
    stray = "stray-" + os.path.basename(t.dir) + ".txt"
    names = ["../" + stray, "SUB/../../" + stray, ".."]
    if t.windows:
        names += ["..\\" + stray, "SUB\\..\\..\\" + stray, "\\" + stray, "/" + stray,
                  "C:" + stray, t.host_path(stray).decode()]
    else:
        names += [t.path(stray), "/" + stray]
    t.mkdir("out/SUB")
    for name in names:
        t.write("m.txt", member("OK.TXT", "ok") + member(name, "bad") + member("Z.TXT", "z"))
        t.run("-extract", "m.txt", "out").expect(
            stdout=t.extract_progress("m.txt", "out") + lines("Extracting OK.TXT") + closing_block(
                f"Member name {name} leads outside the target directory."), status=1)
        t.expect_file("out/OK.TXT", b"ok\r\n")
        os.remove(t.path("out/OK.TXT"))
        t.expect_files(["m.txt"])
        if os.path.exists("/" + stray):
            os.remove("/" + stray)
            raise AssertionError(f"{name} was written to /")
    # Dots that are not a whole ".." component are ordinary.
    t.write("m.txt", member("A..B.TXT", "1") + member("..X", "2") + member("SUB/...Y", "3"))
    t.run("-extract", "m.txt", "out").expect(
        stdout=t.extract_progress("m.txt", "out")
        + lines("Extracting A..B.TXT", "Extracting ..X", "Extracting SUB/...Y"), status=0)
    t.expect_files(["A..B.TXT", "..X", "SUB/...Y"], under="out")


@scenario
def extract_names_with_a_directory_part(t):
    t.mkdir("out/SUB")
    names = ["SUB/X.TXT", "SUB\\Y.TXT"]
    t.write("m.txt", b"".join(member(n, n) for n in names))
    t.run("-extract", "m.txt", "out").expect(
        stdout=t.extract_progress("m.txt", "out") + lines(*("Extracting " + n for n in names)),
        status=0)
    for n in names:
        t.expect_file("out/" + n.replace("\\", "/"), n.encode() + b"\r\n")
    # A directory that does not exist is made.
    t.write("m.txt", member("NEW/Z.TXT", "z"))
    t.run("-extract", "m.txt", "out").expect(
        stdout=t.extract_progress("m.txt", "out") + lines("Extracting NEW/Z.TXT"), status=0)
    t.expect_files([n.replace("\\", "/") for n in names] + ["NEW/Z.TXT"], under="out")


@scenario
def extract_merged_file_that_does_not_exist(t):
    t.mkdir("out")
    for args, message in ((["nothing.txt", "out"], b"File nothing.txt does not exist."),
                          (["out"], b"File out does not exist."),  # a directory is no file
                          ([], b"File  does not exist.")):
        t.run("-extract", *args).expect(stdout=closing_block(message), status=1)
    t.expect_files([])
