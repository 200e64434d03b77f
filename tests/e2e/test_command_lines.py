"""Hostile and unusual command lines for both commands through the real host:
the documented messages and exit codes, never a crash."""

from e2e_common import (
    FAILURE_TEXT,
    E2ETestCase,
    command,
    loc_failures,
    main,
    rdns_line,
    upper_ascii,
)

PREFIX = "DNS plugin: "
OVERFLOW = PREFIX + "Buffer overflow: b = 8191, MAX_ARG_LEN = 8192 \n"
NO_NAME = PREFIX + "Must specify at least one name to look up\n"
MISSING = PREFIX + "Missing ipaddr\n"


class CommandLines(E2ETestCase):
    def check(self, line, code, err, out=None):
        r = command(line)
        self.assertEqual(r.code, code, line[:80])
        self.assertEqual(r.err, err, line[:80])
        if out is not None:
            self.assertEqual(r.out, out, line[:80])
        return r

    def test_overflowing_line(self):
        # One argument longer than the argument buffer: the overflow report, then
        # the command sees no arguments at all.
        long_argument = "x" * 9000
        self.check(f"dns {long_argument}", 255, OVERFLOW + NO_NAME, out="")
        self.check(f"rdns {long_argument}", 1, OVERFLOW + MISSING, out="")

    def test_more_than_1024_arguments(self):
        # Arguments after the 1024th are ignored: the name at the end is never seen.
        self.check("dns " + "/K " * 1100 + f"{self.server} e2e.test", 255, NO_NAME, out="")
        # Every unreadable address up to the 1024th is reported, in order.
        words = [f"x{i}" for i in range(1, 1101)]
        expected = "".join(f'{PREFIX}Bad IP address: "X{i}"\n' for i in range(1, 1025))
        self.check("rdns " + " ".join(words), 1, expected, out="")

    def test_unclosed_quote_runs_to_the_end(self):
        line = f'dns {self.server} "e2e.test'
        err, code = loc_failures(line)
        r = self.check(line, code, err)
        self.assertIn("A       ADDRESS     192.0.2.1\n", r.out)
        self.check('rdns "192.0.2.1', 0, "", out=rdns_line("192.0.2.1", "host1.e2e.test"))

    def test_lone_and_odd_switches(self):
        for line, code, message in [
            ("dns /", 1, 'Unknown option: "/"'),
            ("dns //", 1, 'Unknown option: "//"'),
            ("dns /N:", 255, "Must specify at least one name to look up"),
            ("rdns /", 1, 'Unknown option: "/"'),
            ("rdns /A", 1, 'Bad IP address: "/A"'),
            ("rdns /A:", 1, 'Bad IP address: "/A:"'),
            ("rdns /$", 1, "Missing ipaddr"),
        ]:
            with self.subTest(line=line):
                self.check(line, code, PREFIX + message + "\n", out="")

    def test_control_characters_and_non_ascii_text(self):
        for line, code, message in [
            ("dns /\x01", 1, 'Unknown option: "/\x01"'),
            ("dns /\u00fc", 1, 'Unknown option: "/\u00fc"'),
            # The width's message upper-cases every alphabet, not only a to z.
            (f"dns /W\u00e4 {self.server} e2e.test", 1, 'Bad width value: "/W\u00c4"'),
            ("rdns /\u00fc", 1, 'Unknown option: "/\u00fc"'),
            ("rdns b\u00fccher.test", 1, 'Bad IP address: "B\u00fcCHER.TEST"'),
            ("rdns 1.2.3.\x07", 1, 'Bad IP address: "1.2.3.\x07"'),
        ]:
            with self.subTest(line=line):
                self.check(line, code, PREFIX + message + "\n", out="")

    def test_unusual_names_are_looked_up_without_harm(self):
        # A name with a control byte or non-ASCII letters goes to the server as it is, which
        # refuses it; one with a label too long for DNS cannot be sent. Either way the table
        # shows no records and standard error says why.
        for name, reason in [("a\x01b.nowhere.test", "refused"),
                             ("b\u00fccher.nowhere.test", "refused"),
                             ("x" * 300 + ".nowhere.test", "invalid name")]:
            with self.subTest(name=name[:20]):
                r = command(f"dns {self.server} {name}")
                self.assertEqual(r.code, 2)
                self.assertTrue(r.out.endswith("No records found.\n"), r.out[-80:])
                lines = r.err.splitlines(True)
                self.assertTrue(lines, "a line for the failed queries")
                for line in lines:
                    self.assertTrue(line.startswith("DNS plugin: Error looking up "), line)
                    self.assertIn(f'"{upper_ascii(name)}"', line)
                self.assertTrue(lines[0].endswith(FAILURE_TEXT[reason] + "\n"), lines[0])


if __name__ == "__main__":
    main()
