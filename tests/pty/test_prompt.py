#!/usr/bin/env python3
"""The interactive prompt on a pseudo-terminal: history kept between sessions
(Up brings back a line of the last session; the file is mode 0600 and keeps at
most 500 lines) and Tab completion of command names and of the DNS plug-in's
options.

    test_prompt.py PATH_TO_CORVANE PATH_TO_PROBE_PLUGIN [unittest args]

Each session types only after its prompt has shown, so the editor reads the keys. The
editor redraws only what changed, so a completion is checked by what the completed line
does once it runs, not by how its redraw looks.
"""

import os
import shutil
import stat
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ptydrive import PtySession  # noqa: E402

CORVANE = None
PROBE = None
SERVER = os.environ.get("DNS_E2E_SERVER", "")
PROMPT = b"corvane> "
UP = b"\x1b[A"
HISTORY_LINES = 500
HEADER = "_HiStOrY_V2_"


class Prompt:
    """One corvane session at its prompt, with its own state folder."""

    def __init__(self, state, *extra, locale="C.UTF-8"):
        home = os.path.dirname(state)
        env = {k: v for k, v in os.environ.items() if k.lower() != "highlight"}
        env.update(HOME=home, XDG_STATE_HOME=state, XDG_CONFIG_HOME=os.path.join(home, "cfg"),
                   TERM="xterm", LC_ALL=locale, noloadmsg="1",
                   CORVANE_USER_SETTINGS=os.path.join(home, "none.ini"),
                   CORVANE_MACHINE_SETTINGS=os.path.join(home, "none-machine.ini"))
        self.session = PtySession([CORVANE, *extra], rows=24, cols=100, env=env, cwd=home)
        self.session.expect(PROMPT)

    def type(self, keys, until=None):
        """Sends keys; waits for the text they make appear, when given."""
        self.session.send(keys)
        if until is not None:
            self.session.expect(until)

    def run(self, line, output):
        """Types a whole line and waits for its output and the next prompt."""
        self.type(line.encode() + b"\r", output)
        self.session.expect(PROMPT)

    def exit(self):
        self.session.send(b"exit\r")
        code = self.session.wait()
        self.session.close()
        return code


class Folder(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="corvane-prompt.")
        self.addCleanup(shutil.rmtree, self.home, True)
        self.state = os.path.join(self.home, "state")
        self.history = os.path.join(self.state, "corvane", "history")

    def history_lines(self):
        with open(self.history, encoding="ascii") as f:
            lines = f.read().splitlines()
        self.assertEqual(lines[0], HEADER)
        return lines[1:]


class History(Folder):
    def test_up_brings_back_a_line_of_the_last_session(self):
        first = Prompt(self.state)
        first.run("echo kept between sessions", b"\r\nkept between sessions\r\n")
        self.assertEqual(first.exit(), 0)
        mode = os.stat(self.history).st_mode
        self.assertEqual(stat.S_IMODE(mode), 0o600)
        self.assertEqual(stat.S_IMODE(os.stat(os.path.dirname(self.history)).st_mode), 0o700)

        second = Prompt(self.state)
        second.type(UP, b"exit")  # the last line typed, drawn on the empty line
        second.type(UP)           # the line before it
        second.run("", b"\r\nkept between sessions\r\n")
        self.assertEqual(second.exit(), 0)

    def test_file_is_bounded_and_made_private(self):
        os.makedirs(os.path.dirname(self.history))
        with open(self.history, "w", encoding="ascii") as f:
            f.write(HEADER + "\n" + "".join(f"echo\\040old{n}\n" for n in range(1, 601)))
        os.chmod(self.history, 0o644)

        prompt = Prompt(self.state)
        prompt.type(UP, b"echo old600")  # the old lines are there
        prompt.type(b"\x15")             # Ctrl-U: clear the line again
        prompt.run("echo newest", b"\r\nnewest\r\n")
        self.assertEqual(prompt.exit(), 0)

        lines = self.history_lines()
        self.assertEqual(len(lines), HISTORY_LINES)
        self.assertEqual(lines[-2:], ["echo\\040newest", "exit"])
        self.assertEqual(lines[0], "echo\\040old103")  # the oldest ones went
        self.assertEqual(stat.S_IMODE(os.stat(self.history).st_mode), 0o600)

    def test_blank_lines_are_not_kept(self):
        prompt = Prompt(self.state)
        prompt.type(b"   \r", PROMPT)
        prompt.run("echo one", b"\r\none\r\n")
        self.assertEqual(prompt.exit(), 0)
        self.assertEqual(self.history_lines(), ["echo\\040one", "exit"])


class Completion(Folder):
    def test_builtin(self):
        prompt = Prompt(self.state)
        prompt.type(b"ec\t")
        prompt.run("completed", b"\r\ncompleted\r\n")
        self.assertEqual(prompt.exit(), 0)

    def test_rd_becomes_rdns(self):
        prompt = Prompt(self.state)
        prompt.type(b"rd\t")
        prompt.run("/?", b"Perform a reverse DNS lookup.")
        self.assertEqual(prompt.exit(), 0)

    def test_command_of_a_second_plugin(self):
        prompt = Prompt(self.state, "--plugin", PROBE)
        prompt.type(b"showa\t")
        prompt.run("probe", b"\r\n[probe]\r\n")
        self.assertEqual(prompt.exit(), 5)  # showargs: the length of its arguments

    def test_option_letter_after_dns_slash(self):
        prompt = Prompt(self.state)
        prompt.type(b"dns /n\t")
        prompt.run("?", "DNS /N:  \u2014 disable features".encode())
        self.assertEqual(prompt.exit(), 0)

    def test_several_choices_are_listed(self):
        prompt = Prompt(self.state)
        prompt.type(b"dns /\t", b"/?  /$  /A  /K  /N:  /P  /S  /W")
        prompt.session.expect(PROMPT + b"dns /")  # the line is drawn again below the list
        prompt.type(b"\x15")
        self.assertEqual(prompt.exit(), 0)


class TypedText(Folder):
    """Text outside ASCII, typed in a UTF-8 locale and in one that is none: shown as typed and
    handed to the command whole."""

    # A Latin letter, a symbol and a character beyond the BMP.
    WORDS = "b\u00fccher caf\u00e9 \u2603 \U0001D11E"
    LOCALES = ("C.UTF-8", "C")

    def test_the_command_gets_what_was_typed(self):
        for locale in self.LOCALES:
            with self.subTest(locale):
                prompt = Prompt(self.state, "--plugin", PROBE, locale=locale)
                line = f"showargs {self.WORDS}".encode()
                prompt.type(line, line)  # echoed as typed
                prompt.run("", f"\r\n[{self.WORDS}]\r\n".encode())
                # showargs: the number of characters it got
                self.assertEqual(prompt.exit(), len(self.WORDS))

    @unittest.skipUnless(SERVER, "DNS_E2E_SERVER is not set (run through scripts/test.sh)")
    def test_a_name_in_unicode_is_looked_up(self):
        for locale in self.LOCALES:
            with self.subTest(locale):
                prompt = Prompt(self.state, locale=locale)
                line = f"dns {SERVER} b\u00fccher.e2e.test".encode()
                prompt.type(line, line)
                # The zone's xn--bcher-kva.e2e.test.
                prompt.run("", b"ADDRESS     192.0.2.50")
                self.assertEqual(prompt.exit(), 0)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit("usage: test_prompt.py PATH_TO_CORVANE PATH_TO_PROBE_PLUGIN [unittest args]")
    CORVANE = os.path.abspath(sys.argv.pop(1))
    PROBE = os.path.abspath(sys.argv.pop(1))
    unittest.main()
