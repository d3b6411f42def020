"""Runs the Python ctypes example of docs/c-api.md against the built shared
library, so the page shows code that works.
Usage: run_doc_snippet.py <docs/c-api.md> <path of libtervala.so>"""
import re
import sys

page, library = sys.argv[1], sys.argv[2]
text = open(page, encoding="utf-8").read()
section = text[text.index("## Python (ctypes)"):]
code = re.search(r"```python\n(.*?)```", section, re.S).group(1)
if '"libtervala.so"' not in code:
    sys.exit("the ctypes example no longer loads \"libtervala.so\"")
exec(compile(code.replace('"libtervala.so"', repr(library)), "c-api.md", "exec"))
