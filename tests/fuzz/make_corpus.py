#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into corpus/<target>/.

fuzz_answer: DNS answers of every record type the module reads, in the forms servers send
(compression pointers, several records, rcodes), plus malformed ones at each check of the
parser. fuzz_split and fuzz_command: command lines. For fuzz_split the first two bytes of an
input are also read as splitter flags for the rest, so some seeds begin with chosen flags.

Re-run after changing it; the files are committed so every build replays the same inputs.
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

A, NS, CNAME, SOA, PTR, MX, TXT, AAAA, LOC, OPT = 1, 2, 5, 6, 12, 15, 16, 28, 29, 41


def wire(name):
    out = b""
    for label in name.split("."):
        if label:
            raw = label.encode() if isinstance(label, str) else label
            out += bytes([len(raw)]) + raw
    return out + b"\0"


def labels(*parts):
    """A wire name from raw label bytes."""
    return b"".join(bytes([len(p)]) + p for p in parts) + b"\0"


QNAME = 12  # offset of the question name: the target of most compression pointers


def ptr(offset):
    return struct.pack(">H", 0xC000 | offset)


def rr(owner, rtype, rdata, ttl=3600, rclass=1):
    return owner + struct.pack(">HHIH", rtype, rclass, ttl, len(rdata)) + rdata


def message(qname, qtype, records=(), rcode=0, flags=0x8180, ancount=None, qdcount=1,
            extra=b"", additional=()):
    records = list(records)
    header = struct.pack(">HHHHHH", 0xBEEF, flags | rcode, qdcount,
                         len(records) if ancount is None else ancount, 0, len(additional))
    question = qname + struct.pack(">HH", qtype, 1)
    return header + question + b"".join(records) + extra + b"".join(additional)


def txt(*strings):
    return b"".join(bytes([len(s)]) + s for s in strings)


def loc(version=0, lat=0x80000000 + 3600000, lon=0x80000000 - 7200000, alt=10000000):
    return struct.pack(">BBBBIII", version, 0x12, 0x16, 0x13, lat, lon, alt)


def soa(mname, rname, numbers=(2024010101, 3600, 600, 86400, 300)):
    return mname + rname + struct.pack(">IIIII", *numbers)


def answer_seeds():
    q = wire("example.test")
    edns = b"\0" + struct.pack(">HHIH", OPT, 1232, 0, 0)
    seeds = {
        "a": message(q, A, [rr(ptr(QNAME), A, bytes([192, 0, 2, 1])),
                            rr(ptr(QNAME), A, bytes([192, 0, 2, 2]), ttl=0)], additional=[edns]),
        "a_uncompressed": message(q, A, [rr(q, A, bytes([10, 0, 0, 1]))]),
        "aaaa": message(q, AAAA, [rr(ptr(QNAME), AAAA, bytes.fromhex("20010db8" + "0" * 23 + "1"))]),
        "ns": message(q, NS, [rr(ptr(QNAME), NS, b"\x03ns1" + ptr(QNAME)),
                              rr(ptr(QNAME), NS, wire("ns2.other.test"))]),
        "cname_chain": message(wire("www.example.test"), A, [
            rr(ptr(QNAME), CNAME, b"\x04host" + ptr(QNAME + 4)),
            # host.example.test, the CNAME's data: after the question and the record's header.
            rr(ptr(QNAME + 18 + 4 + 12), A, bytes([192, 0, 2, 7]))]),
        "soa": message(q, SOA, [rr(ptr(QNAME), SOA, soa(b"\x02ns" + ptr(QNAME),
                                                         b"\x0ahostmaster" + ptr(QNAME)))]),
        "soa_max": message(q, SOA, [rr(ptr(QNAME), SOA, soa(wire("."), wire("."), (0xFFFFFFFF,) * 5))]),
        "ptr": message(wire("1.2.0.192.in-addr.arpa"), PTR, [
            rr(ptr(QNAME), PTR, wire("host.example.test")),
            rr(ptr(QNAME), PTR, labels(b"we.ird", b"back\\slash", b"\x11mark\x16", b"\xff\x00 "))]),
        "ptr_v6": message(wire(".".join("0123456789abcdef0123456789abcdef") + ".ip6.arpa"), PTR,
                          [rr(ptr(QNAME), PTR, wire("v6.example.test"))]),
        "mx": message(q, MX, [rr(ptr(QNAME), MX, struct.pack(">H", 10) + b"\x04mail" + ptr(QNAME)),
                              rr(ptr(QNAME), MX, struct.pack(">H", 65535) + wire("."))]),
        "txt": message(q, TXT, [
            rr(ptr(QNAME), TXT, txt(b"v=spf1 -all", b"", "caf\u00e9 \u4e2d\U0001F600".encode())),
            rr(ptr(QNAME), TXT, txt(b"ctl\x00\x01\x1f\x7f", b"\x11marked\x16", b"bad\xc3\x28\xed\xa0\x80\xf4\x90\x80\x80\xc2\x80")),
            rr(ptr(QNAME), TXT, txt(b"x" * 255, b"y" * 255)),
            rr(ptr(QNAME), TXT, b"")]),
        "loc": message(q, LOC, [rr(ptr(QNAME), LOC, loc()),
                                rr(ptr(QNAME), LOC, loc(lat=0, lon=0xFFFFFFFF, alt=0))]),
        "unknown_type": message(q, A, [rr(ptr(QNAME), 99, b"anything"),
                                       rr(ptr(QNAME), 65535, b""),
                                       rr(ptr(QNAME), A, bytes(4))]),
        "mixed_types": message(q, TXT, [rr(ptr(QNAME), AAAA, bytes(16)), rr(ptr(QNAME), TXT, txt(b"t")),
                                        rr(ptr(QNAME), MX, b"\0\1" + ptr(QNAME))]),
        "case_question": message(wire("ExAmPlE.TeSt"), A, [rr(ptr(QNAME), A, bytes([1, 2, 3, 4]))]),
        "root_question": message(wire("."), NS, [rr(b"\0", NS, wire("a.root.test"))]),
        "no_answers": message(q, A, []),
        "nxdomain": message(q, A, [], rcode=3),
        "servfail": message(q, A, [], rcode=2),
        "refused": message(q, A, [], rcode=5),
        "rcode_15": message(q, A, [], rcode=15),
        "long_name": message(labels(*[b"a" * 63] * 3 + [b"b" * 61]), A,
                             [rr(ptr(QNAME), A, bytes(4))]),
        # Malformed: each stops the parser at one check.
        "bad_short_header": bytes.fromhex("beef8180000100"),
        "bad_not_response": message(q, A, [rr(ptr(QNAME), A, bytes(4))], flags=0x0100),
        "bad_two_questions": message(q, A, [rr(ptr(QNAME), A, bytes(4))], qdcount=2),
        "bad_question_cut": message(q, A)[:20],
        "bad_answer_count": message(q, A, [rr(ptr(QNAME), A, bytes(4))], ancount=3),
        "bad_rdlength_past_end": message(q, A, [rr(ptr(QNAME), A, bytes(4))])[:-2],
        "bad_a_length": message(q, A, [rr(ptr(QNAME), A, bytes(5))]),
        "bad_aaaa_length": message(q, AAAA, [rr(ptr(QNAME), AAAA, bytes(15))]),
        "bad_loc_version": message(q, LOC, [rr(ptr(QNAME), LOC, loc(version=1))]),
        "bad_soa_trailing": message(q, SOA, [rr(ptr(QNAME), SOA, soa(wire("a"), wire("b")) + b"\0")]),
        "bad_mx_short": message(q, MX, [rr(ptr(QNAME), MX, b"\0\1")]),
        "bad_txt_overrun": message(q, TXT, [rr(ptr(QNAME), TXT, b"\x05abc")]),
        "bad_ns_trailing": message(q, NS, [rr(ptr(QNAME), NS, wire("ns.test") + b"x")]),
        "bad_pointer_loop": message(q, NS, [rr(ptr(QNAME), NS, b"\x01a" + struct.pack(">H", 0xC000 | 12 + 14 + 4 + 12))]),
        "bad_pointer_self": message(q, A, [rr(ptr(12 + 14 + 4), A, bytes(4))]),
        "bad_pointer_past_end": message(q, A, [rr(ptr(0x3FFF), A, bytes(4))]),
        "bad_pointer_cut": message(q, A)[:-4] + b"\xc0",
        "bad_label_type": message(q, A, [rr(b"\x41abc\0", A, bytes(4))]),
        "bad_name_too_long": message(q, NS, [rr(ptr(QNAME), NS, labels(*[b"c" * 63] * 4))]),
        "bad_opt_in_answer": message(q, A, [rr(b"\0", OPT, b"", rclass=1232)]),
        "bad_question_mismatch": message(wire("other.test"), A, [rr(ptr(QNAME), A, bytes(4))]),
        "empty": b"",
    }
    return seeds


def split_seeds():
    lines = [
        "", "   ", '""', "/k/s x", "a/b", "//x", "/A:ftp://h/p", "/A:ftp:/x/y", '"a b" c',
        '" lead" "trail "', '"unclosed quote', "/P5,20", "/p:500m", "/P=500M", "/P;20", "/P5,",
        "/P0x10", "/P,1001", "/P,1000", "/px", "/P99999999999", "/P:4294967296m", "-p", "/P",
        "10", "0x1F", "0o17", "0o8", "4294967295", "4294967296", "-1", "0x0x5", "0X", "0o",
        "/a:fe80::1", "/$ /m 192.0.2.1 ::1", "/W:0x50 /N:chns? x", "tab\tsep\vvt\x0cff\r\nnl",
        "\u00e9t\u00e9 \u4e2d\u6587 \U0001F600 \u2028 \u3000ideographic",
    ]
    seeds = {f"line_{i:02d}": s.encode() for i, s in enumerate(lines)}
    # Chosen splitter flags (two bytes, little-endian) before the text.
    flagged = {
        "commas": (0x0002, ",a,,b ,"),
        "equals": (0x0010, "name = value x"),
        "equals_tight": (0x0010, 'name=value "q x" , y'),
        "equals_plain_quotes": (0x0410, 'n="a b" c'),
        "quote_to_colon": (0x000D, '/x"quoted value" /y'),
        "quote_to_colon_kept": (0x004D, '/x"q v" /ab"c"'),
        "rest_as_one": (0x4021, '/s /t rest "of the" line'),
        "keep_quotes": (0x0041, 'a"b c"d'),
        "no_trim": (0x0101, '"  padded  " x'),
        "plain_quotes": (0x0201, 'a "b c" d'),
        "exclude_lists": (0x0801, '/[!a b "c d"] e'),
        "rest_after_first": (0x1003, "/o first second, third"),
        "tabs": (0x2000, "\ta\t\tb\t"),
        "tabs_commas": (0x2002, "a,\tb,\t"),
        "all_flags": (0x7FFF, '/[!x] /y"z" a=b "c" d,e\tf'),
    }
    for name, (flags, text) in flagged.items():
        seeds[f"flags_{name}"] = struct.pack("<H", flags) + text.encode()
    raw = "/k\u00ff\U0010ffff x".encode("utf-32-le") + struct.pack("<i", -5) + struct.pack("<I", 0xD800)
    seeds["raw_characters"] = struct.pack("<H", 0x8005) + raw
    # Limits: more than 1024 arguments; more text than the 8192-character buffer holds.
    seeds["many_arguments"] = ("a " * 1100).encode()
    seeds["many_separators"] = struct.pack("<H", 0x0002) + b"," * 9000
    seeds["overflow"] = ("x" * 8200).encode()
    seeds["overflow_exact"] = ("y" * 8190 + " z").encode()
    seeds["many_switches"] = ("/p" * 3000).encode()
    return seeds


def command_seeds():
    lines = [
        "x.test", "/S x.test", "/K/S x.test", "/s /k /n:chs x.test y.test nowhere.test",
        "ns.test x.test y.test", "* x.test", "/$ ns.test x.test", "/P,3 x.test y.test",
        "/P5,20 x.test", "/p:10m,4 x.test y.test x.test", "/P,0 x.test", "/W:40 x.test",
        "/W x.test", "/W:240 /A x.test", "/N:? x", "/N:c? x", "/? x", "/??", "", "/sort",
        "/W1 a", "/Wabc", "/P,1001 x.test", "/px x.test", "-P x.test",
        "192.0.2.1", "/M 192.0.2.1 198.51.100.7", "/A:192.0.2.53 192.0.2.1 fe80::1",
        "/a=192.0.2.53/a:192.0.2.54 ::ffff:192.0.2.1", "/A:fe80::1 192.0.2.1", "/Ax 1.2.3.4",
        "/$ /m 2001:db8::1 bogus", '"x.test" "/S"', "x.test " * 40,
        " ".join(f"/A:10.0.0.{i}" for i in range(10)) + " 192.0.2.1",
    ]
    return {f"line_{i:02d}": s.encode() for i, s in enumerate(lines)}


def write(target, seeds):
    directory = os.path.join(CORPUS, target)
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)
    for name, data in seeds.items():
        with open(os.path.join(directory, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    write("fuzz_answer", answer_seeds())
    write("fuzz_split", split_seeds())
    write("fuzz_command", command_seeds())
