#!/usr/bin/env python3
"""A DNS server that lies: the hostile answers of tests/hostile/answers/ on loopback.

Each case file there answers its own names (by default <case>.hostile.test): the query's
type picks the answer, and the types a case does not answer get those of the good case.
Around the cases, a small zone: fuzz-N.hostile.test and the PTR of 10.0.1.N get the answers
of the rich case with their bytes changed, cut or inserted by seed N; any other name under
hostile.test, and any other 10.0.0.N or fd00::N, does not exist; every other name exists and
holds nothing, so that parent-domain walks end at once. With every=CASE (--every) one case
answers every question, whatever its name.

UDP and TCP on one address, from background threads; the test suites that use it start it in
their own process (HostileServer) and read the questions it was asked from its log.

Run it alone for manual tests:  hostile_server.py [--address A] [--port P] [--every CASE]
"""

import argparse
import os
import random
import selectors
import socket
import struct
import sys
import threading
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import answer_corpus  # noqa: E402

QR, AA, TC, RD, RA = 0x8000, 0x0400, 0x0200, 0x0100, 0x0080
NOERROR, NXDOMAIN, REFUSED = 0, 3, 5
HEADER = 12

ZONE = "hostile.test"
REVERSE_ZONE = "0.0.10.in-addr.arpa"  # 10.0.0.N
REVERSE_ZONE_IP6 = "0." * 28 + "d.f.ip6.arpa"  # fd00::N
FUZZ_ZONE = "1.0.10.in-addr.arpa"  # 10.0.1.N
FUZZ_CASE = "rich"


class Query:
    def __init__(self, data, transport, peer=None):
        self.transport = transport
        self.data = bytes(data)
        self.peer = peer  # the client's address, over UDP
        self.id, self.flags, qdcount = struct.unpack("!HHH", data[:6])
        if qdcount < 1:
            raise ValueError("no question")
        pos = HEADER
        labels = []
        while True:
            length = data[pos]
            if length == 0:
                pos += 1
                break
            if length > 63:
                raise ValueError("compressed or bad question name")
            labels.append(bytes(data[pos + 1 : pos + 1 + length]))
            pos += 1 + length
        self.name = b".".join(labels).decode("latin-1").lower()
        self.type, self.qclass = struct.unpack("!HH", data[pos : pos + 4])
        self.question = bytes(data[HEADER : pos + 4])


class Plan:
    """What to send for one query: junk datagrams (UDP), then the message after a delay, or
    nothing (mute: not even the junk)."""

    def __init__(self, message=None, junk=(), answer=None):
        self.message = message
        self.junk = list(junk)
        self.mute = bool(answer and answer.mute)
        self.delay = answer.delay_ms / 1000.0 if answer else 0.0
        self.udp_truncated = bool(answer and answer.udp_truncated)
        self.tcp_close = bool(answer and answer.tcp_close)
        self.tcp_length = answer.tcp_length if answer else 0


def with_id(data, qid):
    return struct.pack("!H", qid) + data[2:] if len(data) >= 2 else data


def plain(q, rcode):
    """An answer without records."""
    flags = QR | AA | RA | (q.flags & RD) | rcode
    return struct.pack("!6H", q.id, flags, 1, 0, 0, 0) + q.question


def truncated(q, message):
    """The UDP form of an answer that does not fit: its header with TC set, the question."""
    flags = struct.unpack("!H", message[2:4])[0] | TC
    return message[:2] + struct.pack("!5H", flags, 1, 0, 0, 0) + q.question


def mutate(data, seed, q):
    """The answer with bytes after the question changed, cut or inserted (the header and
    question stay, so the transport always hands it on), chosen by the seed and type."""
    data = bytearray(data)
    rng = random.Random(seed * 65536 + q.type)
    start = HEADER + len(q.question)
    kind = seed % 3
    if kind == 0:
        for _ in range(rng.randint(1, 4)):
            data[rng.randrange(start, len(data))] = rng.getrandbits(8)
    elif kind == 1:
        del data[rng.randrange(start, len(data)) :]
    else:
        at = rng.randrange(start, len(data))
        data[at:at] = bytes(rng.getrandbits(8) for _ in range(rng.randint(1, 6)))
    return bytes(data)


def ask(data, server, timeout=2.0):
    """The answer of server (port 53) to the query data, or None if none comes in time."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.settimeout(timeout)
        try:
            sock.sendto(data, (server, 53))
            return sock.recvfrom(65535)[0]
        except OSError:
            return None


def under(name, zone):
    return name.endswith("." + zone)


def fuzz_seed(name):
    """N of fuzz-N.hostile.test and of N.1.0.10.in-addr.arpa, else None."""
    first, _, rest = name.partition(".")
    if rest == ZONE and first.startswith("fuzz-") and first[5:].isdigit():
        return int(first[5:])
    if rest == FUZZ_ZONE and first.isdigit():
        return int(first)
    return None


class HostileServer:
    """UDP and TCP on one address. start() binds (raising OSError when it cannot) and serves
    from background threads until stop(). log holds (transport, name, type) of every query, in
    the order they came; datagrams() the UDP queries as they came, with their clients.

    A test that needs a server answering by rules of its own derives from this one and
    overrides udp_query(q), which gets every UDP query in order on the server's thread; it
    answers with send(q, message), with answer_of(q, case) for a case's answer, or not at all."""

    def __init__(self, address="127.0.0.2", port=53, every=None):
        self.address, self.port = address, port
        self.cases = answer_corpus.load()
        self.by_name = {name: case for case in self.cases.values() for name in case.names}
        if every is not None and every not in self.cases:
            raise ValueError(f"no case {every!r} in {answer_corpus.ANSWERS_DIR}")
        self.every = every
        self.log = []
        self._datagrams = []
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._threads = []
        self._udp = self._tcp = None

    # ---- what to send ----

    def case_plan(self, q, case, transform=None):
        answer = answer_corpus.answer_for(self.cases, case, q.type)
        message = None
        if not answer.none and not answer.mute:
            message = answer_corpus.assemble(answer.message, q.question)
            if transform is not None:
                message = transform(message)
            message = with_id(message, q.id ^ 0x5A5A if answer.other_id else q.id)
        junk = [with_id(answer_corpus.assemble(items, q.question), q.id ^ 0x5A5A if other else q.id)
                for items, other in answer.junk]
        return Plan(message, junk, answer)

    def plan(self, q):
        if self.every is not None:
            return self.case_plan(q, self.cases[self.every])
        if q.qclass != 1:
            return Plan(plain(q, REFUSED))
        case = self.by_name.get(q.name)
        if case is not None:
            return self.case_plan(q, case)
        seed = fuzz_seed(q.name)
        if seed is not None:
            return self.case_plan(q, self.cases[FUZZ_CASE], lambda data: mutate(data, seed, q))
        if any(under(q.name, zone) for zone in (ZONE, REVERSE_ZONE, REVERSE_ZONE_IP6)):
            return Plan(plain(q, NXDOMAIN))
        return Plan(plain(q, NOERROR))  # any other name: exists, holds nothing

    # ---- serving ----

    def start(self):
        udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            udp.bind((self.address, self.port))
            tcp.bind((self.address, self.port))
            tcp.listen(16)
        except OSError:
            udp.close()
            tcp.close()
            raise
        self._udp, self._tcp = udp, tcp
        thread = threading.Thread(target=self._serve, daemon=True)
        thread.start()
        self._threads.append(thread)
        return self

    def stop(self):
        self._stop.set()
        for thread in self._threads:
            thread.join(timeout=5)
        for sock in (self._udp, self._tcp):
            if sock is not None:
                sock.close()

    def queries(self, transport=None):
        with self._lock:
            return [e for e in self.log if transport is None or e[0] == transport]

    def clear_log(self):
        with self._lock:
            self.log.clear()
            self._datagrams.clear()

    def datagrams(self):
        with self._lock:
            return list(self._datagrams)

    # ---- for servers with rules of their own ----

    def udp_query(self, q):
        """A UDP query, in order of arrival: answered on a thread of its own by its case."""
        self._spawn(self._answer_udp, q)

    def answer_of(self, q, case):
        """The bytes of a case's answer to the query (not its junk or options)."""
        return self.case_plan(q, self.cases[case]).message

    def send(self, q, message):
        try:
            self._udp.sendto(message, q.peer)
        except OSError:
            pass

    def _serve(self):
        sel = selectors.DefaultSelector()
        sel.register(self._udp, selectors.EVENT_READ, "udp")
        sel.register(self._tcp, selectors.EVENT_READ, "tcp")
        while not self._stop.is_set():
            for key, _ in sel.select(timeout=0.1):
                if key.data == "udp":
                    try:
                        data, peer = self._udp.recvfrom(65535)
                    except OSError:
                        continue
                    with self._lock:
                        self._datagrams.append((data, peer))
                    q = self._parse(data, "udp", peer)
                    if q is not None:
                        self.udp_query(q)
                else:
                    try:
                        conn, _ = self._tcp.accept()
                    except OSError:
                        continue
                    self._spawn(self._serve_tcp, conn)
        sel.close()

    def _spawn(self, target, *args):
        threading.Thread(target=target, args=args, daemon=True).start()

    def _parse(self, data, transport, peer=None):
        try:
            q = Query(data, transport, peer)
        except (ValueError, IndexError, struct.error):
            return None
        with self._lock:
            self.log.append((transport, q.name, q.type))
        return q

    def _answer_udp(self, q):
        plan = self.plan(q)
        if plan.mute:
            return
        for junk in plan.junk:
            self.send(q, junk)
        if plan.message is None:
            return
        if plan.delay and self._stop.wait(plan.delay):
            return
        self.send(q, truncated(q, plan.message) if plan.udp_truncated else plan.message)

    def _serve_tcp(self, conn):
        conn.settimeout(0.5)
        buffer = b""
        with conn:
            while not self._stop.is_set():
                try:
                    chunk = conn.recv(65535)
                except socket.timeout:
                    continue
                except OSError:
                    return
                if not chunk:
                    return
                buffer += chunk
                while len(buffer) >= 2:
                    (length,) = struct.unpack("!H", buffer[:2])
                    if len(buffer) < 2 + length:
                        break
                    data, buffer = buffer[2 : 2 + length], buffer[2 + length :]
                    q = self._parse(data, "tcp")
                    if q is None:
                        continue
                    if not self._send_tcp(conn, self.plan(q)):
                        return

    def _send_tcp(self, conn, plan):
        """False when the connection is to be closed."""
        if plan.tcp_close:
            return False
        if plan.mute or plan.message is None:
            return True
        if plan.delay and self._stop.wait(plan.delay):
            return False
        try:
            length = len(plan.message) + plan.tcp_length
            conn.sendall(struct.pack("!H", length & 0xFFFF) + plan.message)
        except OSError:
            return False
        return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", default="127.0.0.2")
    parser.add_argument("--port", type=int, default=53)
    parser.add_argument("--every", metavar="CASE", help="answer every question with this case")
    args = parser.parse_args()
    server = HostileServer(args.address, args.port, args.every).start()
    print(f"serving on {args.address}:{args.port} (UDP and TCP); Ctrl-C ends", flush=True)
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass
    finally:
        server.stop()


if __name__ == "__main__":
    main()
