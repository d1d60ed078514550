"""The end of the process: failures no handler of the tool can take, and output that
cannot be written."""

import os
import re
import subprocess

from scenario_harness import ScenarioFailure, scenario

def close_standard_output():
    os.close(1)


@scenario(closes_handles=True)
def closed_standard_output_gives_the_report(t):
    # The closing block cannot be written, so the failure leaves the tool's handler; the
    # pause must not happen, or this run would wait on its open input for ever.
    process = t.start("-merge", "nothing*", "out.txt", stdin=subprocess.PIPE,
                      stderr=subprocess.PIPE, preexec_fn=close_standard_output)
    try:
        status = process.wait(timeout=60)
    finally:
        process.stdin.close()
    stderr = process.stderr.read()
    process.stderr.close()
    # POSIX cannot open standard output at all (105); what Windows meets first is its own.
    code = rb"\d+" if t.windows else b"105"
    if not report_of(code).fullmatch(stderr):
        raise ScenarioFailure(f"error output {stderr!r}")
    if status != 1:
        raise ScenarioFailure(f"exit status {status}, expected 1")
    t.expect_files([])


def report_of(code):
    return re.compile(rb"Exception EInOutError in module quillpack(\.exe)? at [0-9A-F]{8}\.\r\n"
                      rb"I/O error " + code + rb"\.\r\n\r\n")


@scenario(hosts=("posix",))
def full_device_as_standard_output(t):
    # The usage text passes 128 bytes, so a write already fails, and so does the closing
    # block after it.
    with open("/dev/full", "wb") as full:
        result = t.run(stdin=b"\n", stdout=full)
    if not report_of(b"112").fullmatch(result.stderr) or result.status != 1:
        raise ScenarioFailure(f"status {result.status}, error output {result.stderr!r}")


def run_into_closed_pipe(t, *args):
    reader, writer = os.pipe()
    os.close(reader)
    try:
        return t.run(*args, stdin=b"\n", stdout=writer)
    finally:
        os.close(writer)


@scenario(hosts=("posix",))
def closed_pipe_fails_during_the_run(t):
    # The usage text passes 128 bytes, so a write fails while the run goes on: nobody reads
    # standard output any more, so the run ends there, quietly, with status 1.
    run_into_closed_pipe(t).expect(stdout=b"", stderr=b"", status=1)


@scenario(hosts=("posix",))
def closed_pipe_fails_only_at_the_final_flush(t):
    # An extract whose few progress lines wait in the buffer to the end: its files are
    # written, and only the status tells that the lines were lost.
    t.write("m", b"./       ADD   NAME=A.TXT\r\na\r\n")
    t.mkdir("o")
    run_into_closed_pipe(t, "-extract", "m", "o").expect(stdout=b"", stderr=b"", status=1)
    t.expect_files(["m", "o/A.TXT"])
