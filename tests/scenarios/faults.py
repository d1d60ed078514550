"""Faults and hostile input: full devices, files other programs hold, closed standard
handles, huge and strange inputs, names that must not be written. Whatever happens: a
clear message, a non-zero status, nothing written where it must not be, nothing lost."""

import os
import subprocess
import time

from scenario_harness import ScenarioFailure, closing_block, lines, scenario

MERGED_AB = b"./       ADD   NAME=A.TXT\r\na\r\n./       ADD   NAME=B.TXT\r\nb\r\n"


def merge_head(t, mask, output):
    return lines(b"Adding files from " + t.host_path(mask), b"...............to " +
                 (t.host_path(output) if output else b""))


def write_ab(t):
    t.write("src/a.txt", b"a\r\n")
    t.write("src/b.txt", b"b\r\n")


@scenario(hosts=("posix",))
def merge_output_on_a_full_device(t):
    write_ab(t)
    mask = os.path.join("src", "*.txt")
    # The device is there, so the overwrite question comes first. It is no terminal, so it
    # takes the merged text as a pipe would, and the short text fails as it is closed.
    expected = (lines(b"Adding files from " + t.host_path(mask), b"...............to /dev/full") +
                b"Overwrite /dev/full(Yes/No)?" +
                lines("Adding A.TXT", "Adding B.TXT", "I/O error 112") +
                closing_block("Error creating /dev/full"))
    t.run("-debug", "-merge", mask, "/dev/full", stdin=b"y\n").expect(stdout=expected, status=1)


@scenario
def source_held_open_by_another_program(t):
    t.write("src/a.txt", b"a\r\n")
    t.write("old.txt", b"old bundle\r\n")
    holder = t.hold_open(os.path.join("src", "b.txt"), b"held line\r\n")
    try:
        mask = os.path.join("src", "*.txt")
        # A merge that fails leaves an old bundle as it was, and no file where there was none.
        for output, question in (("out.txt", b""), ("old.txt", b"Overwrite old.txt(Yes/No)?")):
            expected = (merge_head(t, mask, output) + question + lines("Adding A.TXT", "Adding B.TXT")
                        + lines("I/O error 32") + closing_block("Error creating " + output))
            t.run("-debug", "-merge", mask, output, stdin=b"y\n").expect(stdout=expected, status=1)
    finally:
        holder.communicate()
    t.expect_no_file("out.txt")
    t.expect_file("old.txt", b"old bundle\r\n")
    t.expect_no_temporary_files()
    t.expect_file("src/b.txt", b"held line\r\n")


@scenario
def output_held_open_by_another_program(t):
    write_ab(t)
    holder = t.hold_open("out.txt", b"theirs\r\n")
    try:
        mask = os.path.join("src", "*.txt")
        expected = (merge_head(t, mask, "out.txt") + b"Overwrite out.txt(Yes/No)?" +
                    lines("I/O error 32") + closing_block("Error creating out.txt"))
        t.run("-debug", "-merge", mask, "out.txt", stdin=b"y\n").expect(stdout=expected, status=1)
    finally:
        holder.communicate()
    t.expect_file("out.txt", b"theirs\r\n")


@scenario
def two_merges_into_one_output(t):
    # The first merge holds the old output while its progress lines fill a pipe nobody
    # reads yet; the second, started then, must give up rather than replace it.
    count = 5000
    for n in range(count):
        t.write(f"src/f{n:04d}.txt", b"line %d\r\n" % n)
    t.write("out.txt", b"old\r\n")
    expected = b"".join(b"./       ADD   NAME=F%04d.TXT\r\nline %d\r\n" % (n, n)
                        for n in range(count))
    mask = os.path.join("src", "*.txt")
    first = t.start("-merge", mask, "out.txt", stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                    stderr=subprocess.PIPE)
    try:
        first.stdin.write(b"y\n")
        first.stdin.flush()
        deadline = time.monotonic() + 120
        while (not any(f.startswith(".quillpack") for f in os.listdir(t.dir))
               and time.monotonic() < deadline):
            time.sleep(0.05)
        time.sleep(0.5)
        second = t.run("-merge", mask, "out.txt", stdin=b"y\n")
    finally:
        stdout, _ = first.communicate(b"", timeout=300)
    if first.returncode != 0 or not stdout.endswith(b"Adding F4999.TXT\r\n"):
        raise ScenarioFailure(f"the first merge ended with {first.returncode}")
    second.expect(stdout=None, status=1)
    if not second.stdout.endswith(closing_block("Error creating out.txt")):
        raise ScenarioFailure(f"the second merge said {second.stdout[-200:]!r}")
    t.expect_file("out.txt", expected)
    t.expect_no_temporary_files()


@scenario
def missing_directories(t):
    write_ab(t)
    mask = os.path.join("src", "*.txt")
    output = os.path.join("missing", "out.txt")
    expected = merge_head(t, mask, output) + lines("Invalid filename")
    t.run("-debug", "-merge", mask, output).expect(
        stdout=expected + closing_block(b"Error creating " + output.encode()), status=1)
    t.write("m.txt", MERGED_AB)
    t.run("-debug", "-extract", "m.txt", "missing").expect(
        stdout=lines(b"Extracting files from " + t.host_path("m.txt"),
                     b".................. to " + t.join("missing", b""), "Extracting A.TXT",
                     "Invalid filename") + closing_block("Error while processing m.txt"),
        status=1)
    t.expect_files(["src/a.txt", "src/b.txt", "m.txt"])


def run_with_closed(t, descriptors, *args):
    def close():
        for fd in descriptors:
            os.close(fd)
    pipes = {fd: subprocess.PIPE for fd in (1, 2) if fd not in descriptors}
    return t.run(*args, stdin=None if 0 in descriptors else b"", preexec_fn=close,
                 stdout=pipes.get(1), stderr=pipes.get(2))


@scenario(hosts=("posix",), closes_handles=True)
def closed_standard_handles(t):
    # A closed descriptor is held by a placeholder, so no file the tool opens can land on
    # it; the standard handle itself still fails.
    write_ab(t)
    mask = os.path.join("src", "*.txt")
    cases = [((0,), 0), ((2,), 0), ((1,), 1), ((1, 2), 1), ((0, 1, 2), 1)]
    for descriptors, status in cases:
        result = run_with_closed(t, descriptors, "-merge", mask, "out.txt")
        if result.status != status:
            raise ScenarioFailure(f"closed {descriptors}: exit status {result.status}")
        if status == 0:
            t.expect_file("out.txt", MERGED_AB)
            os.remove(t.path("out.txt"))
        else:
            t.expect_no_file("out.txt")


@scenario(hosts=("posix",), closes_handles=True)
def closed_standard_input_at_a_question(t):
    question = b"Action not specified.(Merge/Extract/Cancel)?"
    # No terminal is there to press Enter at, so the pause reads nothing and fails nothing.
    run_with_closed(t, (0,), "a", "b").expect(stdout=question + closing_block("I/O error 104"),
                                              stderr=b"", status=1)


@scenario(heavy=True)
def merged_file_with_one_huge_line(t):
    t.mkdir("o")
    for name, data, extracted in (
            ("member.m", b"x" * 100_000_000, []),
            ("header.m", b">>>>>>>>>> " + b"N" * 100_000_000, ["N" * 120])):
        t.write(name, data)
        lines_out = [b"Extracting files from " + t.host_path(name),
                     b".................. to " + t.join("o", b"")]
        lines_out += [b"Extracting " + n.encode() for n in extracted]
        # A file of no header is no merged file.
        no_header = b"" if extracted else lines(f"No member header found in {name}; it is no "
                                                "merged file.")
        t.run("-extract", name, "o").expect(stdout=lines(*lines_out), stderr=no_header,
                                            status=0 if extracted else 1)
        os.remove(t.path(name))
    t.expect_files(["N" * 120], under="o")
    t.expect_file(os.path.join("o", "N" * 120), b"")


@scenario(hosts=("posix",), heavy=True)
def merged_file_with_many_members(t):
    count = 100_000
    t.write("many.m", b"".join(b">>>>>>>>>> F%d.TXT\r\nline %d\n" % (n, n) for n in range(count)))
    t.mkdir("o")
    result = t.run("-extract", "many.m", "o", timeout=600)
    result.expect(stderr=b"", status=0)
    if result.stdout.count(b"\r\nExtracting F") != count:
        raise ScenarioFailure("not every member was extracted")
    if len(os.listdir(t.path("o"))) != count:
        raise ScenarioFailure("not every file is there")
    t.expect_file(os.path.join("o", "F99999.TXT"), b"line 99999\r\n")


@scenario(hosts=("posix",), heavy=True)
def directory_with_many_files(t):
    count = 50_000
    for n in range(count):
        t.write(f"src/f{n:05d}.txt", b"%d\n" % n)
    result = t.run("-merge", os.path.join("src", "*.txt"), "out.txt", timeout=600)
    result.expect(stderr=b"", status=0)
    merged = t.read("out.txt")
    expected = b"".join(b"./       ADD   NAME=F%05d.TXT\r\n%d\r\n" % (n, n) for n in range(count))
    if merged != expected:
        raise ScenarioFailure("the merged file is not every file in order")


@scenario(hosts=("posix",))
def long_and_unusual_names(t):
    # 120 bytes is as long as a header keeps a name.
    names = [b"n" * 116 + b".txt", b"caf\xe9 au lait.txt", b"two  spaces .txt"]
    os.makedirs(t.path("src"))
    for name in names:
        with open(os.path.join(t.path("src").encode(), name), "wb") as f:
            f.write(name + b"\r\n")
    t.run("-merge", os.path.join("src", "*.txt"), "m.txt").expect(stderr=b"", status=0)
    t.mkdir("o")
    t.run("-extract", "m.txt", "o").expect(stderr=b"", status=0)
    for name in names:
        upper = bytes(c - 32 if 97 <= c <= 122 else c for c in name)[:120]
        with open(os.path.join(t.path("o").encode(), upper), "rb") as f:
            if f.read() != name + b"\r\n":
                raise ScenarioFailure(f"{upper!r} does not hold its line")


@scenario
def paths_past_the_limit(t):
    too_long = ("d" * 300 if t.windows else "d/" * 2100) + "*.txt"
    t.run("-merge", too_long, "out.txt").expect(
        stdout=closing_block(f"Path {too_long} is too long or cannot be resolved."), status=1)
    # A target directory near the limit and a name that takes it past.
    t.write("m.txt", b">>>>>>>>>> " + b"A" * 120 + b"\r\nline\r\n")
    target = "t" * 150 if t.windows else "t/" * 1985
    result = t.run("-extract", "m.txt", target)
    result.expect(status=1, stdout=None)
    message = closing_block("Member name " + "A" * 120 + " makes the path too long.")
    if not result.stdout.endswith(message):
        raise ScenarioFailure(f"standard output {result.stdout[-300:]!r}")
    t.expect_files(["m.txt"])


@scenario(hosts=("posix",))
def extract_never_writes_through_links(t):
    t.write("outside.txt", b"keep me\r\n")
    t.mkdir("elsewhere")
    t.mkdir("t")
    os.symlink(os.path.join("..", "outside.txt"), t.path("t/A.TXT"))
    os.symlink(os.path.join("..", "elsewhere"), t.path("t/SUB"))
    t.write("m.txt", b">>>>>>>>>> A.TXT\r\nnew\r\n>>>>>>>>>> SUB/X.TXT\r\nx\r\n")
    target = os.path.join("t", "")
    expected = (lines(b"Extracting files from " + t.host_path("m.txt"),
                      b".................. to " + target.encode()) +
                b"Overwrite  [t/A.TXT] (Yes/No/All/Cancel)?" + lines("Extracting A.TXT") +
                closing_block("Member name SUB/X.TXT passes through a symbolic link."))
    t.run("-extract", "m.txt", target, stdin=b"y\n").expect(stdout=expected, status=1)
    if os.path.islink(t.path("t/A.TXT")):
        raise ScenarioFailure("t/A.TXT is still a link")
    t.expect_file("t/A.TXT", b"new\r\n")
    t.expect_file("outside.txt", b"keep me\r\n")
    t.expect_files([], under="elsewhere")


@scenario(hosts=("windows",))
def extract_refuses_names_windows_keeps_for_itself(t):
    t.mkdir("o")
    cases = [(b"CON", b" names a device."), (b"sub\\nul.txt", b" names a device."),
             (b"LPT1.LOG", b" names a device."), (b"NUL. ", b" names a device."),
             (b"A*B", b" holds a character no file name may hold.")]
    for name, problem in cases:
        t.write("m.txt", b">>>>>>>>>> " + name + b"\r\nline\r\n")
        t.run("-extract", "m.txt", "o").expect(
            stdout=lines(b"Extracting files from " + t.host_path("m.txt"),
                         b".................. to o\\") +
            closing_block(b"Member name " + name + problem), status=1)
    t.expect_files([], under="o")
