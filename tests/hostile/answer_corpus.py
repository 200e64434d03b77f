"""The hostile answers of tests/hostile/answers/, read and put together for a question.

Each file there is one case: the answers a lying server gives, per query type, in the
notation that tests/hostile/answers/README.md describes. This module reads that notation for
the end-to-end server (hostile_server.py); tests/platform/resolver/AnswerCorpus.cpp reads it
for the in-process fake server of the platform tests.
"""

import os
import re
import struct

ANSWERS_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "answers")
SUFFIX = ".answer"
# The case whose answers stand in for the types another case does not name.
GOOD = "good"
ANY_TYPE = "*"

TYPES = {"A": 1, "NS": 2, "CNAME": 5, "SOA": 6, "PTR": 12, "MX": 15, "TXT": 16, "AAAA": 28,
         "LOC": 29}

_HEX = re.compile(r"([0-9a-fA-F]+)(?:\*([0-9]+))?\Z")
_POINTER = re.compile(r"@(\+?)([0-9]{1,9})\Z")
_OPTION = re.compile(r"(mute|none|other-id|udp-truncated|tcp-close)\Z"
                     r"|(delay|tcp-length)=([-+]?[0-9]{1,9})\Z")
# The limits both readers keep to.
MAX_REPEAT = 65535
MAX_DELAY_MS = 600000


class CorpusError(ValueError):
    pass


def wire_name(dotted):
    """The uncompressed wire form of a dotted ASCII name ("." or "" is the root)."""
    out = bytearray()
    for label in dotted.strip(".").split(".") if dotted.strip(".") else []:
        if not label or len(label) > 63 or not label.isascii():
            raise CorpusError(f"bad label in {dotted!r}")
        out.append(len(label))
        out += label.encode("ascii")
    out.append(0)
    return bytes(out)


def tokens(text):
    """The tokens of byte lines: quoted text (with an optional *N) stays one token, and the
    group brackets { } [ ] are tokens of their own."""
    out = []
    pos = 0
    while pos < len(text):
        c = text[pos]
        if c.isspace():
            pos += 1
        elif c in "{}[]":
            out.append(c)
            pos += 1
        elif c == '"':
            end = text.find('"', pos + 1)
            if end < 0:
                raise CorpusError(f"unclosed quote in {text!r}")
            stop = end + 1
            while stop < len(text) and not text[stop].isspace() and text[stop] not in '{}[]"':
                stop += 1
            out.append(text[pos:stop])
            pos = stop
        else:
            stop = pos
            while stop < len(text) and not text[stop].isspace() and text[stop] not in '{}[]"':
                stop += 1
            out.append(text[pos:stop])
            pos = stop
    return out


def strip_comment(line):
    """The line without its comment: a # outside quotes up to the line's end."""
    quoted = False
    for i, c in enumerate(line):
        if c == '"':
            quoted = not quoted
        elif c == "#" and not quoted:
            return line[:i]
    return line


def check_tokens(items):
    """Raises CorpusError for any token the assembler would not take."""
    assemble(items, wire_name("check.test") + b"\x00\x01\x00\x01")


def assemble(items, question):
    """The bytes of a message or datagram for a query whose question section (name, type,
    class; the name uncompressed) is question."""
    qname = question[:-4]
    past_question = 12 + len(question)
    out = bytearray()
    groups = []  # (position of the length, bytes of the length)
    for item in items:
        if item in ("{", "["):
            groups.append((len(out), 2 if item == "{" else 1))
            out += bytes(groups[-1][1])
        elif item in ("}", "]"):
            if not groups or groups[-1][1] != (2 if item == "}" else 1):
                raise CorpusError(f"unmatched {item!r}")
            at, size = groups.pop()
            length = len(out) - at - size
            if length >= 1 << (8 * size):
                raise CorpusError(f"group of {length} bytes")
            out[at : at + size] = length.to_bytes(size, "big")
        elif item == "question":
            out += question
        elif item == "question-upper":
            out += qname.upper() + question[-4:]
        elif item == "qname":
            out += qname
        elif item.startswith('"'):
            text, _, count = item[1:].partition('"')
            if count and not (count.startswith("*") and count[1:].isdigit()
                              and len(count) <= 10 and int(count[1:]) <= MAX_REPEAT):
                raise CorpusError(f"bad repeat in {item!r}")
            if not all(" " <= c <= "~" for c in text):
                raise CorpusError(f"text other than printable ASCII in {item!r}")
            out += text.encode("ascii") * (int(count[1:]) if count else 1)
        elif item.startswith("name:"):
            out += wire_name(item[5:])
        elif _POINTER.match(item):
            relative, number = _POINTER.match(item).groups()
            offset = int(number) + (past_question if relative else 0)
            if offset > 0x3FFF:
                raise CorpusError(f"pointer {item} out of range")
            out += struct.pack("!H", 0xC000 | offset)
        elif _HEX.match(item) and len(_HEX.match(item).group(1)) % 2 == 0:
            digits, count = _HEX.match(item).groups()
            if count and (len(count) > 9 or int(count) > MAX_REPEAT):
                raise CorpusError(f"bad repeat in {item!r}")
            out += bytes.fromhex(digits) * (int(count) if count else 1)
        else:
            raise CorpusError(f"unknown token {item!r}")
    if groups:
        raise CorpusError("unclosed group")
    return bytes(out)


class Answer:
    """What the server does for a query of one type: junk datagrams over UDP (each (tokens,
    other_id)), then the message (tokens; None for none), with the options of its line."""

    def __init__(self):
        self.message = []
        self.junk = []
        self.none = False
        self.mute = False
        self.other_id = False
        self.udp_truncated = False
        self.tcp_close = False
        self.tcp_length = 0
        self.delay_ms = 0


class Case:
    def __init__(self, name, names, answers):
        self.name = name
        self.names = names  # the questions it answers end to end
        self.answers = answers  # type number or ANY_TYPE -> Answer

    def answer(self, rtype):
        return self.answers.get(rtype) or self.answers.get(ANY_TYPE)


def query_type(text):
    if text == ANY_TYPE:
        return ANY_TYPE
    if text in TYPES:
        return TYPES[text]
    if text.isdigit() and 0 < int(text) < 65536:
        return int(text)
    raise CorpusError(f"unknown type {text!r}")


def parse(name, text):
    """One case file's text."""
    names = []
    answers = {}
    current = None  # the Answer whose lines follow
    target = None  # the token list that byte lines go to
    for number, raw in enumerate(text.splitlines(), 1):
        line = strip_comment(raw).rstrip()
        if not line.strip():
            continue
        try:
            if line[0].isspace():
                if target is None:
                    raise CorpusError("bytes outside an answer or junk")
                items = tokens(line)
                target.extend(items)
                continue
            words = line.split()
            if words[0] == "name":
                names += [w.lower().rstrip(".") for w in words[1:]]
            elif words[0] == "answer":
                current = Answer()
                types = [w for w in words[1:] if not _OPTION.match(w)]
                if not types:
                    raise CorpusError("answer without a type")
                for word in words[1:]:
                    option = _OPTION.match(word)
                    if option is None:
                        continue
                    if option.group(1):
                        setattr(current, option.group(1).replace("-", "_"), True)
                    elif option.group(2) == "delay":
                        current.delay_ms = int(option.group(3))
                        if not 0 <= current.delay_ms <= MAX_DELAY_MS:
                            raise CorpusError(f"delay out of range: {word}")
                    else:
                        current.tcp_length = int(option.group(3))
                        if abs(current.tcp_length) > 65535:
                            raise CorpusError(f"length out of range: {word}")
                for word in types:
                    rtype = query_type(word)
                    if rtype in answers:
                        raise CorpusError(f"two answers for {word}")
                    answers[rtype] = current
                target = current.message
            elif words[0] == "junk":
                if current is None or words[1:] not in ([], ["other-id"]):
                    raise CorpusError("junk belongs to an answer: 'junk' or 'junk other-id'")
                current.junk.append(([], words[1:] == ["other-id"]))
                target = current.junk[-1][0]
            else:
                raise CorpusError(f"unknown line {words[0]!r}")
        except CorpusError as error:
            raise CorpusError(f"{name}{SUFFIX}:{number}: {error}") from None
    for answer in answers.values():
        for items in [answer.message] + [junk for junk, _ in answer.junk]:
            try:
                check_tokens(items)
            except CorpusError as error:
                raise CorpusError(f"{name}{SUFFIX}: {error}") from None
    return Case(name, names or [f"{name}.hostile.test"], answers)


def load(directory=ANSWERS_DIR):
    """Every case of the folder, by case name."""
    cases = {}
    # In the order of the case names (as the platform tests' reader lists them).
    for name in sorted(f[: -len(SUFFIX)] for f in os.listdir(directory) if f.endswith(SUFFIX)):
        with open(os.path.join(directory, name + SUFFIX), encoding="utf-8") as f:
            cases[name] = parse(name, f.read())
    if GOOD not in cases:
        raise CorpusError(f"no {GOOD}{SUFFIX} in {directory}")
    return cases


def answer_for(cases, case, rtype):
    """The Answer of a case to a query type: its own, else its answer to any type, else the
    good case's."""
    return case.answer(rtype) or cases[GOOD].answer(rtype)
