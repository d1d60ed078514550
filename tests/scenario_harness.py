"""End-to-end scenarios: the built program run as a user runs it.

Each scenario gets a fresh temporary directory as its working directory, writes real
files there, starts the program with arguments and standard input, and checks the exact
bytes of standard output and error output, the exit status and the files left behind.
The same scenarios run against the native build and against the Windows build under
Wine. A failing scenario keeps its directory so that it can be looked at.
"""

import os
import select
import shutil
import subprocess
import tempfile

SCENARIOS = {}
HEAVY = set()
CLOSES_HANDLES = set()


def scenario(function=None, *, hosts=("posix", "windows"), heavy=False, closes_handles=False):
    """Registers a scenario; `hosts` names the builds it runs against. A heavy one moves
    hundreds of megabytes or many thousands of files, too much under a memory checker; one
    that closes the tool's standard handles cannot run behind such a checker, whose own
    files would take their places."""

    def register(f):
        if f.__name__ in SCENARIOS:  # a second one would silently replace the first
            raise ValueError(f"scenario {f.__name__} is defined twice")
        SCENARIOS[f.__name__] = (f, hosts)
        if heavy:
            HEAVY.add(f.__name__)
        if closes_handles:
            CLOSES_HANDLES.add(f.__name__)
        return f

    return register(function) if function else register


class ScenarioFailure(AssertionError):
    pass


def show(data):
    return repr(data) if len(data) < 2000 else repr(data[:2000]) + "..."


class Result:
    def __init__(self, args, status, stdout, stderr):
        self.args = args
        self.status = status
        self.stdout = stdout
        self.stderr = stderr

    def context(self):
        return f"  (exit status {self.status}, error output {show(self.stderr)})"

    def expect(self, stdout=None, stderr=b"", status=None):
        """Checks whichever of the three were given; error output is empty unless said."""
        if stdout is not None and self.stdout != stdout:
            raise ScenarioFailure(
                f"{self.args}: standard output\n  got      {show(self.stdout)}\n"
                f"  expected {show(stdout)}\n{self.context()}")
        if stderr is not None and self.stderr != stderr:
            raise ScenarioFailure(
                f"{self.args}: error output\n  got      {show(self.stderr)}\n"
                f"  expected {show(stderr)}")
        if status is not None and self.status != status:
            raise ScenarioFailure(f"{self.args}: exit status {self.status}, expected {status}\n"
                                  f"  output {show(self.stdout)}\n  error output {show(self.stderr)}")
        return self

    def expect_one_of(self, stdouts, stderr=b"", status=None):
        """For output whose order the platform decides: any one of `stdouts` will do."""
        if self.stdout not in stdouts:
            raise ScenarioFailure(
                f"{self.args}: standard output\n  got      {show(self.stdout)}\n"
                + "".join(f"  or       {show(s)}\n" for s in stdouts) + self.context())
        return self.expect(stderr=stderr, status=status)


    def expect_one_pair_of(self, pairs, status=None):
        """For output whose order the platform decides: standard output and error output
        equal to any one of the (stdout, stderr) `pairs`."""
        if (self.stdout, self.stderr) not in pairs:
            raise ScenarioFailure(
                f"{self.args}: output\n  got      {show(self.stdout)} {show(self.stderr)}\n"
                + "".join(f"  or       {show(o)} {show(e)}\n" for o, e in pairs)
                + self.context())
        return self.expect(stderr=None, status=status)


class Scenario:
    """The context one scenario runs in."""

    def __init__(self, program, host, wine, wrapper=()):
        self.program = program
        # A command the tool runs under, such as a memory checker; helpers run without it.
        self.wrapper = list(wrapper)
        self.host = host  # "posix" or "windows"
        self.wine = wine
        self.dir = tempfile.mkdtemp(prefix="quillpack-scenario-")
        self.failed = False
        self.keeper = self.keep_wine_running() if wine else None

    # --- host forms ------------------------------------------------------------------

    @property
    def windows(self):
        return self.host == "windows"

    @property
    def sep(self):
        """The host's path delimiter, as bytes."""
        return b"\\" if self.windows else b"/"

    def host_path(self, relative=""):
        """The full path the program prints for `relative` inside the scenario directory:
        under Wine the Unix root is drive Z:."""
        full = os.path.join(self.dir, relative) if relative else self.dir
        if self.windows:
            return ("Z:" + full.replace("/", "\\")).encode()
        return full.encode()

    def target(self, directory=""):
        """The target directory as extract names it: as typed plus one delimiter, or the
        full current directory plus one when none was typed."""
        return self.join(directory, "") if directory else self.host_path() + self.sep

    def merge_progress(self, mask, output=""):
        """The two lines a merge writes before anything else."""
        return lines(b"Adding files from " + self.host_path(mask),
                     b"...............to " + (self.host_path(output) if output else b""))

    def extract_progress(self, merged, directory=""):
        return lines(b"Extracting files from " + self.host_path(merged),
                     b".................. to " + self.target(directory))

    def join(self, *parts):
        """Parts joined with the host delimiter, as bytes."""
        return self.sep.join(p if isinstance(p, bytes) else p.encode() for p in parts)

    # --- files -----------------------------------------------------------------------

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        path = self.path(name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())
        return path

    def mkdir(self, name):
        os.makedirs(self.path(name), exist_ok=True)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def exists(self, name):
        return os.path.lexists(self.path(name))

    def expect_file(self, name, data):
        if not os.path.isfile(self.path(name)):
            raise ScenarioFailure(f"file {name} is missing")
        got = self.read(name)
        if got != data:
            raise ScenarioFailure(
                f"file {name}\n  got      {show(got)}\n  expected {show(data)}")

    def expect_no_file(self, name):
        if self.exists(name):
            raise ScenarioFailure(f"file {name} should not exist")

    def expect_no_temporary_files(self, under=""):
        """No file the tool writes before it takes its name is left anywhere below `under`."""
        root = self.path(under) if under else self.dir
        for base, _, files in os.walk(root):
            left = [f for f in files if f.startswith(".quillpack")]
            if left:
                raise ScenarioFailure(f"left behind in {base}: {left}")

    def expect_files(self, names, under=""):
        """The set of file names (recursively, relative) below `under` is exactly `names`."""
        root = self.path(under) if under else self.dir
        found = set()
        for base, _, files in os.walk(root):
            for f in files:
                found.add(os.path.relpath(os.path.join(base, f), root).replace(os.sep, "/"))
        if found != set(names):
            raise ScenarioFailure(f"files below {under or '.'}: {sorted(found)}, "
                                  f"expected {sorted(names)}")

    # --- running ---------------------------------------------------------------------

    def command(self, args):
        command = [self.program, *args]
        return [self.wine, *command] if self.wine else [*self.wrapper, *command]

    def helper_command(self, name, args):
        """A test helper program built beside the tool."""
        suffix = ".exe" if self.windows else ""
        helper = os.path.join(os.path.dirname(self.program), name + suffix)
        return [self.wine, helper, *args] if self.wine else [helper, *args]

    def hold_open(self, name, text=b""):
        """Another program that holds `name` open for writing (after writing `text` into
        it) until the returned process's standard input is closed."""
        holder = subprocess.Popen(self.helper_command("hold_open", [name, text.decode()]),
                                  cwd=self.dir, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        if holder.stdout.readline() != b"held\n":
            holder.kill()
            raise ScenarioFailure(f"the helper could not hold {name} open")
        return holder

    def run(self, *args, stdin=b"", timeout=60, cwd=None, **popen):
        """Runs the program to its end; `stdin` is bytes, or None for the caller's own
        settings in `popen`."""
        stdin_arg = subprocess.PIPE if stdin is not None else popen.pop("stdin_handle", None)
        completed = subprocess.run(
            self.command(args),
            input=stdin,
            stdin=None if stdin is not None else stdin_arg,
            stdout=popen.pop("stdout", subprocess.PIPE),
            stderr=popen.pop("stderr", subprocess.PIPE),
            cwd=cwd or self.dir,
            timeout=timeout,
            **popen,
        )
        return Result(list(args), completed.returncode, completed.stdout or b"",
                      completed.stderr or b"")

    def run_into_file(self, output, *args, stdin=b""):
        """Runs the program with its standard output led into the file `output` (relative
        to the scenario directory, which is its working directory) by the host's shell:
        under Wine by cmd, since a handle that Wine takes over from a Unix parent cannot
        tell which file it is on."""
        if not self.windows:
            with open(self.path(output), "wb") as out:
                return self.run(*args, stdin=stdin, stdout=out)
        # Wine joins the words into cmd's command line; none of them holds a space.
        program = "Z:" + self.program.replace("/", "\\")
        line = [program, *args, ">", output.replace("/", "\\")]
        completed = subprocess.run([self.wine, "cmd", "/c", *line], input=stdin,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=self.dir,
                                   timeout=60)
        return Result(list(args), completed.returncode, completed.stdout, completed.stderr)

    def start(self, *args, **popen):
        """Starts the program and hands back the process, for scenarios that talk to it."""
        return subprocess.Popen(self.command(args), cwd=self.dir, **popen)

    def keep_wine_running(self):
        """Wine may end its server as soon as no program runs, and starting it again costs
        seconds per run. One program left waiting (for its answer to the action question,
        which two paths keep on standard output) keeps it up for the length of the
        scenario. Programs started while Wine is still coming up can stall, so the first
        bytes of the question are awaited before anything else runs."""
        keeper = subprocess.Popen(self.command(["keep", "waiting"]), cwd=self.dir,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL)
        if select.select([keeper.stdout], [], [], 120)[0]:
            os.read(keeper.stdout.fileno(), 1)
        return keeper

    def cleanup(self):
        if self.keeper:
            try:
                self.keeper.communicate(timeout=60)  # closing its input cancels
            except subprocess.TimeoutExpired:
                self.keeper.kill()
                self.keeper.communicate()
        if self.failed:
            print(f"kept {self.dir}")
        else:
            shutil.rmtree(self.dir, ignore_errors=True)


# --- texts the program writes ----------------------------------------------------------

BANNER = b"Quillpack Freeware Edition v1.02 - "
PAUSE = b"Press ENTER to continue..."
CRLF = b"\r\n"


PLAIN = b"./       ADD   NAME="
ARROW = b">>>>>>>>>> "
ACTION_QUESTION = b"Action not specified.(Merge/Extract/Cancel)?"
CANCELLED = b"Operation Cancelled."


def end_process(process):
    """Ends a started program whatever state a scenario left it in, and closes the pipes
    it was given."""
    if process.poll() is None:
        process.kill()
    process.wait()
    for stream in (process.stdin, process.stdout, process.stderr):
        if stream:
            stream.close()


def as_bytes(text):
    return text if isinstance(text, bytes) else text.encode()


def lines(*texts):
    """Console lines: each text followed by CR LF."""
    return b"".join(as_bytes(t) + CRLF for t in texts)


def closing_block(message):
    return lines(BANNER + as_bytes(message), b"", PAUSE)


def unknown_words(*words):
    """The lines that name unknown option words on the error output."""
    return lines(*(b"Ignoring unknown option " + as_bytes(w) + b"." for w in words))


def member(name, *member_lines, header=PLAIN):
    """One member of a merged file: its header line and its lines."""
    return lines(header + as_bytes(name), *member_lines)


def overwrite_question(path):
    """Extract's question before it writes over `path` (bytes, as the program names it)."""
    return b"Overwrite  [" + path + b"] (Yes/No/All/Cancel)?"


class BufferedPipe:
    """What a pipe receives from text files that share its handle: each file gathers its
    bytes in a buffer of its own and hands them on in whole 128-byte pieces, the rest
    when it is closed."""

    def __init__(self):
        self.received = bytearray()
        self.waiting = {}

    def write(self, file, data):
        buffer = self.waiting.setdefault(file, bytearray())
        buffer += as_bytes(data)
        while len(buffer) >= 128:
            self.received += buffer[:128]
            del buffer[:128]

    def close(self, file):
        self.received += self.waiting.pop(file, b"")
        return bytes(self.received)


def written_pieces(data):
    """What an abandoned file holds of `data`: the whole 128-byte pieces only."""
    return data[:len(data) // 128 * 128]


def refused_names(*sentences):
    """What a merge that refuses names writes: each refusal on the error output, one line
    each, and the closing block that counts them. Returns (error output, closing block)."""
    count = len(sentences)
    names = "1 name cannot" if count == 1 else f"{count} names cannot"
    return lines(*sentences), closing_block(f"{names} come back; nothing was merged.")
