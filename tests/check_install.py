#!/usr/bin/env python3
"""Installs a build into a fresh prefix, as a user would, checks that the licence and (on
Linux) the compressed man page and the bash, zsh and fish completions are installed as they
are in the repository, and runs the installed program on the installed examples: they merge
into one file and extract back to their lines.

  check_install.py --cmake CMAKE --build DIR --program REL --docs REL --source DIR
                   [--wine WINE]

REL paths are relative to the prefix: the program, and the folder that holds the README,
the licence and examples/. DIR is the repository.
"""

import argparse
import gzip
import os
import shutil
import subprocess
import sys
import tempfile


def fail(message):
    print(message)
    sys.exit(1)


def run(command, **options):
    completed = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                               timeout=240, **options)
    if completed.returncode != 0:
        fail(f"{command}: status {completed.returncode}\n{completed.stdout.decode()}"
             f"{completed.stderr.decode()}")
    return completed.stdout


def as_extracted(data):
    """A text file as extract gives it back: every line ended by CR LF."""
    lines = data.replace(b"\r\n", b"\n").split(b"\n")
    if lines[-1] == b"":
        lines.pop()
    return b"".join(line + b"\r\n" for line in lines)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def check_copies(prefix, options):
    """The files installed as copies of the repository's: the Windows package's text files
    with CR LF line ends."""
    if options.wine:
        copies = {os.path.join(options.docs, "LICENSE.txt"): ("LICENSE", True)}
    else:
        copies = {os.path.join(options.docs, "copyright"): ("LICENSE", False),
                  os.path.join("share", "bash-completion", "completions", "quillpack"):
                      (os.path.join("completion", "quillpack.bash"), False),
                  os.path.join("share", "zsh", "vendor-completions", "_quillpack"):
                      (os.path.join("completion", "quillpack.zsh"), False),
                  os.path.join("share", "fish", "vendor_completions.d", "quillpack.fish"):
                      (os.path.join("completion", "quillpack.fish"), False)}
    for relative, (source, crlf) in copies.items():
        installed = os.path.join(prefix, relative)
        if not os.path.isfile(installed):
            fail(f"{relative} is not installed")
        expected = read_bytes(os.path.join(options.source, source))
        if crlf:
            expected = expected.replace(b"\n", b"\r\n")
        if read_bytes(installed) != expected:
            fail(f"{relative} is not {source} as it stands in the repository")


def check_man_page(prefix, options):
    """The manual page is installed compressed, as gzip -9n makes it: no name or time in its
    header, so that two builds give the same bytes, and the page as in the repository."""
    relative = os.path.join("share", "man", "man1", "quillpack.1.gz")
    path = os.path.join(prefix, relative)
    if not os.path.isfile(path):
        fail(f"{relative} is not installed")
    data = read_bytes(path)
    # The flags byte names no file name or comment; the time is 0; the extra flags say
    # the best compression.
    if data[:3] != b"\x1f\x8b\x08" or data[3] != 0 or data[4:8] != bytes(4) or data[8] != 2:
        fail(f"{relative} is not compressed as gzip -9n compresses: {data[:10]!r}")
    if gzip.decompress(data) != read_bytes(os.path.join(options.source, "doc", "quillpack.1")):
        fail(f"{relative} is not doc/quillpack.1 as it stands in the repository")


def check_installed(prefix, options):
    docs = os.path.join(prefix, options.docs)
    wanted = [options.program, os.path.join(options.docs, "examples")]
    wanted.append(os.path.join(options.docs, "README.txt" if options.wine else "README.md"))
    for relative in wanted:
        if not os.path.exists(os.path.join(prefix, relative)):
            fail(f"{relative} is not installed")
    check_copies(prefix, options)
    if not options.wine:
        check_man_page(prefix, options)
    # In the merge's order: by name, ignoring case.
    examples = os.path.join(options.source, "examples")
    installed = sorted(os.listdir(os.path.join(docs, "examples")), key=str.lower)
    if installed != sorted(os.listdir(examples), key=str.lower):
        fail(f"installed examples {installed}, expected those of {examples}")
    return installed


def merge_and_extract(prefix, options, names):
    program = os.path.join(prefix, options.program)
    command = [options.wine, program] if options.wine else [program]
    # Relative to the prefix: on Windows an argument that begins with "/" is an option.
    examples = os.path.join(options.docs, "examples")
    merged = "merged.txt"
    restored = "restored"
    os.mkdir(os.path.join(prefix, restored))
    output = run([*command, "-merge", examples, merged], cwd=prefix)
    if not output.endswith(b"".join(b"Adding %s\r\n" % n.upper().encode() for n in names)):
        fail(f"the merge said {output!r}")
    run([*command, "-extract", merged, restored], cwd=prefix)
    for name in names:
        with open(os.path.join(prefix, examples, name), "rb") as f:
            expected = as_extracted(f.read())
        with open(os.path.join(prefix, restored, name.upper()), "rb") as f:
            if f.read() != expected:
                fail(f"{name} did not come back as it was")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--cmake", "--build", "--program", "--docs", "--source"):
        parser.add_argument(option, required=True)
    parser.add_argument("--wine")
    options = parser.parse_args()
    prefix = tempfile.mkdtemp(prefix="quillpack-install-")
    try:
        run([options.cmake, "--install", options.build, "--prefix", prefix])
        names = check_installed(prefix, options)
        merge_and_extract(prefix, options, names)
    except BaseException:
        print(f"kept {prefix}")
        raise
    shutil.rmtree(prefix)
    installed = "the licence" if options.wine else "the licence, man page and completions"
    print(f"installed with {installed}; merged and extracted {len(names)} examples")


if __name__ == "__main__":
    main()
