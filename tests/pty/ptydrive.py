#!/usr/bin/env python3
"""Runs a command under a pseudo-terminal of a given size: waits for expected
output, sends keys, enforces time limits, and gives back the exit code and the
raw transcript (every byte the command wrote to its terminal).

As a library:

    with PtySession(["corvane", "-c", "dns ..."], rows=24, cols=80) as s:
        s.expect("Press a key")
        s.send(b"\\x1b")
        code = s.wait()
    s.transcript

From the command line (transcript on stdout, the command's exit code as ours):

    ptydrive.py [--rows N] [--cols N] [--timeout S]
                [--expect TEXT | --send KEYS | --sleep S]... -- COMMAND [ARG...]

KEYS take Python escapes (\\x1b, \\r, \\x03).
"""

import argparse
import fcntl
import os
import re
import select
import signal
import struct
import sys
import termios
import time


class PtyTimeout(AssertionError):
    """The command did not produce the expected output or end in time."""


class PtyOutput:
    """What a pseudo-terminal's master side fd receives, with expect()."""

    def __init__(self, fd):
        self.fd = fd
        self.transcript = b""
        self._seen = 0  # expect() searches from here on

    def drain(self):
        """Reads what has already arrived."""
        while select.select([self.fd], [], [], 0)[0] and self._read(0):
            pass

    # ---- output ----
    def _read(self, timeout):
        """Reads what is there within timeout; False once the terminal is closed."""
        ready, _, _ = select.select([self.fd], [], [], max(timeout, 0))
        if not ready:
            return True
        try:
            data = os.read(self.fd, 65536)
        except OSError:  # EIO: every slave side is closed
            return False
        if not data:
            return False
        self.transcript += data
        return True

    def expect(self, pattern, timeout=10.0):
        """Waits for pattern (str, bytes or compiled bytes regex) in output not yet
        matched; returns the match. Raises PtyTimeout with the transcript."""
        if isinstance(pattern, str):
            pattern = pattern.encode("utf-8")
        if isinstance(pattern, bytes):
            pattern = re.compile(re.escape(pattern))
        deadline = time.monotonic() + timeout
        while True:
            match = pattern.search(self.transcript, self._seen)
            if match:
                self._seen = match.end()
                return match
            left = deadline - time.monotonic()
            # Time is up, or the terminal closed: one last look at what is there.
            if left <= 0 or not self._read(min(left, 0.1)):
                # Out of time, or the terminal closed: what is there is all there will be.
                while self._read(0) and select.select([self.fd], [], [], 0)[0]:
                    pass
                match = pattern.search(self.transcript, self._seen)
                if match:
                    self._seen = match.end()
                    return match
                raise PtyTimeout(f"{pattern.pattern!r} not seen; transcript: {self.transcript!r}")


class PtySession(PtyOutput):
    def __init__(self, argv, rows=24, cols=80, env=None, cwd=None):
        master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", rows, cols, 0, 0))
        pid = os.fork()
        if pid == 0:  # child: the pty becomes the controlling terminal
            try:
                os.close(master)
                os.setsid()
                fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
                for fd in (0, 1, 2):
                    os.dup2(slave, fd)
                if slave > 2:
                    os.close(slave)
                signal.signal(signal.SIGINT, signal.SIG_DFL)
                if cwd is not None:
                    os.chdir(cwd)
                if env is None:
                    os.execvp(argv[0], argv)
                os.execvpe(argv[0], argv, env)
            except BaseException:  # never return into the caller's code
                os._exit(127)
        os.close(slave)
        super().__init__(master)
        self.pid = pid
        self.code = None

    def wait_for_key_mode(self, fd=None, timeout=10.0, flags=termios.ICANON | termios.ECHO):
        """Waits until the terminal (this session's, or the pty master fd) has line mode and
        echo (the local flags given) off: the command now reads single keys, and what is
        sent next is one."""
        fd = self.fd if fd is None else fd
        deadline = time.monotonic() + timeout
        while termios.tcgetattr(fd)[3] & flags:
            if time.monotonic() > deadline:
                raise PtyTimeout(f"no key mode; transcript: {self.transcript!r}")
            self._read(0.01)

    def descendants(self):
        """The process ids below the command (children, theirs, ...), from /proc."""
        found, todo = [], [self.pid]
        while todo:
            pid = todo.pop()
            try:
                with open(f"/proc/{pid}/task/{pid}/children") as f:
                    children = [int(c) for c in f.read().split()]
            except OSError:
                children = []
            found += children
            todo += children
        return found

    def send(self, data):
        if isinstance(data, str):
            data = data.encode("utf-8")
        os.write(self.fd, data)

    # ---- end ----
    def wait(self, timeout=30.0):
        """Reads output until the command ends; returns its exit code (minus the
        signal number when a signal ended it). Kills it after timeout."""
        deadline = time.monotonic() + timeout
        while self.code is None:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid == self.pid:
                self.code = os.waitstatus_to_exitcode(status)
                break
            if time.monotonic() > deadline:
                self.kill()
                raise PtyTimeout(f"command did not end; transcript: {self.transcript!r}")
            self._read(0.05)
        # The rest, until the terminal reports its other side closed. What the command wrote
        # just before it ended may still be on its way; a process that it left behind holding
        # the terminal gets two seconds.
        rest_deadline = time.monotonic() + 2.0
        while time.monotonic() < rest_deadline and self._read(0.1):
            pass
        return self.code

    def kill(self):
        if self.code is None:
            try:
                os.kill(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            _, status = os.waitpid(self.pid, 0)
            self.code = os.waitstatus_to_exitcode(status)

    def close(self):
        self.kill()
        try:
            os.close(self.fd)
        except OSError:
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


def run(argv, steps=(), rows=24, cols=80, timeout=30.0, env=None):
    """Runs argv, carrying out steps: ("expect", text), ("send", bytes),
    ("sleep", seconds). Returns (exit code, transcript)."""
    with PtySession(argv, rows, cols, env) as session:
        for kind, value in steps:
            if kind == "expect":
                session.expect(value, timeout)
            elif kind == "send":
                session.send(value)
            elif kind == "sleep":
                time.sleep(value)
        code = session.wait(timeout)
        return code, session.transcript


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rows", type=int, default=24)
    parser.add_argument("--cols", type=int, default=80)
    parser.add_argument("--timeout", type=float, default=30.0)
    parser.add_argument("--expect", action="append", dest="steps", type=lambda v: ("expect", v))
    parser.add_argument("--send", action="append", dest="steps",
                        type=lambda v: ("send", v.encode("latin-1").decode("unicode_escape")))
    parser.add_argument("--sleep", action="append", dest="steps", type=lambda v: ("sleep", float(v)))
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command given")
    try:
        code, transcript = run(command, args.steps or (), args.rows, args.cols, args.timeout)
    except PtyTimeout as error:
        sys.stderr.write(f"ptydrive: {error}\n")
        return 124
    sys.stdout.buffer.write(transcript)
    return code if code >= 0 else 128 - code


if __name__ == "__main__":
    sys.exit(main())
