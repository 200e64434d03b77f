#!/usr/bin/env python3
"""End-to-end tests of the RDNS command against the reverse zones in
tests/e2e/zones (2.0.192.in-addr.arpa, 2001:db8::/32 and ::ffff:0:0/96 under
ip6.arpa), served by NSD on loopback (see scripts/test.sh).

RDNS lines keep their arrow characters even when output is not a console."""

import sys

sys.dont_write_bytecode = True  # keep the source tree clean of __pycache__

import os
import unittest

from e2e_common import (
    FAILURE_TEXT,
    NEXT_SERVER_ON_FAILURE,
    UNDER_WINE,
    ONE_AT_A_TIME,
    E2ETestCase,
    can_swap_resolv_conf,
    command,
    command_with_resolv_conf,
    failing_server,
    main,
    rdns_line,
)

V6_NAME = "1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.ip6.arpa"
MAPPED_NAME = "1.0.2.0.0.0.0.c.f.f.f.f.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.ip6.arpa"
NXDOMAIN_99 = f'DNS plugin: Error looking up "192.0.2.99": {FAILURE_TEXT["name error"]}\n'


def trace_servers(*addresses):
    return "".join(f"   *  DnsServers[{i}] = {a}\n" for i, a in enumerate(addresses))


def trace_names(addr, host_name):
    return f"   *  AddrString = '{addr}'   HostName = '{host_name}'\n"


class Lookups(E2ETestCase):
    def test_one_ptr(self):
        self.assertRun("rdns 192.0.2.1", rdns_line("192.0.2.1", "host1.e2e.test"))

    def test_several_ptrs_first_only_without_m(self):
        self.assertRun("rdns 192.0.2.2", rdns_line("192.0.2.2", "three-c.e2e.test"))

    def test_several_ptrs_all_with_m(self):
        expected = (
            rdns_line("192.0.2.2", "three-c.e2e.test")
            + rdns_line("192.0.2.2", "three-a.e2e.test")
            + rdns_line("192.0.2.2", "three-b.e2e.test")
        )
        self.assertRun("rdns /M 192.0.2.2", expected)
        self.assertRun("rdns 192.0.2.2 /m", expected)

    def test_cname_only_reply_prints_empty_name(self):
        self.assertRun("rdns 192.0.2.3", "192.0.2.3" + " " * 16 + " \u23af\u2192 \n")

    def test_nxdomain(self):
        self.assertRun("rdns 192.0.2.99", "", code=2, err=NXDOMAIN_99)

    def test_refused_name_fails(self):
        # No zone for 127.in-addr.arpa: the server refuses. The short form of
        # the address is shown in dotted decimal.
        self.assertRun(
            "rdns 127.1",
            "",
            code=2,
            err=f'DNS plugin: Error looking up "127.0.0.1": {FAILURE_TEXT["refused"]}\n',
        )

    def test_ipv6(self):
        self.assertRun("rdns 2001:db8::1", rdns_line("2001:db8::1", "v6host.e2e.test"))
        self.assertRun(
            "rdns 2001:0DB8:0:0::0001", rdns_line("2001:db8::1", "v6host.e2e.test")
        )

    def test_ipv4_mapped_is_looked_up_under_ip6_arpa(self):
        self.assertRun(
            "rdns ::ffff:192.0.2.1", rdns_line("::ffff:192.0.2.1", "mapped.e2e.test")
        )

    def test_same_address_twice_looked_up_twice(self):
        line = rdns_line("192.0.2.1", "host1.e2e.test")
        self.assertRun("rdns 192.0.2.1 192.0.2.1", line + line)

    def test_several_addresses_in_order(self):
        self.assertRun(
            "rdns 2001:db8::1 192.0.2.1",
            rdns_line("2001:db8::1", "v6host.e2e.test") + rdns_line("192.0.2.1", "host1.e2e.test"),
        )


class MixedResults(E2ETestCase):
    """Errors and results interleave in argument order; the exit code is the
    highest of 1 (unreadable address) and 2 (failed lookup)."""

    def test_unreadable_address_between_good_ones(self):
        r = command("rdns 192.0.2.1 bogus 2001:db8::1", merge=True)
        self.assertEqual(
            r.out,
            rdns_line("192.0.2.1", "host1.e2e.test")
            + 'DNS plugin: Bad IP address: "BOGUS"\n'
            + rdns_line("2001:db8::1", "v6host.e2e.test"),
        )
        self.assertEqual(r.code, 1)

    def test_unreadable_and_failed(self):
        r = command("rdns 192.0.2.99 0.0.0.0 192.0.2.1", merge=True)
        self.assertEqual(
            r.out,
            NXDOMAIN_99
            + 'DNS plugin: Bad IP address: "0.0.0.0"\n'
            + rdns_line("192.0.2.1", "host1.e2e.test"),
        )
        self.assertEqual(r.code, 2)

    def test_broadcast_is_unreadable(self):
        self.assertRun(
            "rdns 255.255.255.255",
            "",
            code=1,
            err='DNS plugin: Bad IP address: "255.255.255.255"\n',
        )


class BothOrders(E2ETestCase):
    """Addresses in flight together print what one query at a time prints, stdout and
    stderr in the same order."""

    def test_every_address_of_the_reverse_zones(self):
        addresses = [f"192.0.2.{i}" for i in range(0, 40)] + [
            "2001:db8::1", "::ffff:192.0.2.1", "bogus", "192.0.2.1", "255.255.255.255"]
        for options in ["", "/M /$ "]:
            with self.subTest(options=options):
                line = f"rdns {options}{' '.join(addresses)}"
                pipelined = command(line, merge=True)
                sequential = command(line, merge=True, extra_env=ONE_AT_A_TIME)
                self.assertEqual(pipelined.out, sequential.out)
                self.assertEqual(pipelined.code, sequential.code)
                self.assertIn("three-c.e2e.test", pipelined.out)


class NextServer(E2ETestCase):
    """A server that fails hands the query to the next one."""

    def setUp(self):
        self.failing = []
        try:
            for address, case in (("127.0.0.11", "servfail"), ("127.0.0.12", "refused")):
                self.failing.append(failing_server(address, case))
                self.addCleanup(self.failing[-1].stop)
        except OSError as error:
            self.skipTest(f"cannot bind port 53 of 127.0.0.11 and .12: {error}")

    def test_servfail_and_refused_then_the_answer(self):
        command_line = f"rdns /A:127.0.0.11 /A:127.0.0.12 /A:{self.server} 192.0.2.1"
        if not NEXT_SERVER_ON_FAILURE:
            self.assertRun(command_line, "", code=2,
                           err=f'DNS plugin: Error looking up "192.0.2.1": '
                               f'{FAILURE_TEXT["server failure"]}\n')
            self.assertEqual([len(s.queries()) for s in self.failing], [2, 0])
            return
        # A resolver (RA set) that fails or refuses may be overloaded for a moment: each is
        # asked four times more, with fewer in flight, before the next server.
        self.assertRun(command_line, rdns_line("192.0.2.1", "host1.e2e.test"))
        self.assertEqual([len(s.queries()) for s in self.failing], [5, 5])

    def test_the_last_servers_status_is_the_result(self):
        # REFUSED from the first server, SERVFAIL from the last; under wine only the first is
        # asked, and both read the same there.
        last = "server failure" if NEXT_SERVER_ON_FAILURE else "refused"
        self.assertRun(
            "rdns /A:127.0.0.12 /A:127.0.0.11 192.0.2.1",
            "",
            code=2,
            err=f'DNS plugin: Error looking up "192.0.2.1": {FAILURE_TEXT[last]}\n',
        )

    @unittest.skipUnless(can_swap_resolv_conf(), "needs root for a nested mount namespace")
    def test_system_servers_in_turn(self):
        conf = f"nameserver 127.0.0.11\nnameserver 127.0.0.12\nnameserver {self.server}\n"
        r = command_with_resolv_conf(conf, "rdns 192.0.2.1")
        self.assertEqual((r.out, r.err, r.code), (rdns_line("192.0.2.1", "host1.e2e.test"), "", 0))
        r = command_with_resolv_conf(conf, "dns e2e.test")
        self.assertIn("A       ADDRESS     192.0.2.1\n", r.out)


class ServersAndTrace(E2ETestCase):
    def test_trace_with_default_servers(self):
        # The private resolv.conf of the test namespace names 127.0.0.1 only.
        self.assertRun(
            "rdns /$ 192.0.2.1",
            trace_servers("127.0.0.1")
            + trace_names("192.0.2.1", "1.2.0.192.in-addr.arpa")
            + rdns_line("192.0.2.1", "host1.e2e.test"),
        )

    def test_trace_ipv6_names(self):
        self.assertRun(
            "rdns /$ 2001:db8::1 ::ffff:192.0.2.1",
            trace_servers("127.0.0.1")
            + trace_names("2001:db8::1", V6_NAME)
            + rdns_line("2001:db8::1", "v6host.e2e.test")
            + trace_names("::ffff:192.0.2.1", MAPPED_NAME)
            + rdns_line("::ffff:192.0.2.1", "mapped.e2e.test"),
        )

    def test_trace_comes_before_a_failure(self):
        r = command("rdns /$ 192.0.2.99", merge=True)
        self.assertEqual(
            r.out,
            trace_servers("127.0.0.1")
            + trace_names("192.0.2.99", "99.2.0.192.in-addr.arpa")
            + NXDOMAIN_99,
        )
        self.assertEqual(r.code, 2)

    def test_explicit_server(self):
        for option in [f"/A:{self.server}", f"/a={self.server}", f"/A{self.server}"]:
            with self.subTest(option=option):
                self.assertRun(
                    f"rdns {option} /$ 192.0.2.1",
                    trace_servers(self.server)
                    + trace_names("192.0.2.1", "1.2.0.192.in-addr.arpa")
                    + rdns_line("192.0.2.1", "host1.e2e.test"),
                )

    def test_duplicate_server_used_once(self):
        self.assertRun(
            f"rdns /A:{self.server} /$ /A:{self.server} 192.0.2.1",
            trace_servers(self.server)
            + trace_names("192.0.2.1", "1.2.0.192.in-addr.arpa")
            + rdns_line("192.0.2.1", "host1.e2e.test"),
        )

    def test_at_most_seven_servers(self):
        # The address is unreadable, so nothing is sent to the silent extra servers.
        servers = [self.server] + [f"127.0.0.{i}" for i in range(101, 108)]
        options = " ".join(f"/A:{s}" for s in servers)
        r = command(f"rdns {options} /$ 0.0.0.0")
        self.assertEqual(r.out, trace_servers(*servers[:7]))
        self.assertEqual(r.err, 'DNS plugin: Bad IP address: "0.0.0.0"\n')
        self.assertEqual(r.code, 1)


@unittest.skipUnless(can_swap_resolv_conf(), "needs root for a nested mount namespace")
class DefaultServersFromResolvConf(E2ETestCase):
    def test_system_servers_in_file_order(self):
        conf = "nameserver 127.0.0.1\nnameserver 2001:db8::53\nnameserver 127.0.0.2\n"
        r = command_with_resolv_conf(conf, "rdns /$ 192.0.2.1")
        self.assertEqual(
            r.out,
            trace_servers("127.0.0.1", "127.0.0.2")
            + trace_names("192.0.2.1", "1.2.0.192.in-addr.arpa")
            + rdns_line("192.0.2.1", "host1.e2e.test"),
        )
        self.assertEqual(r.code, 0)

    def test_a_option_replaces_system_servers(self):
        r = command_with_resolv_conf(
            "nameserver 127.0.0.9\n", f"rdns /$ /A:{self.server} 192.0.2.1"
        )
        self.assertEqual(
            r.out,
            trace_servers(self.server)
            + trace_names("192.0.2.1", "1.2.0.192.in-addr.arpa")
            + rdns_line("192.0.2.1", "host1.e2e.test"),
        )


class Errors(E2ETestCase):
    def test_missing_address(self):
        self.assertError("rdns /$", "Missing ipaddr", 1)
        self.assertError("rdns /M /A:127.0.0.1", "Missing ipaddr", 1)

    def test_bad_server_address(self):
        for option, shown in [
            ("/A:foo", "/A:FOO"),
            ("/A:2001:db8::1", "/A:2001:DB8::1"),
            ("/A:", "/A:"),
        ]:
            with self.subTest(option=option):
                self.assertError(f"rdns {option} 192.0.2.1", f'Bad IP address: "{shown}"', 1)

    def test_server_separated_by_blank(self):
        self.assertError("rdns /A 127.0.0.1 192.0.2.1", 'Bad IP address: "/A"', 1)

    def test_unknown_option_stops_before_any_lookup(self):
        self.assertError("rdns 192.0.2.1 /X", 'Unknown option: "/X"', 1)
        self.assertError("rdns /MX 192.0.2.1", 'Unknown option: "/MX"', 1)
        self.assertError("rdns /$$ 192.0.2.1", 'Unknown option: "/$$"', 1)

    def test_error_before_help_wins(self):
        self.assertError("rdns /bad /?", 'Unknown option: "/BAD"', 1)

    def test_help(self):
        r = command("rdns /? 192.0.2.1")
        self.assertEqual(r.code, 0)
        self.assertEqual(r.err, "")
        self.assertEqual(
            r.out,
            "Perform a reverse DNS lookup.\n\nRDNS /A: ipaddr...\n\n"
            "\t/A:\tDNS server address\n\tipaddr\tthe IP address to look up\n\n"
            "You must give at least one ipaddr to look up.  If you do \n"
            "not specify a DNS server, RDNS will use your system\u2019s \n"
            "default DNS servers.\n",
        )

    def test_help_with_banner(self):
        r = command("rdns /??")
        self.assertEqual(r.code, 0)
        self.assertTrue(
            r.out.endswith("default DNS servers.\n\n\t\t\t\tDNS  1.0.9.2 (x64)\n"
                           "\t\t\t\tDnsCmd.cpp  1.0.9.1\n"),
            r.out,
        )


@unittest.skipIf(UNDER_WINE, "the system gives its own statuses for these")
class UnusableServers(E2ETestCase):
    """A server that refuses the connection, or one that cannot be reached, is reported so at
    once, not as a time-out."""

    def test_refused_and_unreachable(self):
        unreachable = os.environ.get("DNS_E2E_UNREACHABLE")
        cases = [("127.0.0.199", "connection refused")]
        if unreachable:
            cases.append((unreachable, "unreachable"))
        for server, reason in cases:
            with self.subTest(reason):
                self.assertRun(f"rdns /A:{server} 192.0.2.10", "", code=2,
                               err=f'DNS plugin: Error looking up "192.0.2.10": '
                                   f'{FAILURE_TEXT[reason]}\n')


if __name__ == "__main__":
    main()
