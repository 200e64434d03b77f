#!/usr/bin/env python3
"""Writes the zones of many short names that the benchmark and the tests against real servers
ask: b.test, where each name has an address and a text and every third a mail exchanger (its
SOA is the zone's), in name sets of 600 ("n", then one letter per cold run: a to m); and a
reverse zone of 60 addresses.

    bulk_zone.py DIRECTORY"""

import os
import sys

BULK_ZONE = "b.test"  # short: 600 names must fit on one command line
REVERSE_ZONE = "100.51.198.in-addr.arpa"
NAMES_PER_SET = 600
SETS = "nabcdefghijklm"

SOA = "@ SOA ns1.dns-e2e.test. hostmaster.e2e.test. 1 7200 900 1209600 300\n@ NS ns1.dns-e2e.test.\n"


def bulk_names(count, prefix="n"):
    return [f"{prefix}{i}.{BULK_ZONE}" for i in range(count)]


def write_zones(directory):
    with open(os.path.join(directory, BULK_ZONE + ".zone"), "w") as zone:
        zone.write(f"$ORIGIN {BULK_ZONE}.\n$TTL 3600\n" + SOA)
        for prefix in SETS:
            for i in range(NAMES_PER_SET):
                name = f"{prefix}{i}"
                zone.write(f'{name} A 192.0.2.{i % 250 + 1}\n{name} TXT "name {i} of {NAMES_PER_SET}"\n')
                if i % 3 == 0:
                    zone.write(f"{name} MX 10 mail{i % 7}.{BULK_ZONE}.\n")
    with open(os.path.join(directory, REVERSE_ZONE + ".zone"), "w") as zone:
        zone.write(f"$ORIGIN {REVERSE_ZONE}.\n$TTL 3600\n" + SOA)
        for i in range(1, 61):
            zone.write(f"{i} PTR host{i}.{BULK_ZONE}.\n")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    write_zones(sys.argv[1])
