#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own.

The layers, lowest first: util, framework, {archive, product, controls}, net,
app (README, Layout). A folder may include its own headers and those of the
folders it stands on; tests and tools are outside the rule.
"""
import pathlib
import re
import sys

ALLOWED = {
    "util": {"util"},
    "framework": {"util", "framework"},
    "archive": {"util", "framework", "archive"},
    "product": {"util", "framework", "archive", "product"},
    "controls": {"util", "framework", "controls"},
    "net": {"util", "framework", "archive", "product", "net"},
    "app": {"util", "framework", "archive", "product", "controls", "net", "app", "res"},
    "res": {"res"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]*"')


def violations(root):
    for layer, allowed in sorted(ALLOWED.items()):
        for source in sorted((root / layer).rglob("*")):
            if source.suffix not in (".h", ".cpp", ".rc"):
                continue
            text = source.read_text(encoding="utf-8", errors="replace")
            for number, line in enumerate(text.splitlines(), 1):
                match = INCLUDE.match(line)
                if match and match.group(1) in ALLOWED and match.group(1) not in allowed:
                    yield f"{source.relative_to(root)}:{number}: {layer}/ includes {match.group(1)}/"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)
    found = list(violations(root))
    for line in found:
        print(line)
    print(f"{len(found)} include(s) against the layers" if found else "includes point one way")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
