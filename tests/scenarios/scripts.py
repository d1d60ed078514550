"""The tool in a script: questions answered on the command line, "-" for the standard
streams, a merged file on standard input that never answers a question, and -list."""

import os
import subprocess

from scenario_harness import (ARROW, CANCELLED, ScenarioFailure, closing_block, lines, member,
                              overwrite_question, scenario)
from scenarios.terminal import PATIENCE, on_a_terminal, read_exactly, read_to_end

NO_TERMINAL = {"start_new_session": True}


def listed(t, *paths):
    """What -list writes: each path (given with "/") in the host's form, ended by the host's
    line end."""
    end = b"\r\n" if t.windows else b"\n"
    return b"".join(t.join(*p.split("/")) + end for p in paths)


@scenario
def overwrite_and_skip_answer_every_question(t):
    names = ["A.TXT", "B.TXT"]
    t.write("m.txt", b"".join(member(n, "new") for n in names))
    progress = t.extract_progress("m.txt", "out")
    # Standard input is closed: nothing may be read from it.
    for words, shown, kept in ((["-skip"], "Skipping", True),
                               (["-overwrite"], "Extracting", False),
                               (["-overwrite", "-skip"], "Skipping", True),
                               (["-skip", "-overwrite"], "Extracting", False)):
        for n in names:
            t.write("out/" + n, "old\r\n")
        t.run("-extract", *words, "m.txt", "out", stdin=b"").expect(
            stdout=progress + lines(*(f"{shown} {n}" for n in names)), status=0)
        for n in names:
            t.expect_file("out/" + n, b"old\r\n" if kept else b"new\r\n")
    t.write("src/a.txt", "a\n")
    t.write("o.txt", "old\r\n")
    head = t.merge_progress("src/*.*", "o.txt")
    t.run("-merge", "-skip", "src", "o.txt", stdin=b"").expect(
        stdout=head + closing_block(CANCELLED), status=1)
    t.expect_file("o.txt", b"old\r\n")
    t.run("-merge", "-overwrite", "src", "o.txt", stdin=b"").expect(
        stdout=head + lines("Adding A.TXT"), status=0)
    t.expect_file("o.txt", member("A.TXT", "a"))


@scenario
def merge_into_extract_through_standard_streams(t):
    t.write("src/a.txt", "a\n")
    t.write("src/sub/b.txt", "b\n")
    merged = t.run("-merge", "-r", "src", "-").expect(
        stdout=member("A.TXT", "a") + member("SUB\\B.TXT", "b"),
        stderr=lines(b"Adding files from " + t.host_path("src/*.*"), "...............to -",
                     "Adding A.TXT", "Adding SUB\\B.TXT"), status=0)
    t.mkdir("out")
    t.run("-extract", "-", "out", stdin=merged.stdout, **NO_TERMINAL).expect(
        stdout=lines("Extracting files from -", b".................. to " + t.join("out", ""),
                     "Extracting A.TXT", "Extracting SUB\\B.TXT"), status=0)
    t.expect_file("out/SUB/B.TXT", b"b\r\n")
    # With nobody at a terminal to ask, an existing file is never written over.
    t.run("-extract", "-", "out", stdin=merged.stdout, **NO_TERMINAL).expect(
        stdout=lines("Extracting files from -", b".................. to " + t.join("out", ""))
        + overwrite_question(t.join("out", "A.TXT")) + closing_block(CANCELLED), status=1)
    t.expect_file("out/A.TXT", b"a\r\n")


@scenario(hosts=("posix",))
def a_bundle_on_standard_input_never_answers(t):
    # Its lines would answer every question: "a" for all, "y" for yes.
    t.write("m.txt", member("A.TXT", "all good") + member("B.TXT", "yes indeed"))
    t.write("out/A.TXT", "mine\r\n")
    t.write("out/B.TXT", "mine too\r\n")
    for name in ("/dev/stdin", "m.txt"):
        with open(t.path("m.txt"), "rb") as bundle:
            t.run("-extract", name, "out", stdin=None, stdin_handle=bundle, **NO_TERMINAL).expect(
                stdout=lines(b"Extracting files from " + t.host_path(name).replace(
                    t.host_path("") + b"/dev", b"/dev"), b".................. to out/")
                + overwrite_question(b"out/A.TXT") + closing_block(CANCELLED), status=1)
    t.expect_file("out/A.TXT", b"mine\r\n")
    t.expect_file("out/B.TXT", b"mine too\r\n")


@scenario(hosts=("posix",))
def question_on_the_terminal_while_the_bundle_is_on_standard_input(t):
    t.write("out/A.TXT", "mine\r\n")
    with on_a_terminal(t, "-extract", "-", "out", streams_on_pipes=True) as (process, master):
        process.stdin.write(member("A.TXT", "new") + member("B.TXT", "b"))
        process.stdin.close()
        asked = overwrite_question(b"out/A.TXT")
        if read_exactly(master, len(asked)) != asked:
            raise ScenarioFailure("the question did not come to the terminal")
        os.write(master, b"n\r\n")
        if process.wait(PATIENCE) != 0:
            raise ScenarioFailure(f"exit status {process.returncode}")
        out = process.stdout.read()
        if out != lines("Extracting files from -", ".................. to out/",
                        "Skipping A.TXT", "Extracting B.TXT"):
            raise ScenarioFailure(f"standard output {out!r}")
        if read_to_end(master) != b"":
            raise ScenarioFailure("more came to the terminal than the question")
    t.expect_file("out/A.TXT", b"mine\r\n")
    t.expect_file("out/B.TXT", b"b\r\n")


@scenario
def list_names_as_an_extract_would_write_them(t):
    bundle = (lines("before any header") + member("EMPTY.TXT") + member("SUB\\NOTE.TXT", "n")
              + member("ARROW.TXT", "./first line, not a header", header=ARROW))
    t.write("m.txt", bundle)
    names = listed(t, "EMPTY.TXT", "SUB/NOTE.TXT", "ARROW.TXT")
    t.run("-list", "m.txt").expect(stdout=names, status=0)
    t.run("-list", "-", stdin=bundle).expect(stdout=names, status=0)
    # A member an extract would refuse ends the list, named with the extract's refusal.
    t.write("bad.txt", member("GOOD.TXT", "g") + member("../ESCAPE.TXT", "x")
            + member("LATER.TXT", "l"))
    t.run("-list", "bad.txt").expect(
        stdout=listed(t, "GOOD.TXT"),
        stderr=lines("Member name ../ESCAPE.TXT leads outside the target directory."), status=1)
    t.write("bad.txt", member("BELL\x07.TXT", "b"))
    t.run("-list", "bad.txt").expect(
        stdout=b"", stderr=lines("Member name BELL?.TXT holds a character no file name may hold."),
        status=1)
    t.write("none.txt", "no header\r\n")
    t.run("-list", "none.txt").expect(
        stdout=b"", stderr=lines("No member header found in none.txt; it is no merged file."),
        status=1)
    t.expect_files(["m.txt", "bad.txt", "none.txt"])
