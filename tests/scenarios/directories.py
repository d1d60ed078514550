"""What the first path of a merge names: a directory that stands for its files, and masks
that follow the Win32 rules on every host."""

from scenario_harness import closing_block, lines, member, refused_names, scenario


def expect_merged(t, path, shown, out, names, stderr=b""):
    """Merges `path` into `out`; `shown` is the mask the progress line names."""
    t.run("-merge", path, out).expect(
        stdout=lines(b"Adding files from " + shown, b"...............to " + t.host_path(out))
        + lines(*(b"Adding " + n.encode() for n in names)), stderr=stderr, status=0)
    t.expect_file(out, b"".join(member(n, n.lower()) for n in names))


@scenario
def merge_of_a_directory_takes_its_files(t):
    """A directory, with or without a delimiter after it, means its "*.*"."""
    for name in ("a.txt", "README", "v1.0/b.md"):
        t.write("docs/" + name, name.split("/")[-1].lower() + "\n")
    t.write("docs/.hidden", "h\n")
    docs = t.host_path("docs") + t.sep + b"*.*"
    rows = [("docs", docs), ("docs/", docs), ("./docs/../docs", docs),
            (t.host_path("docs").decode(), docs),
            ("docs/v1.0", t.host_path("docs") + t.sep + t.join("v1.0", "*.*"))]
    if t.windows:
        rows.append(("docs\\", docs))
    for n, (path, shown) in enumerate(rows):
        inner = path.endswith("v1.0")
        names = ["B.MD"] if inner else ["A.TXT", "README"]
        expect_merged(t, path, shown, f"o{n}.txt", names,
                      stderr=b"" if inner else lines("Passed over: 1 hidden name."))
    # An empty directory holds no file to merge.
    t.mkdir("empty")
    t.run("-merge", "empty", "e.txt").expect(
        stdout=lines(b"Adding files from " + t.host_path("empty") + t.sep + b"*.*",
                     b"...............to " + t.host_path("e.txt"))
        + closing_block(b"No files matched."), status=1)
    t.expect_no_file("e.txt")


@scenario
def merge_masks_follow_the_windows_rules(t):
    """A name without wildcards ignores case; "*." means the names without a dot (Windows
    does that itself, but Wine lists every name for it)."""
    for name in ("Makefile", "README", "a.txt", "Notes.md"):
        t.write("src/" + name, name.lower() + "\n")
    rows = [("A.TXT", ["A.TXT"]), ("notes.MD", ["NOTES.MD"]), ("readme", ["README"])]
    if not t.windows:  # (Windows' full path of "makefile." drops the dot)
        rows += [("*.", ["MAKEFILE", "README"]), ("READ*.", ["README"]),
                 ("makefile.", ["MAKEFILE"])]
    for n, (mask, names) in enumerate(rows):
        expect_merged(t, "src/" + mask, t.host_path("src") + t.sep + mask.encode(),
                      f"o{n}.txt", names)


@scenario(hosts=("posix",))
def plain_names_in_another_case_on_posix(t):
    """A case-sensitive file system: the name as spelled wins, twins are refused, and an
    output or a merged file in another case is another file, never overwritten unasked."""
    for name in ("src/a.txt", "twins/a.txt", "twins/A.TXT"):
        t.write(name, name.split("/")[1].lower() + "\n")
    expect_merged(t, "twins/a.txt", t.host_path("twins/a.txt"), "o1.txt", ["A.TXT"])
    stderr, closing = refused_names(
        "Files A.TXT and a.txt differ only in case; one of them would be lost.")
    t.run("-merge", "twins/A.txt", "o2.txt").expect(
        stdout=t.merge_progress("twins/A.txt", "o2.txt") + closing, stderr=stderr, status=1)
    t.expect_no_file("o2.txt")

    t.write("out.txt", "keep\n")
    t.run("-merge", "src/A.TXT", "OUT.TXT", stdin=b"").expect(
        stdout=t.merge_progress("src/A.TXT", "OUT.TXT") + lines("Adding A.TXT"), status=0)
    t.expect_file("OUT.TXT", member("A.TXT", "a.txt"))
    t.expect_file("out.txt", b"keep\n")
    t.run("-extract", "out.TXT", "d").expect(
        stdout=closing_block(b"File out.TXT does not exist."), status=1)
