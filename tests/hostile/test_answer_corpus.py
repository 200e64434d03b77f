#!/usr/bin/env python3
"""The two readers of tests/hostile/answers/ agree: for every case and every type the DNS
commands ask, the end-to-end server (answer_corpus.py) and the platform tests' fake server
(tests/platform/resolver/AnswerCorpus.cpp, through answer_corpus_dump) send the same bytes
with the same options.

    test_answer_corpus.py PATH_TO_ANSWER_CORPUS_DUMP
"""

import os
import subprocess
import sys
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import answer_corpus  # noqa: E402

DUMP = None
TYPES = [1, 2, 5, 6, 12, 15, 16, 28, 29]
# Questions of several lengths, so that pointers past the question move with it.
QUESTIONS = ["h.test", "question-capitals.hostile.test", "19.0.0.10.in-addr.arpa"]


def python_lines(question):
    cases = answer_corpus.load()
    lines = []
    for name, case in cases.items():
        for rtype in TYPES:
            answer = answer_corpus.answer_for(cases, case, rtype)
            section = answer_corpus.wire_name(question) + rtype.to_bytes(2, "big") + b"\x00\x01"
            message = b""
            if not answer.none and not answer.mute:
                message = answer_corpus.assemble(answer.message, section)
            lines.append(f"{name} {rtype} message {message.hex()}")
            for items, other_id in answer.junk:
                junk = answer_corpus.assemble(items, section).hex()
                lines.append(f"{name} {rtype} junk {junk}{' other-id' if other_id else ''}")
            lines.append(
                f"{name} {rtype} options mute={int(answer.mute)} none={int(answer.none)} "
                f"other-id={int(answer.other_id)} udp-truncated={int(answer.udp_truncated)} "
                f"tcp-close={int(answer.tcp_close)} tcp-length={answer.tcp_length} "
                f"delay={answer.delay_ms}")
    return lines


class BothReaders(unittest.TestCase):
    maxDiff = None

    def test_same_answers_for_every_case_and_type(self):
        for question in QUESTIONS:
            with self.subTest(question):
                dump = subprocess.run([DUMP, question], capture_output=True, text=True,
                                      check=True, timeout=60).stdout.splitlines()
                self.assertEqual(dump, python_lines(question))

    def test_bad_notation_is_refused(self):
        for text in ["answer A\n    0\n", "answer A\n    {00\n", "answer A\n    @16384\n",
                     "answer A\n    ]\n", "answer B\n", "    00\n", "junk\n",
                     "answer A\nanswer A\n", "answer A\n    \"x\n", "answer A\n    zz\n",
                     "answer A\n    \"caf\u00e9\"\n", "answer A\n    name:a..b\n"]:
            with self.subTest(text=text):
                with self.assertRaises(answer_corpus.CorpusError):
                    answer_corpus.parse("bad", text)


if __name__ == "__main__":
    DUMP = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
