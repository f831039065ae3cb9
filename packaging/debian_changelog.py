#!/usr/bin/env python3
"""Writes the Debian changelog: an entry for each release of CHANGELOG.md newer than the first
entry of HISTORY, newest first, then HISTORY, the entries written before CHANGELOG.md was their
source. An entry holds its release's points, as Debian writes them, and its date.

Usage: debian_changelog.py CHANGELOG.md HISTORY MAINTAINER OUT
"""

import datetime
import email.utils
import re
import sys
import textwrap

WIDTH = 78  # lintian wants at most 80 columns


def releases(markdown):
    """(version, date, points) of each release of CHANGELOG.md, newest first. A point is
    (depth, text): its lines joined, a nested point of its own at depth 1."""
    found, points = [], None
    for line in markdown.splitlines():
        if line.startswith("## "):
            heading = re.fullmatch(r"## (\S+) \((\d{4}-\d{2}-\d{2})\)", line)
            points = [] if heading else None
            if heading:
                found.append((heading[1], heading[2], points))
        elif points is None or not line.strip():
            continue
        elif re.match(r"\s*- ", line) or not points:
            depth = 1 if line.startswith(" ") else 0
            points.append((depth, re.sub(r"^\s*(- )?", "", line)))
        else:
            depth, text = points[-1]
            points[-1] = (depth, text + " " + line.strip())
    return found


def entry(package, version, released, points, maintainer):
    lines = [f"{package} ({version}) unstable; urgency=medium", ""]
    for depth, text in points:
        first = "  * " if depth == 0 else "    - "
        text = re.sub(r"`([^`]*)`", r'"\1"', text)  # no Markdown in a Debian changelog
        lines += textwrap.wrap(text, WIDTH, initial_indent=first,
                               subsequent_indent=" " * len(first), break_on_hyphens=False)
    lines += ["", f" -- {maintainer}  {email.utils.format_datetime(released)}", "", ""]
    return "\n".join(lines)


def main(changelog, history, maintainer, out):
    with open(history, encoding="utf-8") as f:
        earlier = f.read()
    package, last = re.match(r"(\S+) \((\S+)\)", earlier).groups()
    before = email.utils.parsedate_to_datetime(re.search(r"^ -- .*?>  (.*)$", earlier, re.M)[1])
    with open(changelog, encoding="utf-8") as f:
        newer = []
        for version, date, points in releases(f.read()):
            if version == last:
                break
            newer.insert(0, (version, date, points))
    entries = []
    for version, date, points in newer:
        # Each entry must be later than the one before: a release of the same day, by a minute.
        day = datetime.datetime.fromisoformat(date).replace(tzinfo=datetime.timezone.utc)
        before = max(day, before + datetime.timedelta(minutes=1))
        entries.insert(0, entry(package, version, before, points, maintainer))
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        f.write("".join(entries) + earlier)


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
