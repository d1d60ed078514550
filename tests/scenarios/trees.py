"""Whole trees: a merge that walks the folders below its mask's directory, member names
with folder parts that an extract makes folders for, names kept in their case, and line
ends given back as LF, so that a tree comes back as it went in."""

import os
import shutil

from scenario_harness import (ScenarioFailure, closing_block, lines, member, refused_names,
                              scenario)

HERE = os.path.dirname(os.path.abspath(__file__))


def write_tree(t):
    """Three levels with hidden names, an empty folder, a file that does not match the
    mask, and on POSIX a link to a folder (a loop) and a link to a file."""
    t.write("src/top.txt", "top\n")
    t.write("src/skip.md", "not matched\n")
    t.write("src/Sub/mid.txt", "mid\n")
    t.write("src/Sub/deeper/low.TXT", "low\n")
    t.write("src/Sub/.hidden.txt", "hidden file\n")
    t.write("src/.hid/in-hidden.txt", "in a hidden folder\n")
    t.mkdir("src/empty")
    if not t.windows:
        os.symlink("..", t.path("src/Sub/up"))
        os.symlink("Sub/mid.txt", t.path("src/alias.txt"))


def tree_members(t):
    alias = [] if t.windows else [member("ALIAS.TXT", "mid")]
    return b"".join(alias + [member("SUB\\DEEPER\\LOW.TXT", "low"), member("SUB\\MID.TXT", "mid"),
                             member("TOP.TXT", "top")])


@scenario
def merge_a_tree(t):
    write_tree(t)
    mask = "src/*.txt"
    adding = [] if t.windows else ["Adding ALIAS.TXT"]
    adding += ["Adding SUB\\DEEPER\\LOW.TXT", "Adding SUB\\MID.TXT", "Adding TOP.TXT"]
    # Sub/.hidden.txt and .hid, and on POSIX the link Sub/up, are counted at the end.
    passed = lines("Passed over: 2 hidden names" + ("." if t.windows else ", 1 link to a folder."))
    for word in ("-recurse", "-r"):
        t.run("-merge", word, mask, "m.txt", stdin=b"y\n").expect(stdout=None, stderr=passed,
                                                                  status=0)
        t.expect_file("m.txt", tree_members(t))
    # Without the word, one folder exactly as ever.
    t.run("-merge", mask).expect(stdout=b"".join(([] if t.windows else [member("ALIAS.TXT", "mid")])
                                                 + [member("TOP.TXT", "top")]),
                                 stderr=t.merge_progress(mask)
                                 + lines(*(adding[:1] if not t.windows else []), "Adding TOP.TXT"),
                                 status=0)
    t.run("-merge", "-r", mask).expect(stdout=tree_members(t),
                                       stderr=t.merge_progress(mask) + lines(*adding) + passed,
                                       status=0)
    # Into an empty folder: the folders are made, and empty folders are not kept.
    t.mkdir("out")
    t.run("-extract", "m.txt", "out").expect(stdout=None, status=0)
    expected = ["SUB/DEEPER/LOW.TXT", "SUB/MID.TXT", "TOP.TXT"] + ([] if t.windows else ["ALIAS.TXT"])
    t.expect_files(expected, under="out")
    t.expect_file("out/SUB/DEEPER/LOW.TXT", b"low\r\n")


@scenario
def tree_comes_back_with_its_case_and_line_ends(t):
    t.write("src/Makefile", "all:\n\techo hi\n")
    t.write("src/lib/Util.h", "int f();\n")
    t.write("src/lib/win/crlf.bat", "echo\r\n")
    t.run("-merge", "-r", "-keepcase", "src", "m.txt").expect(stdout=None, status=0)
    t.expect_file("m.txt", member("lib\\Util.h", "int f();") + member("lib\\win\\crlf.bat", "echo")
                  + member("Makefile", "all:", "\techo hi"))
    t.mkdir("out")
    t.run("-extract", "-lf", "m.txt", "out").expect(
        stdout=t.extract_progress("m.txt", "out")
        + lines("Extracting lib\\Util.h", "Extracting lib\\win\\crlf.bat", "Extracting Makefile"),
        status=0)
    t.expect_file("out/Makefile", b"all:\n\techo hi\n")
    t.expect_file("out/lib/Util.h", b"int f();\n")
    t.expect_file("out/lib/win/crlf.bat", b"echo\n")


@scenario
def names_with_both_separators_make_folders(t):
    # A bundle made on Windows names folders with "\", others with "/": both make folders
    # on every system, below the target and nowhere else.
    t.write("m.txt", member("DOCS\\GUIDE.TXT", "g") + member("DOCS/API\\REF.TXT", "r")
            + member("..\\ESCAPE.TXT", "x"))
    t.mkdir("out")
    t.run("-extract", "m.txt", "out").expect(
        stdout=t.extract_progress("m.txt", "out")
        + lines("Extracting DOCS\\GUIDE.TXT", "Extracting DOCS/API\\REF.TXT")
        + closing_block("Member name ..\\ESCAPE.TXT leads outside the target directory."),
        status=1)
    t.expect_files(["DOCS/GUIDE.TXT", "DOCS/API/REF.TXT"], under="out")
    # A folder part that is a file refuses the member as before.
    t.write("m.txt", member("TOP.TXT\\X", "x"))
    t.write("out2/TOP.TXT", "file\r\n")
    t.run("-extract", "m.txt", "out2").expect(
        stdout=t.extract_progress("m.txt", "out2") + lines("Extracting TOP.TXT\\X")
        + closing_block("Error while processing m.txt"), status=1)
    t.expect_file("out2/TOP.TXT", b"file\r\n")


@scenario
def a_name_met_again_in_a_new_folder_is_asked_about_first(t):
    """A folder the extract has just made holds only what it put there, yet a name met there
    before is asked about before its member is written, as anywhere: in any case of its
    letters where the file system takes them for the same."""
    t.write("m.txt", member("DOCS\\A.TXT", "1") + member("DOCS\\B.TXT", "2")
            + member("DOCS\\A.TXT", "3") + member("DOCS\\a.txt", "4"))
    t.mkdir("out")
    again = "Skipping DOCS\\a.txt" if t.windows else "Extracting DOCS\\a.txt"
    t.run("-extract", "-skip", "m.txt", "out").expect(
        stdout=t.extract_progress("m.txt", "out")
        + lines("Extracting DOCS\\A.TXT", "Extracting DOCS\\B.TXT", "Skipping DOCS\\A.TXT",
                again), status=0)
    t.expect_file("out/DOCS/A.TXT", b"1\r\n")
    t.expect_files(["DOCS/A.TXT", "DOCS/B.TXT"] + ([] if t.windows else ["DOCS/a.txt"]),
                   under="out")


@scenario(hosts=("posix",))
def tree_names_that_cannot_come_back(t):
    message = "Files {} and {} differ only in case; one of them would be lost."
    cases = [({"a/b.txt": "1", "A/B.TXT": "2"}, None),
             ({"sub/back\\slash.txt": "x"},
              "File name sub/back\\slash.txt holds a \\, which an extract takes for a folder "
              "separator."),
             ({"dir./x.txt": "x"}, "File name dir./x.txt ends in a dot or a space, which an "
                                   "extract would drop.")]
    t.write("out.txt", "old\r\n")
    for files, refusal in cases:
        shutil.rmtree(t.path("src"), ignore_errors=True)
        for name, data in files.items():
            t.write("src/" + name, data)
        result = t.run("-merge", "-r", "src", "out.txt", stdin=b"y\n")
        progress = t.merge_progress("src/*.*", "out.txt")
        if refusal is None:
            twins = [refused_names(message.format("a/b.txt", "A/B.TXT")),
                     refused_names(message.format("A/B.TXT", "a/b.txt"))]
            result.expect_one_pair_of([(progress + closing, stderr) for stderr, closing in twins],
                                      status=1)
        else:
            stderr, closing = refused_names(refusal)
            result.expect(stdout=progress + closing, stderr=stderr, status=1)
        t.expect_file("out.txt", b"old\r\n")


@scenario
def tree_leaves_out_its_output_and_binary_files(t):
    t.write("src/a.txt", "a\n")
    t.write("src/data/pic.png", b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR")
    t.write("src/data/wide.txt", "wide\n".encode("utf-16"))
    t.write("src/out/m.txt", "old\r\n")
    sep = "\\" if t.windows else "/"
    t.run("-merge", "-r", "src", "src/out/m.txt", stdin=b"y\n").expect(
        stdout=t.merge_progress("src/*.*", "src/out/m.txt") + b"Overwrite src/out/m.txt(Yes/No)?"
        + lines("Adding A.TXT"),
        stderr=lines(f"Leaving out out{sep}m.txt: it is the merge's own output.",
                     f"Leaving out data{sep}pic.png: it holds a NUL byte, so it is no text file.",
                     f"Leaving out data{sep}wide.txt: it holds a NUL byte, so it is no text file."),
        status=1)
    t.expect_file("src/out/m.txt", member("A.TXT", "a"))


@scenario(heavy=True)
def the_projects_own_sources_come_back_byte_for_byte(t):
    source = os.path.normpath(os.path.join(HERE, "..", "..", "src"))
    shutil.copytree(source, t.path("tree"))
    t.run("-merge", "-recurse", "-keepcase", "tree", "m.txt").expect(stdout=None, status=0)
    t.mkdir("back")
    t.run("-extract", "-lf", "m.txt", "back").expect(stdout=None, status=0)
    compared = 0
    for base, _, files in os.walk(t.path("tree")):
        for name in files:
            path = os.path.join(base, name)
            relative = os.path.relpath(path, t.path("tree"))
            with open(path, "rb") as original, open(t.path(os.path.join("back", relative)),
                                                      "rb") as back:
                if original.read() != back.read():
                    raise ScenarioFailure(f"{relative} did not come back as it was")
            compared += 1
    if compared < 50:
        raise ScenarioFailure(f"only {compared} files compared")
    t.expect_files([os.path.relpath(os.path.join(b, f), t.path("tree")).replace(os.sep, "/")
                    for b, _, fs in os.walk(t.path("tree")) for f in fs], under="back")


@scenario(hosts=("posix",))
def keepcase_keeps_the_case_and_still_refuses_twins(t):
    """-keepcase writes names as they are, but two that differ only in case would be one
    file where case does not count: they are refused as without it, in one folder and in
    a tree, and names alike only in other folders are no twins."""
    message = "Files {} and {} differ only in case; one of them would be lost."
    t.write("out.txt", "old\r\n")
    cases = [(["README", "readme"], []),
             (["a/X.txt", "A/x.txt"], ["-r"]),
             (["Doc.txt", "sub/doc.txt", "sub/DOC.md"], ["-r"])]
    for names, words in cases:
        shutil.rmtree(t.path("src"), ignore_errors=True)
        for name in names:
            t.write("src/" + name, name + "\n")
        result = t.run("-merge", "-keepcase", *words, "src", "out.txt", stdin=b"y\n")
        progress = t.merge_progress("src/*.*", "out.txt")
        if len(names) == 2:
            # Which twin is listed first is the directory's matter.
            twins = [refused_names(message.format(*pair)) for pair in (names, names[::-1])]
            result.expect_one_pair_of([(progress + closing, stderr) for stderr, closing in twins],
                                      status=1)
            t.expect_file("out.txt", b"old\r\n")
        else:
            result.expect(stdout=None, status=0)
            t.expect_file("out.txt", member("Doc.txt", "Doc.txt") + member("sub\\DOC.md", "sub/DOC.md")
                          + member("sub\\doc.txt", "sub/doc.txt"))


@scenario(hosts=("windows",))
def a_tree_takes_what_a_mask_takes_in_one_folder(t):
    """Windows matches a mask against each name's short (8.3) form too, so "*.htm" takes
    index.html; a merge of a tree takes in every folder what a merge of that folder
    takes."""
    t.write("src/index.html", "index\n")
    t.write("src/sub/page.html", "page\n")
    t.write("src/sub/a.htm", "a\n")
    t.run("-merge", "-keepcase", "src/*.htm", "flat.txt").expect(stdout=None, status=0)
    t.expect_file("flat.txt", member("index.html", "index"))
    t.run("-merge", "-r", "-keepcase", "src/*.htm", "tree.txt").expect(stdout=None, status=0)
    t.expect_file("tree.txt", member("index.html", "index") + member("sub\\a.htm", "a")
                  + member("sub\\page.html", "page"))
