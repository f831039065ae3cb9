#!/usr/bin/env python3
"""The documents that explain the program's messages quote every one of them, in the words the
program prints and no others. A quote may put K, L, C, N, X or an example in a message's
varying places, break it over lines, and give a reason of an open failure without its path."""

import os
import re
import unittest

from messages import MESSAGES

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DOCUMENTS = ("LEIA-ME.txt", "packaging/nsuica.1", "docs/messages.md")
PLACES = {
    "K": r"(?:[A-Z]|\d+)", "L": r"(?:[A-Z]|\d+)", "C": r"(?:[A-Z]|\d+)", "N": r"(?:[A-Z]|\d+)",
    "X": r"[0-9A-FX]{4,6}", "path": r"\S[^\n]*?", "name": r'[^"\n]+', "target": r'[^"\n]+',
    "what": r"(?:[^\n]|\n(?![ \t]*\n)){1,100}?",  # within a paragraph
}


def pattern(line):
    """A regular expression for `line` as the documents may quote it."""
    message = line.strip()
    parts = re.split(r"\{(\w+)\}", message)
    words = [r"\s+".join(map(re.escape, fixed.split(" "))) if i % 2 == 0 else PLACES[fixed]
             for i, fixed in enumerate(parts)]
    text = "".join(words)
    if message.startswith("{path}: "):
        text = text.replace(PLACES["path"] + ":" + r"\s+", f"(?:{PLACES['path']}:\\s+)?", 1)
    if (message.startswith("{path}") or not line.endswith("\n")) and text.endswith(r"\."):
        text = text[: -len(r"\.")] + r"\.?"
    return text


def plain(name, text):
    """The text of a document as it reads: the manual page without roff, Markdown without its
    code marks."""
    if name.endswith(".md"):
        return text.replace("`", "")
    if not name.endswith(".1"):
        return text
    lines = []
    for line in text.splitlines():
        macro = re.match(r"\.(\w+)\s*(.*)", line)
        if line.startswith(".\\\""):
            continue
        if macro and macro[1] in ("B", "I", "BR", "IR", "RB", "RI", "BI", "IB"):
            words = [q or w for q, w in re.findall(r'"([^"]*)"|(\S+)', macro[2])]
            line = ("" if len(macro[1]) == 2 else " ").join(words)
        elif macro:
            line = ""
        lines.append(line)
    text = "\n".join(lines)
    for escape, char in (("\\-", "-"), ("\\(dq", '"'), ("\\(aq", "'"), ("\\&", ""), ("\\e", "\\")):
        text = text.replace(escape, char)
    return text


class DocumentsTest(unittest.TestCase):
    def test_quote_every_message_as_the_program_prints_it_and_no_other(self):
        patterns = {key: pattern(message) for key, message in MESSAGES.items()}
        # Where a document starts to quote a whole message: its first four words.
        start = "|".join(r"\s+".join(p.split(r"\s+")[:4]) for key, p in patterns.items()
                         if MESSAGES[key].strip()[0].isupper())
        for name in DOCUMENTS:
            with open(os.path.join(TOP, name), encoding="utf-8") as f:
                text = plain(name, f.read())
            for key, p in patterns.items():
                with self.subTest(document=name, message=key):
                    self.assertTrue(re.search(p, text), f"{name} does not quote {MESSAGES[key]!r}")
            for quoted in re.finditer(start, text):
                with self.subTest(document=name, quote=quoted[0]):
                    end = (text + "\n\n").find("\n\n", quoted.start())
                    self.assertTrue(
                        any(re.match(p, text[quoted.start() : end]) for p in patterns.values()),
                        f"{name} quotes a message the program does not print: "
                        f"{text[quoted.start():end][:160]!r}",
                    )


if __name__ == "__main__":
    unittest.main()
