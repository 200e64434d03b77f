#!/usr/bin/env python3
"""The real corvane on a pseudo-terminal: the page prompt and its keys, the
terminal mode left as it was found, and colour sequences only where output is
highlighted.

    test_terminal.py PATH_TO_CORVANE [unittest args]

Lookups go only to the loopback server named by DNS_E2E_SERVER (scripts/test.sh
starts it in a private namespace); without it the lookup cases are skipped.
"""

import fcntl
import os
import re
import select
import signal
import struct
import sys
import tempfile
import termios
import time
import unittest

sys.dont_write_bytecode = True  # keep the source tree clean of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_common import Relay  # noqa: E402
from ptydrive import PtyOutput, PtySession  # noqa: E402

CORVANE = None
SERVER = os.environ.get("DNS_E2E_SERVER", "")
PROMPT = "\r   \u2500\u2500 Press a key to continue \u2500\u2500 ".encode("utf-8")
ERASE = b"\r" + b" " * 60 + b"\r"
NOTICE = b"\r ^C \r\n"  # the terminal turns the notice's line feed into CR LF
# Two names of the test zone with many records between them: several pages at 5 lines.
NAMES = "e2e.test multi.e2e.test"
SGR = re.compile(rb"\x1b\[[0-9;]*m")
LOAD_MESSAGE = b"DNS v1.0.9 loaded."
BREAK_ROUNDS = 25  # per break key, typed the moment the page prompt shows


def environment(**extra):
    home = tempfile.mkdtemp(prefix="corvane-pty-home.")
    env = {k: v for k, v in os.environ.items() if k.lower() != "highlight"}
    env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"), LC_ALL="C.UTF-8",
               TERM="xterm",
               CORVANE_USER_SETTINGS=os.path.join(home, "none.ini"),
               CORVANE_MACHINE_SETTINGS=os.path.join(home, "none-machine.ini"))
    env.update(extra)
    return env


# Prints the terminal mode, runs one corvane command line, prints its exit code and
# the terminal mode again.
WRAPPER = 'stty -g; "$0" -c "$1"; echo "rc=$?"; stty -g'
WRAPPED = re.compile(rb"\A(?P<before>[0-9a-f:]+)\r\n(?P<output>.*)rc=(?P<rc>\d+)\r\n"
                     rb"(?P<after>[0-9a-f:]+)\r\n\Z", re.S)


class Run:
    def __init__(self, session, code):
        self.code = code
        self.transcript = session.transcript
        m = WRAPPED.match(self.transcript)
        if m is None:
            raise AssertionError(f"unexpected transcript: {self.transcript!r}")
        self.before = m["before"]
        self.after = m["after"]
        self.output = m["output"]
        self.rc = int(m["rc"])


def start(line, rows=24, env=None):
    return PtySession(["sh", "-c", WRAPPER, CORVANE, line], rows=rows,
                      env=env or environment())


def finish(session, timeout=60):
    return Run(session, session.wait(timeout))


def lookup(options):
    return f"dns {options} {SERVER} {NAMES}"


class TerminalWithoutLookups(unittest.TestCase):
    def test_option_error_leaves_terminal_alone(self):
        with start("dns /P,1001 x") as s:
            r = finish(s)
        self.assertEqual(r.before, r.after)
        self.assertIn(b"Pause lines must be 0 - 1000: 1001", r.output)
        self.assertIsNone(SGR.search(r.output))

    def test_help_has_no_colour(self):
        with start("dns /?") as s:
            r = finish(s)
        self.assertEqual(r.before, r.after)
        self.assertEqual(r.rc, 0)
        self.assertIsNone(SGR.search(r.output))


@unittest.skipUnless(SERVER, "DNS_E2E_SERVER is not set (run through scripts/test.sh)")
class PagerOnTerminal(unittest.TestCase):
    def expect_prompt(self, s):
        s.expect(PROMPT, timeout=20)
        s.wait_for_key_mode()

    def test_prompt_after_five_lines_then_keys(self):
        with start(lookup("/P,5")) as s:
            self.expect_prompt(s)
            before_prompt = s.transcript[: s.transcript.index(PROMPT)]
            s.send(b" ")
            self.expect_prompt(s)
            s.send(b"c")  # no more prompts
            r = finish(s)
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.before, r.after)
        self.assertEqual(r.output.count(PROMPT), 2)
        self.assertEqual(r.output.count(PROMPT + ERASE), 2)
        # Five line ends before the first prompt (the stty line ends one more).
        self.assertEqual(before_prompt.count(b"\n") - 1, 5)
        self.assertIn(b"MULTI.E2E.TEST", r.output)

    def test_break_keys_at_the_prompt(self):
        # Ctrl-\ is Ctrl-Break on a terminal: like Ctrl-C it writes the notice; Esc does not.
        for name, key, notice in (("Ctrl-C", b"\x03", True), ("Ctrl-\\", b"\x1c", True),
                                  ("Esc", b"\x1b", False)):
            with self.subTest(name):
                with start(lookup("/P,5")) as s:
                    self.expect_prompt(s)
                    s.send(key)
                    r = finish(s)
                self.assertEqual(r.rc, 3)
                self.assertEqual(r.before, r.after)
                plain = SGR.sub(b"", r.output)
                self.assertNotIn(b"MULTI.E2E.TEST", r.output)
                if notice:
                    self.assertIn(PROMPT + ERASE + NOTICE, plain)
                else:
                    self.assertNotIn(b"^C", r.output)
                    self.assertTrue(plain.endswith(PROMPT + ERASE), r.output)

    def test_break_typed_as_the_prompt_shows_is_never_lost(self):
        # Sent the moment the prompt's text arrives, the key may come before the command waits
        # for keys, even before it has turned the terminal's signals off: a signal then, which
        # must still answer the prompt. Round after round at one corvane prompt.
        notice = re.compile(re.escape(ERASE) + rb"(?:\x1b\[[0-9;]*m)*" + re.escape(NOTICE))
        with PtySession([CORVANE], env=environment(noloadmsg="1")) as s:
            s.expect(b"corvane> ")
            for name, key in (("Ctrl-C", b"\x03"), ("Ctrl-\\", b"\x1c")):
                for round in range(BREAK_ROUNDS):
                    s.send(lookup("/P,5").encode() + b"\r")
                    s.expect(PROMPT, timeout=20)
                    s.send(key)
                    try:
                        s.expect(notice, timeout=20)
                    except AssertionError as error:
                        self.fail(f"{name} lost in round {round + 1}: {error}")
                    s.expect(b"corvane> ", timeout=20)
            s.send(b"exit\r")
            self.assertEqual(s.wait(), 3)  # the last command's code: broken off

    def test_extended_keys_give_a_page(self):
        with start(lookup("/P,5")) as s:
            self.expect_prompt(s)
            s.send(b"\x1b[B")  # cursor down: any other key
            self.expect_prompt(s)
            s.send(b"\x1b[21~")  # F10
            self.expect_prompt(s)
            s.send(b"a")
            r = finish(s)
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.before, r.after)
        self.assertEqual(r.output.count(PROMPT), 3)

    def test_pause_time_goes_on_by_itself(self):
        started = time.monotonic()
        with start(lookup("/P300m,5")) as s:
            r = finish(s)
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.before, r.after)
        prompts = r.output.count(PROMPT)
        self.assertGreaterEqual(prompts, 2)
        self.assertEqual(r.output.count(PROMPT + ERASE), prompts)
        self.assertGreaterEqual(time.monotonic() - started, 0.3 * prompts)

    def test_normal_end_without_paging(self):
        with start(lookup("")) as s:
            r = finish(s)
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.before, r.after)
        self.assertNotIn(PROMPT, r.output)

    def test_small_window_does_not_page(self):
        with start(lookup("/P"), rows=9) as s:
            r = finish(s)
        self.assertEqual(r.rc, 0)
        self.assertNotIn(PROMPT, r.output)


def corvane_child(session):
    """The corvane process under the wrapper shell: a signal for it alone."""
    with open(f"/proc/{session.pid}/task/{session.pid}/children") as children:
        return int(children.read().split()[0])


@unittest.skipUnless(SERVER, "DNS_E2E_SERVER is not set (run through scripts/test.sh)")
class LookupsInFlight(unittest.TestCase):
    """Later names are in flight while the page prompt waits, and a break while the
    command waits for answers ends it."""

    def relay(self, hold):
        """The relay in front of the test server, holding back the queries for hold until
        release() (or for good)."""
        try:
            relay = Relay("127.0.0.10", SERVER, hold=[hold])
        except OSError as error:
            self.skipTest(f"cannot bind port 53 of 127.0.0.10: {error}")
        self.addCleanup(relay.close)
        return relay

    def test_prompt_while_later_names_are_in_flight(self):
        relay = self.relay("loc-zero.e2e.test")
        with start(f"dns /P,5 {relay.address} e2e.test multi.e2e.test loc-zero.e2e.test") as s:
            s.expect(PROMPT, timeout=20)
            # The last name was asked before the first page was full, and its answers are
            # still held back while the prompt waits.
            self.assertTrue(relay.wait_held(20))
            self.assertNotIn(b"LOC-ZERO", s.transcript)
            relay.release()
            s.send(b"c")
            r = finish(s)
        self.assertEqual(r.rc, 0)
        self.assertEqual(r.before, r.after)
        self.assertEqual(r.output.count(PROMPT), 1)
        self.assertIn(b"LOC-ZERO.E2E.TEST", r.output)
        self.assertIn(b"LOC     LOCATION    0\xc2\xb0 0", r.output)

    def test_break_while_waiting_for_answers(self):
        relay = self.relay("loc-zero.e2e.test")  # never released: a mute server for that name
        with start(f"dns {relay.address} multi.e2e.test loc-zero.e2e.test") as s:
            s.expect(b"LOC-ZERO.E2E.TEST", timeout=20)
            # Its header is out; its answers are awaited.
            s.expect(("\u2500" * 35 + "\r\n").encode("utf-8"), timeout=20)
            self.assertTrue(relay.wait_held(20))
            os.kill(corvane_child(s), signal.SIGINT)
            r = finish(s)
        self.assertEqual(r.rc, 3)
        self.assertEqual(r.before, r.after)
        plain = SGR.sub(b"", r.output)
        self.assertTrue(plain.endswith(NOTICE), plain)  # nothing after the notice


@unittest.skipUnless(SERVER, "DNS_E2E_SERVER is not set (run through scripts/test.sh)")
class ColourOnTerminal(unittest.TestCase):
    def test_name_lines_are_highlighted(self):
        with start(lookup("")) as s:
            r = finish(s)
        self.assertEqual(r.rc, 0)
        # The default highlight on the normal colour is bright white, reset at the line end.
        self.assertIn(b"\x1b[0;97mE2E.TEST\x1b[0m\r\n", r.output)
        self.assertIn(b"\x1b[0;97mMULTI.E2E.TEST\x1b[0m\r\n", r.output)
        # Record lines stay plain.
        self.assertIsNone(re.search(rb"\x1b\[0;97m[A-Z]+ ", r.output))

    def test_highlight_setting_colours(self):
        with start(lookup(""), env=environment(Highlight="0x1E")) as s:
            r = finish(s)
        self.assertIn(b"\x1b[0;93;44mE2E.TEST\x1b[0m", r.output)

    def test_no_colour_option(self):
        with start(lookup("/N:C")) as s:
            r = finish(s)
        self.assertEqual(r.rc, 0)
        self.assertIn(b"MULTI.E2E.TEST", r.output)
        self.assertIsNone(SGR.search(r.output))

    def test_unusable_setting(self):
        for setting in ("0x07", "0x1G", "no such colour name"):
            with start(lookup(""), env=environment(Highlight=setting)) as s:
                r = finish(s)
            self.assertEqual(r.rc, 0, setting)
            self.assertIn(b"MULTI.E2E.TEST", r.output, setting)
            self.assertIsNone(SGR.search(r.output), setting)

    def test_redirected_output(self):
        with tempfile.NamedTemporaryFile(prefix="corvane-out.") as out:
            script = '"$0" -c "$1" > "$2"; echo "rc=$?"'
            with PtySession(["sh", "-c", script, CORVANE, lookup(""), out.name],
                            env=environment()) as s:
                code = s.wait(60)
                transcript = s.transcript
            with open(out.name, "rb") as f:
                written = f.read()
        self.assertEqual(code, 0)
        self.assertEqual(transcript, b"rc=0\r\n")
        self.assertIn(b"MULTI.E2E.TEST", written)
        self.assertIsNone(SGR.search(written))


def sgr(attribute):
    """The terminal sequence of a console attribute, as the one mapping writes it."""
    ansi = [0, 4, 2, 6, 1, 5, 3, 7]
    fg, bg = attribute & 15, attribute >> 4
    parts = ["0"]
    if fg != 7:
        parts.append(str((90 if fg & 8 else 30) + ansi[fg & 7]))
    if bg != 0:
        parts.append(str((100 if bg & 8 else 40) + ansi[bg & 7]))
    return ("\x1b[" + ";".join(parts) + "m").encode()


BLUE_HOST = 0x1F  # bright white on blue
NOTICE_ON_BLUE = 0x1B  # bright cyan on blue: the contrast colour of a blue background


@unittest.skipUnless(SERVER, "DNS_E2E_SERVER is not set (run through scripts/test.sh)")
class BreakOnColouredHost(unittest.TestCase):
    """A break on a bright-white-on-blue host: the notice in the contrast colour of blue,
    the blue put back on terminal and host, and the next run drawn as the one before it."""

    def test_notice_colour_and_the_run_after_a_break(self):
        for options in ("", "/N:C"):
            with self.subTest(options=options or "highlighted"):
                run = f"dns {options} {SERVER} {NAMES}"
                batch = tempfile.NamedTemporaryFile("w", suffix=".btm", delete=False)
                self.addCleanup(os.unlink, batch.name)
                with batch:
                    batch.write(f"{run}\necho ==1==\ndns /P,5 {options} {SERVER} {NAMES}\n"
                                f"echo ==2==\ncolor\necho ==3==\n{run}\necho ==4==\n")
                env = environment(CORVANE_COLOR="bright white on blue")
                with PtySession([CORVANE, batch.name], env=env) as s:
                    s.expect(PROMPT, timeout=20)
                    s.wait_for_key_mode()
                    s.send(b"\x03")
                    code = s.wait(60)
                    out = s.transcript
                self.assertEqual(code, 0, out)
                before, rest = out.split(b"==1==\r\n", 1)
                broken, rest = rest.split(b"==2==\r\n", 1)
                colour, rest = rest.split(b"==3==\r\n", 1)
                after, _ = rest.split(b"==4==\r\n", 1)
                self.assertTrue(out.startswith(sgr(BLUE_HOST)), out)
                before = before.split(LOAD_MESSAGE + b"\r\n", 1)[1]
                self.assertIn(b"MULTI.E2E.TEST", after)
                self.assertEqual(after, before)
                self.assertEqual(colour, b"bright white on blue\r\n")
                # The notice in bright cyan on blue, then bright white on blue again.
                self.assertIn(ERASE + sgr(NOTICE_ON_BLUE) + NOTICE + sgr(BLUE_HOST), broken)
                self.assertNotIn(b"\x1b[0m", broken + before + after)
                if options:
                    self.assertIsNone(SGR.search(before), before)


@unittest.skipUnless(SERVER, "DNS_E2E_SERVER is not set (run through scripts/test.sh)")
class NotTheControllingTerminal(unittest.TestCase):
    """Standard output is a terminal, but not the controlling one: every record reaches it,
    and the page prompt reads its keys from it."""

    def reference(self):
        with start(lookup("")) as s:
            r = finish(s)
        self.assertEqual(r.rc, 0)
        return SGR.sub(b"", r.output)

    def run_elsewhere(self, how, options):
        """Runs a lookup; returns (exit code, what its standard output's terminal got)."""
        if how == "new session":  # no controlling terminal at all
            script = 'setsid -w "$0" -c "$1"; echo "rc=$?"'
            with PtySession(["sh", "-c", script, CORVANE, lookup(options)],
                            env=environment()) as s:
                if "/P" in options:
                    s.expect(PROMPT, timeout=20)
                    s.wait_for_key_mode()
                    s.send(b"c")
                s.wait(60)
                out = s.transcript
            match = re.search(rb"rc=(\d+)\r\n\Z", out)
            self.assertIsNotNone(match, out)
            return int(match[1]), out[: match.start()]
        # Another terminal than the controlling one, opened for writing only.
        master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
        got = PtyOutput(master)
        try:
            script = '"$0" -c "$1" > "$2"; echo "rc=$?"'
            with PtySession(["sh", "-c", script, CORVANE, lookup(options), os.ttyname(slave)],
                            env=environment()) as s:
                if "/P" in options:
                    got.expect(PROMPT, timeout=20)
                    s.wait_for_key_mode(master)
                    os.write(master, b"c")
                s.wait(60)
                control = s.transcript
            got.drain()
            self.assertTrue(termios.tcgetattr(master)[3] & termios.ICANON)  # put back
        finally:
            os.close(slave)
            os.close(master)
        match = re.fullmatch(rb"rc=(\d+)\r\n", control)
        self.assertIsNotNone(match, control)  # nothing on the controlling terminal
        return int(match[1]), got.transcript

    def test_every_record_reaches_standard_output(self):
        reference = self.reference()
        for how in ("new session", "another terminal"):
            for options in ("", "/P,5"):
                with self.subTest(how=how, options=options):
                    code, out = self.run_elsewhere(how, options)
                    self.assertEqual(code, 0, out)
                    plain = SGR.sub(b"", out).replace(PROMPT + ERASE, b"")
                    self.assertEqual(plain, reference)


@unittest.skipUnless(SERVER, "DNS_E2E_SERVER is not set (run through scripts/test.sh)")
class EndingSignalAtThePrompt(unittest.TestCase):
    def test_terminal_is_put_back_and_the_signal_ends_the_command(self):
        for sig in (signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=sig.name):
                with start(lookup("/P,5"), env=environment(Highlight="0x1E")) as s:
                    s.expect(PROMPT, timeout=20)
                    s.wait_for_key_mode()
                    corvane = [pid for pid in s.descendants()
                               if os.readlink(f"/proc/{pid}/exe") == CORVANE]
                    self.assertEqual(len(corvane), 1)
                    os.kill(corvane[0], sig)
                    r = finish(s)
                self.assertEqual(r.rc, 128 + sig)
                self.assertEqual(r.before, r.after)  # echo and line mode on again


@unittest.skipUnless(SERVER, "DNS_E2E_SERVER is not set (run through scripts/test.sh)")
class NoColourConventions(unittest.TestCase):
    def test_no_colour_sequence_at_all(self):
        for name, value in (("NO_COLOR", "1"), ("NO_COLOR", ""), ("TERM", "dumb")):
            with self.subTest(f"{name}={value}"):
                env = environment(CORVANE_COLOR="bright white on blue", Highlight="0x1E")
                env[name] = value
                with start(lookup("/P,5"), env=env) as s:
                    s.expect(PROMPT, timeout=20)
                    s.wait_for_key_mode()
                    s.send(b"\x03")
                    r = finish(s)
                self.assertEqual(r.rc, 3)
                self.assertIn(b"E2E.TEST", r.output)
                self.assertIn(NOTICE, r.output)
                self.assertIsNone(SGR.search(r.output), r.output)


def main():
    global CORVANE
    args = sys.argv[1:]
    if args and not args[0].startswith("-"):
        CORVANE = os.path.abspath(args.pop(0))
    else:
        CORVANE = os.environ.get("CORVANE", "")
    if not CORVANE or not os.access(CORVANE, os.X_OK):
        sys.stderr.write("usage: test_terminal.py PATH_TO_CORVANE [unittest args]\n")
        return 2
    program = unittest.main(argv=[sys.argv[0]] + args, exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
