"""Merging directories of many files: however the files are brought in from the disk, each
is read in name order, and the merged file and the console are exactly what one file after
another gives, through to a failure in the middle."""

import os

from scenario_harness import closing_block, lines, member, scenario

COUNT = 300


def note_name(n):
    """Names that differ in the case of their letters, so that the order ignores case."""
    return ("Note" if n % 2 else "note") + f"{n:03d}." + ("txt" if n % 3 else "TXT")


def note_lines(n):
    """Every fifth file empty; the others a few lines, some over a read block long."""
    if n % 5 == 0:
        return []
    body = [b"line %d of %d" % (k, n) for k in range(n % 7 + 1)]
    if n % 11 == 1:
        body.append(b"%d" % n * 1500)
    return body


def write_notes(t, directory):
    """The notes, then out of the page cache where the file system lets anyone drop them
    (no root needed): the tool meets them as a tree that comes from disk."""
    for n in range(COUNT):
        endings = (b"\r\n", b"\n")
        t.write(f"{directory}/{note_name(n)}",
                b"".join(line + endings[k % 2] for k, line in enumerate(note_lines(n))))
    if hasattr(os, "posix_fadvise"):
        os.sync()
        for n in range(COUNT):
            fd = os.open(t.path(f"{directory}/{note_name(n)}"), os.O_RDONLY)
            os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
            os.close(fd)


def adding(n):
    return b"Adding " + note_name(n).upper().encode()


def merged_notes(count):
    return b"".join(member(note_name(n).upper(), *note_lines(n)) for n in range(count))


@scenario
def merge_of_many_files_is_one_file_after_another(t):
    write_notes(t, "src")
    progress = lines(*(adding(n) for n in range(COUNT)))
    t.run("-merge", "src/*.*", "out.txt").expect(
        stdout=t.merge_progress("src/*.*", "out.txt") + progress, status=0)
    t.expect_file("out.txt", merged_notes(COUNT))
    t.run("-merge", "src/*.*").expect(
        stdout=merged_notes(COUNT), stderr=t.merge_progress("src/*.*") + progress, status=0)


@scenario
def merge_of_many_files_stops_at_a_source_held_open(t):
    write_notes(t, "src")
    held = 150
    holder = t.hold_open(os.path.join("src", note_name(held)), b"held line\r\n")
    try:
        t.run("-debug", "-merge", "src/*.*", "out.txt").expect(
            stdout=t.merge_progress("src/*.*", "out.txt")
            + lines(*(adding(n) for n in range(held + 1)), "I/O error 32")
            + closing_block("Error creating out.txt"), status=1)
    finally:
        holder.communicate()
    # A merge that fails leaves no output where there was none, and nothing beside it.
    t.expect_no_file("out.txt")
    t.expect_no_temporary_files()
    t.expect_file(f"src/{note_name(held)}", b"held line\r\n")
