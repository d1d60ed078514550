"""What reaches a terminal and when: at once on a terminal, with the buffer on a pipe."""

import contextlib
import os
import platform
import select
import subprocess
import time

from scenario_harness import (ACTION_QUESTION, ScenarioFailure, end_process, lines, member,
                              scenario)

PATIENCE = 60  # seconds before a stalled program counts as hung; no timing is measured
READ_CALL = {"x86_64": "0", "aarch64": "63"}.get(platform.machine())


@contextlib.contextmanager
def on_a_terminal(t, *args, input_too=True, streams_on_pipes=False):
    """Runs the program with its standard output, and its standard input unless told
    otherwise, on a raw terminal (bytes pass unchanged, nothing is echoed). With
    `streams_on_pipes` both are pipes instead, and the terminal is only the one of the
    program's own session, which it opens by name. Yields the process and the terminal's
    other side; ends both whatever happens."""
    import fcntl
    import pty
    import termios
    import tty
    master, slave = pty.openpty()
    tty.setraw(slave)
    if streams_on_pipes:
        process = t.start(*args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, start_new_session=True, pass_fds=(slave,),
                          preexec_fn=lambda: fcntl.ioctl(slave, termios.TIOCSCTTY, 0))
    else:
        process = t.start(*args, stdin=slave if input_too else subprocess.DEVNULL,
                          stdout=slave, stderr=subprocess.PIPE)
    os.close(slave)
    try:
        yield process, master
    finally:
        os.close(master)
        end_process(process)


def read_exactly(fd, count):
    """Reads `count` bytes from `fd`, or fails when the program stalls or ends first."""
    data = b""
    while len(data) < count:
        if not select.select([fd], [], [], PATIENCE)[0]:
            raise ScenarioFailure(f"stalled after {data!r}")
        try:
            piece = os.read(fd, count - len(data))
        except OSError:  # a terminal whose other side has gone
            piece = b""
        if not piece:
            raise ScenarioFailure(f"output ended after {data!r}")
        data += piece
    return data


def read_to_end(fd):
    data = b""
    while select.select([fd], [], [], PATIENCE)[0]:
        try:
            piece = os.read(fd, 4096)
        except OSError:
            break
        if not piece:
            break
        data += piece
    return data


def wait_until_reading_input(process):
    """Waits until the program is blocked reading its standard input, that is, waits for
    its answer; without that view of the process a short pause must do."""
    try:
        with open(f"/proc/{process.pid}/syscall") as f:
            f.read()
    except OSError:
        pass
    else:
        if READ_CALL:
            return wait_for_read_call(process)
    time.sleep(0.5)


def wait_for_read_call(process):
    for _ in range(PATIENCE * 100):
        if process.poll() is not None:
            raise ScenarioFailure(f"ended with status {process.returncode} instead of asking")
        with open(f"/proc/{process.pid}/syscall") as f:
            fields = f.read().split()
        if fields[:2] == [READ_CALL, "0x0"]:  # read(0, ...)
            return
        time.sleep(0.01)
    raise ScenarioFailure("never waited for its answer")


@scenario(hosts=("posix",))
def question_on_a_terminal(t):
    t.write("src/a.txt", "x\n")
    t.write("out.txt", "old\r\n")
    with on_a_terminal(t, "-merge", "src/*.txt", "out.txt") as (process, master):
        # Every write to a terminal goes out at once, so the question is there to be read
        # before anything has been answered.
        asked = t.merge_progress("src/*.txt", "out.txt") + b"Overwrite out.txt(Yes/No)?"
        got = read_exactly(master, len(asked))
        if got != asked:
            raise ScenarioFailure(f"terminal showed {got!r}, expected {asked!r}")
        os.write(master, b"y\r\n")
        rest = read_to_end(master)
        if rest != lines("Adding A.TXT"):
            raise ScenarioFailure(f"after the answer {rest!r}")
        if process.wait(PATIENCE) != 0 or process.stderr.read():
            raise ScenarioFailure(f"exit status {process.returncode}")
    t.expect_file("out.txt", b"./       ADD   NAME=A.TXT\r\nx\r\n")


@scenario(hosts=("posix",))
def question_shows_through_a_pipe(t):
    t.write("src/a.txt", "x\n")
    t.write("out.txt", "old\r\n")
    process = t.start("src/*.txt", "out.txt", stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                      stderr=subprocess.PIPE)
    out = process.stdout.fileno()
    try:
        # Whatever waits in the buffer goes out before an answer is read, so each question
        # has arrived by the time the program waits for its answer.
        wait_until_reading_input(process)
        asked = ACTION_QUESTION
        got = read_exactly(out, len(asked))
        if got != asked:
            raise ScenarioFailure(f"arrived {got!r}, expected {asked!r}")
        process.stdin.write(b"m\r\n")
        process.stdin.flush()
        asked = t.merge_progress("src/*.txt", "out.txt") + b"Overwrite out.txt(Yes/No)?"
        got = read_exactly(out, len(asked))
        if got != asked:
            raise ScenarioFailure(f"arrived {got!r}, expected {asked!r}")
        wait_until_reading_input(process)
        if select.select([out], [], [], 0)[0]:
            raise ScenarioFailure(f"arrived while asking: {os.read(out, 4096)!r}")
        process.stdin.write(b"y\r\n")
        process.stdin.close()
        rest = read_to_end(out)
        if rest != lines("Adding A.TXT"):
            raise ScenarioFailure(f"after the answer {rest!r}")
        if process.wait(PATIENCE) != 0 or process.stderr.read():
            raise ScenarioFailure(f"exit status {process.returncode}")
    finally:
        end_process(process)
    t.expect_file("out.txt", b"./       ADD   NAME=A.TXT\r\nx\r\n")


@scenario(hosts=("posix",))
def merge_to_standard_output_on_a_terminal(t):
    t.write("src/a.txt", "x\n")
    t.write("src/b.txt", "y\n")
    with on_a_terminal(t, "-merge", "src/*.txt", input_too=False) as (process, master):
        # On a terminal both go out line by line, so each header follows its "Adding" line.
        shown = read_to_end(master)
        expected = (t.merge_progress("src/*.txt") + lines("Adding A.TXT")
                    + member("A.TXT", "x") + lines("Adding B.TXT") + member("B.TXT", "y"))
        if shown != expected:
            raise ScenarioFailure(f"terminal showed {shown!r}, expected {expected!r}")
        if process.wait(PATIENCE) != 0 or process.stderr.read():
            raise ScenarioFailure(f"exit status {process.returncode}")
