"""Shared helpers for the end-to-end tests: run the real corvane binary against
the loopback DNS server that scripts/test.sh starts in a private namespace."""

import os
import select
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

# CTest treats this exit code as "skipped".
SKIP_CODE = 77

UNDERLINE = "-" * 35
COLUMNS = "Type    Field       Value"
# Column header of a single-name lookup (no name line): an empty line first.
HEADER = "\n" + COLUMNS + "\n" + UNDERLINE + "\n"


def name_header(name):
    """Header block of one name when several are looked up: empty line, the
    name in capitals (a to z only), empty line, columns, underline."""
    upper = "".join(chr(ord(c) - 32) if "a" <= c <= "z" else c for c in name)
    return "\n" + upper + "\n" + HEADER


def soa(mname, rname, serial, refresh, retry, expire, minimum):
    return (
        f"SOA     MNAME       {mname}\n"
        f"        RNAME       {rname}\n"
        f"        SERIAL      {serial}\n"
        f"        REFRESH     {refresh}\n"
        f"        RETRY       {retry}\n"
        f"        EXPIRE      {expire}\n"
        f"        MINIMUM     {minimum}\n"
    )


# Every zone in tests/e2e/zones carries the same SOA values.
ZONE_SOA = soa("ns1.dns-e2e.test", "hostmaster.e2e.test", 2024061501, 7200, 900, 1209600, 300)

NO_RECORDS = "\nNo records found.\n"
# The /K line: count right-aligned in three columns, then minutes:seconds.millis.
SUMMARY_TIME = r"\d+:\d\d\.\d\d\d"

ARROW = " \u23af\u2192 "

# ---- Where wine differs from Windows ----
# A Windows build runs corvane.exe under wine (CORVANE_RUNNER names the runner). Its DNS client
# and message texts differ from those of Windows here; the tests expect wine's result. The
# README ("Windows: what wine does differently") shows each with a small program that calls
# the same system function.
UNDER_WINE = bool(os.environ.get("CORVANE_RUNNER"))
# DnsQuery_W gives 9004 (not implemented) for the LOC query of a name that has a LOC record: no
# LOC line ever shows, and the DNS command reports that name's LOC query as failed on standard
# error and ends with exit code 2 (LOC_FAILS; assertRun expects that line and code). For a
# name without a LOC record it gives 9003, no records, and nothing is reported.
LOC_ANSWERED = not UNDER_WINE
# FormatMessageW has no text for the DNS codes 9002 to 9502, and a refused query gives 9002
# (Windows: 9005); a name without records of the type gives 9003 (Windows: 9501). A name that
# cannot be sent (a label of more than 63 octets) gives 9005 (Windows: 123, invalid name), and
# a server that never answers gives 9002 after wine's two tries of 5 seconds (Windows: 1460,
# the time-out).
if UNDER_WINE:
    FAILURE_TEXT = {"name error": "Error 9003", "refused": "Error 9002",
                    "server failure": "Error 9002", "not implemented": "Error 9004",
                    "invalid name": "Error 9005",
                    "time-out": "Error 9002",
                    "connection refused": "No connection could be made because the target "
                                          "machine actively refused it.",
                    "unreachable": "A socket operation was attempted to an unreachable host."}
else:
    FAILURE_TEXT = {"name error": "DNS name does not exist.", "refused": "DNS operation refused.",
                    "server failure": "DNS server failure.",
                    "not implemented": "DNS request not supported by name server.",
                    "invalid name": "The filename, directory name, or volume label syntax is "
                                    "incorrect.",
                    "time-out": "This operation returned because the timeout period expired.",
                    "connection refused": "No connection could be made because the target "
                                          "machine actively refused it.",
                    "unreachable": "A socket operation was attempted to an unreachable host."}
LOC_FAILS = UNDER_WINE
# DnsQuery_W asks a single server that answers SERVFAIL or REFUSED twice before it gives up
# (the C library's two tries); our POSIX client asks once each time and decides itself what
# comes next. The client asks such a question once more either way.
TRIES_AT_A_FAILING_SERVER = 2 if UNDER_WINE else 1
# DnsQuery_W asks only the first server of the array it is given: a SERVFAIL or REFUSED from it
# is the result, where our POSIX client (and Windows' own) goes on to the next server.
NEXT_SERVER_ON_FAILURE = not UNDER_WINE
# Not wine's alone: the Windows layer converts international names with the system's
# IdnToAscii, which takes a symbol such as U+2603 as IDNA2003 did (xn--n3h); the POSIX client's
# IDNA2008 refuses it, and the name goes out as typed.
SYMBOL_NAMES_SENT_AS_TYPED = not UNDER_WINE


# wine's GetNetworkParams reads the system's servers through the C library's resolver, which
# keeps the first three nameserver lines of resolv.conf and puts 127.0.0.1 in place of none.
WINE_RESOLVER_SERVERS = 3


# The types the DNS command asks of a name that is no reverse name, in its order.
ALL_TYPES = "A, AAAA, CNAME, NS, SOA, MX, TXT, LOC"


def upper_ascii(text):
    return "".join(chr(ord(c) - 32) if "a" <= c <= "z" else c for c in text)


def lookup_failure(name, types, reason):
    """The DNS command's line for the queries of a name that failed for one reason."""
    return f'DNS plugin: Error looking up {types} for "{upper_ascii(name)}": {FAILURE_TEXT[reason]}\n'


def refused_everything(name):
    """A name outside the served zones: the server refuses every query."""
    return lookup_failure(name, ALL_TYPES, "refused")


def lookup_names(line):
    """The names a DNS command line looks up: its positional words after the server."""
    words = [w for w in line.split()[1:] if not w.startswith("/")]
    return words[1:] if len(words) > 1 else words


def configured_servers(conf):
    """The DNS servers that the default-server paths use for a resolv.conf text: its usable
    IPv4 nameserver entries in file order, duplicates kept, at most eight."""
    entries = [line.split()[1] for line in conf.splitlines()
               if line.startswith("nameserver") and len(line.split()) > 1]
    if UNDER_WINE:
        entries = entries[:WINE_RESOLVER_SERVERS] or ["127.0.0.1"]
    usable = [e for e in entries
              if e.count(".") == 3 and e not in ("0.0.0.0", "255.255.255.255")]
    return usable[:8]


def server_trace(addresses):
    return "".join(f"   *  DnsServers[{i}] = {a}\n" for i, a in enumerate(addresses))


def host_path(path):
    """A file's path as the host names it: on Windows (under wine) the drive Z: form."""
    return "Z:" + path.replace("/", "\\") if UNDER_WINE else path


def loc_line(text):
    """The table line of a LOC record; nothing where LOC queries are not answered."""
    return "LOC     LOCATION    " + text + "\n" if LOC_ANSWERED else ""


def rdns_line(address, host=""):
    return f"{address:<25}{ARROW}{host}\n"


class Corvane:
    """Locates the binary and the server; runs command lines."""

    path = None
    server = None
    home = None
    # The command that starts corvane: the binary, or the runner and the binary.
    command = None


def setup_from_argv():
    """Takes the corvane path from argv[1] (CTest passes it) and the server from
    DNS_E2E_SERVER. Exits with SKIP_CODE when there is no server to test against."""
    if len(sys.argv) < 2:
        sys.stderr.write(f"usage: {sys.argv[0]} PATH_TO_CORVANE [unittest args]\n")
        sys.exit(2)
    Corvane.path = os.path.abspath(sys.argv.pop(1))
    runner = os.environ.get("CORVANE_RUNNER", "")
    Corvane.command = ([runner] if runner else []) + [Corvane.path]
    Corvane.server = os.environ.get("DNS_E2E_SERVER", "")
    if not Corvane.server:
        print("DNS_E2E_SERVER is not set: run through scripts/test.sh; skipping")
        sys.exit(SKIP_CODE)


def clean_env():
    """Environment without user settings that change the output (colours,
    settings files in the home directory)."""
    dropped = {"highlight", "corvane_user_settings", "corvane_machine_settings", "noloadmsg"}
    env = {k: v for k, v in os.environ.items() if k.lower() not in dropped}
    if Corvane.home is None:
        Corvane.home = tempfile.mkdtemp(prefix="corvane-e2e-home.")
    env["HOME"] = Corvane.home
    env["XDG_CONFIG_HOME"] = os.path.join(Corvane.home, ".config")
    env["LC_ALL"] = "C.UTF-8"
    env["noloadmsg"] = "1"  # batch runs from a terminal would otherwise show the load message
    return env


class Result:
    def __init__(self, proc):
        self.code = proc.returncode
        self.out = proc.stdout.decode("utf-8")
        self.err = proc.stderr.decode("utf-8") if proc.stderr is not None else ""


def run(args, merge=False, timeout=60, extra_env=None):
    """Runs corvane with args (a list); stdout and stderr are pipes, so the
    commands see no console. With merge, stderr goes into stdout in order."""
    env = clean_env()
    env.update(extra_env or {})
    proc = subprocess.run(
        Corvane.command + args,
        stdin=subprocess.DEVNULL,
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT if merge else subprocess.PIPE,
        env=env,
        timeout=timeout,
    )
    return Result(proc)


def command(line, merge=False, extra_env=None, timeout=60):
    return run(["-c", line], merge=merge, extra_env=extra_env, timeout=timeout)


# Set, this makes both commands ask one query at a time, in the order of the record walk.
ONE_AT_A_TIME = {"CORVANE_DNS_ONE_AT_A_TIME": "1"}

ZONES_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "zones")


def zone_records():
    """(owner name, type) of every record line of the test zones, in file order, the owner
    without a final dot."""
    for file in sorted(os.listdir(ZONES_DIR)):
        origin = ""
        with open(os.path.join(ZONES_DIR, file), encoding="utf-8") as zone:
            for text in zone:
                if text.startswith("$ORIGIN"):
                    origin = text.split()[1].rstrip(".")
                words = text.split()
                if not words or text[0] in " \t;$(":
                    continue
                owner = words[0]
                if owner == "@":
                    name = origin
                elif owner.endswith("."):
                    name = owner.rstrip(".")
                else:
                    name = owner + "." + origin
                yield name, words[1] if len(words) > 1 else ""


def zone_names():
    """Every owner name of the test zones, in file order, without a final dot."""
    names = []
    for name, _ in zone_records():
        if name not in names:
            names.append(name)
    return names


def loc_names():
    """The owner names of the test zones that have a LOC record, in lower case."""
    return {name.lower() for name, rtype in zone_records() if rtype == "LOC"}


def failing_loc_names(line):
    """The names of a DNS command line whose LOC query fails where LOC_FAILS: those of the test
    zones that have a LOC record, as the error lines show them. A line asking for help looks
    nothing up."""
    words = line.split()
    if not LOC_FAILS or words[0].lower() != "dns" or any(
            w.startswith("/") and "?" in w for w in words):
        return []
    with_loc = loc_names()
    names = [n.strip('"') for n in lookup_names(line)]
    return [upper_ascii(n) for n in names if n.lower().rstrip(".") in with_loc]


def loc_failures(line):
    """What a DNS command line adds where LOC_FAILS, when the lookup is otherwise clean: its
    LOC lines on standard error, and the exit code (2 with such a line, else 0)."""
    names = failing_loc_names(line)
    return "".join(lookup_failure(n, "LOC", "not implemented") for n in names), 2 if names else 0


def can_swap_resolv_conf():
    """A nested mount namespace needs root (the test namespace maps us to root)."""
    return os.geteuid() == 0 and shutil.which("unshare") is not None


def command_with_resolv_conf(content, line):
    """Runs one command line with /etc/resolv.conf replaced by content, in a
    nested mount namespace of its own (nothing outside it sees the change)."""
    with tempfile.NamedTemporaryFile("w", prefix="resolv.", suffix=".conf") as conf:
        conf.write(content)
        conf.flush()
        script = 'mount --bind "$1" /etc/resolv.conf && shift && exec "$@"'
        proc = subprocess.run(
            ["unshare", "--mount", "--propagation", "private", "sh", "-c", script, "sh",
             conf.name] + Corvane.command + ["-c", line],
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            env=clean_env(),
            timeout=120,
        )
    return Result(proc)


class E2ETestCase(unittest.TestCase):
    maxDiff = None

    @property
    def server(self):
        return Corvane.server

    def assertRun(self, line, out, code=0, err=""):
        """Runs one command line and checks stdout, stderr and exit code exactly. Under wine a
        lookup also fails the LOC query of each name that has a LOC record: those lines are
        checked and taken out first."""
        r = command(line)
        names = failing_loc_names(line) if out else []
        if names:
            loc = [text for text in r.err.splitlines(True)
                   if text.startswith("DNS plugin: Error looking up LOC for ")]
            self.assertEqual([text.split('"')[1] for text in loc], names, f"LOC lines of: {line}")
            self.assertEqual(set(loc), {lookup_failure(n, "LOC", "not implemented") for n in names})
            r.err = "".join(text for text in r.err.splitlines(True) if text not in loc)
            code = 2 if code == 0 else code
        # Each message names the other two streams, so that one failure tells the whole story.
        self.assertEqual(r.out, out, f"stdout of: {line} (exit code {r.code}, stderr {r.err!r})")
        self.assertEqual(r.err, err, f"stderr of: {line} (exit code {r.code})")
        self.assertEqual(r.code, code, f"exit code of: {line}")
        return r

    def assertError(self, line, message, code):
        """An option error: the prefixed message on stderr, nothing on stdout."""
        self.assertRun(line, "", code=code, err="DNS plugin: " + message + "\n")


def main():
    setup_from_argv()
    unittest.main(verbosity=2)


# The test servers and the relay of the repository: the hostile server of tests/hostile, which
# sends the hostile answers kept in tests/hostile/answers/, and bench/delay_proxy.py.
HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(HERE, "..", "hostile"))
import hostile_server  # noqa: E402

RELAY = os.path.join(HERE, "..", "..", "bench", "delay_proxy.py")


def failing_server(address, case):
    """The hostile server on port 53 of address, answering every question with one case of its
    answers: "servfail" or "refused", from a resolver (RA set), without records, or "silent",
    never. Its queries() are the questions it was asked, datagrams() the datagrams with their
    clients; stop() ends it. OSError when it cannot bind the port."""
    return hostile_server.HostileServer(address, 53, every=case).start()


class Relay:
    """The relay bench/delay_proxy.py on port 53 of address, in front of upstream: delay_ms more
    a round trip, and the UDP queries for the names of hold kept back until release() (for
    good without it, a server that never answers them). close() ends it. OSError when it does
    not start (the port cannot be bound)."""

    def __init__(self, address, upstream, delay_ms=0, hold=()):
        self.address = address
        argv = [sys.executable, RELAY, "--listen", address, "--upstream", upstream,
                "--delay-ms", str(delay_ms), "--control"]
        for name in hold:
            argv += ["--hold", name]
        self.proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)
        self.buffer = b""
        if self.line(30) != "ready":
            self.proc.kill()
            _, err = self.proc.communicate()
            raise OSError(f"the relay on {address} did not start: {err.decode(errors='replace')}")

    def line(self, timeout):
        """The relay's next line of output; None if there is none within timeout (a bound for
        a relay that hangs, not a wait: the line comes as soon as the relay writes it)."""
        deadline = time.monotonic() + timeout
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.proc.stdout], [], [], left)[0]:
                return None
            data = os.read(self.proc.stdout.fileno(), 4096)
            if not data:
                return None
            self.buffer += data
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode()

    def wait_held(self, timeout=20):
        """True once the relay holds a query back."""
        line = self.line(timeout)
        return line is not None and line.startswith("held ")

    def release(self):
        """Sends the held queries on, and every later one at once."""
        self.proc.stdin.write(b"release\n")
        self.proc.stdin.flush()

    def close(self):
        self.proc.terminate()
        self.proc.communicate(timeout=30)
