"""What a merge takes from a tree, at the user's word: -exclude patterns, git's ignore rules
(-gitignore), hidden names (-hidden); what it passed over without naming it, counted in
one line; and every name that cannot come back, named in one run."""

import os
import random
import shutil
import subprocess

from scenario_harness import (ScenarioFailure, closing_block, lines, member, refused_names,
                              scenario)

PLAIN = b"./       ADD   NAME="


def members_of(t, merged):
    """The member names of the merged file `merged`, with "/" between the parts."""
    return sorted(os.fsdecode(line[len(PLAIN):]).replace("\\", "/")
                  for line in t.read(merged).split(b"\r\n") if line.startswith(PLAIN))


def write_files(t, root, names):
    for name in names:
        t.write(f"{root}/{name}", name.split("/")[-1] + "\n")


@scenario
def exclude_patterns_leave_names_out(t):
    """A pattern without a separator leaves out a name at any level, a folder with all it
    holds; one with a separator the path below the mask's directory, part by part. Nothing
    is said of what is left out, and the status stays 0."""
    write_files(t, "src", ["a.txt", "main.o", "build/cache.txt", "lib/util.o", "lib/util.c",
                           "docs/guide.txt", "docs/old/guide.txt", "lib/docs/old/api.txt",
                           "logs/run.log", "lib/logs/keep.txt"])
    everything = ["a.txt", "build/cache.txt", "docs/guide.txt", "docs/old/guide.txt",
                  "lib/docs/old/api.txt", "lib/logs/keep.txt", "lib/util.c", "lib/util.o",
                  "logs/run.log", "main.o"]
    rows = [
        ([], everything),
        (["-exclude=*.o", "--exclude=BUILD"],
         [n for n in everything if not n.endswith(".o") and not n.startswith("build/")]),
        (["-exclude=docs/old"], [n for n in everything if n != "docs/old/guide.txt"]),
        (["-exclude=docs\\old\\", "-exclude=old"],
         [n for n in everything if "/old/" not in n]),
        (["-exclude=*/*.o"], [n for n in everything if n != "lib/util.o"]),
        (["-exclude=/logs"], [n for n in everything if n != "logs/run.log"]),
        (["-exclude=logs/"], [n for n in everything if "logs/" not in n]),
        (["-exclude=*.*"], []),
    ]
    for n, (words, expected) in enumerate(rows):
        out = f"o{n}.txt"
        result = t.run("-merge", "-r", "-keepcase", *words, "src", out)
        if expected:
            result.expect(stdout=None, status=0)
            if members_of(t, out) != expected:
                raise ScenarioFailure(f"{words}: {members_of(t, out)}, expected {expected}")
        else:
            result.expect(stdout=t.merge_progress("src/*.*", out)
                          + closing_block("No files matched."), status=1)
    # A flat merge: names of the directory alone; a pattern of a path matches none of them.
    t.run("-merge", "-keepcase", "-exclude=*.o", "-exclude=a.txt/x", "src", "f.txt").expect(
        stdout=t.merge_progress("src/*.*", "f.txt") + lines("Adding a.txt"), status=0)


@scenario
def hidden_names_come_with_the_word(t):
    """Hidden files and folders are passed over, and counted, unless -hidden is given;
    then .git comes too, unless -gitignore or an exclude pattern leaves it out."""
    write_files(t, "repo", ["main.c", ".clang-format", ".ci/run", ".git/config", ".git/HEAD"])
    base = ["main.c"]
    rows = [
        ([], base, "Passed over: 3 hidden names."),
        (["-hidden"], [".ci/run", ".clang-format", ".git/HEAD", ".git/config"] + base, None),
        (["-hidden", "-gitignore"], [".ci/run", ".clang-format"] + base, None),
        (["-hidden", "-exclude=.git"], [".ci/run", ".clang-format"] + base, None),
    ]
    for n, (words, expected, passed) in enumerate(rows):
        out = f"o{n}.txt"
        t.run("-merge", "-r", "-keepcase", *words, "repo", out).expect(
            stdout=None, stderr=lines(passed) if passed else b"", status=0)
        if members_of(t, out) != expected:
            raise ScenarioFailure(f"{words}: {members_of(t, out)}, expected {expected}")
    # A flat merge takes hidden files too, and the folders are no concern of it.
    t.run("-merge", "-hidden", "-keepcase", "repo", "f.txt").expect(stdout=None, status=0)
    if members_of(t, "f.txt") != [".clang-format", "main.c"]:
        raise ScenarioFailure(f"flat: {members_of(t, 'f.txt')}")


@scenario
def gitignore_files_at_every_level(t):
    """The .gitignore files of the tree, deeper over higher; an ignored folder is not
    entered, so nothing below it comes back; the .gitignore files come with -hidden."""
    write_files(t, "repo", ["a.txt", "a.log", "keep.log", "build/out.txt", "src/main.c",
                            "src/gen/x.c", "src/debug.log", "src/sub/trace.log", "docs/#notes",
                            "docs/x.tmp", "docs/build/keep.txt", "top.txt", "src/top.txt"])
    t.write("repo/.gitignore", "# comment\n\n*.log\n!keep.log\n/build/\n/top.txt\n*.tmp   \r\n")
    t.write("repo/src/.gitignore", "gen/\n!debug.log\n")
    t.write("repo/docs/.gitignore", "\\#notes\n!*.tmp\n")
    t.write("repo/.git/config", "x\n")
    expected = ["a.txt", "docs/build/keep.txt", "docs/x.tmp", "keep.log", "src/debug.log",
                "src/main.c", "src/top.txt"]
    t.run("-merge", "-r", "-keepcase", "-gitignore", "repo", "o.txt").expect(
        stdout=None, stderr=lines("Passed over: 3 hidden names."), status=0)
    if members_of(t, "o.txt") != expected:
        raise ScenarioFailure(f"{members_of(t, 'o.txt')}, expected {expected}")
    t.run("-merge", "-r", "-keepcase", "-gitignore", "-hidden", "repo", "o2.txt").expect(
        stdout=None, status=0)
    with_files = sorted(expected + [".gitignore", "docs/.gitignore", "src/.gitignore"])
    if members_of(t, "o2.txt") != with_files:
        raise ScenarioFailure(f"{members_of(t, 'o2.txt')}, expected {with_files}")


@scenario(hosts=("posix",))
def what_was_passed_over_is_counted(t):
    """One line at the end counts what the merge passed over without naming it, by kind,
    in the singular for one; what -exclude left out is not counted; the status stays."""
    t.write("src/a.txt", "a\n")
    t.write("src/.profile", "p\n")
    t.write("src/.cache/x.txt", "x\n")
    t.write("src/sub/b.txt", "b\n")
    os.symlink("sub", t.path("src/sub-link"))
    os.symlink("/", t.path("src/root-link"))
    os.symlink("nowhere", t.path("src/dangling.txt"))
    os.mkfifo(t.path("src/sub/pipe.txt"))
    progress = t.merge_progress("src/*.*", "o.txt")
    t.run("-merge", "-r", "src", "o.txt").expect(
        stdout=progress + lines("Adding A.TXT", "Adding SUB\\B.TXT"),
        stderr=lines("Passed over: 2 hidden names, 2 links to folders, 1 link that leads "
                     "nowhere, 1 file that is not regular."), status=0)
    t.run("-merge", "-r", "-exclude=.*", "-exclude=*-link", "-exclude=dangling.txt", "src",
          "o.txt", stdin=b"y\n").expect(
        stdout=progress + b"Overwrite o.txt(Yes/No)?" + lines("Adding A.TXT", "Adding SUB\\B.TXT"),
        stderr=lines("Passed over: 1 file that is not regular."), status=0)
    t.run("-merge", "-r", "-exclude=.*", "-exclude=*-link", "-exclude=dangling.txt",
          "-exclude=pipe.txt", "src", "o.txt", stdin=b"y\n").expect(stdout=None, status=0)
    # A merge that finds nothing says what it passed over, then that nothing matched.
    t.run("-merge", "src/.*", "o2.txt").expect(
        stdout=t.merge_progress("src/.*", "o2.txt") + closing_block("No files matched."),
        stderr=lines("Passed over: 1 hidden name."), status=1)


@scenario(hosts=("posix",))
def every_name_that_cannot_come_back_in_one_run(t):
    """A merge names every source it refuses, one line each in the order of their names,
    then stops before anything is written; leaving them out lets it through."""
    names = ["ok.txt", "a/Twin.txt", "a/twin.txt", "dot./x.txt", "trail ",
             "back\\slash.txt", "ctl\x01.txt", "n" * 121, "l" * 119 + "/x"]
    for name in names:
        t.write("src/" + name, "x\n")
    t.write("out.txt", "old\r\n")
    refusals = [
        "File name back\\slash.txt holds a \\, which an extract takes for a folder separator.",
        "File name ctl?.txt holds a control character, which a member header cannot carry.",
        "File name dot./x.txt ends in a dot or a space, which an extract would drop.",
        "Folder " + "l" * 119 + " is too deep: no name below it fits the 120 bytes a member "
        "header keeps.",
        "File name " + "n" * 121 + " is longer than the 120 bytes a member header keeps.",
        "File name trail  ends in a dot or a space, which an extract would drop.",
    ]
    twins = ["Files a/Twin.txt and a/twin.txt differ only in case; one of them would be lost.",
             "Files a/twin.txt and a/Twin.txt differ only in case; one of them would be lost."]
    progress = t.merge_progress("src/*.*", "out.txt")
    # Which twin is listed first is the directory's matter.
    outcomes = []
    for twin in twins:
        stderr, closing = refused_names(twin, *refusals)
        outcomes.append((progress + closing, stderr))
    t.run("-merge", "-r", "src", "out.txt", stdin=b"y\n").expect_one_pair_of(outcomes, status=1)
    t.expect_file("out.txt", b"old\r\n")
    # Masks ignore case: both twins go.
    t.run("-merge", "-r", "-exclude=a/twin.txt", "-exclude=dot.", "-exclude=trail*",
          "-exclude=*\x01*", "-exclude=n*", "-exclude=l*", "-exclude=back?slash.txt", "src",
          "out.txt", stdin=b"y\n").expect(stdout=None, status=0)
    t.expect_file("out.txt", member("OK.TXT", "x"))


# --- -gitignore against git itself ------------------------------------------------------

# Names a tree may hold: no two differ only in case, none ends in a dot or a space.
NAMES = ["a", "b.txt", "c.log", "Doc", "build", "out.o", "x y.txt", "#h", "!bang", "[br]",
         ".dot", "tmp~", "ab", "ba.txt", "\xe9t\xe9", "q?"]


def random_pattern(rng, folders):
    """One line of a .gitignore: the forms gitignore(5) describes, built from the names and
    folder paths the tree holds, so that they match something."""
    name = rng.choice(NAMES)
    folder = rng.choice(folders) if folders else name
    forms = [name, "*.txt", "*.log", "/" + name, name + "/", "/" + folder + "/", folder + "/" + name,
             "**/" + name, folder + "/**", folder + "/**/" + name, "!" + name, "!*.txt", "!" + folder,
             "\\#h", "\\!bang", "\\[br]", "[abc]*", "[!a]*", "[[:alpha:]]", "?", "*", "b*", "*~",
             "# comment", "", name + "   ", name + "\r", "*/" + name, "a*/", "!/" + folder + "/",
             "**/" + folder + "/", name.upper(), "*.[lt]*", "\\" + name[0] + name[1:]]
    return rng.choice(forms)


def random_tree(rng, root):
    """A random tree below `root` with a .gitignore in about half its folders; returns its
    files and folders, relative, with "/" between the parts."""
    files, folders = [], []

    def fill(relative, depth):
        for name in rng.sample(NAMES, rng.randint(2, 6)):
            path = relative + name
            if depth < 3 and rng.random() < 0.4:
                folders.append(path)
                os.makedirs(os.path.join(root, path))
                fill(path + "/", depth + 1)
            else:
                files.append(path)
                with open(os.path.join(root, path), "w") as f:
                    f.write("x\n")

    fill("", 0)
    for folder in [""] + folders:
        if rng.random() < 0.5:
            patterns = [random_pattern(rng, folders) for _ in range(rng.randint(1, 6))]
            path = os.path.join(root, folder, ".gitignore")
            with open(path, "w", encoding="utf-8", newline="") as f:
                # A CR that no LF follows would make the merge warn about the file.
                end = "\n" if patterns[-1].endswith("\r") else rng.choice(["", "\n"])
                f.write("\n".join(patterns) + end)
            files.append((folder + "/" if folder else "") + ".gitignore")
    return files, folders


def ignored_by_git(root, paths, env):
    """The paths of `paths` that git check-ignore names as ignored."""
    completed = subprocess.run(["git", "-C", root, "check-ignore", "--no-index", "-z", "--stdin"],
                               input=b"".join(os.fsencode(p) + b"\0" for p in paths),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env,
                               timeout=60)
    if completed.returncode not in (0, 1):
        raise ScenarioFailure(f"git check-ignore failed: {completed.stderr!r}")
    return {os.fsdecode(p) for p in completed.stdout.split(b"\0") if p}


@scenario(hosts=("posix",))
def gitignore_agrees_with_git(t):
    """On random trees with random .gitignore files at every level, -gitignore merges
    exactly the files git does not ignore: neither the file nor a folder above it."""
    if shutil.which("git") is None:
        print("git is not installed: -gitignore is not compared with it here")
        return
    seed = 2812
    rng = random.Random(seed)
    env = dict(os.environ, HOME=t.dir, XDG_CONFIG_HOME=t.dir, GIT_CONFIG_NOSYSTEM="1",
               GIT_CONFIG_GLOBAL=os.devnull, LC_ALL="C")
    for round_ in range(30):
        root = t.path(f"r{round_}")
        os.makedirs(root)
        files, folders = random_tree(rng, root)
        subprocess.run(["git", "init", "-q", root], env=env, check=True, timeout=60)
        with open(os.path.join(root, ".git", "info", "exclude"), "w"):
            pass  # git's template holds only comments; nothing but the tree's own files
        ignored = ignored_by_git(root, files + folders, env)

        def kept(path):
            parts = path.split("/")
            return not any("/".join(parts[:i]) in ignored for i in range(1, len(parts) + 1))

        expected = sorted(f for f in files if kept(f))
        out = f"o{round_}.txt"
        result = t.run("-merge", "-r", "-keepcase", "-hidden", "-gitignore", f"r{round_}", out)
        got = members_of(t, out) if result.status == 0 else []
        if not expected and result.status == 1 and b"No files matched." in result.stdout:
            continue
        if result.status != 0 or got != expected:
            raise ScenarioFailure(
                f"seed {seed}, round {round_}: merged {got}\n  git keeps {expected}\n"
                f"  status {result.status}, errors {result.stderr!r}")
