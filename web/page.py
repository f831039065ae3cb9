#!/usr/bin/env python3
"""Writes the page: web/nsuica.html with the program (emscripten's script, its WebAssembly
inline) in place of @PROGRAM@, the worker's script (web/worker.js) and the editor's
(web/editor.js) in place of @WORKER@ and @EDITOR@, the version in place of @PROJECT_VERSION@,
and the hashes that its Content-Security-Policy allows for its one script and its one style.

Usage: page.py TEMPLATE PROGRAM VERSION OUT"""

import base64
import hashlib
import os
import re
import sys


def csp_hash(text):
    return "'sha256-" + base64.b64encode(hashlib.sha256(text.encode()).digest()).decode() + "'"


def main(template, program, version, out):
    with open(template, encoding="utf-8") as f:
        page = f.read()
    folder = os.path.dirname(template)
    parts = {"@PROGRAM@": program, "@WORKER@": os.path.join(folder, "worker.js"),
             "@EDITOR@": os.path.join(folder, "editor.js")}
    page = page.replace("@PROJECT_VERSION@", version)
    for mark, path in parts.items():
        with open(path, encoding="utf-8") as f:
            code = f.read()
        # Each stands inside a <script> element: a closing tag in it would end the element.
        if "</script" in code.lower():
            sys.exit(f"page.py: {path} holds '</script', which would end the page's script early")
        page = page.replace(mark, code.strip())
    scripts = re.findall(r"<script>(.*?)</script>", page, re.S)
    styles = re.findall(r"<style>(.*?)</style>", page, re.S)
    if len(scripts) != 1 or len(styles) != 1:
        sys.exit(f"page.py: {template} must hold one <script> and one <style> to allow")
    page = page.replace("@SCRIPT_HASH@", csp_hash(scripts[0]))
    page = page.replace("@STYLE_HASH@", csp_hash(styles[0]))
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        f.write(page)


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
