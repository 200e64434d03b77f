#!/usr/bin/env python3
"""Lookup benchmark: corvane against dig asking the same questions, through the
delaying relays that bench/run.sh starts on loopback in front of NSD.

    bench/run.sh [--corvane COMMAND] [--quick]

Prints each scenario's times and the ratio corvane / dig, and writes
bench/results/latest.md (the table, with the machine and the date) and
bench/results/names.png (time against the number of names); --results-suffix
keeps a second set beside them (the Windows build under wine).

dig runs all questions of a scenario in one process (dig @relay n1 A n1 AAAA
...), one after the other, as a one-query-at-a-time client does. The questions
are those corvane asks one at a time: the eight types of each name, and for
names without an SOA of their own the SOA of the parent domain."""

import argparse
import datetime
import os
import platform
import shlex
import signal
import statistics
import subprocess
import sys
import tempfile
import time

RELAY_50MS = "127.0.0.5"
RELAY_5MS = "127.0.0.6"
MUTE = "127.0.0.7"
BENCH_ZONE = "b.test"  # short: 600 names must fit on one command line
REVERSE_ZONE = "100.51.198.in-addr.arpa"
NAME_COUNT = 600
TYPES = ["A", "AAAA", "CNAME", "NS", "SOA", "MX", "TXT", "LOC"]
RESULTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "results")
DIG = ["dig", "+tries=2", "+timeout=2", "+noall", "+answer"]

SOA = "@ SOA ns1.dns-e2e.test. hostmaster.e2e.test. 1 7200 900 1209600 300\n@ NS ns1.dns-e2e.test.\n"


def write_zones(directory):
    with open(os.path.join(directory, BENCH_ZONE + ".zone"), "w") as zone:
        zone.write(f"$ORIGIN {BENCH_ZONE}.\n$TTL 3600\n" + SOA)
        for i in range(NAME_COUNT):
            zone.write(f"n{i} A 192.0.2.{i % 250 + 1}\nn{i} TXT \"name {i} of {NAME_COUNT}\"\n")
            if i % 3 == 0:
                zone.write(f"n{i} MX 10 mail{i % 7}.{BENCH_ZONE}.\n")
    with open(os.path.join(directory, REVERSE_ZONE + ".zone"), "w") as zone:
        zone.write(f"$ORIGIN {REVERSE_ZONE}.\n$TTL 3600\n" + SOA)
        for i in range(1, 61):
            zone.write(f"{i} PTR host{i}.{BENCH_ZONE}.\n")


def bench_names(count):
    return [f"n{i}.{BENCH_ZONE}" for i in range(count)]


def dig_questions(names, parent_soa):
    args = []
    for name in names:
        for rtype in TYPES:
            args += [name, rtype]
        if parent_soa:
            args += [name.split(".", 1)[1], "SOA"]
    return args


class Runner:
    def __init__(self, corvane):
        self.corvane = shlex.split(corvane)
        self.terminals = []
        self.home = tempfile.mkdtemp(prefix="corvane-bench-home.")
        self.env = {k: v for k, v in os.environ.items() if k.lower() != "highlight"}
        self.env.update(HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        LC_ALL="C.UTF-8", noloadmsg="1")

    def spawn(self, argv, env=None):
        """Starts a run with a terminal of its own as controlling terminal, as a user at a
        console has (the plug-in opens the console at load time), output to /dev/null."""
        master, slave = os.openpty()
        self.terminals.append(master)
        try:
            # setsid makes the terminal on standard input the controlling one; not being a
            # group leader it execs in place, so the process is the one measured and signalled.
            return subprocess.Popen(
                ["setsid", "--ctty"] + argv, stdin=slave, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL, env=env or self.env)
        finally:
            os.close(slave)

    def timed(self, argv, env=None, expect=(0,)):
        """Wall time of one run, and its peak resident memory in KiB."""
        start = time.monotonic()
        proc = self.spawn(argv, env)
        _, status, usage = os.wait4(proc.pid, 0)
        elapsed = time.monotonic() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
        if proc.returncode not in expect:
            raise SystemExit(f"{argv[:6]}... exited with {proc.returncode}")
        return elapsed, usage.ru_maxrss

    def best(self, argv, repeat, **kwargs):
        runs = [self.timed(argv, **kwargs) for _ in range(repeat)]
        return statistics.median(r[0] for r in runs), max(r[1] for r in runs)

    def dns(self, line, repeat=1, one_at_a_time=False, expect=(0,)):
        env = dict(self.env)
        if one_at_a_time:
            env["CORVANE_DNS_ONE_AT_A_TIME"] = "1"
        return self.best(self.corvane + ["-c", line], repeat, env=env, expect=expect)

    def dig(self, server, args, repeat=1):
        return self.best(DIG + [f"@{server}"] + args, repeat, expect=(0, 9))

    def interrupted(self, argv, after=1.0):
        """Seconds from a SIGINT sent `after` seconds into the run to its end, and the exit
        code."""
        proc = self.spawn(argv)
        try:
            proc.wait(timeout=after)
            raise SystemExit(f"{argv[:4]} ended before the interrupt")
        except subprocess.TimeoutExpired:
            pass
        sent = time.monotonic()
        proc.send_signal(signal.SIGINT)
        code = proc.wait(timeout=60)
        return time.monotonic() - sent, code


def machine():
    model = platform.processor() or "unknown CPU"
    try:
        with open("/proc/cpuinfo") as info:
            for text in info:
                if text.startswith("model name"):
                    model = text.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return f"{model}, {os.cpu_count()} cores, {platform.system()} {platform.release()}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--corvane", default="build/corvane")
    parser.add_argument("--write-zones")
    parser.add_argument("--quick", action="store_true", help="fewer repeats, no plot series")
    parser.add_argument("--results-suffix", default="",
                        help="written to latest SUFFIX.md and names SUFFIX.png (e.g. -windows)")
    args = parser.parse_args()
    if args.write_zones:
        write_zones(args.write_zones)
        return 0

    run = Runner(args.corvane)
    repeat = 1 if args.quick else 3
    rows = []  # (scenario, corvane s, peer s, peer name, limit, note)

    def row(scenario, mine, peer, peer_name, limit, note=""):
        ratio = mine / peer
        verdict = "" if limit is None else ("ok" if ratio <= limit else "OVER")
        rows.append((scenario, mine, peer, peer_name, ratio, limit, note))
        lim = "" if limit is None else f" (at most {limit:g}: {verdict})"
        print(f"{scenario:<34} corvane {mine:8.3f} s   {peer_name} {peer:8.3f} s   "
              f"ratio {ratio:6.3f}{lim} {note}", flush=True)

    one = "e2e.test"
    mine, _ = run.dns(f"dns {RELAY_50MS} {one}", repeat=5)
    peer, _ = run.dig(RELAY_50MS, dig_questions([one], False), repeat=5)
    row("1 name, 50 ms", mine, peer, "dig", 0.2)
    old, _ = run.dns(f"dns {RELAY_50MS} {one}", repeat=3, one_at_a_time=True)
    row("1 name, 50 ms, one at a time", old, peer, "dig", None)

    names20 = bench_names(20)
    mine, _ = run.dns(f"dns {RELAY_50MS} {' '.join(names20)}", repeat=repeat)
    peer, _ = run.dig(RELAY_50MS, dig_questions(names20, True), repeat=1)
    row("20 names, 50 ms", mine, peer, "dig", 0.03)

    series = {}  # names -> (corvane, dig) at 5 ms
    counts = [NAME_COUNT] if args.quick else [1, 20, 100, 300, NAME_COUNT]
    for count in counts:
        names = bench_names(count)
        mine, rss = run.dns(f"dns {RELAY_5MS} {' '.join(names)}", repeat=repeat)
        peer, _ = run.dig(RELAY_5MS, dig_questions(names, True))
        series[count] = (mine, peer)
        if count == NAME_COUNT:
            row(f"{count} names, 5 ms", mine, peer, "dig", 0.05, f"peak {rss / 1024:.1f} MiB")

    addresses = [f"198.51.100.{i}" for i in range(1, 61)]
    mine, _ = run.best(run.corvane + ["-c", f"rdns /A:{RELAY_50MS} {' '.join(addresses)}"],
                       repeat)
    peer, _ = run.dig(RELAY_50MS, [a for address in addresses for a in ("-x", address)])
    row("60 RDNS addresses, 50 ms", mine, peer, "dig -x", 0.1)

    # A server that never answers: one name costs at most twice one query's time (dig's one
    # question with the same tries and time-out).
    mine, _ = run.dns(f"dns {MUTE} {one}")
    peer, _ = run.dig(MUTE, [one, "A"])
    row("1 name, mute server", mine, peer, "dig, 1 query", 2.0)

    mine, code = run.interrupted(run.corvane + ["-c", f"dns {MUTE} {one}"])
    peer, _ = run.interrupted(DIG + [f"@{MUTE}", one, "A"])
    row("Ctrl-C 1 s into a wait", mine, peer, "dig", None, f"exit code {code}")
    if code != 3 or mine > 0.5:
        print("  Ctrl-C: exit code 3 within 0.5 s expected", flush=True)

    os.makedirs(RESULTS, exist_ok=True)
    stamp = datetime.date.today().isoformat()
    table = os.path.join(RESULTS, f"latest{args.results_suffix}.md")
    plot = os.path.join(RESULTS, f"names{args.results_suffix}.png")
    with open(table, "w") as out:
        out.write(f"Measured {stamp} on {machine()}; corvane: `{args.corvane}`.\n\n")
        out.write("| Scenario | corvane | peer | ratio | limit |\n|---|---|---|---|---|\n")
        for scenario, mine, peer, peer_name, ratio, limit, note in rows:
            extra = f" ({note})" if note else ""
            lim = "" if limit is None else f"{limit:g}"
            out.write(f"| {scenario}{extra} | {mine:.3f} s | {peer_name} {peer:.3f} s | "
                      f"{ratio:.3f} | {lim} |\n")
    print(f"results: {table}")

    if len(series) > 1:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt

        counts = sorted(series)
        fig, ax = plt.subplots(figsize=(6.4, 4.0), dpi=100)
        ax.plot(counts, [series[c][0] for c in counts], "o-", label="corvane")
        ax.plot(counts, [series[c][1] for c in counts], "s--", label="dig, same questions")
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.set_xlabel("names on the command line")
        ax.set_ylabel("seconds (5 ms a round trip)")
        ax.set_title(f"DNS lookups through a 5 ms relay, {stamp}")
        ax.grid(True, which="both", alpha=0.3)
        ax.legend()
        fig.tight_layout()
        fig.savefig(plot)
        print(f"plot: {plot}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
