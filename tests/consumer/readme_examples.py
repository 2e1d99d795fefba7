"""Runs the examples of README.md exactly as they stand there, so that the README cannot drift.

Usage: readme_examples.py SOURCE_DIR BUILD_DIR WORK_DIR

The blocks of the README's "Examples" section are taken in order: a C or Python block whose info
string names a file (```c first.c) is written to that file; the shell blocks run one after the
other in one bash, as a reader would type them into one terminal. They run in WORK_DIR, laid out
like the repository's top directory after scripts/run: build/run is BUILD_DIR and python is the
source tree's package. HOME is a directory of WORK_DIR, so that ~ stays inside it; the python3
the examples call is the interpreter running this script; no KAVRA_ variable is inherited.
"""

from __future__ import annotations

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

SECTION = "Examples"
SECTION_TEXT = re.compile(rf"^## {SECTION}[ \t]*\n(.*?)(?=^## |\Z)", re.M | re.S)
BLOCK = re.compile(r"^```(\S*)[ \t]*(\S*)[ \t]*\n(.*?)^```", re.M | re.S)


def example_blocks(readme: str) -> list[tuple[str, str, str]]:
    """(language, file name, text) of every fenced block in the section, in order."""
    section = SECTION_TEXT.search(readme)
    text = section.group(1) if section else ""
    if sum(line.startswith("```") for line in text.splitlines()) % 2:
        raise SystemExit(f"README: a block in the section '{SECTION}' is never closed")
    return BLOCK.findall(text)


def main() -> int:
    source, build, work = (Path(argument).resolve() for argument in sys.argv[1:4])
    blocks = example_blocks((source / "README.md").read_text(encoding="utf-8"))
    if not any(language == "sh" for language, _, _ in blocks):
        raise SystemExit(f"README: no shell block in the section '{SECTION}'")

    shutil.rmtree(work, ignore_errors=True)
    for directory in ("build", "home", "bin"):
        (work / directory).mkdir(parents=True)
    for link, target in (("build/run", build), ("python", source / "python"),
                         ("bin/python3", sys.executable)):
        (work / link).symlink_to(target)

    script = ["set -euxo pipefail"]
    for language, name, text in blocks:
        if language == "sh":
            script.append(text)
        elif name:
            (work / name).write_text(text, encoding="utf-8")
        else:
            raise SystemExit(f"README: a ```{language} block in '{SECTION}' names no file to write it to")

    env = {key: value for key, value in os.environ.items() if not key.startswith("KAVRA_")}
    env.update(HOME=str(work / "home"), PATH=f"{work / 'bin'}{os.pathsep}{env.get('PATH', '')}",
               PYTHONDONTWRITEBYTECODE="1")
    done = subprocess.run(["bash", "-c", "\n".join(script)], cwd=work, env=env, timeout=240)
    if done.returncode != 0:
        print(f"README example failed with exit code {done.returncode}", file=sys.stderr)
    return done.returncode


if __name__ == "__main__":
    sys.exit(main())
