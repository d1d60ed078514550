"""The words other console tools answer: --help and --version, on both hosts."""

import subprocess

from scenario_harness import (ACTION_QUESTION, CANCELLED, closing_block, end_process, lines,
                              scenario, unknown_words)
from scenarios.usage import USAGE

# The usage text less the pause's empty line and prompt, then the words it has no room for.
HELP = USAGE[:-len(lines(b"", b"Press ENTER to continue..."))] + lines(
    "  3. List the files a restore would write, one path per line.",
    "     quillpack -list infile",
    "  More words:",
    "     -recurse (or -r)  merge the directories below indir too; names keep their folders",
    "     -keepcase         merge the names in the case they have, not in upper case",
    "     -hidden           merge hidden files and folders too",
    "     -gitignore        leave out .git and what the tree's .gitignore files exclude",
    "     -exclude=PATTERN  leave out the names that match PATTERN (again for more)",
    "     -escape           keep lines that begin like a header: merge them with one | more",
    "     -files-from=FILE  merge the files FILE names below indir; - for standard input",
    "     -lf               restore files with LF line ends, not CR LF",
    "     -overwrite        answer every overwrite question yes (all), asking nothing",
    "     -skip             answer every overwrite question no, asking nothing",
    "     -quiet (or -q)    no progress lines; questions, warnings and errors stay",
    "     -                 as infile: standard input; as outfile: standard output")
VERSION = lines(b"Quillpack Freeware Edition v1.02")


@scenario
def help_and_version_words(t):
    t.write("src/a.txt", "x\n")
    t.write("m.txt", "")
    rows = [(["--help"], HELP), (["--HELP", "-merge", "src", "o.txt"], HELP),
            (["-?", "--Help"], HELP), (["--version", "--help"], HELP),
            (["--version"], VERSION), (["-extract", "m.txt", "d", "--Version"], VERSION),
            (["--version", "-?"], USAGE)]
    for args, stdout in rows:
        t.run(*args, stdin=b"\r\n").expect(stdout=stdout, status=0)
    t.expect_files(["src/a.txt", "m.txt"])


@scenario
def help_does_not_wait_for_input(t, timeout=60):
    # Standard input stays open and empty: a pause would wait for it until the timeout.
    for args, stdout in ((["--help"], HELP), (["--version"], VERSION)):
        process = t.start(*args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE)
        try:
            status = process.wait(timeout=timeout)
            out, err = process.stdout.read(), process.stderr.read()
        finally:
            end_process(process)
        if (out, err, status) != (stdout, b"", 0):
            raise AssertionError(f"{args}: {out!r} {err!r} status {status}")


@scenario
def other_help_words_stay_ignored(t):
    # Not option words of this tool: each is named, and the action question follows, as for
    # any unknown word. With no output path the answer may be a merge to standard output,
    # which is a pipe here, so the dialogue goes to the error output, after the name. On
    # POSIX /help is a path.
    for word in ("-h", "--h", "-help", "-version", "--helps", "/help"):
        named = unknown_words(word) if word[0] == "-" or t.windows else b""
        t.run(word, stdin=b"c\r\n").expect(
            stdout=b"", stderr=named + ACTION_QUESTION + closing_block(CANCELLED), status=1)
    t.expect_files([])
