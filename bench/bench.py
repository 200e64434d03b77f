#!/usr/bin/env python3
"""Lookup benchmark: corvane against dig asking the same questions, in the same
run: through the delaying relays that bench/run.sh starts on loopback in front of
NSD, and against the DNS servers people really use, from Debian with their
default limits (scripts/lib/real-dns.sh).

    bench/run.sh [--corvane COMMAND] [--quick] [--only real|relay]

Prints each scenario's times, the ratio corvane / dig and, where it applies,
whether corvane's output was exactly the one-at-a-time output; writes
bench/results/latest.md (the table, with the machine and the date) and
bench/results/names.png (time against the number of names); --results-suffix
keeps a second set beside them (the Windows build under wine).

dig runs all questions of a scenario in one process (dig @server n1 A n1 AAAA
...), one after the other, as a one-query-at-a-time client does. The questions
are those corvane asks one at a time: the eight types of each name, and for
names without an SOA of their own the SOA of the parent domain. Against the
caching servers every run asks names of its own, so that every run starts with
cold caches."""

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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts", "lib"))
import bulk_zone  # noqa: E402

RELAY_50MS = "127.0.0.5"
RELAY_5MS = "127.0.0.6"
MUTE = "127.0.0.7"
REFERENCE = "127.0.0.1"  # NSD without a rate limit, straight
# The real servers (scripts/lib/real-dns.sh) and the links bench/run.sh puts before two of them.
NSD_RRL_5MS = "127.0.3.2"
UNBOUND = "127.0.1.3"
DNSMASQ = "127.0.1.4"
NAMED = "127.0.1.5"
UNBOUND_LOSSY_20MS = "127.0.4.3"
NAME_COUNT = bulk_zone.NAMES_PER_SET
# Name sets: "n" for the relay scenarios, one letter per cold run against the real servers.
COLD_SETS = bulk_zone.SETS[1:]
TYPES = ["A", "AAAA", "CNAME", "NS", "SOA", "MX", "TXT", "LOC"]
RESULTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "results")
DIG = ["dig", "+tries=2", "+timeout=2", "+noall", "+answer"]
bench_names = bulk_zone.bulk_names


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

    def spawn(self, argv, env=None, terminal=True):
        """Starts a run. On a terminal: one of its own as controlling terminal, as a user at a
        console has (the plug-in opens the console at load time), output to /dev/null.
        Without: a new session with no controlling terminal and standard output to a pipe,
        as in a script or under a service; the caller reads the pipe."""
        if not terminal:
            return subprocess.Popen(["setsid"] + argv, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                    env=env or self.env)
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

    def timed(self, argv, env=None, expect=(0,), terminal=True):
        """Wall time of one run, and its peak resident memory in KiB."""
        start = time.monotonic()
        proc = self.spawn(argv, env, terminal)
        if proc.stdout is not None:
            proc.stdout.read()
        _, status, usage = os.wait4(proc.pid, 0)
        elapsed = time.monotonic() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
        if proc.returncode not in expect:
            raise SystemExit(f"{argv[:6]}... exited with {proc.returncode}")
        return elapsed, usage.ru_maxrss

    def best(self, argv, repeat, **kwargs):
        runs = [self.timed(argv, **kwargs) for _ in range(repeat)]
        return statistics.median(r[0] for r in runs), max(r[1] for r in runs)

    def dns(self, line, repeat=1, one_at_a_time=False, expect=(0,), terminal=True):
        env = dict(self.env)
        if one_at_a_time:
            env["CORVANE_DNS_ONE_AT_A_TIME"] = "1"
        return self.best(self.corvane + ["-c", line], repeat, env=env, expect=expect,
                         terminal=terminal)

    def output(self, line, one_at_a_time=False):
        """Standard output, standard error and exit code of one run, and its wall time."""
        env = dict(self.env)
        if one_at_a_time:
            env["CORVANE_DNS_ONE_AT_A_TIME"] = "1"
        start = time.monotonic()
        done = subprocess.run(self.corvane + ["-c", line], env=env, stdin=subprocess.DEVNULL,
                              capture_output=True)
        return done.stdout, done.stderr, done.returncode, time.monotonic() - start

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


def relay_scenarios(run, row, repeat, quick, series):
    """The relays in front of the NSD without a rate limit: round trips, many names, a mute
    server, an interrupt, a piped start."""
    one = "e2e.test"
    mine, _ = run.dns(f"dns {RELAY_50MS} {one}", repeat=5)
    peer, _ = run.dig(RELAY_50MS, dig_questions([one], False), repeat=5)
    row("1 name, 50 ms", mine, peer, "dig", 0.2)
    old, _ = run.dns(f"dns {RELAY_50MS} {one}", repeat=3, one_at_a_time=True)
    row("1 name, 50 ms, one at a time", old, peer, "dig", None)
    # In a script: no terminal to open, output to a pipe.
    mine, _ = run.dns(f"dns {RELAY_50MS} {one}", repeat=5, terminal=False)
    row("1 name, 50 ms, piped, no terminal", mine, peer, "dig", 0.15)
    start, _ = run.best(run.corvane + ["-c", "ver"], 5, terminal=False)
    print(f"{'corvane -c ver, piped, no terminal':<40} {start * 1000:8.1f} ms", flush=True)
    rows_note = ("corvane -c ver, piped, no terminal", start)

    names20 = bench_names(20)
    mine, _ = run.dns(f"dns {RELAY_50MS} {' '.join(names20)}", repeat=repeat)
    peer, _ = run.dig(RELAY_50MS, dig_questions(names20, True), repeat=1)
    row("20 names, 50 ms", mine, peer, "dig", 0.03)

    counts = [NAME_COUNT] if quick else [1, 20, 100, 300, NAME_COUNT]
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

    # A server that never answers: one name costs about one query's time (dig's one question
    # with the same tries and time-out). The failed queries make the exit code 2.
    mine, _ = run.dns(f"dns {MUTE} {one}", expect=(2,))
    peer, _ = run.dig(MUTE, [one, "A"])
    row("1 name, mute server", mine, peer, "dig, 1 query", 2.0)

    mine, code = run.interrupted(run.corvane + ["-c", f"dns {MUTE} {one}"])
    peer, _ = run.interrupted(DIG + [f"@{MUTE}", one, "A"])
    row("Ctrl-C 1 s into a wait", mine, peer, "dig", None, f"exit code {code}")
    if code != 3 or mine > 0.5:
        print("  Ctrl-C: exit code 3 within 0.5 s expected", flush=True)
    return rows_note


# The real servers: (scenario, server, names, limit). Each run asks a name set of its own.
REAL_SERVERS = [
    ("NSD, rate limit on, 5 ms link", NSD_RRL_5MS, NAME_COUNT, 0.05),
    ("unbound, upstream 5 ms", UNBOUND, NAME_COUNT, 0.05),
    ("dnsmasq, upstream 5 ms", DNSMASQ, NAME_COUNT, 0.05),
    ("BIND 9 forwarding, upstream 5 ms", NAMED, NAME_COUNT, 0.05),
    ("unbound, 20 ms link losing 2 % each way", UNBOUND_LOSSY_20MS, 100, 0.05),
]


def real_scenarios(run, row):
    """Each server as Debian ships it: corvane's output must be exactly the one-at-a-time
    output of the same names asked straight at the NSD without a rate limit."""
    sets = iter(COLD_SETS)
    for scenario, server, count, limit in REAL_SERVERS:
        names = bench_names(count, next(sets))
        line = " ".join(names)
        reference, _, _, _ = run.output(f"dns {REFERENCE} {line}", one_at_a_time=True)
        out, err, code, mine = run.output(f"dns {server} {line}")
        failed = err.decode(errors="replace").count("Error looking up")
        match = "output matches" if out == reference else "OUTPUT DIFFERS"
        peer, _ = run.dig(server, dig_questions(bench_names(count, next(sets)), True))
        row(scenario, mine, peer, "dig", limit,
            f"{match}, exit code {code}" + (f", {failed} failure lines" if failed else ""))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--corvane", default="build/corvane")
    parser.add_argument("--quick", action="store_true", help="fewer repeats, no plot series")
    parser.add_argument("--only", choices=["relay", "real"], help="one group of scenarios")
    parser.add_argument("--results-suffix", default="",
                        help="written to latest SUFFIX.md and names SUFFIX.png (e.g. -windows)")
    args = parser.parse_args()

    run = Runner(args.corvane)
    repeat = 1 if args.quick else 3
    rows = []  # (scenario, corvane s, peer s, peer name, ratio, limit, note)
    series = {}  # names -> (corvane, dig) at 5 ms

    def row(scenario, mine, peer, peer_name, limit, note=""):
        ratio = mine / peer
        verdict = "" if limit is None else ("ok" if ratio <= limit else "OVER")
        rows.append((scenario, mine, peer, peer_name, ratio, limit, note))
        lim = "" if limit is None else f" (at most {limit:g}: {verdict})"
        print(f"{scenario:<40} corvane {mine:8.3f} s   {peer_name} {peer:8.3f} s   "
              f"ratio {ratio:6.3f}{lim} {note}", flush=True)

    started = None
    if args.only != "real":
        started = relay_scenarios(run, row, repeat, args.quick, series)
    if args.only != "relay":
        real_scenarios(run, row)

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
        if started is not None:
            out.write(f"\n{started[0]}: {started[1] * 1000:.1f} ms.\n")
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
    real = [r for r in rows if r[0] in {scenario for scenario, *_ in REAL_SERVERS}]
    if real:
        plot_servers(real, os.path.join(RESULTS, f"servers{args.results_suffix}.png"), stamp)
    return 0


def plot_servers(rows, path, stamp):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, ax = plt.subplots(figsize=(7.2, 4.0), dpi=100)
    labels = [r[0].replace(", ", "\n", 1) for r in rows]
    x = range(len(rows))
    ax.bar([i - 0.2 for i in x], [r[1] for r in rows], 0.4, label="corvane")
    ax.bar([i + 0.2 for i in x], [r[2] for r in rows], 0.4, label="dig, same questions")
    ax.set_xticks(list(x))
    ax.set_xticklabels(labels, fontsize=7)
    ax.set_yscale("log")
    ax.set_ylabel("seconds, cold caches")
    ax.set_title(f"Against real servers with default limits, {stamp}")
    ax.grid(True, axis="y", which="both", alpha=0.3)
    ax.legend()
    fig.tight_layout()
    fig.savefig(path)
    print(f"plot: {path}")


if __name__ == "__main__":
    sys.exit(main())
