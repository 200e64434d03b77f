#!/usr/bin/env python3
"""DNS and RDNS against a lying server: hostile bytes and missing answers.

The server sends the cases of answers/. Every case runs the real corvane binary
with a hard time limit and checks that it neither crashes nor hangs and never
lets a raw control byte from the network reach the terminal, and how answers
that never come end. How each malformed answer is read is tested at the parse
level, with the same cases sent by the in-process fake server
(tests/platform/resolver/HostileAnswersTest.cpp).

    test_hostile.py --corvane PATH [--address 127.0.0.2] [--group fast|timing|all]
                    [unittest arguments]

The server needs port 53 of a loopback address, so this runs inside the private
network namespace of scripts/test.sh (which exports DNS_E2E_SERVER); elsewhere
it reports itself skipped (exit code 77).
"""

import argparse
import fcntl
import os
import pty
import re
import select
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import answer_corpus  # noqa: E402
import hostile_server as hs  # noqa: E402

SKIP_CODE = 77

# The resolver gives a query 2 tries of 2 s at one server; a lookup with one
# mute query type therefore takes about 4 s. Whether a query timed out shows in
# the status text on standard error, which the checks compare; times are only
# checked from below (a wait was really waited), and a hang fails at HARD_TIMEOUT.
QUERY_DEADLINE = 4.0
HARD_TIMEOUT = 60

# Names fuzz-1 to fuzz-N and addresses 10.0.1.1 to 10.0.1.N get mutated answers.
FUZZ_SEEDS = 60

DNS_CODES = {0, 2, 3}
RDNS_CODES = {0, 1, 2}

HEADER = "\nType    Field       Value\n" + "-" * 35 + "\n"
NO_RECORDS = ["No records found."]
ARROW = " \u23af\u2192 "
ERROR_PREFIX = "DNS plugin: "


class Env:
    corvane = None
    address = None
    server = None
    home = None


def line(rtype, field, value):
    return f"{rtype:<8}{field:<12}{value}"


# The good data (answers/good.answer), which every case gives for the types it leaves alone.
A_GOOD = line("A", "ADDRESS", "192.0.2.7")
AAAA_GOOD = line("AAAA", "ADDRESS", "2001:db8::7")
BOTH_GOOD = [A_GOOD, AAAA_GOOD]


# The longest name, 255 octets of control bytes (answers/long-escaped.answer), as text.
LONG_ESC_NAME = ".".join(
    "".join(f"\\{b:03d}" for b in label)
    for label in (b"\x01" * 63, b"\x02" * 63, b"\x03" * 63, b"\x1b" * 61)
)


MARKUP_NAME_ESCAPED = r"\017\018mark\022.x\019\020\021.hostile.test"
MARKUP_TXT_ESCAPED = r"mark\017\018\019\020\021\022end"
CNAME_ESCAPED = r"\027[31mred\018.esc-names.hostile.test"
NS_ESCAPED = r"ns\013\010\019\020fake.esc-names.hostile.test"
MNAME_ESCAPED = r"\1552J.m\017\018\022m.hostile.test"
EXCHANGE_ESCAPED = r"mx\008\007\022.\127\000\017.hostile.test"


def rdns_line(address, host=""):
    return f"{address:<25}{ARROW}{host}"


def clean_env():
    env = {
        k: v
        for k, v in os.environ.items()
        if k.lower() != "highlight" and not k.startswith("CORVANE_")
    }
    if Env.home is None:
        Env.home = tempfile.mkdtemp(prefix="corvane-hostile-home.")
    env["HOME"] = Env.home
    env["XDG_CONFIG_HOME"] = os.path.join(Env.home, ".config")
    env["LC_ALL"] = "C.UTF-8"
    return env


class Run:
    def __init__(self, command, proc, elapsed):
        self.command = command
        self.code = proc.returncode
        self.raw_out = proc.stdout
        self.raw_err = proc.stderr
        self.out = proc.stdout.decode("utf-8", "replace")
        self.err = proc.stderr.decode("utf-8", "replace")
        self.elapsed = elapsed

    def records(self):
        """The non-empty lines after the column header of a single-name lookup."""
        if not self.out.startswith(HEADER):
            return None
        return [l for l in self.out[len(HEADER) :].split("\n") if l]


def run(command):
    """Runs one command line. A new session keeps the process away from any
    controlling terminal, so everything it writes lands in the pipes."""
    start = time.monotonic()
    try:
        proc = subprocess.run(
            [Env.corvane, "-c", command],
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            env=clean_env(),
            timeout=HARD_TIMEOUT,
            start_new_session=True,
        )
    except subprocess.TimeoutExpired:
        raise AssertionError(f"{command!r} still running after {HARD_TIMEOUT} s") from None
    return Run(command, proc, time.monotonic() - start)


def run_on_terminal(command):
    """Runs one command line on a pseudo-terminal of its own (standard handles
    and controlling terminal), so that the console paths run: colours, direct
    writes. Returns the exit code and all bytes the terminal received."""
    master, slave = pty.openpty()
    # Tall and wide: no line wraps, and no page would fill.
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 500, 2000, 0, 0))
    try:
        # setsid makes the terminal the controlling one (no Python code may run
        # between fork and exec: the server's threads hold locks).
        proc = subprocess.Popen(
            ["setsid", "--ctty", "--wait", Env.corvane, "-c", command],
            stdin=slave,
            stdout=slave,
            stderr=slave,
            env=clean_env(),
        )
    finally:
        os.close(slave)
    output = bytearray()
    deadline = time.monotonic() + HARD_TIMEOUT
    try:
        while time.monotonic() < deadline:
            ready, _, _ = select.select([master], [], [], 0.5)
            if not ready:
                if proc.poll() is not None:
                    break
                continue
            try:
                data = os.read(master, 65536)
            except OSError:  # EIO: the last holder of the terminal has gone
                break
            if not data:
                break
            output += data
        else:
            proc.kill()
            raise AssertionError(f"{command!r} still running after {HARD_TIMEOUT} s")
        code = proc.wait(timeout=HARD_TIMEOUT)
    finally:
        os.close(master)
    return code, bytes(output)


# Colour changes the output engine itself writes on a terminal.
SGR = re.compile(rb"\x1b\[[0-9;]*m")


# Bytes that would act on a terminal: C0 controls but line feed and tab, DEL.
RAW_CONTROL = re.compile(rb"[\x00-\x08\x0b-\x1f\x7f]")
# C1 controls (U+0080 to U+009F) as UTF-8: 8-bit CSI, OSC and the like.
RAW_C1 = re.compile("[\u0080-\u009f]")


class HostileCase(unittest.TestCase):
    maxDiff = None

    def assertClean(self, r, codes):
        """No crash, an exit code from the documented set, no terminal control."""
        self.assertGreaterEqual(r.code, 0, f"{r.command!r} died of signal {-r.code}")
        self.assertNotIn(r.code, (134, 139), f"{r.command!r} aborted")
        self.assertIn(r.code, codes, f"exit code of {r.command!r}; stderr: {r.err!r}")
        for name, raw in (("stdout", r.raw_out), ("stderr", r.raw_err)):
            found = RAW_CONTROL.search(raw)
            self.assertIsNone(
                found, f"raw control byte in {name} of {r.command!r}: {raw!r}"
            )
            try:
                text = raw.decode("utf-8")
            except UnicodeDecodeError as error:
                self.fail(f"{name} of {r.command!r} is not UTF-8 ({error}): {raw!r}")
            self.assertIsNone(RAW_C1.search(text), f"C1 control in {name} of {r.command!r}")

    def assertWaited(self, r, at_least):
        self.assertGreaterEqual(r.elapsed, at_least, f"{r.command!r} took {r.elapsed:.2f} s")

    def dns(self, case, expected, options="", failed=None):
        """One name of the hostile zone; expected: the record lines, in order; failed: the
        types whose queries fail and their status text, as standard error names them."""
        name = case if "." in case else f"{case}.hostile.test"
        r = run(f"dns {options}{Env.address} {name}")
        self.assertClean(r, DNS_CODES)
        err = ""
        if failed is not None:
            types, text = failed
            err = f'{ERROR_PREFIX}Error looking up {types} for "{name.upper()}": {text}\n'
        self.assertEqual(r.err, err)
        self.assertEqual(r.code, 2 if err else 0, r.err)
        if expected is not None:
            self.assertEqual(r.records(), expected, f"stdout of {r.command!r}: {r.out!r}")
        return r

    def rdns(self, addresses, out, err="", code=0, options=""):
        """out: the result lines; err: the error lines without their prefix."""
        r = run(f"rdns {options}/A:{Env.address} {addresses}")
        self.assertClean(r, RDNS_CODES)
        self.assertEqual(r.out, "".join(l + "\n" for l in out))
        self.assertEqual(r.err, "".join(ERROR_PREFIX + l + "\n" for l in err))
        self.assertEqual(r.code, code)
        return r


def lookup_error(address, text):
    return f'Error looking up "{address}": {text}'


BAD_PACKET = "Bad DNS packet."
TIMEOUT = "This operation returned because the timeout period expired."


class HostileDns(HostileCase):
    """DNS: hostile bytes in answers reach the output escaped; every answer comes at once.
    (How each broken answer is read is the platform tests' table of hostile answers.)"""

    def test_reference_answer(self):
        self.dns("good", BOTH_GOOD)

    def test_terminal_sequences_in_txt(self):
        self.dns(
            "esc-txt",
            BOTH_GOOD
            + [
                line("TXT", "TXT[ 0]", r"\027[31mred\027[0m"),
                line("TXT", "TXT[ 1]", r"\027]0;owned\007"),
                line("TXT", "TXT[ 2]", r"\027[2J\027[H"),
                line("TXT", "TXT[ 3]", r"cr\013lf\010bs\008bel\007"),
                line("TXT", "TXT[ 4]", r"nul\000del\127"),
                # Colour markup from the server is shown, never acted on.
                line("TXT", "TXT[ 5]", MARKUP_TXT_ESCAPED),
                line("TXT", "TXT[ 6]", r"c1\194\15531m"),
                line("TXT", "TXT[ 7]", r"bad\255 utf8"),
                line("TXT", "TXT", r"\027[2J\027c"),
            ],
        )

    def test_terminal_sequences_in_names(self):
        self.dns(
            "esc-names",
            BOTH_GOOD
            + [
                line("CNAME", "CNAME", CNAME_ESCAPED),
                line("NS", "DNAME", NS_ESCAPED),
                line("SOA", "MNAME", MNAME_ESCAPED),
                # Valid UTF-8 in a label is text; a backslash and a dot stay escaped.
                line("", "RNAME", "a\\.b.x\\\\y.sp ace.\u00e9.hostile.test"),
                line("", "SERIAL", "2024010101"),
                line("", "REFRESH", "7200"),
                line("", "RETRY", "900"),
                line("", "EXPIRE", "1209600"),
                line("", "MINIMUM", "300"),
                line("MX", "PREFERENCE", "5"),
                line("", "EXCHANGE", EXCHANGE_ESCAPED),
            ],
        )

    def test_longest_name_and_strings_all_control_bytes(self):
        # Every byte becomes four characters: the lines run past 1000 columns
        # and must come out whole.
        self.dns(
            "long-escaped",
            BOTH_GOOD
            + [
                line("NS", "DNAME", LONG_ESC_NAME),
                line("TXT", "TXT", r"\027" * 255),
                line("TXT", "TXT[ 0]", r"\255" * 255),
                line("TXT", "TXT[ 1]", r"\255" * 255),
            ],
        )

    def test_terminal_sequences_in_names_without_highlighting(self):
        r = self.dns("esc-names", None, options="/N:C ")
        self.assertIn(line("SOA", "MNAME", MNAME_ESCAPED), r.records())

    def test_terminal_sequences_in_ptr_of_reverse_name(self):
        self.dns(
            "2.0.0.10.in-addr.arpa",
            [line("PTR", "PTRDNAME", r"\027[31mevil.\013\010fake.hostile.test")],
        )

    def test_bad_answer_among_several_names(self):
        names = "good.hostile.test ptr-loop.hostile.test esc-txt.hostile.test"
        r = run(f"dns /K {Env.address} {names}")
        self.assertClean(r, DNS_CODES)
        # The unreadable answers are failures of that name alone.
        self.assertEqual(r.code, 2)
        self.assertRegex(r.err, r'\ADNS plugin: Error looking up [A-Z, ]+ for "PTR-LOOP.HOSTILE.TEST": '
                                r"Bad DNS packet.\n\Z")
        blocks = r.out.split("\nPTR-LOOP.HOSTILE.TEST\n")
        self.assertEqual(len(blocks), 2, r.out)
        self.assertIn("\nNo records found.\n", blocks[1].split("\nESC-TXT.HOSTILE.TEST\n")[0])
        self.assertRegex(blocks[0], r"\n  2 records found   \d+:\d\d\.\d\d\d\n")
        self.assertIn(r"\027[31mred\027[0m", r.out)


    def test_mutated_answers(self):
        # Answers with bytes changed, cut or inserted: whatever is readable is
        # printed, the rest dropped; never a crash, a hang or a raw byte.
        names = [f"fuzz-{seed}.hostile.test" for seed in range(1, FUZZ_SEEDS + 1)]
        r = run(f"dns {Env.address} {' '.join(names)}")
        self.assertClean(r, DNS_CODES)
        self.assertIn(r.code, (0, 2))
        for err_line in r.err.splitlines():
            self.assertRegex(err_line, r'\ADNS plugin: Error looking up [A-Z, ]+ for '
                                       r'"FUZZ-\d+\.HOSTILE\.TEST": \S.*\Z')
        blocks = re.split(r"\nFUZZ-\d+\.HOSTILE\.TEST\n", r.out)
        self.assertEqual(len(blocks), FUZZ_SEEDS + 1, r.out)
        for block in blocks[1:]:
            self.assertTrue(block.startswith(HEADER), block)


class HostileRdns(HostileCase):
    """RDNS: hostile bytes in host names escaped; the answer or a status text, at once."""

    def test_reference_answer(self):
        self.rdns("10.0.0.1", [rdns_line("10.0.0.1", "good.hostile.test")])

    def test_reference_answer_ipv6(self):
        self.rdns("fd00::1", [rdns_line("fd00::1", "good.hostile.test")])

    def test_terminal_sequences_in_host_name(self):
        self.rdns(
            "10.0.0.2", [rdns_line("10.0.0.2", r"\027[31mevil.\013\010fake.hostile.test")]
        )

    def test_c1_controls_in_host_name(self):
        self.rdns("10.0.0.18", [rdns_line("10.0.0.18", r"\15531m.\194\155.hostile.test")])

    def test_longest_host_name_all_control_bytes(self):
        self.rdns("10.0.0.19", [rdns_line("10.0.0.19", LONG_ESC_NAME)])

    def test_markup_bytes_in_host_name(self):
        # RDNS has no highlighting: the colour markup bytes 17 to 22 are plain
        # control bytes here, escaped like any other.
        self.rdns("10.0.0.14", [rdns_line("10.0.0.14", MARKUP_NAME_ESCAPED)])

    def test_mutated_answers(self):
        addresses = [f"10.0.1.{seed}" for seed in range(1, FUZZ_SEEDS + 1)]
        r = run(f"rdns /M /A:{Env.address} {' '.join(addresses)}")
        self.assertClean(r, RDNS_CODES)
        self.assertIn(r.code, (0, 2))
        answered = set()
        for out_line in r.out.splitlines():
            address, _, host = out_line.partition(ARROW)
            self.assertIn(address.rstrip(), addresses, out_line)
            answered.add(address.rstrip())
        for err_line in r.err.splitlines():
            found = re.fullmatch(r'DNS plugin: Error looking up "([0-9.]+)": \S.*', err_line)
            self.assertIsNotNone(found, err_line)
            answered.add(found.group(1))
        self.assertEqual(answered, set(addresses))

    def test_bad_answer_between_good_ones(self):
        self.rdns(
            "10.0.0.1 10.0.0.3 10.0.0.2",
            [
                rdns_line("10.0.0.1", "good.hostile.test"),
                rdns_line("10.0.0.2", r"\027[31mevil.\013\010fake.hostile.test"),
            ],
            [lookup_error("10.0.0.3", BAD_PACKET)],
            code=2,
        )


class HostileTiming(HostileCase):
    """Answers that never come or come late: a late one is waited for, one that
    never comes fails its own type with a time-out, and the types that do answer
    are still printed."""

    def test_slow_answer_is_waited_for(self):
        r = self.dns("slow", BOTH_GOOD)
        self.assertWaited(r, 1.5)

    def test_mute_server_for_one_type(self):
        r = self.dns("mute", [AAAA_GOOD], failed=("A", TIMEOUT))
        # Not given up early either: the A query had its tries.
        self.assertWaited(r, QUERY_DEADLINE - 1.0)

    def test_only_junk_for_one_type(self):
        for case in ("wrong-id", "other-question", "short5", "random", "empty"):
            with self.subTest(case):
                self.dns(case, [AAAA_GOOD], failed=("A", TIMEOUT))

    def test_truncated_with_broken_tcp(self):
        for case in ("tc-tcp-closed", "tcp-len-long"):
            with self.subTest(case):
                self.dns(case, [AAAA_GOOD], failed=("A", TIMEOUT))

    def test_rdns_mute_server(self):
        self.rdns(
            "10.0.0.8", [], [lookup_error("10.0.0.8", TIMEOUT)], code=2
        )

    def test_rdns_wrong_id_only(self):
        self.rdns(
            "10.0.0.15", [], [lookup_error("10.0.0.15", TIMEOUT)], code=2
        )

    def test_every_case_of_the_answers(self):
        # Every name of every case in answers/ in one command, those the checks above leave
        # out among them: whatever each gives, a block of its own, a failure line or nothing,
        # and never a crash, a hang or a raw byte. Some never answer: the run costs a time-out.
        names = [name for case in Env.server.cases.values() for name in case.names]
        r = run(f"dns {Env.address} {' '.join(names)}")
        self.assertClean(r, DNS_CODES)
        self.assertEqual(r.code, 2, "some cases fail by design")
        for err_line in r.err.splitlines():
            self.assertRegex(err_line,
                             r'\ADNS plugin: Error looking up [A-Z, ]+ for "[^"]+": \S.*\Z')
        blocks = re.split(r"\n[-A-Z0-9.]+\n\n(?=Type)", r.out)
        self.assertEqual(len(blocks), len(names) + 1, r.out)
        for name in names:
            self.assertIn(f"\n{name.upper()}\n{HEADER}", r.out)


class HostileTerminal(HostileCase):
    """The same hostile bytes on a terminal, where output is coloured: only the
    colour changes of the output engine may reach it, never the record data's."""

    def on_terminal(self, command, expected_lines, codes):
        code, raw = run_on_terminal(command)
        self.assertIn(code, codes, raw)
        self.assertEqual(code, 0, raw)
        # One name has no name line and RDNS no highlighting: the normal colour is in force
        # from start to end, so any colour sequence would have come from the server's data.
        self.assertIsNone(SGR.search(raw), f"colour change: {raw!r}")
        plain = SGR.sub(b"", raw).replace(b"\r\n", b"\n")
        self.assertNotIn(b"\x1b", plain, f"escape sequence other than a colour: {raw!r}")
        self.assertIsNone(RAW_CONTROL.search(plain), f"raw control byte: {raw!r}")
        text = plain.decode("utf-8")
        self.assertIsNone(RAW_C1.search(text), f"C1 control: {raw!r}")
        lines = [l for l in text.split("\n") if l]
        for expected in expected_lines:
            self.assertIn(expected, lines)

    def test_txt(self):
        self.on_terminal(
            f"dns {Env.address} esc-txt.hostile.test",
            [
                line("TXT", "TXT[ 0]", r"\027[31mred\027[0m"),
                line("TXT", "TXT[ 1]", r"\027]0;owned\007"),
                line("TXT", "TXT[ 3]", r"cr\013lf\010bs\008bel\007"),
                line("TXT", "TXT[ 5]", MARKUP_TXT_ESCAPED),
                line("TXT", "TXT[ 6]", r"c1\194\15531m"),
            ],
            DNS_CODES,
        )

    def test_names(self):
        self.on_terminal(
            f"dns {Env.address} esc-names.hostile.test",
            [
                line("CNAME", "CNAME", CNAME_ESCAPED),
                line("NS", "DNAME", NS_ESCAPED),
                line("SOA", "MNAME", MNAME_ESCAPED),
                line("", "EXCHANGE", EXCHANGE_ESCAPED),
            ],
            DNS_CODES,
        )

    def test_rdns(self):
        self.on_terminal(
            f"rdns /A:{Env.address} 10.0.0.2 10.0.0.14",
            [
                rdns_line("10.0.0.2", r"\027[31mevil.\013\010fake.hostile.test"),
                rdns_line("10.0.0.14", MARKUP_NAME_ESCAPED),
            ],
            RDNS_CODES,
        )


GROUPS = {
    "fast": ["HostileDns", "HostileRdns", "HostileTerminal"],
    "timing": ["HostileTiming"],
    "all": ["HostileDns", "HostileRdns", "HostileTerminal", "HostileTiming"],
}


def wait_until_serving(address, seconds=5.0):
    """Asks our own server until it answers, so that a namespace without a
    working loopback fails once, plainly, rather than in every case."""
    query = struct.pack("!6H", 0x5A5A, 0x0100, 1, 0, 0, 0)
    query += answer_corpus.wire_name("good.hostile.test") + struct.pack("!HH", 1, 1)
    deadline = time.monotonic() + seconds
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.settimeout(0.2)
        while time.monotonic() < deadline:
            try:
                probe.sendto(query, (address, 53))
                data, _ = probe.recvfrom(4096)
                if data[:2] == query[:2]:
                    return True
            except socket.timeout:
                continue
            except OSError:
                time.sleep(0.2)
    return False


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--corvane", default=os.environ.get("CORVANE"))
    parser.add_argument("--address", default="127.0.0.2")
    parser.add_argument("--group", choices=sorted(GROUPS), default="all")
    args, rest = parser.parse_known_args()
    if not args.corvane:
        sys.stderr.write("give the corvane binary with --corvane or CORVANE\n")
        return 2
    Env.corvane = os.path.abspath(args.corvane)
    Env.address = args.address

    if not os.environ.get("DNS_E2E_SERVER"):
        print("DNS_E2E_SERVER is not set: run through scripts/test.sh; skipping")
        return SKIP_CODE
    try:
        Env.server = hs.HostileServer(args.address, 53).start()
    except OSError as error:
        print(f"cannot serve on {args.address}:53 ({error}); skipping")
        return SKIP_CODE
    try:
        if not wait_until_serving(args.address):
            print(f"the server on {args.address}:53 does not answer")
            return 1
        names = rest if any(not a.startswith("-") for a in rest) else rest + GROUPS[args.group]
        program = unittest.main(argv=[sys.argv[0]] + names, exit=False, verbosity=2)
        return 0 if program.result.wasSuccessful() else 1
    finally:
        Env.server.stop()
        if Env.home is not None:
            shutil.rmtree(Env.home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
