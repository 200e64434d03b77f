#!/usr/bin/env python3
"""End-to-end: what the client does with a server failure or refusal, which may only mean that
the server has too many queries at once (dnsmasq refuses above its forward limit), and with a
time-out, against servers of the test's own on loopback that answer by a rule and count what
they are asked. Each such answer is asked once more, with fewer queries at once; a second one
is the result; a time-out is not asked again. The real dnsmasq with a low forward limit is in
test_real_servers.py.

    test_overload.py CORVANE"""

import sys

sys.dont_write_bytecode = True  # keep the source tree clean of __pycache__

import collections
import os
import subprocess
import threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "scripts", "lib"))
import bulk_zone  # noqa: E402
from e2e_common import (  # noqa: E402
    FAILURE_TEXT,
    ONE_AT_A_TIME,
    TRIES_AT_A_FAILING_SERVER,
    UNDER_WINE,
    Corvane,
    E2ETestCase,
    clean_env,
    command,
    hostile_server,
    main,
)

# The addresses of the bulk reverse zone that have a host name: 198.51.100.1 to .60.
ADDRESSES = [f"198.51.100.{i}" for i in range(1, 61)]


class ScriptedServer(hostile_server.HostileServer):
    """Answers each question by its rule: "refuse-first" refuses it as often as one try of the
    client asks it (TRIES_AT_A_FAILING_SERVER) and passes it on to upstream after that, "refuse"
    always refuses, "mute" never answers, "hold" keeps every question until the test answers
    it (answer). It counts how often each question is asked; a datagram that the system sends
    again after a time-out (the same ID from the same socket) is no new question. Its
    refusals are an authoritative server's (no RA), the refused-authoritative case of the
    hostile answers: the POSIX client asks those once more, as the Windows pool asks every one
    (a resolver's it asks a few times more). The hostile server of tests/hostile underneath
    hands it the queries one by one, in the order they came."""

    REFUSAL = "refused-authoritative"

    def __init__(self, address, rule, upstream):
        super().__init__(address, 53)
        self.rule = rule
        self.upstream = upstream
        self.changed = threading.Condition()
        self.asked = collections.Counter()
        self.seen = set()
        self.held = []
        self.answered = 0
        self.arrivals = None
        self.start()

    def udp_query(self, q):
        question = q.question.lower()
        with self.changed:
            if (q.data[:2], question, q.peer) in self.seen:
                return
            self.seen.add((q.data[:2], question, q.peer))
            self.asked[question] += 1
            if self.rule == "hold":
                self.held.append((q, question))
                if self.arrivals is not None:
                    self.arrivals.append((question, len(self.held), self.answered))
                self.changed.notify_all()
                return
            first = self.asked[question] <= TRIES_AT_A_FAILING_SERVER
        if self.rule == "refuse" or (self.rule == "refuse-first" and first):
            self.send(q, self.answer_of(q, self.REFUSAL))
        elif self.rule != "mute":
            self.forward(q)

    def forward(self, q):
        """Asks upstream and passes its answer on; a lost answer is dropped."""
        reply = hostile_server.ask(q.data, self.upstream)
        if reply is not None:
            self.send(q, reply)

    def close(self):
        self.stop()

    def counts(self):
        with self.changed:
            return dict(self.asked)

    # ---- "hold" ----
    def wait_until_held(self, count):
        with self.changed:
            self.changed.wait_for(lambda: len(self.held) >= count)

    def mark(self):
        """From now on, note for each new question the questions held when it came (itself
        included) and how many had been answered before."""
        with self.changed:
            self.arrivals = []

    def answer(self, question=None, rcode=0):
        """Answers the question held longest, or the given one (waiting for it): refuses it
        with rcode 5, or passes it on to upstream. Returns the question."""

        def position():
            for i, entry in enumerate(self.held):
                if question is None or entry[1] == question:
                    return i
            return None

        with self.changed:
            self.changed.wait_for(lambda: position() is not None)
            q, question = self.held.pop(position())
            # Counted before it is sent, so that no question it lets the client ask comes first.
            self.answered += 1
        if rcode:
            self.send(q, self.answer_of(q, self.REFUSAL))
        else:
            self.forward(q)
        return question


def start(line, extra_env=None):
    """corvane -c LINE, running, its output in pipes."""
    env = clean_env()
    env.update(extra_env or {})
    return subprocess.Popen(Corvane.command + ["-c", line], stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)


class OverloadAnswers(E2ETestCase):
    def scripted(self, address, rule):
        try:
            server = ScriptedServer(address, rule, self.server)
        except OSError as error:
            self.skipTest(f"cannot bind port 53 of {address}: {error}")
        self.addCleanup(server.close)
        return server

    def assertSameAs(self, got, expected):
        self.assertEqual(got.err, expected.err)
        self.assertEqual(got.out, expected.out)
        self.assertEqual(got.code, expected.code)

    def test_refused_once_is_asked_once_more(self):
        server = self.scripted("127.0.0.21", "refuse-first")
        listed = " ".join(ADDRESSES)
        self.assertSameAs(command(f"rdns /A:127.0.0.21 {listed}"),
                          command(f"rdns /A:{self.server} {listed}"))
        counts = server.counts()
        self.assertEqual(len(counts), len(ADDRESSES))
        self.assertEqual(set(counts.values()), {TRIES_AT_A_FAILING_SERVER + 1})
        # The DNS command's queries of many names, its SOA walk among them.
        names = " ".join(bulk_zone.bulk_names(40, "l"))
        self.assertSameAs(command(f"dns 127.0.0.21 {names}"),
                          command(f"dns {self.server} {names}", extra_env=ONE_AT_A_TIME))

    def test_refused_twice_is_the_result(self):
        server = self.scripted("127.0.0.22", "refuse")
        r = command(f"rdns /A:127.0.0.22 {' '.join(ADDRESSES)}")
        self.assertEqual(r.out, "")
        self.assertEqual(r.err, "".join(f'DNS plugin: Error looking up "{a}": '
                                        f'{FAILURE_TEXT["refused"]}\n' for a in ADDRESSES))
        self.assertEqual(r.code, 2)
        self.assertEqual(set(server.counts().values()), {2 * TRIES_AT_A_FAILING_SERVER})

    @unittest.skipUnless(UNDER_WINE, "the Windows client's pool of 32 threads; the POSIX "
                                     "client's window per server has tests of its own")
    def test_fewer_at_once_after_an_overload_answer(self):
        # The pool asks 32 at once. One refusal (after the system's own tries) halves the
        # limit to 16: nothing starts until 16 of the 31 others are answered, then the refused
        # question first; and no more than the limit are out at once afterwards (grown by one
        # for every limit's worth of good answers to what started since: 17 at most here).
        # Until the pool has the refusal, questions start under the old limit, while more than
        # 17 are held: the system's call returns it on its own thread, perhaps after answers
        # sent later. Under the new limit the question asked again is the first to start; a
        # thread that starts another a moment later may still reach the server first.
        server = self.scripted("127.0.0.23", "hold")
        listed = " ".join(ADDRESSES)
        expected = command(f"rdns /A:{self.server} {listed}")
        proc = start(f"rdns /A:127.0.0.23 {listed}")
        try:
            server.wait_until_held(32)
            server.mark()
            refused = server.answer(rcode=5)
            for _ in range(TRIES_AT_A_FAILING_SERVER - 1):
                server.answer(refused, rcode=5)
            for _ in ADDRESSES:
                server.answer()
            out, err = proc.communicate()
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.communicate()
        self.assertEqual(err.decode("utf-8"), expected.err)
        self.assertEqual(out.decode("utf-8"), expected.out)
        self.assertEqual(proc.returncode, expected.code)
        self.assertEqual(server.counts()[refused], TRIES_AT_A_FAILING_SERVER + 1)
        # The system's own tries first, then the client's.
        arrivals = server.arrivals[TRIES_AT_A_FAILING_SERVER - 1 :]
        self.assertEqual(len(arrivals), len(ADDRESSES) - 32 + 1)
        again = [question for question, _, _ in arrivals].index(refused)
        before = [arrival for arrival in arrivals[:again] if arrival[1] <= 17]
        self.assertLessEqual(len(before), 3,
                             f"the question asked again comes among the first: {arrivals}")
        for _, _, answered in [*before, arrivals[again]]:
            self.assertGreaterEqual(answered, TRIES_AT_A_FAILING_SERVER + 16)
        self.assertLessEqual(max(held for _, held, _ in arrivals[again:]), 17)

    def test_time_out_is_not_asked_again(self):
        # Alone (one query at a time) and in flight with others, a question that is never
        # answered gets the client's own tries, never a round more. The two
        # run at the same time, on names of their own.
        server = self.scripted("127.0.0.24", "mute")
        alone = start("rdns /A:127.0.0.24 198.51.100.1", ONE_AT_A_TIME)
        in_flight = command("rdns /A:127.0.0.24 198.51.100.2 198.51.100.3")
        out, err = alone.communicate()
        self.assertEqual(in_flight.code, 2)
        self.assertEqual(alone.returncode, 2)
        text = FAILURE_TEXT["time-out"]
        lines = [f'DNS plugin: Error looking up "198.51.100.{i}": {text}\n' for i in (1, 2, 3)]
        self.assertEqual(err.decode("utf-8"), lines[0])
        self.assertEqual(in_flight.err, lines[1] + lines[2])
        counts = server.counts()
        self.assertEqual(len(counts), 3)
        # The client's tries fit its time on the server; on a loaded machine a late timer may
        # leave room for one try fewer. A time-out asked again would bring a second round of
        # tries: twice as many.
        self.assertLess(max(counts.values()), 2 * min(counts.values()), counts)


if __name__ == "__main__":
    main()
