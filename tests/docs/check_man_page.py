#!/usr/bin/env python3
"""The man page names everything a user may set or type that the README documents, and every
environment variable the program reads: the options of corvane and of the DNS and RDNS
commands, the variables and the keys.

    check_man_page.py SOURCE_DIR

The page is checked as man shows it (rendered with man -l), so roff markup cannot hide a name.
"""

import os
import re
import subprocess
import sys

# Code spans of the README that look like variables but belong to the build and test scripts
# or to the Windows registry: not the program's.
NOT_THE_PROGRAMS = {"BUILD_DIR", "TEST_TIMEOUT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"}

# Calls that read an environment variable by a literal name, in the program's sources.
READS = re.compile(r'(?:getenv|NonEmptyEnv|HostGetEnv|Variable\s*=)\s*\(?\s*L?"(\w+)"')


def readme_variables(readme):
    names = set()
    for span in re.findall(r"`([^`\n]+)`", readme):
        m = (re.fullmatch(r"([A-Z][A-Z0-9]*(?:_[A-Z0-9]+)+)(?:=\S*)?", span)
             or re.fullmatch(r"([A-Za-z_]\w*)=\S*", span))
        if m:
            names.add(m.group(1))
    names.update(re.findall(r"variables?\s+`([A-Za-z_]\w*)", readme))
    return names - NOT_THE_PROGRAMS


def readme_options(readme):
    """Options as the man page spells their start: /P[:t][,n] is /P, /A:addr is /A:."""
    options = set()
    for line in readme.splitlines():
        m = re.match(r"\| `(/[^`]+)`", line)  # a row of an option table
        if m:
            options.add(re.match(r"/[^\[:=]?:?", m.group(1)).group(0))
        options.update(re.findall(r"corvane (-{1,2}[a-z][\w-]*)", line))
    return options


def readme_keys(readme):
    return set(re.findall(r"Ctrl-(?:Break|\\|[A-Z]\b)", readme))


def source_variables(source_dir):
    names = set()
    for folder in ("platform", "host", "dns"):
        for root, _, files in os.walk(os.path.join(source_dir, folder)):
            for name in files:
                if name.endswith((".cpp", ".h")):
                    with open(os.path.join(root, name), encoding="utf-8") as f:
                        names.update(READS.findall(f.read()))
    return names


def rendered_page(path):
    env = dict(os.environ, MANWIDTH="400", LC_ALL="C.UTF-8")
    env.pop("MAN_KEEP_FORMATTING", None)
    text = subprocess.run(["man", "-l", path], capture_output=True, text=True, env=env,
                          check=True).stdout
    return text.replace("\u2010", "-").replace("\u2212", "-")


def shown(page, name):
    # A whole name: /A is not /A: and CORVANE_COLOR is not CORVANE_COLORS.
    tail = "" if name.endswith(":") else r"(?![\w:=])"
    return re.search(r"(?<![\w/-])" + re.escape(name) + tail, page) is not None


def main():
    source_dir = sys.argv[1]
    with open(os.path.join(source_dir, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    page = rendered_page(os.path.join(source_dir, "docs", "corvane.1"))
    wanted = {
        "option in the README": readme_options(readme),
        "variable in the README": readme_variables(readme),
        "key in the README": readme_keys(readme),
        "variable the program reads": source_variables(source_dir),
    }
    missing = [f"{kind} {name}" for kind, names in wanted.items() for name in sorted(names)
               if not shown(page, name)]
    for kind, names in wanted.items():
        print(f"{kind}: {' '.join(sorted(names))}")
    if missing:
        print("not in docs/corvane.1:\n  " + "\n  ".join(missing), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
