"""The tool in a script with no one at a terminal: the pause never waits, -quiet leaves out
the progress lines, -list gives paths a shell can use, and a reader that goes away ends
the run quietly."""

import os
import shlex
import subprocess

from scenario_harness import (CANCELLED, ScenarioFailure, closing_block, end_process, lines,
                              member, overwrite_question, scenario)
from scenarios.scripts import listed
from scenarios.terminal import (PATIENCE, on_a_terminal, read_exactly,
                                wait_until_reading_input)


@scenario
def failure_with_standard_input_left_open_ends_at_once(t):
    # A CI step or `docker run -i`: standard input is a pipe nobody closes. The pause line
    # is written, and the run ends without reading a byte.
    t.mkdir("empty")
    for args in (["-merge", "empty", "out.txt"], ["-?"]):
        process = t.start(*args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE)
        try:
            process.wait(PATIENCE)
        except subprocess.TimeoutExpired:
            raise ScenarioFailure(f"{args}: waited on standard input")
        finally:
            end_process(process)
    t.run("-merge", "empty", "out.txt", stdin=b"anything\n").expect(
        stdout=t.merge_progress("empty/*.*", "out.txt") + closing_block("No files matched."),
        status=1)


@scenario
def a_loop_over_folders_goes_on_after_a_failure(t):
    # The pause after the middle folder's failure used to read the next folder's name.
    t.write("one/a.txt", "1\n")
    t.mkdir("two")
    t.write("three/c.txt", "3\n")
    t.write("list", "one\ntwo\nthree\n")
    tool = " ".join(shlex.quote(word) for word in t.command([]))
    script = f'while read d; do {tool} -merge "$d" "$d.txt" >/dev/null; echo "$d $?"; done <list'
    completed = subprocess.run(["sh", "-c", script], cwd=t.dir, capture_output=True,
                               timeout=PATIENCE * 3)
    if completed.stdout != b"one 0\ntwo 1\nthree 0\n":
        raise ScenarioFailure(f"the loop ran {completed.stdout!r}")
    t.expect_file("one.txt", member("A.TXT", "1"))
    t.expect_no_file("two.txt")
    t.expect_file("three.txt", member("C.TXT", "3"))


@scenario
def lines_of_a_run_into_the_null_device_go_to_the_error_output(t):
    # The null device is no console: a list's failure is named where a user still sees it.
    with open(os.devnull, "wb") as null:
        t.run("-list", "missing.txt", stdout=null).expect(
            stderr=closing_block("File missing.txt does not exist."), status=1)


@scenario
def quiet_runs_keep_questions_warnings_and_closing_lines(t):
    t.write("src/a.txt", "a\n")
    t.write("src/b.txt", "lone\rcr\n")
    t.write("out.txt", "old\r\n")
    merged = member("A.TXT", "a") + member("B.TXT", "lonecr")
    # The question and the warning stay; the lines that name the folder and each file go.
    result = t.run("-merge", "-quiet", "src", "out.txt", stdin=b"y\n")
    result.expect(stdout=b"Overwrite out.txt(Yes/No)?", stderr=None, status=1)
    if not result.stderr.startswith(b"Warning: B.TXT") or result.stderr.count(b"\r\n") != 1:
        raise ScenarioFailure(f"error output {result.stderr!r}")
    t.expect_file("out.txt", merged)
    t.run("-merge", "-q", "src", "out.txt", stdin=b"n\n").expect(
        stdout=b"Overwrite out.txt(Yes/No)?" + closing_block(CANCELLED), status=1)
    t.run("-q", "-merge", "src/a.txt", "-").expect(stdout=member("A.TXT", "a"), status=0)

    t.write("m.txt", member("A.TXT", "new a") + member("B.TXT", "new b"))
    t.write("out/A.TXT", "mine\r\n")
    question = overwrite_question(t.join("out", "A.TXT"))
    t.run("-extract", "-quiet", "m.txt", "out", stdin=b"n\n").expect(stdout=question, status=0)
    t.expect_file("out/A.TXT", b"mine\r\n")
    t.expect_file("out/B.TXT", b"new b\r\n")
    t.run("-extract", "/q", "m.txt", "out", stdin=b"c\n").expect(
        stdout=question + closing_block(CANCELLED), status=1)
    t.run("-extract", "-q", "-overwrite", "m.txt", "out", stdin=b"").expect(stdout=b"", status=0)
    t.expect_file("out/A.TXT", b"new a\r\n")


@scenario
def listed_paths_are_the_files_the_extract_writes(t):
    bundle = (member("SUB\\DEEP\\X.TXT", "x") + member("TOP.TXT.", "t")
              + member("A. \\B.TXT ", "b") + member("SLASH/Y.TXT", "y"))
    t.write("m.txt", bundle)
    paths = ["SUB/DEEP/X.TXT", "TOP.TXT", "A/B.TXT", "SLASH/Y.TXT"]
    t.mkdir("out")
    t.run("-extract", "-quiet", "m.txt", "out").expect(stdout=b"", status=0)
    t.expect_files(paths, under="out")
    listing = t.run("-list", os.path.join("..", "m.txt"), cwd=t.path("out"))
    listing.expect(stdout=listed(t, *paths), status=0)
    if not t.windows:
        found = subprocess.run(["xargs", "ls", "--"], input=listing.stdout, cwd=t.path("out"),
                               capture_output=True, timeout=PATIENCE)
        if found.returncode != 0 or found.stdout.decode().split() != sorted(paths):
            raise ScenarioFailure(f"xargs ls found {found.stdout!r}, {found.stderr!r}")


def first_line_then_gone(t, *args):
    """Runs the program with a reader on its standard output that takes one line and goes
    away, as `| head -1` does; returns that line, the error output and the status."""
    process = t.start(*args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                      stderr=subprocess.PIPE)
    try:
        first = process.stdout.readline()
        process.stdout.close()
        status = process.wait(PATIENCE)
        return first, process.stderr.read(), status
    except subprocess.TimeoutExpired:
        raise ScenarioFailure(f"{args}: went on writing to a reader that had gone")
    finally:
        end_process(process)


@scenario
def a_reader_that_goes_away_ends_the_run_quietly(t):
    # Far more than a pipe holds, so that the writes meet the closed pipe.
    names = [f"FOLDER\\MEMBER{n:05}.TXT" for n in range(20000)]
    t.write("big.txt", b"".join(member(n) for n in names))
    t.write("src/a.txt", "".join(f"line {n}\n" for n in range(100000)))
    progress = lines(b"Adding files from " + t.host_path("src/*.*"))
    header = lines("./       ADD   NAME=A.TXT")
    for args, expected, stderr in (
            (["-list", "big.txt"], listed(t, "FOLDER/MEMBER00000.TXT"), b""),
            (["-merge", "src", "-"], header, progress + lines("...............to -",
                                                             "Adding A.TXT")),
            (["-merge", "-quiet", "src"], header, b"")):
        got = first_line_then_gone(t, *args)
        if got != (expected, stderr, 1):
            raise ScenarioFailure(f"{args}: first line, error output and status {got!r}")


@scenario(hosts=("posix",))
def the_pause_still_waits_at_a_terminal(t):
    # Someone at the terminal reads the closing message until they press Enter.
    t.mkdir("empty")
    with on_a_terminal(t, "-merge", "empty", "out.txt") as (process, master):
        shown = t.merge_progress("empty/*.*", "out.txt") + closing_block("No files matched.")
        got = read_exactly(master, len(shown))
        if got != shown:
            raise ScenarioFailure(f"terminal showed {got!r}, expected {shown!r}")
        wait_until_reading_input(process)
        os.write(master, b"\r\n")
        if process.wait(PATIENCE) != 1:
            raise ScenarioFailure(f"exit status {process.returncode}")
