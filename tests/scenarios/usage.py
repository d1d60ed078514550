"""The usage text and its pause."""

from scenario_harness import lines, scenario

USAGE = lines(
    b"Quillpack Freeware Edition v1.02 - usage is:",
    b"  1. Merge files in a directory to a single file.",
    b"     quillpack -merge indir outfile",
    b"     where indir is the source directory (with optional file masking),",
    b"       and outfile is the target output file.",
    b"  2. Restore files.",
    b"     quillpack -extract infile outdir",
    b"     where infile is a input file previously created by Quillpack,",
    b"       and outdir is the directory for the target destination.",
    b"  Notes: Use on text files only - otherwise results are unpredictable.",
    b"  Use -nice to write member headers as \">>>>>>>>>> NAME\" when merging,",
    b"  and -debug to show the underlying message when something fails.",
    b"",
    b"Press ENTER to continue...",
)


@scenario
def usage_without_arguments(t):
    t.run(stdin=b"\r\n").expect(stdout=USAGE, status=0)
    t.expect_files([])


@scenario
def usage_for_question_marks(t):
    for args in (["?"], ["-?"], ["-merge", "-?"], ["a", "b", "-?"], ["-?", "-merge", "x", "y"]):
        t.run(*args, stdin=b"\n").expect(stdout=USAGE, status=0)
    t.expect_files([])


@scenario(hosts=("windows",))
def usage_for_slash_question_mark(t):
    for args in (["/?"], ["-merge", "a", "b", "/?"], ["/?", "-extract"]):
        t.run(*args, stdin=b"\r\n").expect(stdout=USAGE, status=0)
    t.expect_files([])


@scenario
def usage_pause_at_end_of_input(t):
    # With nothing left to read, the pause must not wait: the run ends as usual.
    t.run("-?", stdin=b"").expect(stdout=USAGE, status=0)
