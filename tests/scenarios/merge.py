"""Merging the files of a directory into one merged file."""

import os
import shutil
import subprocess

from scenario_harness import (ACTION_QUESTION, ARROW, PLAIN, ScenarioFailure, closing_block,
                              lines, member, refused_names, scenario, written_pieces)

NO_MATCH = closing_block(b"No files matched.")
EXAMPLES = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(
    __file__)))), "examples")


@scenario
def merge_two_files_in_both_header_styles(t):
    t.write("src/a.txt", "x\r\ny\r\n")
    t.write("src/b.txt", "z\r\n")
    for options, out, header in (([], "plain.txt", PLAIN), (["-nice"], "arrow.txt", ARROW)):
        t.run("-merge", *options, "src/*.txt", out).expect(
            stdout=t.merge_progress("src/*.txt", out) + lines("Adding A.TXT", "Adding B.TXT"),
            status=0)
        t.expect_file(out, member("A.TXT", "x", "y", header=header)
                      + member("B.TXT", "z", header=header))
        # Exactly five lines: the header prefixes are the whole of the structure.
        assert t.read(out).count(b"\r\n") == 5


@scenario
def merge_sorts_names_ignoring_case_and_upper_cases_them(t):
    for name in ("b.txt", "A.txt", "c.TXT", "a.b"):
        t.write("src/" + name, name + "\n")
    t.run("-merge", "src/*", "o.txt").expect(
        stdout=t.merge_progress("src/*", "o.txt")
        + lines("Adding A.B", "Adding A.TXT", "Adding B.TXT", "Adding C.TXT"), status=0)
    t.expect_file("o.txt", member("A.B", "a.b") + member("A.TXT", "A.txt")
                  + member("B.TXT", "b.txt") + member("C.TXT", "c.TXT"))


@scenario
def merge_reads_sources_by_the_line_rules(t):
    # The reader's buffer holds 128 bytes: put a CR LF and a lone CR across its edges. A NUL
    # would make the file binary.
    long_line = bytes(b for b in range(256) if b not in (0, 10, 13, 26)) * 4
    sources = [
        ("blank.txt", b"\r\n\r\n", [b"", b""]),
        ("boundary.txt", b"p" * 127 + b"\r\n" + b"q" * 126 + b"\rr\n" + long_line + b"\r\n"
         + b"s" * 100 + b"\x1anever\r\n", [b"p" * 127, b"q" * 126 + b"r", long_line, b"s" * 100]),
        ("ctrlz.txt", b"abc\x1adef\r\nghi\r\n", [b"abc"]),
        ("empty.txt", b"", []),
        ("ends.txt", b"lf\ncrlf\r\nlone\rcr\r\nlast", [b"lf", b"crlf", b"lonecr", b"last"]),
        ("lonecr.txt", b"a\r", [b"a"]),
    ]
    for name, data, _ in sources:
        t.write("src/" + name, data)
    # What the rules drop cannot come back: the merge says so, file by file, and fails.
    lone_cr = "holds a CR that no LF follows, which is dropped."
    t.run("-merge", "src/*.txt", "o.txt").expect(
        stdout=t.merge_progress("src/*.txt", "o.txt")
        + lines(*(b"Adding " + n.upper().encode() for n, _, _ in sources)),
        stderr=lines("Warning: BOUNDARY.TXT line 4 holds a Ctrl-Z; the bytes after it are not "
                     "merged.", f"Warning: BOUNDARY.TXT line 2 {lone_cr}",
                     "Warning: CTRLZ.TXT line 1 holds a Ctrl-Z; the bytes after it are not "
                     "merged.", f"Warning: ENDS.TXT line 3 {lone_cr}",
                     f"Warning: LONECR.TXT line 1 {lone_cr}"), status=1)
    t.expect_file("o.txt", b"".join(member(n.upper(), *ls) for n, _, ls in sources))


@scenario
def merge_warns_about_lines_that_read_back_as_headers(t):
    install = b"".join(b"step %d\r\n" % n for n in range(1, 12)) + b"./configure\r\nmake\r\n"
    sources = [
        ("INSTALL", install, "12"),
        ("first.txt", b"./configure\r\n>>>>>>>>>>x\r\n", "2"),  # a first line stays a line
        ("written.txt", PLAIN + b"X\r\nx\r\n", "1"),  # unless the merge could have written it
        ("hidden.txt", b"a\r\n>>>>>\r>>>>> B\r\n", "2"),  # the reader drops the CR
        ("last.txt", b"all of it\r\n\x1a", None),  # a final Ctrl-Z loses nothing
    ]
    for name, data, _ in sources:
        t.write("src/" + name, data)
    expected = [f"Warning: {n.upper()} line {line} will read back as a member header; "
                "-escape keeps it a line."
                for n, _, line in sorted(sources, key=lambda s: s[0].lower()) if line]
    expected.insert(2, "Warning: HIDDEN.TXT line 2 holds a CR that no LF follows, which is "
                    "dropped.")
    result = t.run("-merge", "src/*", "o.txt").expect(stdout=None, stderr=lines(*expected),
                                                      status=1)
    # The merged file is written as ever.
    t.expect_file("o.txt", b"".join(member(n.upper(), *d.replace(b"\r\n", b"\n").replace(
        b"\r", b"").replace(b"\x1a", b"").split(b"\n")[:-1]) for n, d, _ in
        sorted(sources, key=lambda s: s[0].lower())))
    assert result.stdout.endswith(lines("Adding WRITTEN.TXT"))
    # Clean sources give no word and succeed.
    shutil.copytree(EXAMPLES, t.path("examples"))
    t.run("-merge", "examples", "e.txt").expect(stdout=None, stderr=b"", status=0)


@scenario(hosts=("posix",))
def merge_a_file_of_short_reads_whole(t):
    # Files of /proc report the size 0 and give a page or so per read.
    with open("/proc/kallsyms", "rb") as f:
        data = f.read()
    source_lines = data.split(b"\n")[:-1] if data.endswith(b"\n") else data.split(b"\n")
    if len(source_lines) < 1000:
        raise ScenarioFailure(f"/proc/kallsyms holds only {len(source_lines)} lines")
    t.run("-merge", "/proc/kallsyms", "k.txt").expect(
        stdout=t.merge_progress("/proc/kallsyms", "k.txt") + lines("Adding KALLSYMS"), status=0)
    merged_lines = t.read("k.txt").count(b"\r\n") - 1
    if merged_lines != len(source_lines):
        raise ScenarioFailure(f"{merged_lines} of {len(source_lines)} lines merged")
    t.expect_file("k.txt", member("KALLSYMS", *source_lines))


@scenario
def merge_passes_over_hidden_files_and_directories(t):
    t.write("src/a.txt", "x\n")
    t.write("src/.hidden.txt", "h\n")
    t.write("src/sub.txt/inner.txt", "i\n")
    if not t.windows:
        os.mkfifo(t.path("src/fifo.txt"))  # neither a file nor a directory: a system entry
    # Counted at the end, the status unchanged.
    passed = "1 hidden name" + ("" if t.windows else ", 1 file that is not regular")
    t.run("-merge", "src/*", "o.txt").expect(
        stdout=t.merge_progress("src/*", "o.txt") + lines("Adding A.TXT"),
        stderr=lines(f"Passed over: {passed}."), status=0)
    t.expect_file("o.txt", member("A.TXT", "x"))


@scenario
def merge_with_nothing_to_merge(t):
    t.write("src/a.txt", "x\n")
    t.write("only/.hidden", "h\n")
    t.mkdir("only/sub")
    # A directory stands for its files (directories.py); a name that is missing, or a file
    # followed by a delimiter, matches nothing.
    # What was passed over is said before the closing block.
    hidden = lines("Passed over: 1 hidden name.")
    for mask in ("nowhere/*.txt", "nowhere", "src/*.md", "only/*"):
        t.run("-merge", mask, "o.txt").expect(
            stdout=t.merge_progress(mask, "o.txt") + NO_MATCH,
            stderr=hidden if mask.startswith("only") else b"", status=1)
        t.expect_no_file("o.txt")
    for path in ("only", "src/a.txt/"):
        mask = t.join(*path.rstrip("/").split("/"), "*.*")
        t.run("-merge", path, "o.txt").expect(
            stdout=lines(b"Adding files from " + t.host_path() + t.sep + mask,
                         b"...............to " + t.host_path("o.txt")) + NO_MATCH,
            stderr=hidden if path == "only" else b"", status=1)
        t.expect_no_file("o.txt")


@scenario
def merge_to_standard_output(t):
    """Without an output path the merged text goes to standard output. When that is a pipe
    or a file, it holds the merged file alone: the run's own lines, the action question
    with them, go to the error output."""
    t.write("small/a.txt", "x\r\ny\r\n")
    t.write("small/b.txt", "z\r\n")
    for n in range(8):  # more than 128 bytes of "Adding " lines and of merged text
        t.write(f"big/f{n}.txt", "".join(f"line {n}.{i} " + "=" * (10 * i) + "\r\n"
                                         for i in range(n)))
    for directory in ("small", "big"):
        mask = directory + "/*.txt"
        names = sorted(os.listdir(t.path(directory)))
        merged = b"".join(member(n.upper(), *t.read(f"{directory}/{n}").splitlines())
                          for n in names)
        progress = t.merge_progress(mask) + lines(*(b"Adding " + n.upper().encode()
                                                    for n in names))
        t.run("-merge", mask).expect(stdout=merged, stderr=progress, status=0)
        t.run(mask, stdin=b"m\r\n").expect(stdout=merged, stderr=ACTION_QUESTION + progress,
                                            status=0)
        with open(t.path(directory + ".m"), "wb") as out:
            t.run("-merge", mask, stdout=out).expect(stderr=progress, status=0)
        t.mkdir("x-" + directory)
        t.run("-extract", directory + ".m", "x-" + directory).expect(
            stdout=t.extract_progress(directory + ".m", "x-" + directory)
            + lines(*(b"Extracting " + n.upper().encode() for n in names)), status=0)
        for n in names:
            t.expect_file(f"x-{directory}/{n.upper()}", t.read(f"{directory}/{n}"))
    # A failure's closing block goes the same way.
    t.run("-merge", "nowhere/*.txt").expect(
        stdout=b"", stderr=t.merge_progress("nowhere/*.txt") + NO_MATCH, status=1)


def bulk_lines(n, count):
    """Lines of every length up to a few hundred bytes, CR LF and LF ends taking turns, and
    one line longer than the blocks the merged text moves in."""
    body = [b"%d.%d " % (n, k) + b"=" * (k * 37 % 300) for k in range(count)]
    body[count // 2] = b"long %d " % n + b"~" * 150000
    return body


def write_bulk(t, directory, counts):
    """Files whose merged text runs over several blocks and ends in none of their edges."""
    for n, count in enumerate(counts):
        ends = (b"\r\n", b"\n")
        t.write(f"{directory}/f{n}.txt",
                b"".join(line + ends[k % 2] for k, line in enumerate(bulk_lines(n, count))))


@scenario
def merge_to_a_pipe_or_a_redirected_file_gives_the_named_file(t):
    """The merged text leaves in large blocks through a pipe and into a file the shell
    opened, and arrives as the merge to a named file writes it."""
    write_bulk(t, "src", (900, 1, 2500))
    merged = b"".join(member(f"F{n}.TXT", *bulk_lines(n, count))
                      for n, count in enumerate((900, 1, 2500)))
    adding = lines("Adding F0.TXT", "Adding F1.TXT", "Adding F2.TXT")
    t.run("-merge", "src/*.txt", "named.txt").expect(
        stdout=t.merge_progress("src/*.txt", "named.txt") + adding, status=0)
    t.expect_file("named.txt", merged)
    progress = t.merge_progress("src/*.txt") + adding
    t.run("-merge", "src/*.txt").expect(stdout=merged, stderr=progress, status=0)
    t.run_into_file("redirected.txt", "-merge", "src/*.txt").expect(
        stdout=b"", stderr=progress, status=0)
    t.expect_file("redirected.txt", merged)


@scenario
def merge_to_standard_output_stopped_by_a_source_held_open(t):
    """A failure part way leaves what 128-byte transfers would have given, through a pipe
    and in a file the shell opened alike: the whole 128-byte pieces of what was written."""
    write_bulk(t, "src", (700, 300))
    t.write("src/f3.txt", b"never reached\r\n")
    before = (member("F0.TXT", *bulk_lines(0, 700)) + member("F1.TXT", *bulk_lines(1, 300))
              + lines(PLAIN + b"F2.TXT"))
    if len(before) % 128 == 0 or len(before) < 2 * 128 * 1024:
        raise ScenarioFailure("the merged text must end past a block and inside a piece")
    expected_stderr = (t.merge_progress("src/*.txt")
                       + lines("Adding F0.TXT", "Adding F1.TXT", "Adding F2.TXT", "I/O error 32")
                       + closing_block("Error creating "))
    holder = t.hold_open(os.path.join("src", "f2.txt"), b"held line\r\n")
    try:
        t.run("-debug", "-merge", "src/*.txt").expect(
            stdout=written_pieces(before), stderr=expected_stderr, status=1)
        t.run_into_file("redirected.txt", "-debug", "-merge", "src/*.txt").expect(
            stdout=b"", stderr=expected_stderr, status=1)
    finally:
        holder.communicate()
    t.expect_file("redirected.txt", written_pieces(before))


def left_out(name):
    return lines(f"Leaving out {name}: it is the merge's own output.")


@scenario
def merge_output_among_its_own_sources(t):
    # The output is told by what it is, whatever name leads to it, and before it is emptied.
    t.write("src/a.txt", "".join(f"{i:02} " + "a" * 37 + "\n" for i in range(5)))
    t.write("src/b.txt", "z\n")
    merged = member("A.TXT", *t.read("src/a.txt").splitlines()) + member("B.TXT", "z")
    for output in ("src/out.txt", t.join("src", "..", "src", "out.txt").decode()):
        t.write("src/out.txt", "old\r\n")
        t.run("-merge", "src/*.txt", output, stdin=b"y\r\n").expect(
            stdout=t.merge_progress("src/*.txt", "src/out.txt")  # the full path is folded
            + f"Overwrite {output}(Yes/No)?".encode() + lines("Adding A.TXT", "Adding B.TXT"),
            stderr=left_out("out.txt"), status=0)
        t.expect_file("src/out.txt", merged)
    # Nothing left to merge: the old output stays.
    t.run("-merge", "src/out.txt", "src/out.txt").expect(
        stdout=t.merge_progress("src/out.txt", "src/out.txt") + NO_MATCH,
        stderr=left_out("out.txt"), status=1)
    t.expect_file("src/out.txt", merged)


@scenario
def merge_again_into_the_same_folder(t):
    t.write("d/a.txt", "a\r\n")
    t.write("d/b", "b\r\n")
    merged = member("A.TXT", "a") + member("B", "b")
    progress = t.merge_progress("d/*.*", "d/all.txt")
    t.run("-merge", "*.*", "all.txt", cwd=t.path("d")).expect(
        stdout=progress + lines("Adding A.TXT", "Adding B"), status=0)
    t.expect_file("d/all.txt", merged)
    t.run("-merge", "*.*", "all.txt", cwd=t.path("d"), stdin=b"y\r\n").expect(
        stdout=progress + b"Overwrite all.txt(Yes/No)?" + lines("Adding A.TXT", "Adding B"),
        stderr=left_out("all.txt"), status=0)
    t.expect_file("d/all.txt", merged)
    # Standard output led into the folder by the shell: the file is there before the merge.
    # A merged file among the sources cannot come back as it was: its first line is a
    # header as the merge writes it.
    t.run_into_file("d/z.txt", "-merge", "d/*.*").expect(
        stdout=b"", stderr=t.merge_progress("d/*.*") + left_out("z.txt")
        + lines("Adding A.TXT", "Adding ALL.TXT",
                "Warning: ALL.TXT line 1 will read back as a member header; -escape keeps it a "
                "line.", "Adding B"),
        status=1)
    t.expect_file("d/z.txt", member("A.TXT", "a") + member("ALL.TXT", *merged.splitlines())
                  + member("B", "b"))


@scenario
def merge_failure_with_and_without_debug(t):
    t.write("src/a.txt", "x\n")
    t.mkdir("outdir")  # a directory where the output file should go: access is refused
    for out, underlying in (("outdir", "File access denied"),
                            ("nowhere/o.txt", "Invalid filename")):
        for options, shown in (([], b""), (["-debug"], lines(underlying))):
            t.run("-merge", *options, "src/*.txt", out).expect(
                stdout=t.merge_progress("src/*.txt", out) + shown
                + closing_block("Error creating " + out), status=1)
    t.expect_files(["src/a.txt"])


@scenario(hosts=("posix",))
def merge_refuses_names_that_differ_only_in_case(t):
    t.write("src/README", "upper\n")
    t.write("src/readme", "lower\n")
    t.write("src/x.txt", "x\n")
    progress = t.merge_progress("src/*", "o.txt")
    message = "Files {} and {} differ only in case; one of them would be lost."
    # Which of the two is listed first is the directory's matter.
    refusals = [refused_names(message.format(*pair))
                for pair in (("README", "readme"), ("readme", "README"))]
    t.run("-merge", "src/*", "o.txt").expect_one_pair_of(
        [(progress + closing, stderr) for stderr, closing in refusals], status=1)
    t.expect_no_file("o.txt")


def built_locale(t, name):
    """The environment of a run under the locale `name` (as tr_TR.UTF-8), built into the
    scenario directory; None where the machine cannot build it."""
    source, charmap = name.split(".")
    built = t.path("locales/" + name)
    os.makedirs(t.path("locales"), exist_ok=True)
    try:
        subprocess.run(["localedef", "-i", source, "-f", charmap, built], timeout=120,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except (OSError, subprocess.TimeoutExpired):
        return None
    if not os.path.exists(os.path.join(built, "LC_COLLATE")):
        return None
    return dict(os.environ, LOCPATH=t.path("locales"), LC_ALL=name)


@scenario(hosts=("posix",))
def merge_refuses_names_a_header_cannot_carry(t):
    t.write("out.txt", "old\r\n")
    message = " holds a control character, which a member header cannot carry."
    for name, shown in ((b"b\n>>>>>>>>>> .PROFILE", b"b?>>>>>>>>>> .PROFILE"),
                        (b"cr\r.txt", b"cr?.txt"), (b"z\x1a.txt", b"z?.txt"),
                        (b"\x7f", b"?")):
        shutil.rmtree(t.path("src"), ignore_errors=True)
        t.write("src/a.txt", "a\n")
        with open(os.path.join(t.path("src").encode(), name), "wb") as f:
            f.write(b"x\n")
        stderr, closing = refused_names(b"File name " + shown + message.encode())
        t.run("-merge", "src/*", "out.txt").expect(
            stdout=t.merge_progress("src/*", "out.txt") + closing, stderr=stderr, status=1)
        t.expect_file("out.txt", b"old\r\n")


@scenario(hosts=("posix",))
def merge_refuses_twins_by_their_headers_in_any_locale(t):
    """Names whose headers would be equal are twins, however the locale orders them: a
    Turkish I is no capital i, and 8-bit names that are no UTF-8 order apart from the rest
    under a UTF-8 locale, so that the list can miss an equal name."""
    message = "Files {} and {} differ only in case; one of them would be lost."
    cases = [("tr_TR.UTF-8", [b"i.txt", b"I.txt"], []),
             ("en_US.UTF-8", [b"a\xe9.txt", b"A\xe9.txt"],
              [b"M.txt", b"b_c.txt", b"bc.txt", b"_z.txt"])]
    for locale, (first, second), others in cases:
        env = built_locale(t, locale)
        if env is None:
            print(f"cannot build {locale} here: its run is left out")
            continue
        directory = "src-" + locale
        os.makedirs(t.path(directory))
        for name in [first, second] + others:
            with open(os.path.join(t.path(directory).encode(), name), "wb") as f:
                f.write(name + b"\n")
        progress = t.merge_progress(directory + "/*", "o.txt")
        # Which of the two is listed first is the directory's matter.
        refusals = [refused_names(message.format(*pair).encode("latin-1"))
                    for pair in ((first.decode("latin-1"), second.decode("latin-1")),
                                 (second.decode("latin-1"), first.decode("latin-1")))]
        t.run("-merge", directory + "/*", "o.txt", env=env).expect_one_pair_of(
            [(progress + closing, stderr) for stderr, closing in refusals], status=1)
        t.expect_no_file("o.txt")

