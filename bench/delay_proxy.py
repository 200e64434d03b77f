#!/usr/bin/env python3
"""A UDP DNS relay on a loopback address that holds every query for a fixed
time before it passes it to the upstream server: a network whose round trip
costs that much. With --mute it never answers at all.

    delay_proxy.py --listen 127.0.0.5 --upstream 127.0.0.1 --delay-ms 50
    delay_proxy.py --listen 127.0.0.7 --mute

Queries get IDs of the relay's own on the way up, so that clients asking at
the same time with the same ID do not mix. One plain loop over two sockets:
it must carry thousands of queries a second without becoming what is
measured."""

import argparse
import collections
import selectors
import socket
import struct
import sys
import time

BUFFER = 4 << 20  # hundreds of queries may arrive at once


def udp_socket():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, BUFFER)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, BUFFER)
    sock.setblocking(False)
    return sock


def drain(sock):
    """Every datagram waiting on the socket."""
    while True:
        try:
            yield sock.recvfrom(65535)
        except BlockingIOError:
            return


def serve(args):
    listen = udp_socket()
    listen.bind((args.listen, 53))
    upstream = udp_socket()
    upstream.connect((args.upstream, 53))
    delay = args.delay_ms / 1000.0
    held = collections.deque()  # (due, query, client), in arrival order: due times ascend
    pending = {}  # our ID -> (client, client's ID bytes)
    next_id = 0
    selector = selectors.DefaultSelector()
    selector.register(listen, selectors.EVENT_READ, "clients")
    selector.register(upstream, selectors.EVENT_READ, "upstream")
    while True:
        timeout = None if not held else max(0.0, held[0][0] - time.monotonic())
        for key, _ in selector.select(timeout):
            if key.data == "clients":
                now = time.monotonic()
                for query, client in drain(listen):
                    if not args.mute and len(query) >= 12:
                        held.append((now + delay, query, client))
            else:
                for answer, _ in drain(upstream):
                    if len(answer) < 12:
                        continue
                    entry = pending.pop(struct.unpack("!H", answer[:2])[0], None)
                    if entry is not None:
                        listen.sendto(entry[1] + answer[2:], entry[0])
        now = time.monotonic()
        while held and held[0][0] <= now:
            _, query, client = held.popleft()
            for _ in range(65536):
                next_id = (next_id + 1) & 0xFFFF
                if next_id not in pending:
                    break
            pending[next_id] = (client, query[:2])
            try:
                upstream.send(struct.pack("!H", next_id) + query[2:])
            except OSError:
                pending.pop(next_id, None)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--listen", required=True)
    parser.add_argument("--upstream", default="127.0.0.1")
    parser.add_argument("--delay-ms", type=float, default=0.0)
    parser.add_argument("--mute", action="store_true")
    args = parser.parse_args()
    try:
        serve(args)
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
