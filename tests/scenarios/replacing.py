"""Files written beside the ones they replace, and new files, as others see them: the
owner and the access a replaced file had stay, nothing is readable before its time, no
link that came after a decision is followed, an interrupted run leaves nothing behind, a
new name never holds half a file, and where a folder or a mount refuses a file beside the
target, the target is written in place with a line that says why."""

import contextlib
import os
import shutil
import signal
import stat
import subprocess
import sys
import time

from scenario_harness import (CANCELLED, Result, ScenarioFailure, closing_block, end_process,
                              lines, member, scenario)
from scenarios.changing_folders import merge_waiting_at_its_question, small_device
from scenarios.terminal import PATIENCE

OTHER_UID = 1234  # owns the files that root replaces; no account needs it
USER_UID = 4321  # an ordinary user who owns neither those files nor their folder
NOBODY_UID = 65534


def can_act_as_others(t):
    """Whether this run can hand files to other users and run steps as them."""
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        print("not root, or no setpriv: the steps as other users are left out")
        return False
    os.chmod(t.dir, 0o755)  # others reach the folders below
    return True


def as_user(uid, *command):
    return ["setpriv", f"--reuid={uid}", f"--regid={uid}", "--clear-groups", *command]


def run_as(t, uid, *args):
    """Runs the program as `uid`, without a memory checker, whose log that user could not
    write."""
    completed = subprocess.run(as_user(uid, t.program, *args), stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=t.dir,
                               timeout=60)
    return Result(list(args), completed.returncode, completed.stdout, completed.stderr)


def plant(t, name, owner, mode, data=b"echo old\n"):
    path = t.write(name, data)
    os.chown(path, owner, owner)
    os.chmod(path, mode)


def expect_access(t, name, owner, mode):
    info = os.stat(t.path(name))
    got = (info.st_uid, info.st_gid, stat.S_IMODE(info.st_mode))
    if got != (owner, owner, mode):
        raise ScenarioFailure(f"{name}: owner, group and mode {got[:2]} {oct(got[2])}, "
                              f"expected {(owner, owner)} {oct(mode)}")


@scenario(hosts=("posix",))
def a_replaced_file_keeps_its_owner_or_loses_set_id(t):
    if not can_act_as_others(t):
        return
    t.write("m.txt", member("TOOL", "echo new"))
    t.write("src/tool", b"echo new\n")
    # Root gives the new file the old one's owner and group, and with them its bits.
    plant(t, "out/TOOL", OTHER_UID, 0o4755)
    plant(t, "out/BUNDLE", OTHER_UID, 0o2755)
    t.run("-extract", "-overwrite", "m.txt", "out").expect(stdout=None, status=0)
    t.run("-merge", "-overwrite", "src", "out/BUNDLE").expect(stdout=None, status=0)
    t.expect_file("out/TOOL", b"echo new\r\n")
    expect_access(t, "out/TOOL", OTHER_UID, 0o4755)
    expect_access(t, "out/BUNDLE", OTHER_UID, 0o2755)
    # A user who may write the file but cannot give a file away takes the new one as its
    # own: the set-user-ID and set-group-ID bits go.
    os.chmod(t.path("out"), 0o777)
    plant(t, "out/TOOL", OTHER_UID, 0o6777)
    plant(t, "out/BUNDLE", OTHER_UID, 0o6777)
    run_as(t, USER_UID, "-extract", "-overwrite", "m.txt", "out").expect(stdout=None, status=0)
    run_as(t, USER_UID, "-merge", "-overwrite", "src", "out/BUNDLE").expect(stdout=None, status=0)
    t.expect_file("out/TOOL", b"echo new\r\n")
    expect_access(t, "out/TOOL", USER_UID, 0o777)
    expect_access(t, "out/BUNDLE", USER_UID, 0o777)
    t.expect_no_temporary_files()


# Watches a folder as another user and opens each hidden file the moment it is made; says
# how many it saw and how many it could open. Ends when its standard input does.
WATCHER = r"""
import ctypes, os, select, struct, sys
libc = ctypes.CDLL(None, use_errno=True)
watch = libc.inotify_init1(os.O_NONBLOCK)
if watch < 0 or libc.inotify_add_watch(watch, sys.argv[1].encode(), 0x100) < 0:
    sys.exit("cannot watch")
print("watching", flush=True)
seen = opened = 0
held = []
def take_events():
    global seen, opened
    try:
        data = os.read(watch, 65536)
    except BlockingIOError:
        return False
    at = 0
    while at < len(data):
        size = struct.unpack_from("iIII", data, at)[3]
        name = data[at + 16:at + 16 + size].rstrip(b"\0")
        at += 16 + size
        if name.startswith(b".quillpack-"):
            seen += 1
            try:
                held.append(os.open(os.path.join(sys.argv[1].encode(), name), os.O_RDONLY))
                opened += 1
            except OSError:
                pass
    return True
while sys.stdin.fileno() not in select.select([watch, sys.stdin.fileno()], [], [])[0]:
    take_events()
while take_events():
    pass
print(f"saw {seen} opened {opened}", flush=True)
"""


@scenario(hosts=("posix",))
def a_private_file_stays_private_while_it_is_replaced(t):
    if not can_act_as_others(t):
        return
    t.mkdir("out")
    os.chmod(t.path("out"), 0o755)
    t.write("m.txt", member("A.TXT", "secret"))
    t.write("src/a.txt", b"secret\n")
    for name in ("out/A.TXT", "out/m.txt"):
        t.write(name, b"old\r\n")
        os.chmod(t.path(name), 0o600)
    watcher = subprocess.Popen(as_user(NOBODY_UID, sys.executable, "-c", WATCHER, t.path("out")),
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    runs = 10 if t.wrapper else 100  # a memory checker is slow enough to widen any window
    try:
        if watcher.stdout.readline() != b"watching\n":
            raise ScenarioFailure("the watcher did not start")
        for _ in range(runs):
            t.run("-extract", "-overwrite", "m.txt", "out").expect(stdout=None, status=0)
            t.run("-merge", "-overwrite", "src", "out/m.txt").expect(stdout=None, status=0)
        report, _ = watcher.communicate(timeout=PATIENCE)
    finally:
        end_process(watcher)
    words = report.split()
    seen, opened = int(words[1]), int(words[3])
    if opened != 0 or seen < runs:
        raise ScenarioFailure(f"the watcher saw {seen} new files and opened {opened} of them")
    for name in ("out/A.TXT", "out/m.txt"):
        if stat.S_IMODE(os.stat(t.path(name)).st_mode) != 0o600:
            raise ScenarioFailure(f"{name} is no longer private")


@scenario(hosts=("posix",))
def a_merge_output_that_is_a_link_is_written_through_after_the_yes(t):
    """A link that is the output when the overwrite question is answered is written as it
    is: what it leads to takes the merged file, in place, and the link stays a link."""
    t.write("src/a.txt", b"a\n")
    asked = t.merge_progress("src/*.*", "out.txt") + b"Overwrite out.txt(Yes/No)?"
    written = member("A.TXT", "a")
    cases = [([], b"y\n", asked + lines("Adding A.TXT"), 0, written),
             ([], b"n\n", asked + closing_block(CANCELLED), 1, b"orig\r\n"),
             (["-overwrite"], b"", t.merge_progress("src/*.*", "out.txt") + lines("Adding A.TXT"),
              0, written),
             (["-skip"], b"", t.merge_progress("src/*.*", "out.txt") + closing_block(CANCELLED),
              1, b"orig\r\n")]
    for words, answers, stdout, status, content in cases:
        t.write("outside/v", b"orig\r\n")
        if not os.path.islink(t.path("out.txt")):
            os.symlink(os.path.join("outside", "v"), t.path("out.txt"))
        t.run("-merge", *words, "src", "out.txt", stdin=answers).expect(stdout=stdout,
                                                                      status=status)
        t.expect_file("outside/v", content)
        if not os.path.islink(t.path("out.txt")):
            raise ScenarioFailure(f"{words} {answers!r}: the link was replaced")
        t.expect_no_temporary_files()


@scenario(hosts=("posix",))
def a_merge_output_made_a_link_after_the_yes_is_not_followed(t):
    t.write("outside/v", b"orig\r\n")
    t.write("src/a.txt", b"a\n")
    again = b"Overwrite out.txt(Yes/No)?"
    # The yes was given for a file: the link is asked about anew, and a no or no answer
    # at all leaves it and what it leads to as they were.
    for answers in (b"y\n", b"y\nn\n"):
        with merge_waiting_at_its_question(t) as process:
            os.remove(t.path("out.txt"))
            os.symlink(t.path("outside/v"), t.path("out.txt"))
            out, err = process.communicate(answers, timeout=PATIENCE)
        if (out, err, process.returncode) != (again + closing_block(CANCELLED), b"", 1):
            raise ScenarioFailure(f"{answers!r}: {out!r}, {err!r}, status {process.returncode}")
        t.expect_file("outside/v", b"orig\r\n")
        if not os.path.islink(t.path("out.txt")):
            raise ScenarioFailure("the link was replaced")
        os.remove(t.path("out.txt"))
    # A yes for the link as it is now writes through it, as for a link that was the output
    # from the start.
    with merge_waiting_at_its_question(t) as process:
        os.remove(t.path("out.txt"))
        os.symlink(t.path("outside/v"), t.path("out.txt"))
        out, err = process.communicate(b"y\ny\n", timeout=PATIENCE)
    if (out, err, process.returncode) != (again + lines("Adding A.TXT"), b"", 0):
        raise ScenarioFailure(f"a second yes: {out!r}, {err!r}, status {process.returncode}")
    t.expect_file("outside/v", member("A.TXT", "a"))


@scenario(hosts=("posix",), heavy=True)
def a_link_that_comes_after_a_skip_decision_is_never_followed(t):
    """Another program keeps making out.txt a link to a file outside and taking it away
    again, while merges told -skip run: a merge that found the name free may write a new
    file there, but never through the link."""
    t.write("outside/v", b"orig\r\n")
    t.write("src/a.txt", b"a\n")
    racer = subprocess.Popen(
        t.helper_command("swap_link", [t.path("outside/v"), t.path("out.txt"), "toggle"]),
        stdout=subprocess.PIPE)
    try:
        if racer.stdout.readline() != b"swapping\n":
            raise ScenarioFailure("the link racer did not start")
        for run in range(300):
            result = t.run("-merge", "-skip", "src", "out.txt")
            if result.status not in (0, 1):
                raise ScenarioFailure(f"run {run}: status {result.status}, {result.stderr!r}")
            if t.read("outside/v") != b"orig\r\n":
                raise ScenarioFailure(f"run {run} wrote through a link that came after -skip")
            with contextlib.suppress(FileNotFoundError):
                if not os.path.islink(t.path("out.txt")):
                    os.remove(t.path("out.txt"))
    finally:
        racer.kill()
        racer.wait()
        racer.stdout.close()
    t.expect_no_temporary_files()


def wait_for_hidden_file(t, folder, process):
    """Waits until a hidden new file of the tool's is in `folder`; fails when the program
    ends first or nothing comes within the patience of the scenarios."""
    deadline = time.monotonic() + PATIENCE
    while time.monotonic() < deadline:
        if any(name.startswith(".quillpack-") for name in os.listdir(t.path(folder))):
            return
        if process.poll() is not None:
            raise ScenarioFailure(f"ended with status {process.returncode} before a hidden "
                                  "file came")
        time.sleep(0.001)
    raise ScenarioFailure("no hidden file came")


def unnamed_file_open_in(t, folder, process):
    """Whether the program holds a file without a name open in `folder`: Linux shows one in
    /proc as the folder's path, `#`, its number and ` (deleted)`."""
    where = os.path.join(os.path.realpath(t.path(folder)), "#")
    descriptors = f"/proc/{process.pid}/fd"
    with contextlib.suppress(OSError):
        for descriptor in os.listdir(descriptors):
            with contextlib.suppress(OSError):
                target = os.readlink(os.path.join(descriptors, descriptor))
                if target.startswith(where) and target.endswith(" (deleted)"):
                    return True
    return False


def makes_unnamed_files(t, folder):
    """Whether the file system at `folder` makes files without a name (Linux)."""
    try:
        os.close(os.open(t.path(folder), os.O_TMPFILE | os.O_WRONLY, 0o600))
    except (AttributeError, OSError):
        return False
    return True


def wait_for_new_file(t, folder, process):
    """Waits until the program writes a new file of its own in `folder`, before it takes its
    name: "unnamed" for a file without a name yet (where the system makes them), "hidden"
    for one under a hidden name. Fails as wait_for_hidden_file does."""
    deadline = time.monotonic() + PATIENCE
    while time.monotonic() < deadline:
        if unnamed_file_open_in(t, folder, process):
            return "unnamed"
        with contextlib.suppress(FileNotFoundError):  # a folder the program is to make
            if any(name.startswith(".quillpack-") for name in os.listdir(t.path(folder))):
                return "hidden"
        if process.poll() is not None:
            raise ScenarioFailure(f"ended with status {process.returncode} before a new file "
                                  "came")
        time.sleep(0.001)
    raise ScenarioFailure("no new file came")


def interrupts(*numbers):
    """The signals of `numbers` that can reach the program: one the scenarios run with
    ignored stays ignored in the program too."""
    for number in numbers:
        if signal.getsignal(number) == signal.SIG_IGN:
            print(f"signal {number} is ignored here: left out")
        else:
            yield number


def stalled_extract(t, *args, first=b""):
    """Starts an extract of standard input into out that has read `first` and waits for
    more."""
    process = t.start("-extract", *args, "-", "out", stdin=subprocess.PIPE,
                      stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    process.stdin.write(first)
    process.stdin.flush()
    return process


@scenario(hosts=("posix",))
def interrupted_runs_leave_no_hidden_file(t):
    t.mkdir("out")
    body = member("A.TXT", *[b"line %d" % n for n in range(1000)])
    for number in interrupts(signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        t.write("out/A.TXT", b"old\r\n")
        process = stalled_extract(t, "-overwrite", first=body)
        try:
            wait_for_hidden_file(t, "out", process)
            process.send_signal(number)
            process.wait(PATIENCE)
        finally:
            end_process(process)
        if process.returncode != -number:
            raise ScenarioFailure(f"extract: status {process.returncode} after signal {number}")
        t.expect_file("out/A.TXT", b"old\r\n")
        t.expect_no_temporary_files()
    # The merge is under way when the signal comes: its source takes a while.
    t.write("src/big.txt", b"".join(b"%08d a line that the merge copies\n" % n
                                    for n in range(400000)))
    for number in interrupts(signal.SIGTERM, signal.SIGINT):
        t.write("out.txt", b"old\r\n")
        process = t.start("-merge", "-overwrite", "src", "out.txt", stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_for_hidden_file(t, "", process)
            process.send_signal(number)
            process.wait(PATIENCE)
        finally:
            end_process(process)
        if process.returncode != -number:
            raise ScenarioFailure(f"merge: status {process.returncode} after signal {number}")
        t.expect_file("out.txt", b"old\r\n")
        t.expect_no_temporary_files()


@scenario(hosts=("posix",))
def a_new_member_cut_short_leaves_no_file(t):
    with small_device(t, "small") as device:
        if device is None:
            print("cannot mount a small file system here: the full disk is left out")
        else:
            t.write("big.txt", member("A.TXT", *[b"new line %d" % n for n in range(150000)]))
            t.run("-extract", "big.txt", "small").expect(
                stdout=t.extract_progress("big.txt", "small") + lines("Extracting A.TXT")
                + closing_block("Error while processing big.txt"), status=1)
            t.expect_files([], under="small")
    t.mkdir("out")
    # A new member without a name yet leaves nothing even to a SIGKILL, which no handler
    # sees; under a hidden name only a handled signal can take it away.
    unnamed = makes_unnamed_files(t, "out")
    if not unnamed:
        print("this file system makes no file without a name: SIGKILL is left out")
    for number in [*interrupts(signal.SIGTERM), *([signal.SIGKILL] if unnamed else [])]:
        process = stalled_extract(t, first=member("A.TXT", "a", "b"))
        try:
            made = wait_for_new_file(t, "out", process)
            if unnamed and made != "unnamed":
                raise ScenarioFailure(f"a new member is written as a {made} file")
            process.send_signal(number)
            process.wait(PATIENCE)
        finally:
            end_process(process)
        if process.returncode != -number:
            raise ScenarioFailure(f"status {process.returncode} after signal {number}")
        t.expect_files([], under="out")


@scenario
def a_name_taken_while_its_member_is_written_is_asked_about(t):
    """A new member is written beside its name; another program makes a file of that name
    meanwhile. The member then replaces an existing file, which needs an answer."""
    t.mkdir("out")
    progress = lines(b"Extracting files from -", b".................. to " + t.target("out"))
    cases = [("-skip", lines("Extracting A.TXT", "Skipping A.TXT"), b"theirs\r\n"),
             ("-overwrite", lines("Extracting A.TXT"), b"new\r\n")]
    for word, answered, left in cases:
        with contextlib.suppress(FileNotFoundError):
            os.remove(t.path("out/A.TXT"))
        process = stalled_extract(t, word, first=member("A.TXT", "new"))
        try:
            wait_for_new_file(t, "out", process)
            t.write("out/A.TXT", b"theirs\r\n")
            out, err = process.communicate(timeout=PATIENCE)
        finally:
            end_process(process)
        if (out, err, process.returncode) != (progress + answered, b"", 0):
            raise ScenarioFailure(f"{word}: {out!r}, {err!r}, status {process.returncode}")
        t.expect_file("out/A.TXT", left)
        t.expect_no_temporary_files()


@scenario(hosts=("posix",))
def a_folder_that_refuses_new_files_gets_them_in_place(t):
    if not can_act_as_others(t):
        return
    t.mkdir("locked")  # root's: the user may write the files in it, but make none
    for name in ("locked/A.TXT", "locked/m.txt"):
        plant(t, name, USER_UID, 0o644, b"old\r\n")
    t.write("m.txt", member("A.TXT", "new"))
    t.write("src/a.txt", b"a\n")
    why = "is written in place: its folder does not let a new file be made beside it."
    run_as(t, USER_UID, "-extract", "-overwrite", "m.txt", "locked").expect(
        stdout=t.extract_progress("m.txt", "locked") + lines("Extracting A.TXT"),
        stderr=lines("A.TXT " + why), status=0)
    run_as(t, USER_UID, "-merge", "-overwrite", "src", "locked/m.txt").expect(
        stdout=t.merge_progress("src/*.*", "locked/m.txt") + lines("Adding A.TXT"),
        stderr=lines("locked/m.txt " + why), status=0)
    t.expect_file("locked/A.TXT", b"new\r\n")
    t.expect_file("locked/m.txt", member("A.TXT", "a"))
    expect_access(t, "locked/A.TXT", USER_UID, 0o644)
    t.expect_files(["A.TXT", "m.txt"], under="locked")


@scenario(hosts=("posix",))
def a_target_mounted_on_its_own_is_written_in_place(t):
    """A file bound over a target (as containers bind /etc/hosts) cannot be replaced by a
    rename: the content goes into it in place."""
    for name in ("A.TXT", "m.txt"):
        t.write("elsewhere/" + name, b"old\r\n")
        t.write("out/" + name, b"under the mount\r\n")
    mounted = []
    try:
        for name in ("A.TXT", "m.txt"):
            if subprocess.run(["mount", "--bind", t.path("elsewhere/" + name),
                               t.path("out/" + name)], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode != 0:
                print("cannot bind a file here: the scenario is left out")
                return
            mounted.append(t.path("out/" + name))
        t.write("bundle.txt", member("A.TXT", "new"))
        t.write("src/a.txt", b"a\n")
        why = "is written in place: something is mounted on it, or the system holds it."
        t.run("-extract", "-overwrite", "bundle.txt", "out").expect(
            stdout=t.extract_progress("bundle.txt", "out") + lines("Extracting A.TXT"),
            stderr=lines("A.TXT " + why), status=0)
        t.run("-merge", "-overwrite", "src", "out/m.txt").expect(
            stdout=t.merge_progress("src/*.*", "out/m.txt") + lines("Adding A.TXT"),
            stderr=lines("out/m.txt " + why), status=0)
        t.expect_file("elsewhere/A.TXT", b"new\r\n")
        t.expect_file("elsewhere/m.txt", member("A.TXT", "a"))
        t.expect_no_temporary_files()
    finally:
        for path in mounted:
            subprocess.run(["umount", path])


@scenario(hosts=("posix",))
def without_unnamed_files_new_files_are_hidden_ones(t):
    """Where the file system makes no file without a name, or the system cannot name one by
    its handle (kernels before 6.10 for an ordinary user, with no /proc), new members and a
    new merged file are written under a hidden name as before: whole, with nothing left.
    The extract learns at its first member and asks no more."""
    shim = os.path.join(os.path.dirname(t.program), "no_unnamed_files.so")
    if not os.path.exists(shim):
        print("no no_unnamed_files.so beside the program: the scenario is left out")
        return
    t.write("m.txt", member("A.TXT", "a") + member("SUB\\B.TXT", "b") + member("C.TXT", "c"))
    t.write("src/a.txt", b"a\n")
    for refused, expected in (("create", [b"create"] * 2), ("name", [b"no /proc"] * 2)):
        log = t.path(f"refused-{refused}.log")
        env = dict(os.environ, LD_PRELOAD=shim, QUILLPACK_REFUSE=refused,
                   QUILLPACK_REFUSED_LOG=log,
                   ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0")
        out = f"out-{refused}"
        t.mkdir(out)
        t.run("-extract", "m.txt", out, env=env).expect(
            stdout=t.extract_progress("m.txt", out)
            + lines("Extracting A.TXT", "Extracting SUB\\B.TXT", "Extracting C.TXT"), status=0)
        t.run("-merge", "src", f"{out}/m.txt", env=env).expect(
            stdout=t.merge_progress("src/*.*", f"{out}/m.txt") + lines("Adding A.TXT"), status=0)
        for name, content in (("A.TXT", b"a\r\n"), ("SUB/B.TXT", b"b\r\n"), ("C.TXT", b"c\r\n"),
                              ("m.txt", member("A.TXT", "a"))):
            t.expect_file(f"{out}/{name}", content)
        t.expect_files(["A.TXT", "SUB/B.TXT", "C.TXT", "m.txt"], under=out)
        t.expect_no_temporary_files()
        # Once for the extract's first member, once for the merge.
        with open(log, "rb") as f:
            refusals = [line for line in f.read().splitlines() if line != b"name"]
        if refusals != expected:
            raise ScenarioFailure(f"{refused}: refusals {refusals}, expected {expected}")
