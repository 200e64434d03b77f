#!/usr/bin/env python3
"""End-to-end against the DNS servers people really use, with their default limits (NSD with
its response rate limit, unbound, dnsmasq, BIND 9 forwarding), each behind a link that costs
time and loses datagrams (scripts/test.sh, scripts/lib/real-dns.sh): a few hundred names asked
at once give exactly what one query at a time gives straight from the server of the zones, and
a dnsmasq whose forward limit is below the number of queries in flight loses nothing.

    test_real_servers.py CORVANE"""

import sys

sys.dont_write_bytecode = True  # keep the source tree clean of __pycache__

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "scripts", "lib"))
import bulk_zone  # noqa: E402
from e2e_common import ONE_AT_A_TIME, UNDER_WINE, E2ETestCase, command, main  # noqa: E402

# Each server asks a name set of its own, so that every run starts with cold caches.
NAMES = 300


def real_servers():
    """name -> address of the servers behind lossy links, as scripts/test.sh started them."""
    text = os.environ.get("DNS_E2E_REAL_SERVERS", "")
    return dict(entry.split("=", 1) for entry in text.split())


class RealServers(E2ETestCase):
    def reference(self, names):
        """The one-at-a-time run straight at the server of the zones, on the lossless path."""
        return command(f"dns {self.server} {' '.join(names)}", extra_env=ONE_AT_A_TIME)

    def assertSameAsOneAtATime(self, server, names):
        expected = self.reference(names)
        got = command(f"dns {server} {' '.join(names)}", timeout=300)
        self.assertEqual(got.err, expected.err, f"stderr at {server}")
        self.assertEqual(got.out, expected.out, f"stdout at {server}")
        self.assertEqual(got.code, expected.code)

    @unittest.skipIf(UNDER_WINE, "the system's client gives up after its own tries on a lossy "
                                 "link, and says so; the limited dnsmasq below runs under wine")
    def test_many_names_through_lossy_links(self):
        servers = real_servers()
        if not servers:
            self.skipTest("no real servers (run through scripts/test.sh)")
        sets = iter(bulk_zone.SETS[1:])
        for label, address in sorted(servers.items()):
            with self.subTest(label):
                self.assertSameAsOneAtATime(address, bulk_zone.bulk_names(NAMES, next(sets)))

    def test_forward_limit_below_the_queries_in_flight(self):
        address = os.environ.get("DNS_E2E_DNSMASQ_LIMITED")
        if not address:
            self.skipTest("no limited dnsmasq (run through scripts/test.sh)")
        self.assertSameAsOneAtATime(address, bulk_zone.bulk_names(200, "m"))


if __name__ == "__main__":
    main()
