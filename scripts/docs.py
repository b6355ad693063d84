#!/usr/bin/env python3
"""Runs the commands of README.md and docs/*.md as a newcomer would.

    scripts/docs.py [FILE.md ...]

In a copy of the tree (the files git tracks, as a clone has them), with
HOME a fresh folder (so `cmake --install build --prefix ~/.local` and
~/.local/bin on the PATH stay inside it), each fenced block is taken in
order, file after file:

  ```sh             run by bash -euo pipefail from the copy's top; it must
                    succeed
  ```LANG PATH      written to PATH in the copy, for the blocks after it
                    (a program to compile, a manifest to read)

Other blocks (```c, ```text, ...) are read, not run. The README's test
command (the block that configures with -DLZ16_TESTS=ON) is what CI runs
itself, so it is left out here. Prints each block's place and seconds;
on a failure, its output, and exits 1.
"""
import os
import re
import subprocess
import sys
import tempfile
import time

FENCE = re.compile(r"^```(\S*)[ \t]*(\S*)[ \t]*$")


def blocks(path):
    """(line, language, path or "", text) of each fenced block of a file."""
    out, lines = [], open(path, encoding="utf-8").read().split("\n")
    k = 0
    while k < len(lines):
        m = FENCE.match(lines[k])
        if not m or not m.group(1):
            k += 1
            continue
        start, body = k + 1, []
        k += 1
        while k < len(lines) and lines[k].rstrip() != "```":
            body.append(lines[k])
            k += 1
        out.append((start, m.group(1), m.group(2), "\n".join(body) + "\n"))
        k += 1
    return out


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    files = sys.argv[1:] or ["README.md"] + sorted(
        os.path.join("docs", f) for f in os.listdir(os.path.join(top, "docs")) if f.endswith(".md"))
    with tempfile.TemporaryDirectory(prefix="lz16-docs.") as work:
        tree, home = os.path.join(work, "tree"), os.path.join(work, "home")
        os.makedirs(tree), os.makedirs(home)
        listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=top, check=True,
                                capture_output=True).stdout
        subprocess.run(["tar", "-cf", "-", "--null", "-T", "-"], cwd=top, input=listed, check=True,
                       stdout=open(os.path.join(work, "tree.tar"), "wb"))
        subprocess.run(["tar", "-xf", os.path.join(work, "tree.tar")], cwd=tree, check=True)
        env = dict(os.environ, HOME=home, PATH=os.path.join(home, ".local", "bin") + os.pathsep + os.environ["PATH"])
        ran = 0
        for name in files:
            for line, language, target, text in blocks(os.path.join(top, name)):
                where = f"{name}:{line}"
                if target:
                    dest = os.path.join(tree, target)
                    os.makedirs(os.path.dirname(dest) or ".", exist_ok=True)
                    open(dest, "w", encoding="utf-8").write(text)
                    continue
                if language != "sh":
                    continue
                if "-DLZ16_TESTS=ON" in text:
                    print(f"{where}: the test command, which CI runs itself", flush=True)
                    continue
                started = time.monotonic()
                r = subprocess.run(["bash", "-euo", "pipefail", "-c", text], cwd=tree, env=env,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
                if r.returncode != 0:
                    print(f"{where}: exit status {r.returncode}\n--- the block\n{text}--- its output\n{r.stdout}")
                    return 1
                print(f"{where}: ok ({time.monotonic() - started:.1f} s)", flush=True)
                ran += 1
        print(f"{ran} blocks of commands ran")
    return 0


if __name__ == "__main__":
    sys.exit(main())
