#!/usr/bin/env python3
"""End-to-end runs of the corvane binary with the real Dns.so beside it and the probe
plug-in. No command here performs a DNS lookup: only options, help and errors."""
import atexit
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pty"))
import ptydrive  # noqa: E402

STATE_HOME = tempfile.mkdtemp(prefix="corvane-host-state.")
atexit.register(shutil.rmtree, STATE_HOME, True)

CORVANE = os.environ.get("CORVANE", "corvane")
PROBE = os.environ.get("CORVANE_PROBE", "ProbePlugin.so")
LOAD_MESSAGE = "DNS v1.0.9 loaded."


def run(args, stdin_text=None, env=None, timeout=20):
    """Runs corvane with standard input from a pipe (or /dev/null)."""
    full_env = dict(os.environ)
    full_env.pop("noloadmsg", None)
    full_env.update(env or {})
    return subprocess.run([CORVANE] + args, input=stdin_text if stdin_text is not None else "",
                          capture_output=True, text=True, env=full_env, timeout=timeout)


class PtySession(ptydrive.PtySession):
    """corvane on a pseudo-terminal, for the interactive prompt and the load message."""

    def __init__(self, args, env=None):
        full_env = dict(os.environ)
        full_env.pop("noloadmsg", None)
        # The prompt keeps its history in the state folder: a scratch one, not the user's.
        full_env["XDG_STATE_HOME"] = STATE_HOME
        full_env.update(env or {})
        super().__init__([CORVANE] + args, env=full_env)

    @property
    def output(self):
        return self.transcript

    def read_until(self, text, timeout=10):
        """Waits for text in the output not yet matched; returns all output so far."""
        self.expect(text, timeout)
        return self.transcript.decode(errors="replace")

    def mode(self):
        return termios.tcgetattr(self.fd)

    def wait_for_line_editor(self, timeout=10):
        """Waits until the line editor has the terminal (line mode off), so that what is
        typed next goes to it and not to the terminal's own line editing."""
        self.wait_for_key_mode(timeout=timeout, flags=termios.ICANON)

    def wait(self, timeout=10):
        """The exit code; the terminal's mode as the command left it is in final_mode."""
        code = super().wait(timeout)
        self.final_mode = self.mode()
        self.close()
        return code


class TransientMode(unittest.TestCase):
    def test_exit_codes(self):
        self.assertEqual(run(["-c", "exit 7"]).returncode, 7)
        self.assertEqual(run(["-c", "exit -1"]).returncode, 255)
        self.assertEqual(run(["-c", "EXIT 256"]).returncode, 0)

    def test_negative_plugin_code_becomes_low_byte(self):
        result = run(["-c", "dns"])
        self.assertEqual(result.returncode, 255)
        self.assertIn("DNS plugin: Must specify at least one name to look up", result.stderr)

    def test_prints_nothing_of_its_own(self):
        result = run(["-c", "set CORVANE_E2E=1"])
        self.assertEqual((result.stdout, result.stderr, result.returncode), ("", "", 0))

    def test_unknown_command(self):
        result = run(["-c", "frobnicate now"])
        self.assertEqual(result.returncode, 127)
        self.assertEqual(result.stderr, "corvane: unknown command: frobnicate\n")
        self.assertEqual(result.stdout, "")

    def test_unknown_dns_option_outside_a_batch(self):
        result = run(["-c", "dns /x example.test"])
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, 'DNS plugin: Unknown option: "/X"\n')

    def test_arguments_reach_the_plugin_unchanged(self):
        result = run(["--plugin", PROBE, "-c", 'SHOWARGS   "a b"  %PATH%  x '])
        self.assertIn('["a b"  %PATH%  x ]\n', result.stdout)
        self.assertEqual(result.returncode, len('"a b"  %PATH%  x '))
        self.assertNotIn("\r", result.stdout)

    def test_plugin_lifecycle(self):
        result = run(["--plugin", PROBE, "-c", "fail"])
        self.assertEqual(result.stdout, "Probe initialised\nProbe shut down\n")
        self.assertEqual(result.returncode, 254)

    def test_missing_plugin_is_reported_and_skipped(self):
        result = run(["--plugin", "/nonexistent/Nothing.so", "-c", "plugins"])
        self.assertIn("corvane: cannot load /nonexistent/Nothing.so", result.stderr)
        self.assertEqual(result.stdout, "DNS 1.0.9  Replacement for the DNS command\n")

    def test_no_load_message(self):
        self.assertNotIn(LOAD_MESSAGE, run(["-c", "ver"]).stdout)


class CommandWords(unittest.TestCase):
    """corvane -c WORD...: the rest of corvane's own words are the command line."""

    def test_words_after_c_are_the_line(self):
        result = run(["-c", "dns", "/x", "example.test"])
        self.assertEqual(result.stderr, 'DNS plugin: Unknown option: "/X"\n')
        self.assertEqual(result.returncode, 1)

    def test_a_word_with_blanks_or_quotes_stays_one_argument(self):
        result = run(["-c", "dns", "/x y", "example.test"])
        self.assertEqual(result.stderr, 'DNS plugin: Unknown option: "/X Y"\n')
        result = run(["--plugin", PROBE, "-c", "showargs", "a", "b c", 'say "hi"', "--plugin"])
        line = 'a "b c" "say ""hi""" --plugin'
        self.assertIn(f"[{line}]\n", result.stdout)
        self.assertEqual(result.returncode, len(line))

    def test_words_without_c_tell_how_to_run_them(self):
        result = run(["dns", "example.com"])
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stderr, "corvane: only one batch file can be given; "
                                        "to run a command: corvane -c dns example.com\n")

    def test_help_tells_of_the_words(self):
        result = run(["--help"])
        self.assertIn("-c WORD...", result.stdout)
        self.assertEqual(result.returncode, 0)


class BuiltIns(unittest.TestCase):
    def test_plugins_listing(self):
        result = run(["--plugin", PROBE, "-c", "plugins"])
        self.assertIn("DNS 1.0.9  Replacement for the DNS command\n"
                      "Probe 2.3.4  Host test probe\n", result.stdout)

    def test_set_lists_sets_and_unsets(self):
        result = run([], "set CORVANE_E2E=some value\nset\necho [%CORVANE_E2E]\n"
                         "set CORVANE_E2E=\necho [%CORVANE_E2E]\nset CORVANE_E2E\n")
        self.assertIn("\nCORVANE_E2E=some value\n", result.stdout)
        self.assertIn("[some value]\n[]\n", result.stdout)
        self.assertEqual(result.stderr, "corvane: set: not set: CORVANE_E2E\n")
        self.assertEqual(result.returncode, 1)

    def test_set_reaches_the_module(self):
        # The module reads its Highlight setting from the environment that set changes;
        # only that the command still runs is checked (no terminal: no colour).
        result = run([], "set Highlight=bright red\ndns /n:x\n")
        self.assertIn("Unknown suboption: /N:X", result.stderr)

    def test_help_dns_without_terminal(self):
        result = run(["-c", "help DNS"], timeout=10)
        self.assertEqual(result.returncode, 0)
        self.assertIn("DNS Plugin Help", result.stdout)
        self.assertIn("Display DNS records for a domain or host.", result.stdout)

    def test_help_lists_commands(self):
        result = run(["-c", "help"])
        self.assertIn("DNS plug-in commands:\n  dns rdns\n", result.stdout)
        self.assertIn("  exit [CODE]", result.stdout)

    def test_usage(self):
        result = run(["-c", "usage rdns"])
        self.assertTrue(result.stdout.startswith("RDNS /A: ipaddr..."), result.stdout)
        self.assertEqual(run(["-c", "usage nothing"]).returncode, 1)


class PipedInput(unittest.TestCase):
    def test_lines_run_in_order_and_exit_code_is_the_last(self):
        result = run(["--plugin", PROBE], "showargs one\n\nrem skipped\nShowArgs two\nfrobnicate\n")
        self.assertEqual(result.stdout,
                         "Probe initialised\n[one]\n[two]\nProbe shut down\n")
        self.assertEqual(result.returncode, 127)

    def test_exit_stops_reading(self):
        result = run(["--plugin", PROBE], "exit 3\nshowargs never\n")
        self.assertEqual(result.stdout, "Probe initialised\nProbe shut down\n")
        self.assertEqual(result.returncode, 3)

    def test_variables(self):
        result = run([], "echo %_batch %_pipe %[_transient] %%\n")
        self.assertEqual(result.stdout, "0 1 0 %\n")
        self.assertNotIn(LOAD_MESSAGE, result.stdout)


class BatchFiles(unittest.TestCase):
    def write_batch(self, text):
        handle, path = tempfile.mkstemp(suffix=".btm")
        with os.fdopen(handle, "w") as f:
            f.write(text)
        self.addCleanup(os.unlink, path)
        return os.path.realpath(path)

    def test_dns_error_carries_batch_name_and_line(self):
        path = self.write_batch("rem first\n\ndns /X example.test\necho after\n")
        result = run([path])
        self.assertIn('DNS plugin: %s [3]  Unknown option: "/X"\n' % path, result.stderr)
        self.assertEqual(result.stdout, "after\n")
        self.assertEqual(result.returncode, 0)

    def test_batch_variables_and_last_code(self):
        path = self.write_batch(":: comment\r\necho %_batch [%_batchline] %_batchname\r\n"
                                "# more\r\nfrobnicate\r\n")
        result = run([path])
        self.assertEqual(result.stdout, "1 [2] %s\n" % path)
        self.assertEqual(result.returncode, 127)

    def test_call_nests(self):
        inner = self.write_batch("echo inner %_batch %_batchline\n")
        outer = self.write_batch("echo outer %%_batch\ncall %s\necho back %%_batch %%_batchline\n"
                                 % inner)
        result = run([outer])
        self.assertEqual(result.stdout, "outer 1\ninner 2 1\nback 1 3\n")

    def test_missing_batch_file(self):
        result = run(["/nonexistent/file.btm"])
        self.assertEqual(result.returncode, 1)
        self.assertIn("cannot read batch file", result.stderr)


def read_until_text(stream, text, timeout=10):
    """Reads a pipe until text has come; returns everything read."""
    got = b""
    end = time.time() + timeout
    while text.encode() not in got:
        ready, _, _ = select.select([stream], [], [], max(end - time.time(), 0))
        if not ready:
            raise AssertionError(f"{text!r} not seen; got {got!r}")
        chunk = os.read(stream.fileno(), 4096)
        if not chunk:
            raise AssertionError(f"{text!r} not seen before the end; got {got!r}")
        got += chunk
    return got.decode()


def caught_signals(pid):
    """The signal numbers that the process catches and that it ignores (from /proc)."""
    masks = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            key, _, value = line.partition(":")
            if key in ("SigCgt", "SigIgn"):
                masks[key] = int(value, 16)
    def numbers(mask):
        return {n for n in range(1, 65) if mask >> (n - 1) & 1}
    return numbers(masks["SigCgt"]), numbers(masks["SigIgn"])


class CtrlC(unittest.TestCase):
    def start_nap(self, tenths, mode=None):
        args = ["--plugin", PROBE] + (mode or [])
        proc = subprocess.Popen([CORVANE] + args, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if not mode:
            proc.stdin.write(b"nap %d\nshowargs next\n" % tenths)
            proc.stdin.flush()
        read_until_text(proc.stdout, "napping\n")
        return proc

    def test_first_is_remembered_and_stops_the_input(self):
        proc = self.start_nap(10)
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=20)
        self.assertIn(b"awake\n", out)      # the command ran to its end
        self.assertNotIn(b"[next]", out)    # the rest of the input did not run
        self.assertIn(b"Probe shut down", out)
        self.assertEqual(err, b"^C\n")
        self.assertEqual(proc.returncode, 130)

    def test_second_ends_the_process(self):
        proc = self.start_nap(100)
        proc.send_signal(signal.SIGINT)
        read_until_text(proc.stderr, "^C\n")  # the first one is remembered: now the second
        proc.send_signal(signal.SIGINT)
        out, _ = proc.communicate(timeout=5)
        self.assertNotIn(b"awake", out)
        self.assertEqual(proc.returncode, 130)

    def test_quit_signal_never_ends_the_host(self):
        # Ctrl-\ (SIGQUIT) is ignored as in an interactive shell, in every mode, through a
        # handler: a program started later would get the default action back.
        for mode, code in ((None, 4), (["-c", "nap 5"], 0)):
            with self.subTest(mode=mode):
                proc = self.start_nap(5, mode)
                caught, ignored = caught_signals(proc.pid)
                self.assertIn(signal.SIGQUIT, caught)
                self.assertNotIn(signal.SIGQUIT, ignored)
                proc.send_signal(signal.SIGQUIT)
                out, err = proc.communicate(timeout=20)
                self.assertIn(b"awake\n", out)
                if mode is None:
                    self.assertIn(b"[next]", out)  # the input goes on
                self.assertEqual((err, proc.returncode), (b"", code))


class Interactive(unittest.TestCase):
    def test_prompt_load_message_cancel_and_exit(self):
        session = PtySession(["--plugin", PROBE])
        text = session.read_until("corvane> ")
        self.assertIn(LOAD_MESSAGE, text)
        session.wait_for_line_editor()
        session.send("showargs lost")
        session.read_until("lost")
        session.send("\x03")
        session.read_until("^C")
        session.read_until("corvane> ")
        session.wait_for_line_editor()
        session.send("showargs kept\r")
        text = session.read_until("[kept]")
        self.assertNotIn("[lost", text)
        session.send("exit 4\r")
        self.assertEqual(session.wait(), 4)
        self.assertIn("Probe shut down", session.output.decode())

    def test_noloadmsg_suppresses_the_message(self):
        session = PtySession([], env={"noloadmsg": "1"})
        text = session.read_until("corvane> ")
        self.assertNotIn(LOAD_MESSAGE, text)
        session.send("exit\r")
        self.assertEqual(session.wait(), 0)

    def test_batch_file_from_a_terminal_shows_the_message(self):
        handle, path = tempfile.mkstemp(suffix=".btm")
        with os.fdopen(handle, "w") as f:
            f.write("echo done\n")
        self.addCleanup(os.unlink, path)
        session = PtySession([path])
        self.assertEqual(session.wait(), 0)
        self.assertIn(LOAD_MESSAGE + "\r\ndone", session.output.decode())

    def test_end_of_input_ends_the_session(self):
        session = PtySession([])
        session.read_until("corvane> ")
        session.send("exit 9x\r")
        session.read_until("not a number")
        session.read_until("corvane> ")
        session.send("\x04")
        self.assertEqual(session.wait(), 2)

    def test_end_of_input_typed_during_a_command(self):
        # Typed ahead, between two prompts, while the terminal is in its line mode: it must
        # still end the session once the prompt is back.
        session = PtySession(["--plugin", PROBE])
        session.read_until("corvane> ")
        session.send("nap 3\r")
        session.read_until("napping")
        session.send("\x04")
        self.assertEqual(session.wait(), 0)
        self.assertIn("awake", session.output.decode())

    def test_ctrl_backslash_leaves_the_shell_running(self):
        cases = (
            # name, typed before Ctrl-\, the text that shows it arrived, typed after, shown
            ("at the prompt", "", None, "", None),
            ("during a command without a break handler", "nap 3\r", "napping", "", "awake"),
            ("within a line being typed", "showargs kept", "kept", "\r", "[kept]"),
        )
        for name, before, arrived, after, shown in cases:
            with self.subTest(name):
                session = PtySession(["--plugin", PROBE])
                session.read_until("corvane> ")
                session.wait_for_line_editor()
                session.send(before)
                if arrived:
                    session.read_until(arrived)
                session.send("\x1c" + after)
                if shown:
                    session.read_until(shown)
                    session.read_until("corvane> ")
                session.send("exit 5\r")
                self.assertEqual(session.wait(), 5, session.output)

    def test_ending_signals_restore_the_terminal(self):
        for sig in (signal.SIGTERM, signal.SIGHUP):
            with self.subTest(sig=sig):
                session = PtySession([])
                found = session.mode()
                session.read_until("corvane> ")
                os.kill(session.pid, sig)
                self.assertEqual(session.wait(), -sig)
                # Line mode, echo and the end-of-file character as they were found.
                self.assertEqual(session.final_mode[3], found[3])
                self.assertEqual(session.final_mode[6][termios.VEOF], found[6][termios.VEOF])


if __name__ == "__main__":
    unittest.main()
