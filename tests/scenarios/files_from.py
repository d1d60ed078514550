"""-files-from: the sources a list names, as `git ls-files -z` or a file of lines gives
them, below the first path's directory; what cannot be merged is named and left out."""

import os
import shutil
import subprocess

from scenario_harness import (CANCELLED, ScenarioFailure, closing_block, lines, member,
                              scenario)
from scenarios.terminal import PATIENCE, on_a_terminal, read_exactly

NO_TERMINAL = {"start_new_session": True}


def write_sources(t):
    t.write("src/a.txt", "a\n")
    t.write("src/notes.md", "n\n")
    t.write("src/sub/b.txt", "b\n")
    t.write("src/sub/deeper/c.md", "c\n")
    t.write("src/unlisted.txt", "u\n")


BUNDLE = (member("A.TXT", "a") + member("NOTES.MD", "n") + member("SUB\\B.TXT", "b")
          + member("SUB\\DEEPER\\C.MD", "c"))


@scenario
def files_from_a_list_of_lines_or_of_nul_ended_names(t):
    write_sources(t)
    # Lines with LF or CR LF, empty ones, "./" and doubled separators, in no order; or the
    # same names ended by NUL bytes. Members come in the format's order, in folders below
    # the first path's directory with or without -recurse.
    t.write("lines.txt", "sub/deeper/c.md\r\n\n./a.txt\nsub//b.txt\nnotes.md\na.txt")
    t.write("names0.txt", b"notes.md\0sub/b.txt\0a.txt\0sub/deeper/c.md\0")
    adding = lines("Adding A.TXT", "Adding NOTES.MD", "Adding SUB\\B.TXT",
                   "Adding SUB\\DEEPER\\C.MD")
    spellings = [["-files-from=lines.txt"], ["--files-from=names0.txt", "-recurse"]]
    if t.windows:
        spellings.append(["/files-from=lines.txt"])
    for words in spellings:
        t.run("-merge", *words, "src", "m.txt", stdin=b"y\n").expect(stdout=None, status=0)
        t.expect_file("m.txt", BUNDLE)
    t.run("-merge", "-files-from=names0.txt", "src", "-").expect(
        stdout=BUNDLE, stderr=t.merge_progress("src/*.*").replace(
            b"...............to ", b"...............to -") + adding, status=0)
    # The mask still chooses among the names listed; -keepcase keeps their case.
    t.run("-merge", "-files-from=lines.txt", "-keepcase", "src/*.md", "-").expect(
        stdout=member("notes.md", "n") + member("sub\\deeper\\c.md", "c"), stderr=None,
        status=0)
    # The user's exclude patterns still leave listed names out, a folder on their way too.
    t.run("-merge", "-files-from=lines.txt", "-exclude=deeper", "-exclude=notes.*", "src",
          "-").expect(stdout=member("A.TXT", "a") + member("SUB\\B.TXT", "b"), stderr=None,
                      status=0)


@scenario
def files_from_leaves_out_what_it_cannot_merge(t):
    write_sources(t)
    t.write("outside.txt", "o\n")
    listed = ["missing.txt", "sub", "../outside.txt", t.path("outside.txt"), "a.txt",
              "sub/../a.txt", "a.txt"]
    why = ["it is not there.", "it is a folder.", "it leads outside the source directory.",
           "it leads outside the source directory.", None,
           "it leads outside the source directory.", None]
    if not t.windows:
        os.mkfifo(t.path("src/fifo"))
        os.symlink("sub", t.path("src/link"))
        os.symlink("sub/b.txt", t.path("src/alias.txt"))
        os.symlink("gone", t.path("src/dangling"))
        listed += ["fifo", "link/b.txt", "alias.txt", "dangling"]
        why += ["it is not a regular file.", "a folder on its way is a symbolic link.", None,
                "it is not there."]
    t.write("list.txt", "".join(name + "\n" for name in listed))
    left_out = lines(*(f"Leaving out {name}: {reason}" for name, reason in zip(listed, why)
                       if reason))
    # The others are merged, each once, and the run ends with status 1.
    t.run("-merge", "-files-from=list.txt", "src", "m.txt").expect(
        stdout=t.merge_progress("src/*.*", "m.txt")
        + lines("Adding A.TXT", *([] if t.windows else ["Adding ALIAS.TXT"])),
        stderr=left_out, status=1)
    t.expect_file("m.txt",
                  member("A.TXT", "a") + (b"" if t.windows else member("ALIAS.TXT", "b")))
    # Nothing to merge; a list that is not there.
    t.write("none.txt", "missing.txt\n")
    t.run("-merge", "-files-from=none.txt", "src", "n.txt").expect(
        stdout=t.merge_progress("src/*.*", "n.txt") + closing_block("No files matched."),
        stderr=lines("Leaving out missing.txt: it is not there."), status=1)
    t.run("-merge", "-files-from=nolist.txt", "src", "n.txt").expect(
        stdout=t.merge_progress("src/*.*", "n.txt")
        + closing_block("File nolist.txt does not exist."), status=1)
    t.expect_no_file("n.txt")


def git(t, *args):
    return subprocess.run(["git", "-C", t.path("repo"), *args], check=True,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60).stdout


@scenario
def files_from_git_ls_files_gives_the_tracked_files(t):
    if not shutil.which("git"):
        print("git is not installed here: the scenario is left out")
        return
    tracked = {"README.md": "read me\n", ".gitignore": "build/\n*.log\n",
               "src/main.c": "int main(void) { return 0; }\n",
               "src/lib/util.h": "./not a header\n", "docs/guide.txt": "guide\n"}
    for name, text in tracked.items():
        t.write("repo/" + name, text)
    t.write("repo/build/CMakeCache.txt", "cache\n")
    t.write("repo/build/main.o", b"\x7fELF\0\0")
    t.write("repo/run.log", "log\n")
    t.write("repo/untracked.txt", "not added\n")
    git(t, "init", "-q")
    git(t, "add", *tracked)
    names = git(t, "ls-files", "-z")
    t.run("-merge", "-keepcase", "-escape", "-files-from=-", "repo", "m.txt",
          stdin=names, **NO_TERMINAL).expect(stdout=None, stderr=b"", status=0)
    t.mkdir("back")
    t.run("-extract", "-lf", "m.txt", "back").expect(stdout=None, status=0)
    t.expect_files(list(tracked), under="back")
    t.expect_file("back/src/lib/util.h", b"./not a header\n")


@scenario(hosts=("posix",))
def a_list_on_standard_input_never_answers(t):
    write_sources(t)
    t.write("out.txt", "old\r\n")
    # Its lines would answer the question: with nobody at a terminal it is cancelled.
    t.run("-merge", "-files-from=-", "src", "out.txt", stdin=b"a.txt\ny\n", **NO_TERMINAL).expect(
        stdout=t.merge_progress("src/*.*", "out.txt") + b"Overwrite out.txt(Yes/No)?"
        + closing_block(CANCELLED), stderr=lines("Leaving out y: it is not there."), status=1)
    t.expect_file("out.txt", b"old\r\n")
    # At a terminal the question goes there, and its answer counts.
    with on_a_terminal(t, "-merge", "-files-from=-", "src", "out.txt",
                       streams_on_pipes=True) as (process, master):
        process.stdin.write(b"n\na.txt\n")
        process.stdin.close()
        asked = b"Overwrite out.txt(Yes/No)?"
        if read_exactly(master, len(asked)) != asked:
            raise ScenarioFailure("the question did not come to the terminal")
        os.write(master, b"y\r\n")
        if process.wait(PATIENCE) != 1:
            raise ScenarioFailure(f"exit status {process.returncode}")
        if process.stderr.read() != lines("Leaving out n: it is not there."):
            raise ScenarioFailure("the list's lines were taken for more than names")
    t.expect_file("out.txt", member("A.TXT", "a"))
