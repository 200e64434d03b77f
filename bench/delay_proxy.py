#!/usr/bin/env python3
"""A DNS relay on a loopback address: a network link in front of an upstream
server. Every datagram and every TCP segment is held for a fixed time on its
way up and again on its way down, so a round trip costs twice the delay; with
--loss each datagram is dropped on either way with that chance, from a seeded
generator, so that a run loses the same share every time; with --mute nothing
is ever answered.

    delay_proxy.py --listen 127.0.0.5 --upstream 127.0.0.1 --delay-ms 25
    delay_proxy.py --listen 127.0.0.9 --upstream 127.0.0.21 --delay-ms 10 --loss 2 --seed 7
    delay_proxy.py --listen 127.0.0.7 --mute

UDP queries get IDs of the relay's own on the way up, so that clients asking at
the same time with the same ID do not mix. TCP connections are relayed one to
one, each to a connection of its own upstream. The sockets keep the system's
default buffers: a burst that overruns them is lost, as at a real server. One
plain loop over all sockets: it must carry thousands of queries a second
without becoming what is measured. With --stats FILE it writes what it carried
there when it ends (SIGTERM).

For the tests that need a server to hold answers back: --hold NAME (any number) keeps every UDP
query for that name from going on; with --control the relay says "ready" on standard output
once it listens and "held NAME" for each query it holds, and a line "release" on standard input
sends the held queries on and ends the holding (the relay ends when its standard input does).
Without --control held queries are never answered: a server that is mute for those names.

    delay_proxy.py --listen 127.0.0.10 --upstream 127.0.0.1 --hold loc-zero.e2e.test --control"""

import argparse
import collections
import heapq
import os
import random
import selectors
import signal
import socket
import struct
import sys
import time


def question_name(query):
    """The question's name of a query in lower case, without a final dot; None if unreadable."""
    labels, pos = [], 12
    while pos < len(query) and query[pos] != 0:
        length = query[pos]
        if length > 63 or pos + 1 + length > len(query):
            return None
        labels.append(query[pos + 1 : pos + 1 + length])
        pos += 1 + length
    return b".".join(labels).decode("latin-1").lower() if pos < len(query) else None


def drain(sock):
    """Every datagram waiting on the socket."""
    while True:
        try:
            yield sock.recvfrom(65535)
        except (BlockingIOError, ConnectionRefusedError):
            return


class Relay:
    def __init__(self, args):
        self.args = args
        self.delay = args.delay_ms / 2000.0  # each way
        self.loss = random.Random(args.seed)
        self.timers = []  # (due, sequence, action), a heap
        self.sequence = 0
        self.pending = {}  # our ID -> (client, client's ID bytes)
        self.next_id = 0
        self.stats = collections.Counter()
        self.selector = selectors.DefaultSelector()
        self.listen = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.listen.bind((args.listen, args.port))
        self.listen.setblocking(False)
        self.upstream = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.upstream.connect((args.upstream, args.upstream_port))
        self.upstream.setblocking(False)
        self.acceptor = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.acceptor.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.acceptor.bind((args.listen, args.port))
        self.acceptor.listen(64)
        self.acceptor.setblocking(False)
        self.selector.register(self.listen, selectors.EVENT_READ, self.from_clients)
        self.selector.register(self.upstream, selectors.EVENT_READ, self.from_upstream)
        self.selector.register(self.acceptor, selectors.EVENT_READ, self.accept)
        self.hold = {name.lower().rstrip(".") for name in args.hold}
        self.held = []  # (query, client) kept back until release
        self.control = b""
        if args.control:
            self.selector.register(sys.stdin.fileno(), selectors.EVENT_READ, self.from_control)
            self.say("ready")

    def say(self, line):
        sys.stdout.write(line + "\n")
        sys.stdout.flush()

    # ---- control: "release" on standard input ----
    def from_control(self, _):
        data = os.read(sys.stdin.fileno(), 4096)
        if not data:
            raise SystemExit(0)
        self.control += data
        while b"\n" in self.control:
            line, self.control = self.control.split(b"\n", 1)
            if line.strip() == b"release":
                self.hold = set()
                for query, client in self.held:
                    self.later(lambda q=query, c=client: self.send_up(q, c))
                self.held = []

    def later(self, action):
        self.sequence += 1
        heapq.heappush(self.timers, (time.monotonic() + self.delay, self.sequence, action))

    def lost(self):
        return self.args.loss > 0 and self.loss.random() * 100 < self.args.loss

    # ---- UDP ----
    def from_clients(self, _):
        for query, client in drain(self.listen):
            self.stats["udp queries"] += 1
            if self.args.mute or len(query) < 12:
                continue
            if self.lost():
                self.stats["queries lost"] += 1
                continue
            if self.hold and question_name(query) in self.hold:
                self.held.append((query, client))
                if self.args.control:
                    self.say(f"held {question_name(query)}")
                continue
            self.later(lambda q=query, c=client: self.send_up(q, c))

    def send_up(self, query, client):
        for _ in range(65536):
            self.next_id = (self.next_id + 1) & 0xFFFF
            if self.next_id not in self.pending:
                break
        self.pending[self.next_id] = (client, query[:2])
        try:
            self.upstream.send(struct.pack("!H", self.next_id) + query[2:])
        except OSError:
            self.pending.pop(self.next_id, None)

    def from_upstream(self, _):
        for answer, _ in drain(self.upstream):
            if len(answer) < 12:
                continue
            entry = self.pending.pop(struct.unpack("!H", answer[:2])[0], None)
            if entry is None:
                continue
            if self.lost():
                self.stats["answers lost"] += 1
                continue
            self.later(lambda e=entry, a=answer: self.send_down(e, a))

    def send_down(self, entry, answer):
        try:
            self.listen.sendto(entry[1] + answer[2:], entry[0])
            self.stats["udp answers"] += 1
        except OSError:
            pass

    # ---- TCP: each client connection has one upstream connection; bytes are held too ----
    def accept(self, _):
        try:
            client, _ = self.acceptor.accept()
        except BlockingIOError:
            return
        self.stats["tcp connections"] += 1
        up = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            up.connect((self.args.upstream, self.args.upstream_port))
        except OSError:
            client.close()
            up.close()
            return
        client.setblocking(False)
        up.setblocking(False)
        pair = {"client": client, "up": up, "closed": False}
        self.selector.register(client, selectors.EVENT_READ, lambda _: self.pipe(pair, client, up))
        self.selector.register(up, selectors.EVENT_READ, lambda _: self.pipe(pair, up, client))

    def pipe(self, pair, source, target):
        try:
            data = source.recv(65535)
        except BlockingIOError:
            return
        except OSError:
            data = b""
        if not data:
            self.later(lambda: self.close(pair))
            for sock in (source,):
                try:
                    self.selector.unregister(sock)
                except (KeyError, ValueError):
                    pass
            return
        self.later(lambda: self.forward(pair, target, data))

    def forward(self, pair, target, data):
        if pair["closed"]:
            return
        try:
            target.setblocking(True)
            target.sendall(data)
            target.setblocking(False)
        except OSError:
            self.close(pair)

    def close(self, pair):
        if pair["closed"]:
            return
        pair["closed"] = True
        for sock in (pair["client"], pair["up"]):
            try:
                self.selector.unregister(sock)
            except (KeyError, ValueError):
                pass
            sock.close()

    def run(self):
        while True:
            timeout = None if not self.timers else max(0.0, self.timers[0][0] - time.monotonic())
            for key, _ in self.selector.select(timeout):
                key.data(key.fileobj)
            now = time.monotonic()
            while self.timers and self.timers[0][0] <= now:
                heapq.heappop(self.timers)[2]()

    def write_stats(self):
        if self.args.stats:
            with open(self.args.stats, "w") as out:
                for key in sorted(self.stats):
                    out.write(f"{key}: {self.stats[key]}\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--listen", required=True)
    parser.add_argument("--port", type=int, default=53)
    parser.add_argument("--upstream", default="127.0.0.1")
    parser.add_argument("--upstream-port", type=int, default=53)
    parser.add_argument("--delay-ms", type=float, default=0.0, help="the round trip it adds")
    parser.add_argument("--loss", type=float, default=0.0, help="percent of datagrams lost each way")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--mute", action="store_true")
    parser.add_argument("--hold", action="append", default=[], metavar="NAME",
                        help="keep UDP queries for this name back (until released)")
    parser.add_argument("--control", action="store_true",
                        help="report on standard output, take 'release' on standard input")
    parser.add_argument("--stats")
    args = parser.parse_args()
    relay = Relay(args)

    def stop(*_):
        relay.write_stats()
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    try:
        relay.run()
    except KeyboardInterrupt:
        stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
