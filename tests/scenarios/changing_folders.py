"""Folders that other programs share or change while the tool runs: every No kept, nothing
replaced half way, no source read that is not the one listed, and every question shown
before its answer is read."""

import contextlib
import os
import signal
import stat
import subprocess
import time

from scenario_harness import (CANCELLED, ScenarioFailure, closing_block, end_process, lines,
                              member, overwrite_question, refused_names, scenario)
from scenarios.terminal import PATIENCE, read_exactly, wait_until_reading_input


@scenario
def a_no_makes_no_file(t):
    # A first line that looks like a header, behind a member that is skipped, is read as
    # it is read behind one that is written: as the member's first line.
    for first in (b">>>>>>>>>>>>>>>>>>>> Section 1", b"./docs/setup.md"):
        for d in ("s", "o"):
            t.mkdir(d)
            for name in os.listdir(t.path(d)):
                os.remove(t.path(os.path.join(d, name)))
        t.write("s/notes.txt", first + b"\nbody\n")
        t.write("s/z.txt", b"x\n")
        t.run("-merge", "s", "m.txt", stdin=b"y\n").expect(stdout=None, status=0)
        t.write("o/NOTES.TXT", b"mine\r\n")
        t.run("-extract", "m.txt", "o", stdin=b"n\n").expect(
            stdout=t.extract_progress("m.txt", "o")
            + overwrite_question(t.join("o", "NOTES.TXT")) + lines("Skipping NOTES.TXT",
                                                                   "Extracting Z.TXT"), status=0)
        t.expect_files(["NOTES.TXT", "Z.TXT"], under="o")
        t.expect_file("o/NOTES.TXT", b"mine\r\n")
    # A skipped empty member still leaves the next one to be extracted.
    t.write("m.txt", member("E.TXT") + member("F.TXT", "f"))
    t.write("o/E.TXT", b"mine\r\n")
    t.run("-extract", "m.txt", "o", stdin=b"n\n").expect(
        stdout=t.extract_progress("m.txt", "o") + overwrite_question(t.join("o", "E.TXT"))
        + lines("Skipping E.TXT", "Extracting F.TXT"), status=0)
    t.expect_file("o/F.TXT", b"f\r\n")


@contextlib.contextmanager
def merge_waiting_at_its_question(t, *args):
    """Starts a merge of src into out.txt that waits at the overwrite question; yields the
    process once the question has arrived."""
    t.write("out.txt", b"old\r\n")
    process = t.start("-merge", *args, "src", "out.txt", stdin=subprocess.PIPE,
                      stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        asked = t.merge_progress("src/*.*", "out.txt") + b"Overwrite out.txt(Yes/No)?"
        if read_exactly(process.stdout.fileno(), len(asked)) != asked:
            raise ScenarioFailure("the question did not come")
        wait_until_reading_input(process)
        yield process
    finally:
        end_process(process)


@scenario(hosts=("posix",))
def sources_swapped_during_the_question(t):
    t.write("elsewhere.txt", b"not listed\n")
    swaps = [("a FIFO", lambda path: os.mkfifo(path)),
             ("a link to an endless device", lambda path: os.symlink("/dev/zero", path)),
             ("a link to another file", lambda path: os.symlink(t.path("elsewhere.txt"), path))]
    for what, swap in swaps:
        for name, data in (("a.txt", b"a\n"), ("b.txt", b"b\n"), ("c.txt", b"c\n")):
            t.write("src/" + name, data)
        with merge_waiting_at_its_question(t) as process:
            os.remove(t.path("src/b.txt"))
            swap(t.path("src/b.txt"))
            try:
                out, err = process.communicate(b"y\n", timeout=PATIENCE)
            except subprocess.TimeoutExpired:
                raise ScenarioFailure(f"hung on {what}")
        if (out, err, process.returncode) != (
                lines("Adding A.TXT", "Adding C.TXT"),
                lines("Leaving out b.txt: it was replaced after it was listed."), 1):
            raise ScenarioFailure(f"{what}: {out!r}, {err!r}, status {process.returncode}")
        t.expect_file("out.txt", member("A.TXT", "a") + member("C.TXT", "c"))
        os.remove(t.path("src/b.txt"))
    # A source that went meanwhile is left out alike.
    t.write("src/b.txt", b"b\n")
    with merge_waiting_at_its_question(t) as process:
        os.remove(t.path("src/b.txt"))
        out, err = process.communicate(b"y\n", timeout=PATIENCE)
    if (err, process.returncode) != (lines("Leaving out b.txt: it is no longer there."), 1):
        raise ScenarioFailure(f"a source gone: {err!r}, status {process.returncode}")


@scenario
def a_source_replaced_by_another_file_is_left_out(t):
    for name, data in (("a.txt", b"a\n"), ("b.txt", b"b\n")):
        t.write("src/" + name, data)
    t.write("other.txt", b"never listed\n")
    t.write("out.txt", b"old\r\n")
    process = t.start("-merge", "src", "out.txt", stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                      stderr=subprocess.PIPE)
    try:
        asked = t.merge_progress("src/*.*", "out.txt") + b"Overwrite out.txt(Yes/No)?"
        if read_exactly(process.stdout.fileno(), len(asked)) != asked:
            raise ScenarioFailure("the question did not come")
        os.replace(t.path("other.txt"), t.path("src/b.txt"))
        out, err = process.communicate(b"y\n", timeout=PATIENCE)
    finally:
        end_process(process)
    if (out, err, process.returncode) != (
            lines("Adding A.TXT"), lines("Leaving out b.txt: it was replaced after it was listed."),
            1):
        raise ScenarioFailure(f"{out!r}, {err!r}, status {process.returncode}")
    t.expect_file("out.txt", member("A.TXT", "a"))


@scenario(hosts=("posix",))
def source_that_changes_while_it_is_read(t):
    # The merged text goes to a pipe read only once the source has been cut short: the
    # merge is stalled half way through it meanwhile.
    big = b"".join(b"%08d some text of a line\n" % n for n in range(400000))
    t.write("src/big.txt", big)
    t.write("src/small.txt", b"s\n")
    process = t.start("-merge", "src/*.txt", stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                      stderr=subprocess.PIPE)
    try:
        head = read_exactly(process.stdout.fileno(), 1000)
        time.sleep(0.5)
        os.truncate(t.path("src/big.txt"), 100000)
        out, err = process.communicate(timeout=PATIENCE)
        out = head + out
    finally:
        end_process(process)
    if not err.endswith(lines("Warning: BIG.TXT changed while it was read.", "Adding SMALL.TXT")):
        raise ScenarioFailure(f"error output ends {err[-300:]!r}")
    if process.returncode != 1 or not out.endswith(member("SMALL.TXT", "s")):
        raise ScenarioFailure(f"status {process.returncode}")
    # Cut short while it is read, a source ends where the cut took it, and the merged file
    # stays whole.
    t.write("m.txt", out)
    t.mkdir("out")
    t.run("-extract", "m.txt", "out").expect(stdout=None, status=0)
    t.expect_files(["BIG.TXT", "SMALL.TXT"], under="out")
    got = t.read("out/BIG.TXT")
    whole_lines = got[:got.rfind(b"\r\n", 0, len(got) - 2) + 2]
    if len(got) >= len(big) or not big.replace(b"\n", b"\r\n").startswith(whole_lines):
        raise ScenarioFailure("what was merged of the cut source is not its start")


def merged_lines(text):
    """The lines of `text` as the merge writes them: each ended by CR LF."""
    return b"".join(line + b"\r\n" for line in text.splitlines())


@scenario(hosts=("posix",))
def a_source_cut_mid_page_adds_no_byte(t):
    """Another program cuts a large source short while it is merged, at points inside a
    page: the bundle holds the source's lines up to the cut and not one byte more, and the
    run warns and ends with status 1. The merge is first held at the start of the source by
    a pipe nobody reads, so that the cut lies ahead of it; then cuts race free runs."""
    big = b"".join(b"%08d some text of a line\n" % n for n in range(160000))  # 4.2 MB
    t.write("src/small.txt", b"s\n")
    changed = lines("Warning: BIG.TXT changed while it was read.", "Adding SMALL.TXT")
    for run in range(8):
        cut = (run + 1) * 400000 + 1 + run * 509  # past what the held merge can have read
        t.write("src/big.txt", big)
        process = t.start("-merge", "src/*.txt", stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            head = read_exactly(process.stdout.fileno(), 1000)
            os.truncate(t.path("src/big.txt"), cut)
            out, err = process.communicate(timeout=PATIENCE)
            out = head + out
        finally:
            end_process(process)
        expected = member("BIG.TXT") + merged_lines(big[:cut]) + member("SMALL.TXT", "s")
        if out != expected:
            at = next((i for i, (a, b) in enumerate(zip(out, expected)) if a != b), None)
            nuls = out.count(b"\0")
            raise ScenarioFailure(f"cut at {cut}: {len(out)} bytes merged, {len(expected)} "
                                  f"expected, first difference at {at}, {nuls} NUL bytes")
        if (err.endswith(changed), process.returncode) != (True, 1):
            raise ScenarioFailure(f"cut at {cut}: status {process.returncode}, {err[-300:]!r}")
    # Free races: wherever the cut falls, before, during or after the read, the member is
    # a start of the source's lines.
    whole = merged_lines(big)
    for run in range(12):
        t.write("src/big.txt", big)
        with contextlib.suppress(FileNotFoundError):
            os.remove(t.path("m.txt"))
        process = t.start("-merge", "src/*.txt", "m.txt", stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            time.sleep(run * 0.003)
            os.truncate(t.path("src/big.txt"), 1000000 + run * 100003)
            process.wait(timeout=PATIENCE)
        finally:
            end_process(process)
        merged = t.read("m.txt")
        got = merged[len(member("BIG.TXT")):merged.rfind(member("SMALL.TXT", "s"))]
        whole_lines = got[:got.rfind(b"\r\n", 0, len(got) - 2) + 2]
        if b"\0" in merged or not whole.startswith(whole_lines):
            raise ScenarioFailure(f"race {run}: the member is not a start of the source")


@scenario(hosts=("posix",), heavy=True)
def racing_hard_link_is_never_overwritten(t):
    """Another program keeps adding a hard link to a file outside at the target's name and
    taking it away again, while extracts that answer No to every question run: whatever
    the extract finds, nothing the user declined is ever written."""
    t.write("outside/v", "orig\r\n")
    t.mkdir("out")
    t.write("m.txt", member("A.TXT", "new"))
    racer = subprocess.Popen(
        t.helper_command("swap_link", [t.path("outside/v"), t.path("out/A.TXT"), "hard"]),
        stdout=subprocess.PIPE)
    try:
        if racer.stdout.readline() != b"swapping\n":
            raise ScenarioFailure("the link racer did not start")
        for run in range(150):
            result = t.run("-extract", "m.txt", "out", stdin=b"n\n" * 4)
            if result.status != 0 or result.stderr:
                raise ScenarioFailure(f"run {run}: status {result.status}, {result.stderr!r}")
            if t.read("outside/v") != b"orig\r\n":
                raise ScenarioFailure(f"run {run} wrote over a file it was told to skip")
            # A run that found the name free made a file of its own: out of the race's way.
            with contextlib.suppress(FileNotFoundError):
                if os.stat(t.path("out/A.TXT")).st_nlink == 1:
                    os.remove(t.path("out/A.TXT"))
    finally:
        racer.kill()
        racer.wait()
        racer.stdout.close()


@scenario
def a_replaced_file_keeps_its_other_names(t):
    t.write("snapshot/A.TXT", b"old\r\n")
    t.mkdir("out")
    os.link(t.path("snapshot/A.TXT"), t.path("out/A.TXT"))
    if not t.windows:
        os.chmod(t.path("out/A.TXT"), 0o640)
    t.write("m.txt", member("A.TXT", "new"))
    t.run("-extract", "m.txt", "out", stdin=b"y\n").expect(
        stdout=t.extract_progress("m.txt", "out") + overwrite_question(t.join("out", "A.TXT"))
        + lines("Extracting A.TXT"), status=0)
    t.expect_file("out/A.TXT", b"new\r\n")
    t.expect_file("snapshot/A.TXT", b"old\r\n")
    t.expect_no_temporary_files()
    if not t.windows and stat.S_IMODE(os.stat(t.path("out/A.TXT")).st_mode) != 0o640:
        raise ScenarioFailure("the permission bits were not kept")


@contextlib.contextmanager
def small_device(t, name):
    """A 1 MB file system at `name`, or None where this machine cannot mount one."""
    path = t.path(name)
    os.makedirs(path)
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", path],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
    try:
        yield path if mounted else None
    finally:
        if mounted:
            subprocess.run(["umount", path])


@scenario(hosts=("posix",))
def a_full_disk_leaves_the_old_file_whole(t):
    with small_device(t, "small") as device:
        if device is None:
            print("cannot mount a small file system here: the scenario is left out")
            return
        old = b"old line\r\n" * 50000  # 500 KB: the new file beside it cannot be whole
        t.write("small/A.TXT", old)
        t.write("small/m.txt", old)
        t.write("big.txt", member("A.TXT", *[b"new line %d" % n for n in range(60000)]))
        t.run("-extract", "big.txt", "small", stdin=b"y\n").expect(
            stdout=t.extract_progress("big.txt", "small") + overwrite_question(
                t.join("small", "A.TXT")) + lines("Extracting A.TXT")
            + closing_block("Error while processing big.txt"),
            stderr=lines("No space left to replace A.TXT; the old file is kept."), status=1)
        t.write("src/big.txt", b"new line\n" * 60000)
        t.run("-merge", "src", "small/m.txt", stdin=b"y\n").expect(
            stdout=t.merge_progress("src/*.*", "small/m.txt") + b"Overwrite small/m.txt(Yes/No)?"
            + lines("Adding BIG.TXT") + closing_block("Error creating small/m.txt"),
            stderr=lines("No space left to replace small/m.txt; the old file is kept."), status=1)
        t.expect_file("small/A.TXT", old)
        t.expect_file("small/m.txt", old)
        t.expect_no_temporary_files()


@scenario(hosts=("posix",), heavy=True)
def terminated_during_a_replacement(t):
    old = b"old\r\n"
    new = [b"new line %d" % n for n in range(2000000)]
    whole = lines(*new)
    t.write("m.txt", member("A.TXT", *new))
    for delay in (0.05, 0.1, 0.2, 0.4):
        t.write("out/A.TXT", old)
        process = t.start("-extract", "m.txt", "out", stdin=subprocess.PIPE,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            process.stdin.write(b"y\n")
            process.stdin.flush()
            time.sleep(delay)
            process.send_signal(signal.SIGTERM)
            process.wait(PATIENCE)
        finally:
            end_process(process)
        if t.read("out/A.TXT") not in (old, whole):
            raise ScenarioFailure(f"after {delay} s out/A.TXT is neither old nor new")
        for name in os.listdir(t.path("out")):
            if name.startswith(".quillpack"):
                os.remove(t.path("out/" + name))


@scenario(hosts=("posix",))
def names_that_cannot_come_back(t):
    t.write("out.txt", b"old\r\n")
    refusals = [(["a", "a."], "a.", "ends in a dot or a space, which an extract would drop."),
                (["b "], "b ", "ends in a dot or a space, which an extract would drop."),
                (["n" * 121], "n" * 121, "is longer than the 120 bytes a member header keeps.")]
    for names, refused, why in refusals:
        for d in ("src",):
            t.mkdir(d)
            for name in os.listdir(t.path(d)):
                os.remove(t.path(os.path.join(d, name)))
        for name in names:
            t.write("src/" + name, b"x\n")
        stderr, closing = refused_names(f"File name {refused} {why}")
        t.run("-merge", "src", "out.txt", stdin=b"y\n").expect(
            stdout=t.merge_progress("src/*.*", "out.txt") + closing, stderr=stderr, status=1)
        t.expect_file("out.txt", b"old\r\n")
