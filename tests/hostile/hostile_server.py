#!/usr/bin/env python3
"""A DNS server that lies: hand-built, often malformed answers on loopback.

Answers by the name asked: the first label under hostile.test picks the case
(for example ptr-loop.hostile.test), and for reverse names the address picks
it (10.0.0.N, that is N.0.0.10.in-addr.arpa, or fd00::N under ip6.arpa). Every
other name gets an empty NOERROR answer, so parent-domain walks end quickly.

Each case is a function of the query that returns what to send: a list of
messages (bytes), Sleep and Raw/Close actions, or MUTE for no reply at all.
UDP and TCP share the cases; a case sees the transport and can answer them
differently (truncation).

Run it alone for manual tests:  hostile_server.py [--address A] [--port P]
"""

import argparse
import random
import selectors
import socket
import struct
import threading
import time

# Header flags.
QR, AA, TC, RD, RA = 0x8000, 0x0400, 0x0200, 0x0100, 0x0080
NOERROR, FORMERR, SERVFAIL, NXDOMAIN, NOTIMP, REFUSED = 0, 1, 2, 3, 4, 5

# Record types.
A, NS, CNAME, SOA, PTR, MX, TXT, AAAA, LOC = 1, 2, 5, 6, 12, 15, 16, 28, 29

ZONE = (b"hostile", b"test")
QUESTION_OFFSET = 12  # the question name follows the header

# Good data that the per-type fault cases give for the types they do not break.
GOOD_A = "192.0.2.7"
GOOD_AAAA = "2001:db8::7"


class Sleep:
    def __init__(self, seconds):
        self.seconds = seconds


class Raw:
    """Bytes written to a TCP stream exactly as given (no length prefix)."""

    def __init__(self, data):
        self.data = data


class Close:
    """Closes the TCP connection."""


MUTE = None


# --- wire helpers ---------------------------------------------------------


def labels_of(name):
    return [part.encode() for part in name.split(".") if part]


def wire(labels):
    """Uncompressed wire form of a list of byte-string labels (no length checks:
    the faulty cases need overlong labels too)."""
    out = bytearray()
    for label in labels:
        out.append(len(label) & 0xFF)
        out += label
    out.append(0)
    return bytes(out)


def ptr(offset):
    return bytes([0xC0 | (offset >> 8), offset & 0xFF])


def ipv4(text):
    return socket.inet_pton(socket.AF_INET, text)


def ipv6(text):
    return socket.inet_pton(socket.AF_INET6, text)


def txt_rdata(strings):
    out = bytearray()
    for s in strings:
        out.append(len(s))
        out += s
    return bytes(out)


def soa_rdata(mname, rname, numbers=(2024010101, 7200, 900, 1209600, 300)):
    return mname + rname + struct.pack("!5I", *numbers)


def loc_rdata(lat=0x80000000 + 3600000, lon=0x80000000 + 7200000, alt=10000000):
    return bytes([0, 0x12, 0x16, 0x13]) + struct.pack("!3I", lat, lon, alt)


class Query:
    def __init__(self, data, transport):
        self.transport = transport
        self.id, self.flags, qdcount = struct.unpack("!HHH", data[:6])
        if qdcount < 1:
            raise ValueError("no question")
        pos = QUESTION_OFFSET
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
        self.labels = labels
        self.name = b".".join(labels).decode("latin-1").lower()
        self.type, self.qclass = struct.unpack("!HH", data[pos : pos + 4])
        self.question = bytes(data[QUESTION_OFFSET : pos + 4])


class Message:
    """A reply under construction: header, the echoed question, then records.
    Counts are those of the records added unless overridden at build time."""

    def __init__(self, q, rcode=NOERROR, flags=None, qid=None, question=None):
        self.q = q
        self.id = q.id if qid is None else qid
        self.flags = (QR | AA | RA | (q.flags & RD) | rcode) if flags is None else flags
        self.question = q.question if question is None else question
        self.body = bytearray()
        self.counts = [1, 0, 0, 0]

    def offset(self):
        """Message offset of the next byte added."""
        return 12 + len(self.question) + len(self.body)

    def add(self, rtype, rdata, owner=None, ttl=300, rclass=1, rdlength=None, section=1):
        owner = ptr(QUESTION_OFFSET) if owner is None else owner
        length = len(rdata) if rdlength is None else rdlength
        self.body += owner + struct.pack("!HHIH", rtype, rclass, ttl, length) + rdata
        self.counts[section] += 1
        return self

    def add_raw(self, data):
        self.body += data
        return self

    def build(self, ancount=None):
        counts = list(self.counts)
        if ancount is not None:
            counts[1] = ancount
        header = struct.pack("!HH4H", self.id, self.flags, *counts)
        return header + self.question + bytes(self.body)


def reply(q, *records, rcode=NOERROR):
    """A well-formed answer: records are (type, rdata) pairs owned by the question name."""
    m = Message(q, rcode)
    for rtype, rdata in records:
        m.add(rtype, rdata)
    return [m.build()]


def good_records(q):
    """The good data of one name: an A and an AAAA record, nothing else."""
    if q.type == A:
        return [(A, ipv4(GOOD_A))]
    if q.type == AAAA:
        return [(AAAA, ipv6(GOOD_AAAA))]
    return []


def good(q):
    return reply(q, *good_records(q))


def sample_rdata(q, m):
    """Valid data of the queried type; names in it point at the question name."""
    name = ptr(QUESTION_OFFSET)
    return {
        A: ipv4(GOOD_A),
        AAAA: ipv6(GOOD_AAAA),
        NS: name,
        CNAME: name,
        PTR: name,
        MX: b"\x00\x0a" + name,
        SOA: soa_rdata(name, name),
        TXT: txt_rdata([b"hostile"]),
        LOC: loc_rdata(),
    }.get(q.type, ipv4(GOOD_A))


# --- broken owner names: every type gets one record whose owner is unreadable ---


def broken_owner(build_owner):
    """Case whose answer record carries the owner name build_owner(message) makes.
    build_owner returns (owner bytes, extra bytes appended after the record, or
    None to end the message right after the owner)."""

    def case(q):
        m = Message(q)
        owner, tail = build_owner(m)
        if tail is None:  # the message ends inside the owner name
            m.counts[1] += 1
            m.add_raw(owner)
            return [m.build()]
        m.add(q.type, sample_rdata(q, m), owner=owner)
        m.add_raw(tail)
        return [m.build()]

    return case


def owner_loop(m):
    # Two names, each a label and a pointer to the other: the owner points
    # forward to the second name, left in the bytes after the record.
    first = m.offset()
    rdata_len = len(sample_rdata(m.q, m))
    second = first + 4 + 10 + rdata_len  # after owner, fixed fields and data
    return b"\x01a" + ptr(second), b"\x01b" + ptr(first)


# --- long names through pointers -----------------------------------------


# --- bad target names in record data --------------------------------------


# --- record data of the wrong length ----------------------------------------


# --- replies that do not belong to the query ------------------------------


def junk_first(make_junk, then_good, only=(A,)):
    """For the types in only: junk datagram(s), then (optionally) the real answer.
    Other types get the good data at once."""

    def case(q):
        if q.type not in only:
            return good(q)
        out = make_junk(q)
        return out + good(q) if then_good else out

    return case


def junk_wrong_id(q):
    m = Message(q, qid=(q.id + 1) & 0xFFFF)
    for rtype, rdata in good_records(q):
        m.add(rtype, rdata)
    return [m.build()]


def junk_other_question(q):
    other = wire(labels_of("other.hostile.test")) + struct.pack("!HH", q.type, 1)
    m = Message(q, question=other)
    m.add(A, ipv4("192.0.2.66"))
    return [m.build()]


def junk_empty(q):
    return [b""]


def junk_short(q):
    return [struct.pack("!H", q.id) + b"\x81\x80\x00"]


def junk_random(q):
    rng = random.Random(q.id)
    data = bytearray(rng.getrandbits(8) for _ in range(300))
    data[0:2] = struct.pack("!H", q.id)  # the right ID, so only the content can reject it
    data[2] |= 0x80
    return [bytes(data)]


# --- legal but unusual answers ----------------------------------------------


# --- truncation and TCP ---------------------------------------------------


def truncated_udp(q, keep=5):
    """The UDP form of a big answer: TC set, only the first few records."""
    m = Message(q, flags=QR | AA | RA | TC | (q.flags & RD))
    if q.type == A:
        for i in range(1, keep + 1):
            m.add(A, ipv4(f"198.51.100.{i}"))
    return [m.build()]


def truncation(tcp_answer, only=(A, TXT)):
    """UDP: truncated for the types in only; TCP: tcp_answer(q)."""

    def case(q):
        if q.type not in only:
            return good(q)
        if q.transport == "udp":
            return truncated_udp(q)
        return tcp_answer(q)

    return case


def tcp_close(q):
    return [Close()]


def tcp_length_long(q):
    data = rich_answer(q)
    return [Raw(struct.pack("!H", len(data) + 100) + data), Close()]


def slow(seconds, only=(A,)):
    def case(q):
        if q.type not in only:
            return good(q)
        return [Sleep(seconds)] + good(q)

    return case


def mute(only=(A,)):
    def case(q):
        if q.type not in only:
            return good(q)
        return MUTE

    return case


# --- hostile bytes in record data -----------------------------------------

ESC_TXT = [
    b"\x1b[31mred\x1b[0m",
    b"\x1b]0;owned\x07",
    b"\x1b[2J\x1b[H",
    b"cr\rlf\nbs\x08bel\x07",
    b"nul\x00del\x7f",
    b"mark\x11\x12\x13\x14\x15\x16end",
    b"c1\xc2\x9b31m",
    b"bad\xff utf8",
]


def esc_txt(q):
    if q.type == TXT:
        return reply(q, (TXT, txt_rdata(ESC_TXT)), (TXT, txt_rdata([b"\x1b[2J\x1bc"])))
    return good(q)


# Colour markup bytes (17 to 22) among them: server data must not colour the table.
ESC_LABELS = {
    CNAME: [b"\x1b[31mred\x12", b"esc-names"] + list(ZONE),
    NS: [b"ns\r\n\x13\x14fake", b"esc-names"] + list(ZONE),
    MX: [b"mx\x08\x07\x16", b"\x7f\x00\x11"] + list(ZONE),
    PTR: [b"\x1b]2;t\x07", b"ptr"] + list(ZONE),
}
ESC_SOA_MNAME = [b"\x9b2J", b"m\x11\x12\x16m"] + list(ZONE)
ESC_SOA_RNAME = [b"a.b", b"x\\y", b"sp ace", b"\xc3\xa9"] + list(ZONE)


def esc_names(q):
    if q.type in (CNAME, NS, PTR):
        return reply(q, (q.type, wire(ESC_LABELS[q.type])))
    if q.type == MX:
        return reply(q, (MX, b"\x00\x05" + wire(ESC_LABELS[MX])))
    if q.type == SOA:
        return reply(q, (SOA, soa_rdata(wire(ESC_SOA_MNAME), wire(ESC_SOA_RNAME))))
    return good(q)


# Longest legal name (255 octets) and string (255 octets), all control bytes:
# as \DDD text each becomes four times as long.
LONG_ESC_LABELS = [b"\x01" * 63, b"\x02" * 63, b"\x03" * 63, b"\x1b" * 61]
LONG_ESC_STRING = b"\x1b" * 255


def long_escaped(q):
    if q.type == NS:
        return reply(q, (NS, wire(LONG_ESC_LABELS)))
    if q.type == TXT:
        return reply(q, (TXT, txt_rdata([LONG_ESC_STRING])), (TXT, txt_rdata([b"\xff" * 255] * 2)))
    return good(q)


# --- mutated answers ------------------------------------------------------------


def rich_answer(q):
    """A well-formed answer with several records of the queried type, names
    compressed against the question and against each other."""
    m = Message(q)
    alias_at = m.offset() + 2 + 10
    m.add(CNAME, b"\x05alias" + ptr(QUESTION_OFFSET))
    for i in range(3):
        if q.type in (A, AAAA):
            data = ipv4(f"192.0.2.{10 + i}") if q.type == A else ipv6(f"2001:db8::{10 + i}")
        elif q.type in (NS, CNAME, PTR):
            data = bytes([2]) + b"n%d" % i + ptr(alias_at)
        elif q.type == MX:
            data = struct.pack("!H", 10 * i) + b"\x02mx" + ptr(alias_at)
        elif q.type == SOA:
            data = soa_rdata(b"\x02ns" + ptr(QUESTION_OFFSET), ptr(alias_at), (i, 1, 2, 3, 4))
        elif q.type == TXT:
            data = txt_rdata([b"one", b"two \\ %d" % i, b"\xc3\xa9t\xc3\xa9"])
        else:
            data = loc_rdata(lat=0x80000000 + i)
        m.add(q.type, data)
    return m.build()


def fuzz(seed):
    """The rich answer with its records mutated (the header and question stay
    intact, so the transport always hands the message on): bytes flipped,
    the message cut short, or bytes inserted, chosen by the seed and type."""

    def case(q):
        data = bytearray(rich_answer(q))
        rng = random.Random(seed * 65536 + q.type)
        start = 12 + len(q.question)
        kind = seed % 3
        if kind == 0:
            for _ in range(rng.randint(1, 4)):
                data[rng.randrange(start, len(data))] = rng.getrandbits(8)
        elif kind == 1:
            del data[rng.randrange(start, len(data)) :]
        else:
            at = rng.randrange(start, len(data))
            data[at:at] = bytes(rng.getrandbits(8) for _ in range(rng.randint(1, 6)))
        return [bytes(data)]

    return case


# --- the tables -------------------------------------------------------------

CASES = {
    # Replies for something else only: each costs the query its time-out.
    "wrong-id": junk_first(junk_wrong_id, False),
    "other-question": junk_first(junk_other_question, False),
    "empty": junk_first(junk_empty, False),
    "short5": junk_first(junk_short, False),
    "random": junk_first(junk_random, False),
    # TCP that fails after a truncated UDP answer.
    "tc-tcp-closed": truncation(tcp_close, only=(A,)),
    "tcp-len-long": truncation(tcp_length_long, only=(A,)),
    # Time.
    "slow": slow(1.5),
    "mute": mute(),
    # Hostile bytes for the terminal.
    "esc-txt": esc_txt,
    "esc-names": esc_names,
    "long-escaped": long_escaped,
    # An unreadable answer among readable ones.
    "ptr-loop": broken_owner(owner_loop),
    # Good data, as a reference.
    "good": good,
}


def ptr_to(labels):
    def case(q):
        if q.type != PTR:
            return reply(q)
        return reply(q, (PTR, wire(labels)))

    return case


def ptr_case(case):
    """A forward case applied to PTR queries (other types get NODATA)."""

    def wrapped(q):
        if q.type != PTR:
            return reply(q)
        return case(q)

    return wrapped


REVERSE = {
    1: ptr_to([b"good"] + list(ZONE)),
    2: ptr_to([b"\x1b[31mevil", b"\r\nfake"] + list(ZONE)),
    3: ptr_case(broken_owner(owner_loop)),
    8: mute(only=(PTR,)),
    14: ptr_to([b"\x11\x12mark\x16", b"x\x13\x14\x15"] + list(ZONE)),
    15: junk_first(junk_wrong_id, False, only=(PTR,)),
    18: ptr_to([b"\x9b31m", b"\xc2\x9b"] + list(ZONE)),
    19: ptr_to(LONG_ESC_LABELS),
}


def reverse_key(name):
    """N of N.0.0.10.in-addr.arpa or of the fd00::N name (its last byte), else None."""
    parts = name.split(".")
    if name.endswith(".0.0.10.in-addr.arpa") and len(parts) == 6 and parts[0].isdigit():
        return int(parts[0])
    if name.endswith(".ip6.arpa") and len(parts) == 34:
        nibbles = parts[:32]
        if "".join(reversed(nibbles)) == "fd00" + "0" * 26 + nibbles[1] + nibbles[0]:
            return int(nibbles[1] + nibbles[0], 16)
    return None


def respond(q):
    """What to send for a query: a list of actions, or MUTE."""
    if q.qclass != 1:
        return reply(q, rcode=REFUSED)
    parts = q.name.split(".")
    if q.name.endswith(".1.0.10.in-addr.arpa") and len(parts) == 6 and parts[0].isdigit():
        return fuzz(int(parts[0]))(q)  # 10.0.1.N: mutated answers, seed N
    if q.name.endswith(".hostile.test") and parts[-3].startswith("fuzz-"):
        seed = parts[-3][5:]
        if seed.isdigit():
            return fuzz(int(seed))(q)
    key = reverse_key(q.name)
    if key is not None:
        case = REVERSE.get(key)
        return case(q) if case else reply(q, rcode=NXDOMAIN)
    suffix = ".hostile.test"
    if q.name.endswith(suffix):
        first = q.name[: -len(suffix)].split(".")[-1]
        case = CASES.get(first)
        if case is not None:
            return case(q)
        return reply(q, rcode=NXDOMAIN)
    return reply(q)  # any other name: exists, holds nothing


# --- the server -------------------------------------------------------------


class HostileServer:
    """UDP and TCP on one address. start() binds (raising OSError when it cannot)
    and serves from background threads until stop(). log holds (transport, name,
    type) of every query."""

    def __init__(self, address="127.0.0.2", port=53):
        self.address, self.port = address, port
        self.log = []
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._threads = []
        self._udp = self._tcp = None

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
                    self._spawn(self._answer_udp, data, peer)
                else:
                    try:
                        conn, _ = self._tcp.accept()
                    except OSError:
                        continue
                    self._spawn(self._serve_tcp, conn)
        sel.close()

    def _spawn(self, target, *args):
        threading.Thread(target=target, args=args, daemon=True).start()

    def _parse(self, data, transport):
        try:
            q = Query(data, transport)
        except (ValueError, IndexError, struct.error):
            return None
        with self._lock:
            self.log.append((transport, q.name, q.type))
        return q

    def _answer_udp(self, data, peer):
        q = self._parse(data, "udp")
        if q is None:
            return
        actions = respond(q)
        for action in actions or []:
            if self._stop.is_set():
                return
            if isinstance(action, Sleep):
                time.sleep(action.seconds)
            elif isinstance(action, (bytes, bytearray)):
                try:
                    self._udp.sendto(action, peer)
                except OSError:
                    return

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
                    if not self._send_tcp(conn, respond(q)):
                        return

    def _send_tcp(self, conn, actions):
        """False when the connection is to be closed."""
        try:
            for action in actions or []:
                if isinstance(action, Sleep):
                    time.sleep(action.seconds)
                elif isinstance(action, Raw):
                    conn.sendall(action.data)
                elif isinstance(action, Close):
                    return False
                else:
                    conn.sendall(struct.pack("!H", len(action)) + action)
        except OSError:
            return False
        return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", default="127.0.0.2")
    parser.add_argument("--port", type=int, default=53)
    args = parser.parse_args()
    server = HostileServer(args.address, args.port).start()
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
