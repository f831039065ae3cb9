#!/usr/bin/env python3
"""The guide, the manual page and docs/messages.md quote every message of messages.py in the
program's words, and no other. A quote may put K, L, C, N, X or an example in a message's
varying places, break it over lines, and give a reason or a part without its end's period,
a reason without its path."""

import os
import re
import unittest

from messages import MESSAGES

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NUMBER = r"(?:[A-Z]|\d+)"
PLACES = {"K": NUMBER, "L": NUMBER, "C": NUMBER, "N": NUMBER, "X": r"[0-9A-FX]{4,6}",
          "path": r"\S[^\n]*?", "name": r'[^"\n]+', "target": r'[^"\n]+',
          "what": r"(?:[^\n]|\n(?![ \t]*\n)){1,100}?"}  # within a paragraph


def pattern(line):
    message = line.strip()
    parts = re.split(r"\{(\w+)\}", message)
    text = "".join(PLACES[part] if i % 2 else r"\s+".join(map(re.escape, part.split(" ")))
                   for i, part in enumerate(parts))
    if message.startswith("{path}"):
        text = f"(?:{PLACES['path']}:\\s+)?" + text[len(PLACES["path"]) + len(r":\s+"):]
    if message.startswith("{path}") or not line.endswith("\n"):
        text = re.sub(r"\\\.$", r"\.?", text)
    return text


def plain(name, text):
    """What the document says: the manual page without its macros and escapes, Markdown
    without its code marks."""
    if name.endswith(".1"):
        text = re.sub(r'^\.(?:[BI]|[BIR][BIR]) (.*)$', lambda m: m[1].replace('"', ""), text,
                      flags=re.M)
        text = re.sub(r"^\..*$", "", text, flags=re.M)
        for escape, char in (("\\-", "-"), ("\\(dq", '"'), ("\\(aq", "'"), ("\\&", "")):
            text = text.replace(escape, char)
    return text.replace("`", "")


class DocumentsTest(unittest.TestCase):
    def test_quote_every_message_as_the_program_prints_it_and_no_other(self):
        patterns = {key: pattern(message) for key, message in MESSAGES.items()}
        # A quote of a whole message begins with its first four words.
        begins = "|".join(r"\s+".join(p.split(r"\s+")[:4]) for key, p in patterns.items()
                          if MESSAGES[key].strip()[0].isupper())
        for name in ("LEIA-ME.txt", "packaging/nsuica.1", "docs/messages.md"):
            with open(os.path.join(TOP, name), encoding="utf-8") as f:
                text = plain(name, f.read()) + "\n\n"
            for key, p in patterns.items():
                self.assertTrue(re.search(p, text), f"{name} leaves out {MESSAGES[key]!r}")
            for quote in re.finditer(begins, text):
                paragraph = text[quote.start() : text.find("\n\n", quote.start())]
                self.assertTrue(any(re.match(p, paragraph) for p in patterns.values()),
                                f"{name} quotes what the program does not print: {paragraph!r}")


if __name__ == "__main__":
    unittest.main()
