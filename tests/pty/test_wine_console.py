#!/usr/bin/env python3
"""corvane.exe under wine on a pseudo-terminal: wine's console gives console mode,
screen-buffer information and colour attributes there, and its line input reads the
prompt's lines. Checked here: the prompt, the timed page pause, the highlight colours and
the Highlight setting from the registry in its order of precedence. wine's _kbhit does
not see keys typed on a pseudo-terminal, so the page keys are tested on Linux only
(test_terminal.py).

    test_wine_console.py PATH_TO_CORVANE_EXE [unittest args]

CORVANE_RUNNER names the wine runner (scripts/wine-run.sh); the lookups need the loopback
server of scripts/test.sh (DNS_E2E_SERVER) and are skipped without it.
"""

import os
import re
import subprocess
import sys
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_common import loc_failures  # noqa: E402
from ptydrive import PtySession  # noqa: E402

CORVANE = None
RUNNER = os.environ.get("CORVANE_RUNNER", "")
SERVER = os.environ.get("DNS_E2E_SERVER", "")
PROMPT = re.compile(rb"corvane>")
# wine's console draws on the terminal with these; they carry no text of their own.
CURSOR = re.compile(rb"\x1b\[\?25[lh]")
SGR = re.compile(rb"\x1b\[([0-9;]*)m")
PAGE_PROMPT = ("   \u2500\u2500 Press a key to continue \u2500\u2500").encode("utf-8")
# The prompt's final blank is drawn as "clear to the end, one to the right"; erasing the
# prompt is a carriage return and "clear to the end".
DRAWN_PAGE_PROMPT = re.escape(PAGE_PROMPT) + rb"\x1b\[K\x1b\[1C\r\x1b\[K"

E2E_RECORDS = (
    "A       ADDRESS     192.0.2.1\r\n"
    "AAAA    ADDRESS     2001:db8::1\r\n"
    "NS      DNAME       ns2.dns-e2e.test\r\n"
    "NS      DNAME       ns1.dns-e2e.test\r\n"
    "NS      DNAME       ns3.dns-e2e.test\r\n"
    "SOA     MNAME       ns1.dns-e2e.test\r\n"
    "        RNAME       hostmaster.e2e.test\r\n"
    "        SERIAL      2024061501\r\n"
    "        REFRESH     7200\r\n"
    "        RETRY       900\r\n"
    "        EXPIRE      1209600\r\n"
    "        MINIMUM     300\r\n"
    "MX      PREFERENCE  10\r\n"
    "        EXCHANGE    mail.e2e.test\r\n"
    "TXT     TXT         v=e2e every type\r\n"
)  # no LOC line: wine's DnsQuery_W does not answer LOC queries (9004)
UNDERLINE = "\u2500" * 35


def environment(**extra):
    env = {k: v for k, v in os.environ.items() if k.lower() != "highlight"}
    env.update(TERM="xterm", noloadmsg="1")
    env.update(extra)
    return env


def start(args, env=None):
    # The terminal in raw mode, as a console window delivers keys: Enter is a carriage return.
    argv = ["sh", "-c", 'stty raw -echo; exec "$@"', "sh", RUNNER, CORVANE] + args
    return PtySession(argv, rows=24, cols=80, env=env or environment())


def wine(*args):
    subprocess.run([RUNNER] + list(args), stdin=subprocess.DEVNULL, capture_output=True,
                   timeout=60, check=False)


def attribute_before(transcript, text):
    """The console attribute that the colour sequences right before text select (an unset
    background counts as black)."""
    at = transcript.index(text.encode("utf-8"))
    head = CURSOR.sub(b"", transcript[:at])
    fg, bg = 7, 0
    codes = re.findall(rb"((?:\x1b\[[0-9;]*m)+)\Z", head)
    for params in SGR.findall(codes[0] if codes else b""):
        for p in (int(x) for x in params.split(b";") if x):
            ansi = lambda n: ((n & 1) << 2) | (n & 2) | ((n & 4) >> 2)  # noqa: E731
            if p == 0:
                fg, bg = 7, 0
            elif 30 <= p <= 37 or 90 <= p <= 97:
                fg = ansi(p % 10) | (8 if p >= 90 else 0)
            elif 40 <= p <= 47 or 100 <= p <= 107:
                bg = ansi(p % 10) | (8 if p >= 100 else 0)
    return bg << 4 | fg


class Prompt(unittest.TestCase):
    def test_lines_from_the_console_run_until_exit(self):
        with start([]) as s:
            s.expect(PROMPT, timeout=30)
            s.send("echo hello from wine\r")
            s.expect("hello from wine", timeout=10)
            s.expect(PROMPT, timeout=10)
            s.send("exit 4\r")
            self.assertEqual(s.wait(30), 4)


@unittest.skipUnless(SERVER, "DNS_E2E_SERVER is not set (run through scripts/test.sh)")
class TimedPause(unittest.TestCase):
    def test_pages_go_on_by_themselves(self):
        # Five lines a page, a pause of 200 ms: every prompt goes away without a key.
        line = f"dns /P:200m,5 {SERVER} e2e.test"
        with start(["-c", line]) as s:
            code = s.wait(60)
        # wine fails the LOC query of e2e.test (e2e_common.py): its line comes after the table.
        err, expected_code = loc_failures(line)
        self.assertEqual(code, expected_code)
        drawn = CURSOR.sub(b"", s.transcript)
        self.assertEqual(drawn.count(PAGE_PROMPT), 3)  # 19 line ends
        text = SGR.sub(b"", re.sub(DRAWN_PAGE_PROMPT, b"", drawn))
        # wine's console may draw a blank as "clear to the end, one to the right".
        text = text.replace(b"\x1b[K\x1b[1C", b" ").decode("utf-8")
        table = "\r\nType    Field       Value\r\n" + UNDERLINE + "\r\n" + E2E_RECORDS
        self.assertEqual(text, table + err.replace("\n", "\r\n"))


@unittest.skipUnless(SERVER, "DNS_E2E_SERVER is not set (run through scripts/test.sh)")
class Highlight(unittest.TestCase):
    COMMON = r"Software\QuellPlugins"
    PLUGIN = r"Software\QuellPlugins\DNS"

    def setUp(self):
        self.tearDown()

    def tearDown(self):
        for hive in ("HKCU", "HKLM"):
            wine("reg", "delete", hive + "\\" + self.COMMON, "/f")

    def set_value(self, hive, key, text, kind="REG_SZ"):
        wine("reg", "add", f"{hive}\\{key}", "/v", "Highlight", "/t", kind, "/d", text, "/f")

    def name_colour(self, env=None):
        line = f"dns {SERVER} e2e.test multi.e2e.test"
        with start(["-c", line], env) as s:
            self.assertEqual(s.wait(60), loc_failures(line)[1])
        return attribute_before(s.transcript, "MULTI.E2E.TEST")

    def test_default_is_the_bright_normal_colour(self):
        self.assertEqual(self.name_colour(), 0x0F)

    def test_registry_sources_in_order(self):
        # Each value added ranks above the ones before it: the common key under the local
        # machine, then under the current user, then the plug-in's key under each.
        for hive, key, text in [("HKLM", self.COMMON, "0x1A"), ("HKCU", self.COMMON, "0x1B"),
                                ("HKLM", self.PLUGIN, "0x1C"), ("HKCU", self.PLUGIN, "0x1D")]:
            with self.subTest(hive=hive, key=key):
                self.set_value(hive, key, text)
                self.assertEqual(self.name_colour(), int(text, 16))
        # A value that is not a plain string is passed over.
        self.set_value("HKCU", self.PLUGIN, "30", kind="REG_DWORD")
        self.assertEqual(self.name_colour(), 0x1C)
        # The environment wins over every registry value.
        self.assertEqual(self.name_colour(environment(Highlight="0x4E")), 0x4E)


if __name__ == "__main__":
    if len(sys.argv) < 2 or not RUNNER:
        sys.stderr.write(f"usage: CORVANE_RUNNER=RUNNER {sys.argv[0]} PATH_TO_CORVANE_EXE\n")
        sys.exit(2)
    CORVANE = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
