"""The console questions: which answers count, and the end of standard input."""

from scenario_harness import (ACTION_QUESTION, CANCELLED, closing_block, lines, member,
                              overwrite_question, scenario)


@scenario
def action_question_until_a_known_letter(t):
    t.write("src/a.txt", "x\n")
    t.write("m.txt", member("A.TXT", "x"))
    t.mkdir("d")
    merged = t.merge_progress("src/*.txt", "o.txt") + lines("Adding A.TXT")
    # Only the first character counts, exactly and in lower case.
    for answers, tail, status in [
        (["", "M", " m", "x", "Y", "c"], closing_block(CANCELLED), 1),
        (["cancel"], closing_block(CANCELLED), 1),
        (["Merge", "mango"], merged, 0),
    ]:
        t.run("src/*.txt", "o.txt", stdin=lines(*answers)).expect(
            stdout=ACTION_QUESTION * len(answers) + tail, status=status)
    t.expect_file("o.txt", member("A.TXT", "x"))
    t.run("m.txt", "d", stdin=b"e\r\n").expect(
        stdout=ACTION_QUESTION + t.extract_progress("m.txt", "d") + lines("Extracting A.TXT"),
        status=0)
    t.expect_file("d/A.TXT", b"x\r\n")


@scenario
def merge_overwrite_question(t):
    t.write("src/a.txt", "x\n")
    t.write("out.txt", "old\r\n")
    question = b"Overwrite out.txt(Yes/No)?"  # the name as typed
    progress = t.merge_progress("src/*.txt", "out.txt")
    t.run("-merge", "src/*.txt", "out.txt", stdin=lines("Y", " y", "", "no")).expect(
        stdout=progress + question * 4 + closing_block(CANCELLED), status=1)
    t.expect_file("out.txt", b"old\r\n")
    t.run("-merge", "src/*.txt", "out.txt", stdin=lines("yellow")).expect(
        stdout=progress + question + lines("Adding A.TXT"), status=0)
    t.expect_file("out.txt", member("A.TXT", "x"))


@scenario
def end_of_input_at_each_question(t):
    """With standard input at its end no question can be answered: the run is cancelled
    and nothing is overwritten."""
    t.write("src/a.txt", "x\n")
    for stdin, asked in ((b"", 1), (b"x\r\n", 2), (b"\r\n", 2)):
        t.run("src/*.txt", "o.txt", stdin=stdin).expect(
            stdout=ACTION_QUESTION * asked + closing_block(CANCELLED), status=1)
    t.expect_no_file("o.txt")

    t.write("out.txt", "old\r\n")
    for stdin, asked in ((b"", 1), (b"Y\r\n", 2)):
        t.run("-merge", "src/*.txt", "out.txt", stdin=stdin).expect(
            stdout=t.merge_progress("src/*.txt", "out.txt")
            + b"Overwrite out.txt(Yes/No)?" * asked + closing_block(CANCELLED), status=1)
    t.expect_file("out.txt", b"old\r\n")

    t.write("m.txt", member("A.TXT", "a") + member("B.TXT", "b"))
    t.write("d/B.TXT", "old\r\n")
    t.run("-extract", "m.txt", "d", stdin=b"").expect(
        stdout=t.extract_progress("m.txt", "d") + lines("Extracting A.TXT")
        + overwrite_question(t.join("d", "B.TXT")) + closing_block(CANCELLED), status=1)
    t.expect_file("d/A.TXT", b"a\r\n")
    t.expect_file("d/B.TXT", b"old\r\n")
