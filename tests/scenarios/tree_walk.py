"""The walk of a merge with -recurse: it stops above folders too deep for a member name, so
that however deep a tree is it takes little memory, and it takes a link to a file only
when the file lies within the tree."""

import os
import subprocess
import threading

from scenario_harness import (ScenarioFailure, closing_block, lines, member, refused_names,
                              scenario)
from scenarios.replacing import NOBODY_UID, can_act_as_others, run_as

# The peak memory a merge of a very deep tree may take.
MEMORY_LIMIT_KB = 64 * 1024


def make_chain(root, names, leaf=None):
    """Folders `names` one inside the other below `root`, made relative to the folder
    before, so that no path ever gets near PATH_MAX; a file `leaf` at the bottom."""
    os.makedirs(root, exist_ok=True)
    fd = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    try:
        for name in names:
            os.mkdir(name, dir_fd=fd)
            inner = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd = inner
        if leaf:
            os.close(os.open(leaf, os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd))
    finally:
        os.close(fd)


def remove_chain(root, names):
    """Removes what make_chain made, too deep for a path and for a recursive removal: down
    the chain, then up again through "..", emptying each folder on the way."""
    fd = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    depth = 0
    try:
        while depth < len(names):
            try:
                inner = os.open(names[depth], os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            except FileNotFoundError:
                break
            os.close(fd)
            fd, depth = inner, depth + 1
        while True:
            for entry in os.listdir(fd):
                os.unlink(entry, dir_fd=fd)
            if depth == 0:
                break
            parent = os.open("..", os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd, depth = parent, depth - 1
            os.rmdir(names[depth], dir_fd=fd)
    finally:
        os.close(fd)


def run_measured(t, *args):
    """Runs the tool and returns (status, stdout, stderr, peak resident memory in KB) of
    that one run; the peak is None under a wrapper such as a memory checker, whose own
    memory it would be."""
    with open(t.path("run.out"), "wb") as out, open(t.path("run.err"), "wb") as err:
        process = t.start(*args, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
    killer = threading.Timer(120, process.kill)
    killer.start()
    try:
        _, status, usage = os.wait4(process.pid, 0)
    finally:
        killer.cancel()
    process.returncode = os.waitstatus_to_exitcode(status)
    output = (t.read("run.out"), t.read("run.err"))
    os.remove(t.path("run.out"))
    os.remove(t.path("run.err"))
    return (process.returncode, *output, None if t.wrapper else usage.ru_maxrss)


@scenario(hosts=("posix",))
def a_very_deep_tree_takes_little_memory(t):
    """3,000 folders one inside the other, each named with 200 bytes: no name below the
    first fits a member header, so the walk refuses that folder at once, instead of
    holding a path of every level (1.8 GB and seconds before)."""
    names = ["d%04d" % i + "x" * 195 for i in range(3000)]
    make_chain(t.path("src"), names, leaf="leaf.txt")
    try:
        status, out, err, peak = run_measured(t, "-merge", "-r", "src", "o.txt")
        stderr, closing = refused_names(
            f"Folder {names[0]} is too deep: no name below it fits the 120 bytes a member header "
            "keeps.")
        if (status, out, err) != (1, t.merge_progress("src/*.*", "o.txt") + closing, stderr):
            raise ScenarioFailure(f"status {status}, output {out[-300:]!r}, errors {err[:300]!r}")
        if peak is not None and peak > MEMORY_LIMIT_KB:
            raise ScenarioFailure(f"peak memory {peak} KB, more than {MEMORY_LIMIT_KB} KB")
        t.expect_no_file("o.txt")
    finally:
        remove_chain(t.path("src"), names)


@scenario(hosts=("posix",))
def the_walk_stops_where_no_name_fits(t):
    """A chain of one-byte folders: a member name of 120 bytes at the bottom of 59 of them
    is merged; the 60th folder, whose path is 119 bytes, leaves no room for a name below
    it and is refused by that path, however deep the chain goes on."""
    t.write("ok/top.txt", "top\n")
    make_chain(t.path("ok"), ["d"] * 59, leaf="xy")
    fits = "\\".join(["D"] * 59) + "\\XY"
    t.run("-merge", "-r", "ok", "o.txt").expect(
        stdout=t.merge_progress("ok/*.*", "o.txt") + lines("Adding " + fits, "Adding TOP.TXT"),
        status=0)
    t.expect_file("o.txt", member(fits) + member("TOP.TXT", "top"))

    names = ["d"] * 3000
    make_chain(t.path("deep"), names, leaf="bottom.txt")
    try:
        status, out, err, peak = run_measured(t, "-merge", "-r", "deep", "o2.txt")
        folder = "/".join(["d"] * 60)
        stderr, closing = refused_names(
            f"Folder {folder} is too deep: no name below it fits the 120 bytes a member header "
            "keeps.")
        if (status, out, err) != (1, t.merge_progress("deep/*.*", "o2.txt") + closing, stderr):
            raise ScenarioFailure(f"status {status}, output {out[-300:]!r}, errors {err[:300]!r}")
        if peak is not None and peak > MEMORY_LIMIT_KB:
            raise ScenarioFailure(f"peak memory {peak} KB, more than {MEMORY_LIMIT_KB} KB")
        # Leaving the chain out by its first folder merges the rest.
        t.write("deep/top.txt", "top\n")
        t.run("-merge", "-r", "-exclude=/d", "deep", "o3.txt").expect(stdout=None, status=0)
        t.expect_file("o3.txt", member("TOP.TXT", "top"))
    finally:
        remove_chain(t.path("deep"), names)


@scenario(hosts=("posix",))
def links_that_lead_out_of_the_tree(t):
    """Within a tree a link to a file is merged only when the file lies within the tree
    (the ways a link may take are tree_listing_test's); one that leads out is left out and
    named, and the run ends with status 1. A flat merge takes links as ever."""
    t.write("secret.txt", "root:x:0:0\n")
    t.write("src/real.txt", "real\n")
    os.symlink("../secret.txt", t.path("src/pw.txt"))
    t.mkdir("src/sub")
    os.symlink("../../src/real.txt", t.path("src/sub/round.txt"))
    os.symlink("../pw.txt", t.path("src/sub/via.txt"))
    t.run("-merge", "-r", "src", "o.txt").expect(
        stdout=t.merge_progress("src/*.*", "o.txt") + lines("Adding REAL.TXT",
                                                            "Adding SUB\\ROUND.TXT"),
        stderr=lines("Leaving out pw.txt: it is a link that leads out of the tree.",
                     "Leaving out sub/via.txt: it is a link that leads out of the tree."),
        status=1)
    t.expect_file("o.txt", member("REAL.TXT", "real") + member("SUB\\ROUND.TXT", "real"))
    t.run("-merge", "src/pw.txt", "o2.txt").expect(
        stdout=t.merge_progress("src/pw.txt", "o2.txt") + lines("Adding PW.TXT"), status=0)
    t.expect_file("o2.txt", member("PW.TXT", "root:x:0:0"))


@scenario(hosts=("posix",))
def a_folder_that_cannot_be_listed_stops_the_merge(t):
    """A folder the user may not read stops a merge of the tree with its name, before
    anything is merged; left out by -exclude, it is never read."""
    if not can_act_as_others(t):
        return
    t.write("src/a.txt", "a\n")
    t.write("src/open/c.txt", "c\n")
    t.write("src/locked/b.txt", "b\n")
    cases = [("src/locked", [], "src/locked/"),
             ("src/locked", ["-exclude=locked"], None),
             ("src", [], "src/")]
    for locked, words, refused in cases:
        os.chmod(t.path(locked), 0o000)
        try:
            result = run_as(t, NOBODY_UID, "-merge", "-r", *words, "src", "-")
        finally:
            os.chmod(t.path(locked), 0o755)
        progress = lines(b"Adding files from " + t.host_path("src/*.*"), "...............to -")
        if refused is None:
            result.expect(stdout=member("A.TXT", "a") + member("OPEN\\C.TXT", "c"),
                          stderr=progress + lines("Adding A.TXT", "Adding OPEN\\C.TXT"),
                          status=0)
        else:
            result.expect(stdout=b"", status=1, stderr=progress + closing_block(
                b"Directory " + t.host_path(refused) + b" cannot be listed."))
