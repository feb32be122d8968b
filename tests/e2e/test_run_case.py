#!/usr/bin/env python3
"""Checks the case runner and the case writer against a stand-in program.

The stand-in obeys a few made-up options (copy files, write to stderr,
sleep, set the status), so these checks do not depend on kup.
"""

import io
import os
import subprocess
import sys
import tempfile
import textwrap
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run_case  # noqa: E402

STAND_IN = """\
import os, sys, time
args = sys.argv[1:]
status = 0
while args:
    a = args.pop(0)
    if a == "--status":
        status = int(args.pop(0))
    elif a == "--err":
        sys.stderr.write(args.pop(0) + "\\n")
    elif a == "--sleep":
        time.sleep(float(args.pop(0)))
    elif a == "--stdin":
        sys.stdout.flush()
        sys.stdout.buffer.write(sys.stdin.buffer.read())
    elif a == "--env":
        name = args.pop(0)
        print(name + "=" + os.environ.get(name, "(unset)"))
    elif a == "-h":
        if os.environ.get("KUP_SIMD") == "none":
            sys.exit("KUP error - KUP_SIMD names a way this machine lacks")
    elif a == "--date":
        print("started", time.ctime(), "built", "Jul  6 2024 14:40:01")
    elif a == "--fail-once":
        mark = args.pop(0)
        if not os.path.exists(mark):
            open(mark, "w").close()
            sys.exit(9)
    elif a == "--write":
        with open(args.pop(0), "w") as f:
            f.write(args.pop(0))
    else:
        sys.stdout.flush()
        with open(a, "rb") as f:
            sys.stdout.buffer.write(f.read())
sys.stdout.flush()
sys.exit(status)
"""


class RunnerTest(unittest.TestCase):
    """Runs small cases through run_case against the stand-in."""

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory(prefix="kup-runner-test-")
        cls.kup = os.path.join(cls.dir.name, "stand-in")
        with open(cls.kup, "w") as f:
            f.write(f"#!{sys.executable}\n{STAND_IN}")
        os.chmod(cls.kup, 0o755)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def write_case(self, text, name="t.case", raw=None):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(raw if raw is not None else
                    textwrap.dedent(text).encode())
        return path

    def run_text(self, text, raw=None, timeout=5):
        """Runs a case text; returns (runner status, runner output)."""
        out = io.StringIO()
        status = run_case.run_case(self.kup, self.write_case(text, raw=raw),
                                   timeout=timeout, out=out)
        return status, out.getvalue()

    def assert_passes(self, text, raw=None):
        status, output = self.run_text(text, raw)
        self.assertEqual(status, 0, output)

    def assert_fails(self, text, *fragments, raw=None, status=1, timeout=5):
        got, output = self.run_text(text, raw, timeout)
        self.assertEqual(got, status, output)
        for fragment in fragments:
            self.assertIn(fragment, output)
        return output

    # -- right and wrong expectations

    COPY = """\
        description: copies a file and reports on stderr
        args: --err 'a note' --status 3 in.txt
        --- file in.txt
        one
        two
        --- stdout
        one
        {second}
        --- stderr
        a note
        --- status
        3
        """

    def test_right_expectations_pass(self):
        self.assert_passes(self.COPY.format(second="two"))

    def test_wrong_stdout_fails_with_a_diff(self):
        output = self.assert_fails(self.COPY.format(second="TWO"),
                                   "FAIL", "stdout differs",
                                   "-TWO", "+two")
        self.assertNotIn("stderr differs", output)

    def test_wrong_status_fails(self):
        self.assert_fails(self.COPY.format(second="two").replace("3\n", "0\n"),
                          "exit status: expected 0, got 3")

    def test_missing_stderr_section_means_empty(self):
        self.assert_fails("""\
            description: stderr is compared even without a section
            args: --err oops
            """, "stderr differs", "+oops")

    def test_stdin_section_is_fed_and_absent_one_is_empty(self):
        self.assert_passes("""\
            description: stdin is passed through
            args: --stdin
            --- stdin
            piped
            --- stdout
            piped
            """)
        self.assert_passes("""\
            description: no stdin section reads nothing
            args: --stdin
            """)

    # -- invisible characters

    def test_escapes_and_noeol_build_exact_bytes(self):
        self.assert_passes("""\
            description: tabs, CR, NUL, high bytes and no final newline
            args: in.txt
            --- file in.txt [escapes] [noeol]
            a\\tb\\r
            \\0\\xff\\\\
            \\x2d-- x
            --- stdout [noeol] [escapes]
            a\\tb\\r
            \\0\\xff\\\\
            \\x2d-- x
            """)

    # -- repeated content

    def test_repeat_builds_inputs_and_outputs(self):
        self.assert_passes("""\
            description: a repeated file and stdin, and a repeated output
            args: in.txt --stdin
            --- file in.txt [repeat 3]
            ab
            c
            --- stdin [repeat 2]
            ab
            c
            --- stdout [repeat 5]
            ab
            c
            """)

    def test_repeat_with_noeol_drops_only_the_last_newline(self):
        self.assert_passes("""\
            description: the final newline goes after repeating
            args: in.txt
            --- file in.txt [repeat 3] [noeol]
            a
            --- stdout [noeol]
            a
            a
            a
            """)

    def test_repeat_with_a_joined_line_makes_one_long_line(self):
        path = self.write_case("""\
            description: one long line without a newline
            args: in.txt
            --- file in.txt [repeat 5000] [escapes]
            a\\tb\\
            --- stdout [escapes] [repeat 2]
            a\\tb\\
            """)
        case = run_case.parse_case(path)
        self.assertEqual(case.files, [("in.txt", b"a\tb" * 5000)])
        self.assertEqual(case.stdout, b"a\tba\tb")

    def test_more_continues_a_file_with_flags_of_its_own(self):
        path = self.write_case("""\
            description: a file made of parts repeated differently
            args: in.txt
            --- file in.txt [repeat 3]
            a
            --- more in.txt
            b
            --- more in.txt [repeat 2] [noeol]
            c
            --- stdout
            """)
        case = run_case.parse_case(path)
        self.assertEqual(case.files, [("in.txt", b"a\na\na\nb\nc\nc")])

    def test_repeat_mismatch_in_a_long_text_names_the_first_line(self):
        output = self.assert_fails("""\
            description: a long output differs in one line
            args: in.txt
            --- file in.txt [repeat 30000]
            same
            --- stdout [repeat 29999]
            same
            """, "stdout differs", "30000 lines actual",
            "first difference at line 30000", "+same")
        self.assertLess(len(output), 5000)

    def test_repeat_flag_errors(self):
        bad = {
            "--- stdout [repeat]\n": "expected [repeat N]",
            "--- stdout [repeat x]\n": "expected [repeat N]",
            "--- stdout [repeat 0]\n": "expected [repeat N]",
            "--- stdout [repeat 2] [repeat 3]\n": "flag [repeat] given twice",
            "--- stdout [noeol 2]\n": "takes no value",
            "--- stdout [repeat 999999999]\nabc\n": "makes more than",
        }
        for text, message in bad.items():
            with self.subTest(text=text):
                self.assert_fails("description: x\n" + text,
                                  "CASE ERROR", message, status=2)

    def test_diff_spells_out_invisible_characters(self):
        output = self.assert_fails("""\
            description: the diff shows what differs in invisible bytes
            args: in.txt
            --- file in.txt [escapes] [noeol]
            a\\tb\\r
            end\\x20
            --- stdout
            a b
            end
            """, "+a\\tb\\r", "-a b", "+end\\x20",
            "+\\ no newline at end")
        self.assertNotIn("\t", output)

    def test_literal_tab_in_expected_text(self):
        self.assert_passes("description: a literal tab\n"
                           "args: in.txt\n"
                           "--- file in.txt\nx\ty\n"
                           "--- stdout\nx\ty\n")

    # -- placeholders, files after the run

    def test_dates_and_build_stamps_become_placeholders(self):
        self.assert_passes("""\
            description: dates are replaced before comparing
            args: --date
            --- stdout
            started {DATE} built {BUILD}
            """)

    def test_env_sets_variables_and_clears_those_kup_reads(self):
        cleared = ("SOURCE_DATE_EPOCH", "KUP_PATH")
        saved = {name: os.environ.get(name) for name in cleared}
        for name in cleared:
            os.environ[name] = "from the caller"
        try:
            self.assert_passes("""\
                description: env sets, the caller's variables kup reads are gone
                args: --env SOURCE_DATE_EPOCH --env KUP_PATH --env GREETING
                env: GREETING='a b'
                --- stdout
                SOURCE_DATE_EPOCH=(unset)
                KUP_PATH=(unset)
                GREETING=a b
                """)
        finally:
            for name, value in saved.items():
                if value is None:
                    del os.environ[name]
                else:
                    os.environ[name] = value
        # A case that fixes the date compares dates as they are.
        self.assert_fails("""\
            description: no {DATE} placeholder once the date is fixed
            args: --date
            env: SOURCE_DATE_EPOCH=0
            --- stdout
            started {DATE} built {BUILD}
            """, "stdout differs")

    def test_run_variables_reach_every_case_under_its_own(self):
        case = self.write_case("""\
            description: --env sets a variable unless the case does
            args: --env KUP_SIMD --env KUP_PATH
            env: KUP_PATH=own
            --- stdout
            KUP_SIMD=scalar
            KUP_PATH=own
            """)
        run = [sys.executable, os.path.join(HERE, "run_case.py"), "--kup", self.kup]
        ok = subprocess.run(run + ["--env", "KUP_SIMD=scalar", "--env", "KUP_PATH=x", case],
                            capture_output=True, text=True)
        self.assertEqual(ok.returncode, 0, ok.stdout)
        # Without --env the case fails; with a value that kup refuses as
        # lacking here, every case is skipped with status 77.
        self.assertEqual(subprocess.run(run + [case], capture_output=True).returncode, 1)
        skipped = subprocess.run(run + ["--env", "KUP_SIMD=none", case], capture_output=True, text=True)
        self.assertEqual(skipped.returncode, 77, skipped.stdout)
        self.assertIn("SKIP every case: KUP_SIMD=none refused here", skipped.stdout)

    def test_after_and_absent(self):
        case = """\
            description: files left behind are checked
            args: --write out/made.txt {text}
            --- mkdir out
            --- after out/made.txt [noeol]
            hello
            --- absent {absent}
            """
        self.assert_passes(case.format(text="hello", absent="other.txt"))
        self.assert_fails(case.format(text="bye", absent="other.txt"),
                          "file 'out/made.txt' differs", "+bye")
        self.assert_fails(case.format(text="hello", absent="out/made.txt"),
                          "exists after the run but should not")

    def test_stdout_to_redirects_and_skips_the_comparison(self):
        self.assert_passes("""\
            description: stdout goes to a file
            args: in.txt
            stdout_to: out.txt
            --- file in.txt
            x
            --- after out.txt
            x
            """)

    def test_stdin_from_a_file_and_from_a_directory(self):
        self.assert_passes("""\
            description: stdin read from a file of the case
            args: --stdin
            stdin_from: in.txt
            --- file in.txt
            from the file
            --- stdout
            from the file
            """)
        # Python itself refuses a directory as standard input; what matters
        # is that the runner could hand it over.
        output = self.assert_fails("""\
            description: stdin is a directory
            args: --stdin
            stdin_from: dir
            --- mkdir dir
            """, "stderr differs", "is a directory")
        self.assertNotIn("CASE ERROR", output)

    # -- robustness

    def test_a_hang_is_a_failure(self):
        self.assert_fails("""\
            description: never finishes in time
            args: --sleep 30
            """, "killed after a timeout of 0.5 s", timeout=0.5)

    def test_syntax_errors_are_reported_with_their_line(self):
        bad = {
            "description: x\n--- stdot\n": ":2: unknown section 'stdot'",
            "args: x\n": "missing 'description:'",
            "description: x\nwhatever\n": ":2: expected a header line",
            "description: x\n--- file\n": ":2: section 'file' needs a path",
            "description: x\n--- status\nzero\n": "status must be a number",
            "description: x\n--- stdout [eol]\n": "unknown flag [eol]",
            "description: x\n--- stdout [escapes]\n\\q\n": "bad escape",
            "description: x\n--- file ../up\n": "must stay inside",
            "description: x\nargs: 'open\n": "cannot split args",
            "description: x\n--- stdout\n--- stdout\n": "given twice",
            "description: x\n--- more f\n": "'more' names no file",
            "description: x\nstdout_to: f\n--- stdout\n": "exclude each other",
            "description: x\nenv: A B=1\n": "expected NAME=VALUE",
        }
        for text, message in bad.items():
            with self.subTest(text=text):
                self.assert_fails(text, "CASE ERROR", message, status=2)

    def test_list_names_the_cases_of_a_directory(self):
        cases = os.path.join(self.dir.name, "cases")
        for name in ("g/b.case", "g/a.case", "h/deep/c.case", "g/notes.md"):
            os.makedirs(os.path.dirname(os.path.join(cases, name)),
                        exist_ok=True)
            open(os.path.join(cases, name), "w").close()
        proc = subprocess.run([sys.executable,
                               os.path.join(HERE, "run_case.py"),
                               "--list", cases],
                              capture_output=True, text=True)
        self.assertEqual(proc.stdout, "g/a\ng/b\nh/deep/c\n")

    def test_a_directory_runs_its_cases_and_names_the_failures(self):
        group = os.path.join(self.dir.name, "group")
        os.makedirs(group)
        for name, status in (("a", 0), ("b", 1), ("c", 0), ("d", 1)):
            with open(os.path.join(group, name + ".case"), "w") as f:
                f.write(f"description: {name}\nargs: --status {status}\n")
        proc = subprocess.run([sys.executable,
                               os.path.join(HERE, "run_case.py"),
                               "--kup", self.kup, "-j", "2", group],
                              capture_output=True, text=True)
        self.assertEqual(proc.returncode, 1, proc.stdout)
        b, d = (os.path.join(group, n + ".case") for n in "bd")
        self.assertTrue(proc.stdout.endswith(
            f"2 pass, 0 skip, 2 fail, 0 case error\nfailed: {b}\n"
            f"failed: {d}\n"), proc.stdout)

    def test_command_line_exit_status(self):
        path = self.write_case(self.COPY.format(second="TWO"), "cli.case")
        runner = os.path.join(HERE, "run_case.py")
        proc = subprocess.run([sys.executable, runner, "--kup", self.kup,
                               path], capture_output=True, text=True)
        self.assertEqual(proc.returncode, 1, proc.stdout)
        self.assertIn("stdout differs", proc.stdout)

    # -- other platforms

    def test_launcher_runs_kup(self):
        script = os.path.join(self.dir.name, "not-executable")
        with open(script, "w") as f:
            f.write(STAND_IN)
        path = self.write_case("""\
            description: run through an interpreter
            args: --err launched
            --- stderr
            launched
            """)
        out = io.StringIO()
        self.assertEqual(run_case.run_case(script, path, out=out), 2)
        self.assertEqual(run_case.run_case(script, path, out=out,
                                           launcher=[sys.executable]), 0)

    def test_skip_applies_on_its_platform_only(self):
        passing = self.write_case("description: runs\n", "runs.case")
        skipped = self.write_case("""\
            description: fails wherever it runs
            skip: windows no such thing there
            args: --status 1
            """, "skipped.case")
        runner = os.path.join(HERE, "run_case.py")
        proc = subprocess.run([sys.executable, runner, "--kup", self.kup,
                               "--platform", "windows", "-j", "2", passing,
                               skipped], capture_output=True, text=True)
        self.assertEqual(proc.returncode, 0, proc.stdout)
        self.assertIn(f"SKIP {skipped} on windows: no such thing there\n",
                      proc.stdout)
        self.assertTrue(proc.stdout.endswith(
            "1 pass, 1 skip, 0 fail, 0 case error\n"), proc.stdout)
        with open(skipped) as f:
            self.assert_fails(f.read(), "exit status")
        for text, message in {"skip: linux x\n": "expected 'skip:",
                              "skip: windows\n": "expected 'skip:",
                              "skip: arm64 a\nskip: arm64 b\n": "twice"}.items():
            with self.subTest(text=text):
                self.assert_fails("description: x\n" + text, "CASE ERROR",
                                  message, status=2)

    def test_reruns_pass_a_case_that_fails_once_only(self):
        mark = os.path.join(self.dir.name, "failed-once")
        flaky = self.write_case(f"""\
            description: fails on its first run only
            args: --fail-once {mark} --err ok
            --- stderr
            ok
            """, "flaky.case")
        broken = self.write_case("description: always\nargs: --status 4\n",
                                 "broken.case")
        runner = os.path.join(HERE, "run_case.py")
        proc = subprocess.run([sys.executable, runner, "--kup", self.kup,
                               "--reruns", "2", flaky, broken],
                              capture_output=True, text=True)
        self.assertEqual(proc.returncode, 1, proc.stdout)
        self.assertIn(f"PASS {flaky}: fails on its first run only [passed on "
                      "rerun 1; the first run: exit status: expected 0, got 9;"
                      " stderr differs:]\n", proc.stdout)
        self.assertIn("(failed on every one of 3 runs; the last one follows)",
                      proc.stdout)
        self.assertTrue(proc.stdout.endswith(
            "1 pass, 0 skip, 1 fail, 0 case error "
            "(1 of the passes only on a rerun)\n"
            f"failed: {broken}\n"), proc.stdout)

    # -- the case writer

    def test_new_case_records_a_case_that_passes(self):
        output = os.path.join(self.dir.name, "new", "made.case")
        writer = os.path.join(HERE, "new_case.py")
        proc = subprocess.run(
            [sys.executable, writer, "--kup", self.kup, "-o", output,
             "-m", "recorded case", "--file",
             "in.txt=plain\\n\\ttab\\ntrailing \\n--- dash\\ncr\\r\\nlast",
             "--stdin", "in\\n", "--after", "w.txt", "--absent", "gone",
             "--", "in.txt", "--stdin", "--err", "note", "--status", "1",
             "--write", "w.txt", "x"],
            capture_output=True, text=True)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        with open(output) as f:
            text = f.read()
        self.assertIn("--- status\n1\n", text)
        self.assertIn("trailing\\x20\n", text)
        self.assertIn("\\x2d-- dash\n", text)
        self.assertIn("--- after w.txt [noeol]\nx\n", text)
        self.assertIn("--- absent gone\n", text)
        self.assertEqual(run_case.run_case(self.kup, output, out=io.StringIO()),
                         0)


if __name__ == "__main__":
    unittest.main()
