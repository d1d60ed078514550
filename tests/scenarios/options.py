"""Option words and paths on the command line."""

import os

from scenario_harness import (ACTION_QUESTION, ARROW, CANCELLED, PLAIN, closing_block, lines,
                              member, scenario, unknown_words)
from scenarios.help_words import HELP, VERSION
from scenarios.usage import USAGE

SURPLUS = (b"More than two paths given; quote a mask such as \"*.txt\" so that the shell "
           b"does not expand it.")


@scenario
def option_words_ignore_case(t):
    t.write("src/a.txt", "x\n")
    rows = [
        (["-merge", "src/*.txt", "o1.txt"], "o1.txt", PLAIN, b""),
        (["-MERGE", "src/*.txt", "o2.txt"], "o2.txt", PLAIN, b""),
        (["src/*.txt", "-Merge", "o3.txt", "-NICE"], "o3.txt", ARROW, b""),  # words go anywhere
        (["-x", "-merge", "src/*.txt", "o4.txt"], "o4.txt", PLAIN,
         unknown_words("-x")),  # unknown: named and ignored
        (["-extract", "-merge", "src/*.txt", "o5.txt"], "o5.txt", PLAIN, b""),  # the later wins
        ([("/Merge" if t.windows else "/merge"), "/nice", "src/*.txt", "o6.txt"], "o6.txt",
         ARROW, b""),
    ]
    for args, out, header, stderr in rows:
        t.run(*args).expect(
            stdout=t.merge_progress("src/*.txt", out) + lines("Adding A.TXT"), stderr=stderr,
            status=0)
        t.expect_file(out, member("A.TXT", "x", header=header))

    t.write("m.txt", member("A.TXT", "x"))
    for n, words in enumerate((["-EXTRACT"], ["-merge", "-Extract"], ["/EXTRACT"])):
        t.mkdir(f"d{n}")
        t.run(*words, "m.txt", f"d{n}").expect(
            stdout=t.extract_progress("m.txt", f"d{n}") + lines("Extracting A.TXT"), status=0)
        t.expect_file(f"d{n}/A.TXT", b"x\r\n")


@scenario
def unknown_words_lead_to_the_action_question(t):
    t.write("src/a.txt", "x\n")
    t.run("-merg", "src/*.txt", "o.txt", stdin=b"c\r\n").expect(
        stdout=ACTION_QUESTION + closing_block(CANCELLED), stderr=unknown_words("-merg"),
        status=1)
    t.expect_no_file("o.txt")
    # -nice alone sets the style but no action: the question comes, and the style stays.
    t.run("-nice", "src/*.txt", "o.txt", stdin=b"m\r\n").expect(
        stdout=ACTION_QUESTION + t.merge_progress("src/*.txt", "o.txt") + lines("Adding A.TXT"),
        status=0)
    t.expect_file("o.txt", member("A.TXT", "x", header=ARROW))


@scenario
def unknown_words_are_named(t):
    """An unknown option word is still ignored, but named on the error output before
    anything else the run writes; standard output and the exit status stay as they were."""
    t.write("src/a.txt", "x\n")
    # On Windows every "/" word is an option word; on POSIX /x would be a path.
    slash = ["/x"] if t.windows else []
    merged = t.merge_progress("src/*.txt", "o.txt") + lines("Adding A.TXT")
    rows = [
        ([*slash, "-merge", "--include=*.h", "src/*.txt", "o.txt", "-X"], merged, 0),
        ([*slash, "-?", "--include=*.h", "-X"], USAGE, 0),
        ([*slash, "--help", "--include=*.h", "-X"], HELP, 0),
        ([*slash, "--include=*.h", "--version", "-X"], VERSION, 0),
        ([*slash, "-extract", "--include=*.h", "-X", "none.txt"],
         closing_block(b"File none.txt does not exist."), 1),
    ]
    for args, stdout, status in rows:
        t.run(*args, stdin=b"\r\n").expect(
            stdout=stdout, stderr=unknown_words(*slash, "--include=*.h", "-X"), status=status)
    t.expect_file("o.txt", member("A.TXT", "x"))
    t.expect_files(["src/a.txt", "o.txt"])


@scenario
def question_mark_among_other_arguments_is_a_path(t):
    # "?" alone asks for the usage; next to another argument it is a mask of one character.
    t.write("q", "hi\n")
    rows = [["?", "a"]] + ([["?", "a", "b"]] if t.windows else [])  # a third path is ignored
    for args in rows:
        t.run(*args, stdin=b"m\r\n").expect(
            stdout=ACTION_QUESTION + t.merge_progress("?", "a") + lines("Adding Q"), status=0)
        t.expect_file("a", member("Q", "hi"))
        os.remove(t.path("a"))
    t.expect_files(["q"])


@scenario(hosts=("posix",))
def surplus_paths_are_refused(t):
    # What an unquoted *.txt turns into: b.txt must not become the output.
    for name in ("a.txt", "b.txt", "c.txt"):
        t.write(name, name + "\n")
    t.write("m.txt", member("A.TXT", "new"))
    for args in (["-merge", "a.txt", "b.txt", "c.txt"], ["?", "a", "b"],
                 ["-extract", "m.txt", "a.txt", "c.txt"], ["x", "y", "z"]):
        t.run(*args, stdin=b"m\r\ny\r\n").expect(stdout=closing_block(SURPLUS), status=1)
    for name in ("a.txt", "b.txt", "c.txt"):
        t.expect_file(name, (name + "\n").encode())
    t.expect_files(["a.txt", "b.txt", "c.txt", "m.txt"])


@scenario
def slash_arguments(t):
    """On POSIX a "/" argument is a path unless it is one of the option words; on Windows
    it is always an option word."""
    t.write("src/a.txt", "x\n")
    t.write("m.txt", member("A.TXT", "x"))
    t.mkdir("d")
    if t.windows:
        # Taken as an unknown option, so no merged file is named at all.
        t.run("-extract", "/m.txt").expect(
            stdout=closing_block(b"File  does not exist."), stderr=unknown_words("/m.txt"),
            status=1)
        return
    mask, out, merged = t.path("src") + "/*.txt", t.path("o.txt"), t.path("m.txt")
    t.run("/merge", mask, out).expect(
        stdout=t.merge_progress(mask, out) + lines("Adding A.TXT"), status=0)
    t.expect_file("o.txt", member("A.TXT", "x"))
    t.run("/EXTRACT", merged, t.path("d")).expect(
        stdout=lines(b"Extracting files from " + merged.encode(),
                     b".................. to " + t.path("d/").encode(), "Extracting A.TXT"),
        status=0)
    t.expect_file("d/A.TXT", b"x\r\n")
    t.run("-extract", "/nowhere/m.txt").expect(
        stdout=closing_block(b"File /nowhere/m.txt does not exist."), status=1)
