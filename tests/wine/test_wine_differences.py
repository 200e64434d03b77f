#!/usr/bin/env python3
"""The ways in which wine's system functions differ from Windows', each shown by
wine_probe.exe calling the function itself (no code of ours in between), against the
loopback server of scripts/test.sh. The end-to-end suites expect wine's results in these
places (tests/e2e/e2e_common.py); when a wine release changes one, this test says which.

    test_wine_differences.py PATH_TO_WINE_PROBE_EXE
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_common import FailingServer, LoopbackUdpServer  # noqa: E402

PROBE = None
RUNNER = os.environ.get("CORVANE_RUNNER", "")
SERVER = os.environ.get("DNS_E2E_SERVER", "")


def probe(*args, resolv_conf=None):
    """The probe's output (line ends as "\n"); with resolv_conf, run with that text bind-mounted
    over /etc/resolv.conf in a mount namespace of its own."""
    argv = [RUNNER, PROBE] + list(args)
    with tempfile.NamedTemporaryFile("w", suffix=".conf") as conf:
        if resolv_conf is not None:
            conf.write(resolv_conf)
            conf.flush()
            argv = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                    'mount --bind "$1" /etc/resolv.conf && shift && exec "$@"', "sh",
                    conf.name] + argv
        out = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True,
                             timeout=60).stdout.decode("utf-8").replace("\r\n", "\n")
    sys.stdout.write(f"wine_probe {' '.join(args)}:\n{out}")
    return out


class MuteServer(LoopbackUdpServer):
    """Keeps every query it gets and answers none."""

    def __init__(self, address):
        self.queries = []
        super().__init__(address)

    def handle(self, query, client):
        self.queries.append((query, client))


@unittest.skipUnless(SERVER, "DNS_E2E_SERVER is not set (run through scripts/test.sh)")
class DnsQuery(unittest.TestCase):
    def test_loc_query_is_not_implemented(self):
        # Windows answers with the LOC record; wine gives DNS_ERROR_RCODE_NOT_IMPLEMENTED. For
        # a name without a LOC record it gives no records (9003), as for other types.
        self.assertEqual(probe("query", "e2e.test", "29", SERVER), "status 9004\n")
        self.assertEqual(probe("query", "multi.e2e.test", "29", SERVER), "status 9003\n")

    def test_refused_query_is_a_server_failure(self):
        # The server refuses names outside its zones: Windows 9005, wine 9002.
        self.assertEqual(probe("query", "nothing.invalid", "1", SERVER), "status 9002\n")

    def test_name_without_records_of_the_type_is_a_name_error(self):
        # ns1.corp.test has an address but no AAAA record: the reply (rcode 0, no answer) is
        # DNS_INFO_NO_RECORDS, 9501, on Windows, and a name error, 9003, under wine.
        self.assertEqual(probe("query", "ns1.corp.test", "28", SERVER), "status 9003\n")

    def test_label_too_long_is_refused(self):
        # A label of more than 63 octets cannot be sent: Windows gives 123 (invalid name),
        # wine 9005, as if the server had refused it.
        self.assertEqual(probe("query", "x" * 300 + ".nowhere.test", "1", SERVER),
                         "status 9005\n")

    def test_short_name_without_an_address_asks_netbios(self):
        # wine asks NetBIOS for a name of at most 15 characters that has no address, unless
        # DNS_QUERY_NO_NETBT (0x80) is set, and gives 123 (invalid name) when that finds
        # nothing; the Windows client of the module sets the option.
        self.assertEqual(probe("query", "mx.e2e.test", "1", SERVER), "status 123\n")
        self.assertEqual(probe("query", "mx.e2e.test", "1", SERVER, "c8"), "status 9003\n")
        self.assertEqual(probe("query", "txt-multi.e2e.test", "1", SERVER), "status 9003\n")

    def test_failing_server_is_asked_twice(self):
        # A single server that answers SERVFAIL or REFUSED is asked twice (the C library's two
        # tries) before the call gives 9002.
        for rcode in (2, 5):
            with self.subTest(rcode=rcode):
                failing = FailingServer("127.0.0.14", rcode)
                try:
                    self.assertEqual(probe("query", "1.2.0.192.in-addr.arpa", "12", "127.0.0.14"),
                                     "status 9002\n")
                    self.assertEqual(failing.asked, 2)
                finally:
                    failing.close()

    def test_time_out_is_a_server_failure(self):
        # A server that never answers: Windows gives 1460 (the time-out), wine 9002 after two
        # tries of 5 seconds with the same query.
        mute = MuteServer("127.0.0.15")
        try:
            self.assertEqual(probe("query", "1.2.0.192.in-addr.arpa", "12", "127.0.0.15"),
                             "status 9002\n")
            self.assertEqual(len(mute.queries), 2)
            self.assertEqual(mute.queries[0], mute.queries[1])
        finally:
            mute.close()

    def test_only_the_first_server_is_asked(self):
        # A server answering SERVFAIL first, the test server second: Windows goes on to the
        # next server of the array, wine gives the first one's failure.
        failing = FailingServer("127.0.0.13", 2)
        try:
            self.assertEqual(probe("query", "1.2.0.192.in-addr.arpa", "12", f"127.0.0.13,{SERVER}"),
                             "status 9002\n")
            self.assertEqual(failing.asked, 1)
        finally:
            failing.close()

    def test_reply_lists_every_section(self):
        # Both list the additional section; the module must keep to the answer section.
        self.assertEqual(probe("query", "ns1.corp.test", "1", SERVER),
                         "status 0\nrecord type 1 section 1\nrecord type 1 section 3\n")


@unittest.skipUnless(os.geteuid() == 0 and shutil.which("unshare"), "needs a mount namespace")
class NetworkParams(unittest.TestCase):
    """wine reads the servers through the C library's resolver: the first three nameserver
    lines of resolv.conf, and 127.0.0.1 when there is none."""

    def test_first_three_servers_only(self):
        conf = "".join(f"nameserver 127.0.0.{i}\n" for i in range(1, 6))
        self.assertEqual(probe("servers", resolv_conf=conf),
                         "server 127.0.0.1\nserver 127.0.0.2\nserver 127.0.0.3\n")

    def test_none_configured_is_the_local_host(self):
        self.assertEqual(probe("servers", resolv_conf="# none\n"), "server 127.0.0.1\n")


class Idna(unittest.TestCase):
    def test_symbols_have_an_ascii_form(self):
        # IdnToAscii converts U+2603 as IDNA2003 did; IDNA2008 (the POSIX client) refuses it.
        self.assertEqual(probe("idna", "\u2603.e2e.test"), "ascii xn--n3h.e2e.test\n")
        self.assertEqual(probe("idna", "b\u00fccher.e2e.test"), "ascii xn--bcher-kva.e2e.test\n")


class Messages(unittest.TestCase):
    def test_no_text_for_the_dns_codes(self):
        for code in ("9002", "9003", "9005", "9501", "9502"):
            with self.subTest(code=code):
                self.assertEqual(probe("message", code), "no text\n")

    def test_other_codes_have_texts(self):
        self.assertTrue(probe("message", "2").startswith("text "))


if __name__ == "__main__":
    if len(sys.argv) < 2 or not RUNNER:
        sys.stderr.write(f"usage: CORVANE_RUNNER=RUNNER {sys.argv[0]} PATH_TO_WINE_PROBE_EXE\n")
        sys.exit(2)
    PROBE = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
