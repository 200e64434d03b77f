#!/usr/bin/env python3
"""End-to-end tests of the DNS command: corvane -c "dns ..." against the test
zones in tests/e2e/zones, served by NSD on loopback (see scripts/test.sh).

Output goes to a pipe, so the command prints its ASCII forms and no colours."""

import sys

sys.dont_write_bytecode = True  # keep the source tree clean of __pycache__

import os
import re
import select
import signal
import subprocess
import tempfile
import threading
import time
import unittest

from e2e_common import (
    ALL_TYPES,
    LoopbackUdpServer,
    lookup_failure,
    refused_everything,
    SYMBOL_NAMES_SENT_AS_TYPED,
    ONE_AT_A_TIME,
    Corvane,
    COLUMNS,
    HEADER,
    NO_RECORDS,
    SUMMARY_TIME,
    UNDERLINE,
    ZONE_SOA,
    LOC_ANSWERED,
    UNDER_WINE,
    E2ETestCase,
    can_swap_resolv_conf,
    clean_env,
    command,
    command_with_resolv_conf,
    configured_servers,
    host_path,
    loc_failures,
    loc_line,
    main,
    name_header,
    run,
    zone_names,
    server_trace,
    soa,
)

APEX_RECORDS = (
    "A       ADDRESS     192.0.2.1\n"
    "AAAA    ADDRESS     2001:db8::1\n"
    "NS      DNAME       ns2.dns-e2e.test\n"
    "NS      DNAME       ns1.dns-e2e.test\n"
    "NS      DNAME       ns3.dns-e2e.test\n"
    + ZONE_SOA
    + "MX      PREFERENCE  10\n"
    "        EXCHANGE    mail.e2e.test\n"
    "TXT     TXT         v=e2e every type\n"
    + loc_line('52\u00b0 22\' 23.000" N  4\u00b0 53\' 32.000" E  -2m')
)

# multi.e2e.test as the server hands it out (zone-file order)...
MULTI_UNSORTED = (
    "A       ADDRESS     192.0.2.30\n"
    "A       ADDRESS     192.0.2.4\n"
    "A       ADDRESS     192.0.2.200\n"
    "A       ADDRESS     192.0.2.17\n"
    "AAAA    ADDRESS     2001:db8::20\n"
    "AAAA    ADDRESS     2001:db8::3\n" + ZONE_SOA
)
# ...and sorted: addresses by their bytes, i.e. numerically.
MULTI_SORTED = (
    "A       ADDRESS     192.0.2.4\n"
    "A       ADDRESS     192.0.2.17\n"
    "A       ADDRESS     192.0.2.30\n"
    "A       ADDRESS     192.0.2.200\n"
    "AAAA    ADDRESS     2001:db8::3\n"
    "AAAA    ADDRESS     2001:db8::20\n" + ZONE_SOA
)

MX_UNSORTED = ZONE_SOA + (
    "MX      PREFERENCE  30\n"
    "        EXCHANGE    mx3.e2e.test\n"
    "MX      PREFERENCE  10\n"
    "        EXCHANGE    mx1.e2e.test\n"
    "MX      PREFERENCE  20\n"
    "        EXCHANGE    mx2b.e2e.test\n"
    "MX      PREFERENCE  20\n"
    "        EXCHANGE    mx2a.e2e.test\n"
)
MX_SORTED = ZONE_SOA + (
    "MX      PREFERENCE  10\n"
    "        EXCHANGE    mx1.e2e.test\n"
    "MX      PREFERENCE  20\n"
    "        EXCHANGE    mx2a.e2e.test\n"
    "MX      PREFERENCE  20\n"
    "        EXCHANGE    mx2b.e2e.test\n"
    "MX      PREFERENCE  30\n"
    "        EXCHANGE    mx3.e2e.test\n"
)

LONG_TXT = (
    "The quick brown fox jumps over the lazy dog while the e2e suite checks that long TXT "
    "strings are cut at the width the user asks for and marked at the end; everything past "
    "this point is padding to go beyond two hundred characters."
)


class RecordTypes(E2ETestCase):
    """Each record type rendered from real server answers."""

    def test_apex_has_every_type_in_fixed_order(self):
        self.assertRun(f"dns {self.server} e2e.test", HEADER + APEX_RECORDS)

    def test_name_in_zone_shows_zone_soa_found_by_walking_up(self):
        self.assertRun(
            f"dns {self.server} a.b.e2e.test",
            HEADER + "A       ADDRESS     192.0.2.40\n" + ZONE_SOA,
        )

    def test_soa_of_missing_name_is_the_zone_soa(self):
        self.assertRun(f"dns {self.server} missing.e2e.test", HEADER + ZONE_SOA)

    def test_refused_name_is_a_failure_not_an_empty_result(self):
        # Outside every served zone: all queries are refused, the SOA walk's too. The table
        # says no records were found; standard error and the exit code say why.
        for name in ["nothing.invalid", "x.y.nothing.invalid"]:
            self.assertRun(f"dns {self.server} {name}", HEADER + NO_RECORDS, code=2,
                           err=refused_everything(name))

    def test_txt_multi_string(self):
        self.assertRun(
            f"dns {self.server} txt-multi.e2e.test",
            HEADER
            + ZONE_SOA
            + "TXT     TXT[ 0]     first\n"
            + "TXT     TXT[ 1]     second\n"
            + "TXT     TXT[ 2]     third\n",
        )

    def test_txt_empty_string(self):
        self.assertRun(
            f"dns {self.server} txt-empty.e2e.test",
            HEADER + ZONE_SOA + "TXT     TXT         \n",
        )

    def test_txt_utf8(self):
        self.assertRun(
            f"dns {self.server} txt-utf8.e2e.test",
            HEADER + ZONE_SOA + "TXT     TXT         Gr\u00fc\u00dfe, \u2603 \u65e5\u672c\n",
        )

    def test_txt_long_untruncated_by_default(self):
        self.assertEqual(len(LONG_TXT), 229)
        self.assertRun(
            f"dns {self.server} txt-long.e2e.test",
            HEADER + ZONE_SOA + "TXT     TXT         " + LONG_TXT + "\n",
        )

    def test_txt_long_truncated_to_width(self):
        # Width 60: the value may use 40 columns, the last three become "...".
        cut = "The quick brown fox jumps over the la..."
        self.assertEqual(len(cut), 40)
        self.assertRun(
            f"dns /W:60 {self.server} txt-long.e2e.test",
            HEADER + ZONE_SOA + "TXT     TXT         " + cut + "\n",
        )

    def test_txt_width_forms(self):
        expect_80 = HEADER + ZONE_SOA + "TXT     TXT         " + LONG_TXT[:57] + "...\n"
        # "/W" alone without a console falls back to 100 columns.
        expect_100 = HEADER + ZONE_SOA + "TXT     TXT         " + LONG_TXT[:77] + "...\n"
        full = HEADER + ZONE_SOA + "TXT     TXT         " + LONG_TXT + "\n"
        for option, expected in [
            ("/W=80", expect_80),
            ("/W80", expect_80),
            ("/W:0x50", expect_80),
            ("/w", expect_100),
            ("/W0", full),
        ]:
            with self.subTest(option=option):
                self.assertRun(f"dns {option} {self.server} txt-long.e2e.test", expected)

    def test_multi_string_txt_is_never_truncated(self):
        self.assertRun(
            f"dns /W:40 {self.server} txt-multi.e2e.test",
            HEADER
            + ZONE_SOA
            + "TXT     TXT[ 0]     first\n"
            + "TXT     TXT[ 1]     second\n"
            + "TXT     TXT[ 2]     third\n",
        )

    def test_loc_in_every_hemisphere(self):
        cases = {
            "loc-ne": '52\u00b0 22\' 23.000" N  4\u00b0 53\' 32.000" E  -2m',
            "loc-sw": '34\u00b0 36\' 12.345" S  58\u00b0 22\' 54.321" W  25m',
            "loc-nw": '40\u00b0 41\' 21.000" N  74\u00b0 2\' 40.500" W  10m',
            "loc-se": '33\u00b0 51\' 35.900" S  151\u00b0 12\' 40.100" E  58m',
            "loc-zero": '0\u00b0 0\' 0.000" N  0\u00b0 0\' 0.000" E  0m',
        }
        for name, text in cases.items():
            with self.subTest(name=name):
                self.assertRun(
                    f"dns {self.server} {name}.e2e.test", HEADER + ZONE_SOA + loc_line(text)
                )

    def test_reverse_name_gets_ptr_query(self):
        self.assertRun(
            f"dns {self.server} 1.2.0.192.in-addr.arpa",
            HEADER + ZONE_SOA + "PTR     PTRDNAME    host1.e2e.test\n",
        )

    def test_ptr_only_for_lower_case_arpa(self):
        # ".ARPA" is not a reverse name for the command: no PTR query, only the SOA.
        self.assertRun(f"dns {self.server} 1.2.0.192.IN-ADDR.ARPA", HEADER + ZONE_SOA)

    def test_final_dot(self):
        # A final dot after "arpa" makes it no reverse name for the command; the
        # SOA walk still finds the zone.
        self.assertRun(f"dns {self.server} 1.2.0.192.in-addr.arpa.", HEADER + ZONE_SOA)
        self.assertRun(f"dns {self.server} missing.e2e.test.", HEADER + ZONE_SOA)

    def test_empty_label_is_not_walked_up(self):
        # The resolver rejects the name; walking up from it would reach e2e.test.
        self.assertRun(f"dns {self.server} x..e2e.test", HEADER + NO_RECORDS, code=2,
                       err=lookup_failure("x..e2e.test", ALL_TYPES, "invalid name"))

    def test_ipv6_reverse_name(self):
        name = "1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.ip6.arpa"
        self.assertRun(
            f"dns {self.server} {name}",
            HEADER + ZONE_SOA + "PTR     PTRDNAME    v6host.e2e.test\n",
        )


class InternationalNames(E2ETestCase):
    def test_name_typed_in_unicode_is_found_in_its_idna_form(self):
        for typed in ["b\u00fccher.e2e.test", "B\u00dcCHER.e2e.test", "xn--bcher-kva.e2e.test"]:
            with self.subTest(typed=typed):
                self.assertRun(f"dns {self.server} {typed}",
                               HEADER + "A       ADDRESS     192.0.2.50\n" + ZONE_SOA)

    def test_name_that_is_no_idna_goes_as_typed(self):
        if not SYMBOL_NAMES_SENT_AS_TYPED:
            # Sent as xn--n3h.e2e.test, which the zone does not hold: only the zone's SOA.
            self.assertRun(f"dns {self.server} \u2603.e2e.test", HEADER + ZONE_SOA)
            return
        self.assertRun(f"dns {self.server} \u2603.e2e.test",
                       HEADER + "A       ADDRESS     192.0.2.51\n" + ZONE_SOA)

    def test_name_line_shows_the_name_as_typed(self):
        r = command(f"dns {self.server} b\u00fccher.e2e.test a.b.e2e.test")
        self.assertTrue(r.out.startswith("\nB\u00fcCHER.E2E.TEST\n"), r.out)
class AnswerSectionOnly(E2ETestCase):
    """corp.test's name servers live in the zone, so the reply to an A query for ns1 carries
    ns2's address in its additional section. Only the answer section's records belong to the
    name: another host's address must not show as its own."""

    CORP_SOA = soa("ns1.corp.test", "hostmaster.corp.test", 2024061501, 7200, 900, 1209600, 300)

    def test_additional_address_is_not_the_names(self):
        self.assertRun(
            f"dns {self.server} ns1.corp.test",
            HEADER + "A       ADDRESS     192.0.2.51\n" + self.CORP_SOA,
        )
        r = command(f"dns /K /N:H {self.server} ns2.corp.test")
        self.assertTrue(r.out.startswith("A       ADDRESS     192.0.2.52\n" + self.CORP_SOA), r.out)
        self.assertIn("  2 records found", r.out)


class AliasChain(E2ETestCase):
    """alias1 -> alias2 -> target (two A records). For type A the server returns
    the whole chain plus the addresses; only the A records are printed. For type
    CNAME it returns alias1's own CNAME only."""

    def test_alias_prints_target_addresses_and_own_cname(self):
        self.assertRun(
            f"dns {self.server} alias1.e2e.test",
            HEADER
            + "A       ADDRESS     192.0.2.21\n"
            + "A       ADDRESS     192.0.2.22\n"
            + "CNAME   CNAME       alias2.e2e.test\n"
            + ZONE_SOA,
        )

    def test_second_link(self):
        self.assertRun(
            f"dns {self.server} alias2.e2e.test",
            HEADER
            + "A       ADDRESS     192.0.2.21\n"
            + "A       ADDRESS     192.0.2.22\n"
            + "CNAME   CNAME       target.e2e.test\n"
            + ZONE_SOA,
        )


class Sorting(E2ETestCase):
    def test_unsorted_keeps_server_order(self):
        self.assertRun(f"dns {self.server} multi.e2e.test", HEADER + MULTI_UNSORTED)
        self.assertRun(f"dns {self.server} mx.e2e.test", HEADER + MX_UNSORTED)

    def test_sorted_addresses(self):
        self.assertRun(f"dns /S {self.server} multi.e2e.test", HEADER + MULTI_SORTED)

    def test_sorted_mx_by_preference_then_exchange(self):
        self.assertRun(f"dns /s {self.server} mx.e2e.test", HEADER + MX_SORTED)

    def test_sorted_ns(self):
        line = f"dns /S {self.server} e2e.test"
        r = command(line)
        self.assertIn(
            "NS      DNAME       ns1.dns-e2e.test\n"
            "NS      DNAME       ns2.dns-e2e.test\n"
            "NS      DNAME       ns3.dns-e2e.test\n",
            r.out,
        )
        self.assertEqual(r.code, loc_failures(line)[1])

    def test_txt_sorting_compares_strings_pairwise(self):
        unsorted = (
            "TXT     TXT         b\n"
            "TXT     TXT[ 0]     a\n"
            "TXT     TXT[ 1]     z\n"
            "TXT     TXT         a\n"
        )
        # ("a") before ("a", "z"): equal so far, fewer strings first.
        sorted_ = (
            "TXT     TXT         a\n"
            "TXT     TXT[ 0]     a\n"
            "TXT     TXT[ 1]     z\n"
            "TXT     TXT         b\n"
        )
        self.assertRun(f"dns {self.server} txt-sort.e2e.test", HEADER + ZONE_SOA + unsorted)
        self.assertRun(f"dns /S {self.server} txt-sort.e2e.test", HEADER + ZONE_SOA + sorted_)

    def test_sorted_ptr(self):
        self.assertRun(
            f"dns /S {self.server} 2.2.0.192.in-addr.arpa",
            HEADER
            + ZONE_SOA
            + "PTR     PTRDNAME    three-a.e2e.test\n"
            + "PTR     PTRDNAME    three-b.e2e.test\n"
            + "PTR     PTRDNAME    three-c.e2e.test\n",
        )

    def test_n_s_undoes_an_earlier_s_only(self):
        self.assertRun(f"dns /S /N:S {self.server} multi.e2e.test", HEADER + MULTI_UNSORTED)
        self.assertRun(f"dns /N:S /S {self.server} multi.e2e.test", HEADER + MULTI_SORTED)

    def test_options_anywhere_on_the_line(self):
        self.assertRun(f"dns {self.server} multi.e2e.test /S", HEADER + MULTI_SORTED)


class NamesAndHeaders(E2ETestCase):
    def test_several_names_get_name_lines(self):
        self.assertRun(
            f"dns {self.server} multi.e2e.test a.b.e2e.test",
            name_header("multi.e2e.test")
            + MULTI_UNSORTED
            + name_header("a.b.e2e.test")
            + "A       ADDRESS     192.0.2.40\n"
            + ZONE_SOA,
        )

    def test_name_line_upper_cases_letters_only(self):
        r = command(f"dns {self.server} Loc-Zero.E2E.test nothing.invalid")
        self.assertTrue(r.out.startswith("\nLOC-ZERO.E2E.TEST\n\n" + COLUMNS + "\n"), r.out)
        self.assertIn(
            "\nNOTHING.INVALID\n\n" + COLUMNS + "\n" + UNDERLINE + "\n" + NO_RECORDS, r.out
        )

    def test_no_headers(self):
        self.assertRun(f"dns /N:H {self.server} multi.e2e.test", MULTI_UNSORTED)
        # Without name lines too, even when several names are given.
        self.assertRun(
            f"dns /NH {self.server} multi.e2e.test loc-zero.e2e.test",
            MULTI_UNSORTED + ZONE_SOA + loc_line('0\u00b0 0\' 0.000" N  0\u00b0 0\' 0.000" E  0m'),
        )

    def test_no_name_lines(self):
        self.assertRun(
            f"dns /N:N {self.server} multi.e2e.test a.b.e2e.test",
            HEADER + MULTI_UNSORTED + HEADER + "A       ADDRESS     192.0.2.40\n" + ZONE_SOA,
        )

    def test_no_records_with_several_names(self):
        self.assertRun(
            f"dns {self.server} nothing.invalid none.invalid",
            name_header("nothing.invalid") + NO_RECORDS + name_header("none.invalid") + NO_RECORDS,
            code=2,
            err=refused_everything("nothing.invalid") + refused_everything("none.invalid"),
        )

    def test_ascii_option_accepted(self):
        self.assertRun(f"dns /A {self.server} multi.e2e.test", HEADER + MULTI_UNSORTED)

    def test_disable_colour_accepted(self):
        self.assertRun(f"dns /N:C {self.server} multi.e2e.test", HEADER + MULTI_UNSORTED)


class Summary(E2ETestCase):
    def assertSummary(self, line, body, count):
        r = command(line)
        word = "record " if count == 1 else "records"
        pattern = re.escape(body + "\n") + rf"{count:3d} {word} found   {SUMMARY_TIME}\n"
        self.assertRegex(r.out, "^" + pattern + r"\Z")
        err, code = loc_failures(line)
        self.assertEqual(r.err, err)
        self.assertEqual(r.code, code)

    def test_count_and_time(self):
        self.assertSummary(f"dns /K {self.server} multi.e2e.test", HEADER + MULTI_UNSORTED, 7)

    def test_one_record(self):
        self.assertSummary(f"dns /K {self.server} missing.e2e.test", HEADER + ZONE_SOA, 1)

    def test_apex_counts_every_record(self):
        # A, AAAA, 3 NS, SOA, MX, TXT, LOC.
        count = 9 if LOC_ANSWERED else 8
        self.assertSummary(f"dns /k {self.server} e2e.test", HEADER + APEX_RECORDS, count)

    def test_alias_counts_only_printed_records(self):
        body = (
            HEADER
            + "A       ADDRESS     192.0.2.21\n"
            + "A       ADDRESS     192.0.2.22\n"
            + "CNAME   CNAME       alias2.e2e.test\n"
            + ZONE_SOA
        )
        self.assertSummary(f"dns /K {self.server} alias1.e2e.test", body, 4)

    def test_no_summary_without_records(self):
        self.assertRun(f"dns /K {self.server} nothing.invalid", HEADER + NO_RECORDS, code=2,
                       err=refused_everything("nothing.invalid"))

    def test_option_after_name_and_joined_switches(self):
        self.assertSummary(f"dns {self.server} multi.e2e.test /K", HEADER + MULTI_UNSORTED, 7)
        self.assertSummary(f"dns /K/S {self.server} multi.e2e.test", HEADER + MULTI_SORTED, 7)

    def test_summary_per_name(self):
        r = command(f"dns /K {self.server} multi.e2e.test missing.e2e.test")
        pattern = (
            re.escape(name_header("multi.e2e.test") + MULTI_UNSORTED + "\n")
            + rf"  7 records found   {SUMMARY_TIME}\n"
            + re.escape(name_header("missing.e2e.test") + ZONE_SOA + "\n")
            + rf"  1 record  found   {SUMMARY_TIME}\n"
        )
        self.assertRegex(r.out, "^" + pattern + r"\Z")


class Servers(E2ETestCase):
    """The server argument, the default servers (the private resolv.conf of the
    test namespace names only the loopback server) and the /$ trace."""

    def trace(self, address):
        return f"   *  DnsServers[0] = {address}\n"

    def test_trace_explicit_server(self):
        self.assertRun(
            f"dns /$ {self.server} multi.e2e.test",
            self.trace(self.server) + HEADER + MULTI_UNSORTED,
        )

    def test_star_uses_default_servers(self):
        self.assertRun("dns * multi.e2e.test", HEADER + MULTI_UNSORTED)
        self.assertRun(
            "dns /$ * multi.e2e.test", self.trace("127.0.0.1") + HEADER + MULTI_UNSORTED
        )

    def test_single_name_uses_default_servers(self):
        self.assertRun("dns multi.e2e.test", HEADER + MULTI_UNSORTED)
        self.assertRun("dns /$ multi.e2e.test", self.trace("127.0.0.1") + HEADER + MULTI_UNSORTED)

    def test_star_with_several_names(self):
        self.assertRun(
            "dns * multi.e2e.test missing.e2e.test",
            name_header("multi.e2e.test")
            + MULTI_UNSORTED
            + name_header("missing.e2e.test")
            + ZONE_SOA,
        )

    def test_unusable_server_text_falls_back_silently(self):
        # An IPv6 literal and an unresolvable name both give the default servers.
        for server in ["::1", "no-such-server.invalid"]:
            with self.subTest(server=server):
                self.assertRun(
                    f"dns /$ {server} multi.e2e.test",
                    self.trace("127.0.0.1") + HEADER + MULTI_UNSORTED,
                )

    def test_dash_is_not_an_option(self):
        # "-P" is a positional argument: here the server, which falls back.
        self.assertRun("dns -P multi.e2e.test", HEADER + MULTI_UNSORTED)


@unittest.skipUnless(can_swap_resolv_conf(), "needs root for a nested mount namespace")
class DefaultServersFromResolvConf(E2ETestCase):
    """The system's servers: IPv4 nameserver entries in file order, invalid ones
    skipped without counting, duplicates kept, at most eight."""

    def test_first_eight_usable_entries(self):
        conf = (
            "# test configuration\n"
            "search e2e.test\n"
            "nameserver ::1\n"
            "nameserver 0.0.0.0\n"
            "nameserver 127.0.0.1\n"
            "nameserver 127.0.0.1\n"
            + "".join(f"nameserver 127.0.0.{i}\n" for i in range(2, 10))
        )
        r = command_with_resolv_conf(conf, "dns /$ missing.e2e.test")
        servers = ["127.0.0.1", "127.0.0.1"] + [f"127.0.0.{i}" for i in range(2, 8)]
        if not UNDER_WINE:
            self.assertEqual(configured_servers(conf), servers)
        self.assertEqual(r.out, server_trace(configured_servers(conf)) + HEADER + ZONE_SOA)
        self.assertEqual(r.err, "")
        self.assertEqual(r.code, 0)

    def test_no_configured_server_prints_no_trace(self):
        conf = "# no servers\n"
        r = command_with_resolv_conf(conf, "dns /$ nothing.invalid")
        self.assertEqual(r.out, server_trace(configured_servers(conf)) + HEADER + NO_RECORDS)
        self.assertIn(refused_everything("nothing.invalid"), r.err)
        self.assertEqual(r.code, 2)

    def test_explicit_server_ignores_resolv_conf(self):
        r = command_with_resolv_conf(
            "nameserver 127.0.0.9\n", f"dns /$ {self.server} missing.e2e.test"
        )
        self.assertEqual(r.out, f"   *  DnsServers[0] = {self.server}\n" + HEADER + ZONE_SOA)


class Colours(E2ETestCase):
    def test_highlight_setting_without_console_adds_no_colour(self):
        env = clean_env()
        env["Highlight"] = "bright yellow on blue"
        env["HIGHLIGHT"] = "bright yellow on blue"
        proc = subprocess.run(
            Corvane.command + ["-c", f"dns {self.server} multi.e2e.test missing.e2e.test"],
            stdin=subprocess.DEVNULL,
            capture_output=True,
            env=env,
            timeout=60,
        )
        self.assertEqual(
            proc.stdout.decode("utf-8"),
            name_header("multi.e2e.test")
            + MULTI_UNSORTED
            + name_header("missing.e2e.test")
            + ZONE_SOA,
        )
        self.assertEqual(proc.returncode, 0)


class Errors(E2ETestCase):
    """Option errors: message on stderr behind the prefix, nothing on stdout.
    Exit code -1 reaches the shell as 255."""

    def test_no_name(self):
        self.assertError("dns /K", "Must specify at least one name to look up", 255)
        self.assertError("dns /S /K /N:H", "Must specify at least one name to look up", 255)

    def test_width_out_of_range(self):
        self.assertError(f"dns /W:39 {self.server} e2e.test", "Width must be 40 to 240: 39", 255)
        self.assertError(f"dns /W=241 {self.server} e2e.test", "Width must be 40 to 240: 241", 255)

    def test_bad_width(self):
        self.assertError(f"dns /Wabc {self.server} e2e.test", 'Bad width value: "/WABC"', 1)
        self.assertError(f"dns /W:-5 {self.server} e2e.test", 'Bad width value: "/W:-5"', 1)

    def test_unknown_suboption(self):
        self.assertError(f"dns /n:x {self.server} e2e.test", "Unknown suboption: /N:X", 1)

    def test_unknown_option(self):
        self.assertError(f"dns /sort {self.server} e2e.test", 'Unknown option: "/SORT"', 1)

    def test_page_option(self):
        # Accepted forms page nothing when output is not a terminal.
        for option in ["/P", "/p:5", "/P=500m,20", "/P;0"]:
            with self.subTest(option=option):
                self.assertRun(
                    f"dns {option} {self.server} multi.e2e.test", HEADER + MULTI_UNSORTED
                )
        self.assertError(f"dns /p:5x {self.server} e2e.test", 'Syntax error: "/P:5X"', 1)
        self.assertError(
            f"dns /P,1001 {self.server} e2e.test", "Pause lines must be 0 - 1000: 1001", 1
        )
        self.assertError(
            f"dns /P:99999999999 {self.server} e2e.test", 'Bad pause time: "/P:99999999999"', 1
        )

    def test_error_before_help_wins(self):
        self.assertError("dns /X /?", 'Unknown option: "/X"', 1)

    def test_help(self):
        self.assertRun(
            "dns /? /X",
            "Display DNS records for a domain or host.\n\nDNS /K /N: /P /S /W server name...\n\n"
            "\t/K\tshow the number of records returned\n\t/N:\tdisable features:\n"
            "\t\t  C - disable highlight\n\t\t  H - do not show headers\n"
            "\t\t  N - do not show names in headers\n\t/P\tpage output\n"
            "\t/S\tsort records of the same type\n\t/W\ttruncate long TXT strings\n"
            "\tserver\tthe DNS server to query\n\tname\tthe domain or host to request info on \n\n"
            "You must provide the server and at least one name.  If you \n"
            "specify * for the server, DNS will use your default DNS\n"
            "servers.  You may specify more than one name to look up.\n",
        )

    def test_help_with_banner(self):
        r = command("dns /??")
        self.assertEqual(r.code, 0)
        self.assertTrue(
            r.out.endswith(
                "You may specify more than one name to look up.\n"
                "\n\t\t\t\tDNS  1.0.9.2 (x64)\n"
                "\t\t\t\tDnsCmd.cpp  1.0.9.1\n"
            ),
            r.out,
        )

    def test_feature_letters_help(self):
        self.assertRun(
            "dns /N:? e2e.test",
            "DNS /N:  \u2014 disable features\n\n\tC\tno highlight\n"
            "\tH\tdo not show headers\n\tN\tno not show names in headers\n",
        )


class SlowServer(LoopbackUdpServer):
    """A UDP relay that hands every query to the real server and delays the answer, so a
    lookup lasts long enough to be interrupted."""

    def __init__(self, upstream, address="127.0.0.9", delay=0.3, mute=b""):
        self.upstream = upstream
        self.delay = delay
        self.mute = mute  # queries whose bytes contain this are never answered
        super().__init__(address)

    def handle(self, query, client):
        threading.Thread(target=self.relay, args=(query, client), daemon=True).start()

    def relay(self, query, client):
        if self.mute and self.mute in query:
            return
        time.sleep(self.delay)
        self.forward(query, client, self.upstream)


class BreakOff(E2ETestCase):
    """Ctrl-C while the command waits for answers: the third name's server never answers."""

    def setUp(self):
        try:
            self.relay = SlowServer(self.server, mute=b"\x08loc-zero")
        except OSError as error:
            self.skipTest(f"cannot bind port 53 of 127.0.0.9: {error}")

    def tearDown(self):
        self.relay.close()

    def test_interrupt_while_waiting_for_answers_stops_the_command(self):
        proc = subprocess.Popen(
            Corvane.command
            + ["-c", "dns 127.0.0.9 multi.e2e.test a.b.e2e.test loc-zero.e2e.test"],
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            env=clean_env(),
        )
        printed = name_header("multi.e2e.test") + MULTI_UNSORTED
        printed += name_header("a.b.e2e.test") + "A       ADDRESS     192.0.2.40\n" + ZONE_SOA
        printed += name_header("loc-zero.e2e.test")
        # The first two names are printed, the third's header too: the command now waits for
        # answers that never come.
        seen = b""
        os.set_blocking(proc.stdout.fileno(), False)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and seen.decode("utf-8", "replace") != printed:
            ready, _, _ = select.select([proc.stdout], [], [], 1.0)
            if ready:
                seen += proc.stdout.read() or b""
        self.assertEqual(seen.decode("utf-8"), printed)
        proc.send_signal(signal.SIGINT)
        os.set_blocking(proc.stdout.fileno(), True)
        rest, err = proc.communicate(timeout=30)
        self.assertEqual(rest, b"", "nothing after the break")
        self.assertEqual(err, b"")
        self.assertEqual(proc.returncode, 3)


class BothOrders(E2ETestCase):
    """Names in flight together print exactly what one query at a time prints."""

    EXTRA = ["missing.e2e.test", "nothing.invalid", "x..e2e.test", "MULTI.E2E.TEST",
             "1.2.0.192.IN-ADDR.ARPA", "missing.e2e.test.", "a.b.e2e.test."]

    def test_every_test_zone_name(self):
        names = zone_names() + self.EXTRA
        self.assertGreater(len(names), 30)
        for options in ["", "/K /S ", "/N:H /W:40 "]:
            with self.subTest(options=options):
                line = f"dns {options}{self.server} {' '.join(names)}"
                pipelined = command(line, merge=True)
                sequential = command(line, merge=True, extra_env=ONE_AT_A_TIME)
                times = re.compile(SUMMARY_TIME)
                self.assertEqual(times.sub("T", pipelined.out), times.sub("T", sequential.out))
                # nothing.invalid is refused and x..e2e.test cannot be sent.
                self.assertEqual((pipelined.code, sequential.code), (2, 2))
                self.assertIn(refused_everything("nothing.invalid"), pipelined.out)
                self.assertIn("ADDRESS     192.0.2.30\n", pipelined.out)


class BatchFile(E2ETestCase):
    def test_error_prefix_names_batch_file_and_line(self):
        with tempfile.TemporaryDirectory(prefix="corvane-e2e.") as tmp:
            path = os.path.join(tmp, "lookups.batch")
            with open(path, "w") as f:
                f.write(f"dns /N:H {self.server} missing.e2e.test\n")
                f.write(f"dns /sort {self.server} missing.e2e.test\n")
            r = run([path])
            self.assertIn(ZONE_SOA, r.out)
            self.assertIn(
                f'DNS plugin: {host_path(path)} [2]  Unknown option: "/SORT"\n', r.err
            )


if __name__ == "__main__":
    main()
