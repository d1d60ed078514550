"""Extract against merged files from strangers and programs racing it in the target
directory: nothing written outside the target, nothing overwritten without a question,
nothing that blocks, and memory flat however long a line is."""

import os
import subprocess
import time

from scenario_harness import (ARROW, CANCELLED, PLAIN, ScenarioFailure, closing_block,
                              end_process, lines, member, overwrite_question, scenario)
from scenarios.replacing import wait_for_new_file
from scenarios.terminal import PATIENCE, on_a_terminal, read_exactly, read_to_end


def outside_untouched(t):
    """The folder beside the target still holds exactly what the scenario put there."""
    t.expect_file("outside/v", b"orig\r\n")
    t.expect_files(["v"], under="outside")


@scenario(hosts=("posix",))
def wildcards_in_a_name_are_plain_bytes(t):
    # A directory "A" once made "A*" count as missing, and the open then followed the link.
    t.mkdir("out/A")
    t.write("outside/v", "orig\r\n")
    os.symlink(os.path.join("..", "outside", "v"), t.path("out/A*"))
    t.write("m.txt", member("A*", "PWNED"))
    asked = t.extract_progress("m.txt", "out") + overwrite_question(t.join("out", "A*"))
    t.run("-extract", "m.txt", "out", stdin=b"").expect(
        stdout=asked + closing_block(CANCELLED), status=1)
    outside_untouched(t)
    # Answered yes, the link goes and a file of its own takes its place.
    t.run("-extract", "m.txt", "out", stdin=b"y\n").expect(
        stdout=asked + lines("Extracting A*"), status=0)
    if os.path.islink(t.path("out/A*")):
        raise ScenarioFailure("out/A* is still a link")
    t.expect_file("out/A*", b"PWNED\r\n")
    outside_untouched(t)


@scenario(hosts=("posix",))
def directory_swapped_while_the_question_waits(t):
    t.write("out/SUB/A.TXT", "old\r\n")
    t.write("outside/v", "orig\r\n")
    t.write("m.txt", member("SUB/A.TXT", "new"))
    # On a terminal the question shows at once, before any answer.
    with on_a_terminal(t, "-extract", "m.txt", "out") as (process, master):
        asked = (t.extract_progress("m.txt", "out")
                 + overwrite_question(t.join("out", "SUB/A.TXT")))
        if read_exactly(master, len(asked)) != asked:
            raise ScenarioFailure("the question did not come")
        os.rename(t.path("out/SUB"), t.path("out/SUB.old"))
        os.symlink(os.path.join("..", "outside"), t.path("out/SUB"))
        os.write(master, b"y\r\n")
        rest = read_to_end(master)
        if rest != lines("Extracting SUB/A.TXT") or process.wait(PATIENCE) != 0:
            raise ScenarioFailure(f"after the answer {rest!r}, status {process.returncode}")
    # The directory the question was about got the file, wherever it went meanwhile.
    t.expect_file("out/SUB.old/A.TXT", b"new\r\n")
    outside_untouched(t)


@scenario(hosts=("posix",))
def a_folder_swapped_for_a_link_between_members_is_refused(t):
    """The folders of one member stay open for the next, but a folder that another program
    swapped for a link meanwhile is looked up again and refused: the next member through it
    goes nowhere, while the member being written when it moved lands where its folder went."""
    t.write("outside/v", "orig\r\n")
    t.mkdir("out")
    process = t.start("-extract", "-", "out", stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                      stderr=subprocess.PIPE)
    try:
        process.stdin.write(member("SUB\\A.TXT", "a"))
        process.stdin.flush()
        wait_for_new_file(t, "out/SUB", process)
        os.rename(t.path("out/SUB"), t.path("out/SUB.old"))
        os.symlink(os.path.join("..", "outside"), t.path("out/SUB"))
        out, err = process.communicate(member("SUB\\B.TXT", "b"), timeout=PATIENCE)
    finally:
        end_process(process)
    expected = (lines(b"Extracting files from -", b".................. to " + t.target("out"))
                + lines("Extracting SUB\\A.TXT")
                + closing_block("Member name SUB\\B.TXT passes through a symbolic link."))
    if (out, err, process.returncode) != (expected, b"", 1):
        raise ScenarioFailure(f"{out!r}, {err!r}, status {process.returncode}")
    t.expect_file("out/SUB.old/A.TXT", b"a\r\n")
    t.expect_files(["A.TXT"], under="out/SUB.old")
    outside_untouched(t)


@scenario(hosts=("posix",), heavy=True)
def racing_links_never_win(t):
    """Another program keeps renaming a fresh link to the outside over the target while
    extracts answered yes replace it: not one write may go through a link."""
    t.write("outside/v", "orig\r\n")
    t.mkdir("out")
    t.write("m.txt", member("A.TXT", "new"))
    swapper = subprocess.Popen(
        t.helper_command("swap_link", [os.path.join("..", "outside", "v"), t.path("out/A.TXT")]),
        stdout=subprocess.PIPE)
    written = 0
    try:
        if swapper.stdout.readline() != b"swapping\n":
            raise ScenarioFailure("the link swapper did not start")
        for run in range(300):
            result = t.run("-extract", "m.txt", "out", stdin=b"y\n")
            if result.status not in (0, 1) or result.stderr:
                raise ScenarioFailure(f"run {run}: status {result.status}, {result.stderr!r}")
            written += result.status == 0
            if t.read("outside/v") != b"orig\r\n" or os.listdir(t.path("outside")) != ["v"]:
                raise ScenarioFailure(f"run {run} wrote through the link")
    finally:
        swapper.kill()
        swapper.wait()
        swapper.stdout.close()
    if written == 0:
        raise ScenarioFailure("no run got to write: the race was not run")
    outside_untouched(t)


@scenario(hosts=("posix",))
def pipes_and_devices_at_a_target_are_refused(t):
    # Opening a FIFO for writing waits for a reader for ever; nothing may even try.
    t.mkdir("out")
    os.mkfifo(t.path("out/A.TXT"))
    t.write("m.txt", member("A.TXT", "x"))
    refusal = closing_block("Member name A.TXT is a pipe, socket or device, not a file.")
    for answers in (b"y\n", b"a\n", b""):
        t.run("-extract", "m.txt", "out", stdin=answers, timeout=30).expect(
            stdout=t.extract_progress("m.txt", "out") + refusal, status=1)
    t.write("m.txt", member("null", "x"))
    t.run("-extract", "m.txt", "/dev", stdin=b"a\n", timeout=30).expect(
        stdout=lines(b"Extracting files from " + t.host_path("m.txt"), ".................. to /dev/")
        + closing_block("Member name null is a pipe, socket or device, not a file."), status=1)


def peak_memory_kb(t, *args):
    """Runs the tool to its end and returns its own resident high-water mark."""
    process = t.start(*args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise ScenarioFailure(f"{args} ended with status {process.returncode}")
    return usage.ru_maxrss


def write_pieces(t, name, *pieces):
    """Writes a file from (bytes, repeat) pieces without holding it whole: a child's peak
    memory counts what its parent held when it was started."""
    with open(t.path(name), "wb") as f:
        for data, repeat in pieces:
            for _ in range(repeat):
                f.write(data)


@scenario(hosts=("posix",), heavy=True)
def huge_lines_keep_memory_flat(t):
    """A 100 MB line where the extract once held whole lines: before the first header, as a
    header, and as the first line of a member. Memory is compared with a tiny extract of
    the same build, so that a checker's own overhead does not count."""
    mb = 1024 * 1024
    cases = [
        ("preamble", [(b"x" * mb, 100), (b"\r\n" + member("A.TXT", "a"), 1)], "A.TXT", b"a\r\n"),
        ("header", [(ARROW, 1), (b"H" * mb, 100), (b"\r\nh\r\n", 1)], "H" * 120, b"h\r\n"),
        ("first line", [(PLAIN + b"F.TXT\r\n", 1), (b"f" * mb, 100), (b"\r\n", 1)], "F.TXT", None),
        ("plain header", [(b"./", 1), (b" " * mb, 100), (b"NAME=P.TXT\r\np\r\n", 1)], "P.TXT",
         b"p\r\n"),
    ]
    t.write("tiny.txt", member("T.TXT", "t"))
    t.mkdir("out")
    baseline = peak_memory_kb(t, "-extract", "tiny.txt", "out")
    for label, pieces, name, content in cases:
        write_pieces(t, "m.txt", *pieces)
        grown = peak_memory_kb(t, "-extract", "m.txt", "out") - baseline
        if grown > 16 * 1024:
            raise ScenarioFailure(f"{label}: {grown} KB more than a tiny extract")
        if content is None:
            if os.path.getsize(t.path("out/" + name)) != 100 * mb + 2:
                raise ScenarioFailure(f"{label}: {name} does not hold the line")
        else:
            t.expect_file("out/" + name, content)
        os.remove(t.path("out/" + name))
        os.remove(t.path("m.txt"))


def high_water_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    raise ScenarioFailure("no VmHWM")


def wait_until_read(process, count):
    """Waits until the program has read `count` bytes in all, by what it has done, not by
    the clock: a memory checker slows it many times over."""
    for _ in range(PATIENCE * 100):
        if process.poll() is not None:
            raise ScenarioFailure(f"ended with status {process.returncode}")
        with open(f"/proc/{process.pid}/io") as f:
            if int(next(line for line in f if line.startswith("rchar:")).split()[1]) >= count:
                return
        time.sleep(0.01)
    raise ScenarioFailure(f"read less than {count} bytes")


@scenario(hosts=("posix",))
def endless_input_keeps_memory_flat(t):
    # One line without end: read on for ever, but in the same few kilobytes. The first
    # measure comes once start-up is long done, a memory checker's included.
    t.mkdir("out")
    mb = 1024 * 1024
    process = t.start("-extract", "/dev/zero", "out", stdin=subprocess.DEVNULL,
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_until_read(process, 16 * mb)
        early = high_water_kb(process.pid)
        wait_until_read(process, 64 * mb)
        late = high_water_kb(process.pid)
    finally:
        end_process(process)
    if late - early > 8 * 1024:
        raise ScenarioFailure(f"grew from {early} KB to {late} KB")
    t.expect_files([], under="out")


@scenario
def header_behind_a_lone_cr(t):
    # The line reader drops a CR that no LF follows, so the line is a header: the copy of
    # A's lines must see it too.
    t.write("m.txt", PLAIN + b"A.TXT\r\nx\r\n\r" + PLAIN + b"B.TXT\r\ny\r\n.\r/       ADD   NAME=C.TXT\r\n"
            b"z\r\n")
    t.mkdir("out")
    t.run("-extract", "m.txt", "out").expect(
        stdout=t.extract_progress("m.txt", "out")
        + lines("Extracting A.TXT", "Extracting B.TXT", "Extracting C.TXT"), status=0)
    for name, data in (("A.TXT", b"x\r\n"), ("B.TXT", b"y\r\n"), ("C.TXT", b"z\r\n")):
        t.expect_file("out/" + name, data)
    # With A skipped, B still comes out whole.
    t.write("out/A.TXT", "old\r\n")
    os.remove(t.path("out/B.TXT"))
    t.run("-extract", "m.txt", "out", stdin=b"n\nn\n").expect(
        stdout=t.extract_progress("m.txt", "out") + overwrite_question(t.join("out", "A.TXT"))
        + lines("Skipping A.TXT", "Extracting B.TXT") + overwrite_question(t.join("out", "C.TXT"))
        + lines("Skipping C.TXT"), status=0)
    t.expect_file("out/A.TXT", b"old\r\n")
    t.expect_file("out/B.TXT", b"y\r\n")


@scenario
def control_bytes_never_reach_the_terminal(t):
    t.mkdir("out")
    for raw, shown in ((b"EVIL\x1b[2J.TXT", b"EVIL?[2J.TXT"), (b"BELL\x07\x7f", b"BELL??")):
        t.write("m.txt", member("OK.TXT", "ok") + member(raw, "x"))
        t.run("-extract", "m.txt", "out").expect(
            stdout=t.extract_progress("m.txt", "out") + lines("Extracting OK.TXT")
            + closing_block(b"Member name " + shown
                            + b" holds a character no file name may hold."), status=1)
        t.expect_files(["OK.TXT"], under="out")
        os.remove(t.path("out/OK.TXT"))
    if not t.windows:  # a file name from the command line, shown in a message
        t.run("-extract", "no\x1bsuch.txt", "out").expect(
            stdout=closing_block("File no?such.txt does not exist."), status=1)


@scenario
def trailing_dots_and_spaces_go_as_on_windows(t):
    # One result on both systems: the file as the Win32 file system writes it, the console
    # line as the header holds the name.
    t.mkdir("out/SUB")
    names = ["A.TXT ", "B.TXT.", "SUB. /C.TXT . "]
    t.write("m.txt", b"".join(member(n, n.strip()) for n in names))
    t.run("-extract", "m.txt", "out").expect(
        stdout=t.extract_progress("m.txt", "out") + lines(*("Extracting " + n for n in names)),
        status=0)
    t.expect_files(["A.TXT", "B.TXT", "SUB/C.TXT"], under="out")
    t.expect_file("out/SUB/C.TXT", b"SUB. /C.TXT .\r\n")
    # A part that nothing is left of is "." or "..", or as good as either.
    for name in ("...", "SUB/ . /X", ". "):
        t.write("m.txt", member(name, "x"))
        t.run("-extract", "m.txt", "out").expect(
            stdout=t.extract_progress("m.txt", "out")
            + closing_block(f"Member name {name} leads outside the target directory."), status=1)
    t.expect_files(["A.TXT", "B.TXT", "SUB/C.TXT"], under="out")
