#!/usr/bin/env python3
"""Measures how many small faults the core's tests catch.

Draws a fixed sample of mutants from the Qt-free core (src/base ... src/navigator):
each is one small change on one line — a flipped comparison, a swapped && or ||,
a swapped true or false, a bound moved by one, a dropped "!". For each it applies
the change, rebuilds the core's test programs, runs them until one fails, and puts
the line back. A mutant that does not compile is replaced by the next one drawn.

The sample depends on the seed and on the mutated lines only: each candidate is
ranked by a hash of the seed, its file, the text of its line and the change, so
lines added or removed elsewhere do not change which mutants are drawn, and the
same seed gives the same sample before and after the tests change.

    scripts/mutation_sample.py --build build-mutation [--seed 2026] [--count 60] [--jobs 2]

The build directory is configured here when it does not exist (core only, tests
on). Prints one line a mutant and "caught K of N" at the end; --list only shows
the sample."""

import argparse
import hashlib
import os
import re
import subprocess
import sys
import time

LAYERS = ["base", "platform", "text", "message", "config", "net", "store", "navigator"]
# Code a linked library does, or that only starts programs: left out of the sample.
SKIPPED_FILES = {"src/net/md5.cpp"}
# The test programs of the core, the quick ones first.
TEST_PROGRAMS = ["test_base", "test_text", "test_message", "test_config", "test_navigator", "test_platform",
                 "test_store", "test_net", "test_cli"]
LAYER_TESTS = {"base": "test_text", "platform": "test_platform", "text": "test_text", "message": "test_message",
               "config": "test_config", "net": "test_net", "store": "test_store", "navigator": "test_navigator"}
TEST_TIMEOUT = 300

# (name, pattern, replacement); a pattern matches in code with strings and comments blanked out.
OPERATORS = [
    ("<= to <", re.compile(r"(?<![<>=!-])<=(?!=)"), "<"),
    (">= to >", re.compile(r"(?<![<>=!-])>=(?!=)"), ">"),
    ("< to <=", re.compile(r"(?<=[\s\w)\]])\s<\s(?=[\w(!-])"), " <= "),
    ("> to >=", re.compile(r"(?<=[\s\w)\]])\s>\s(?=[\w(!-])"), " >= "),
    ("== to !=", re.compile(r"(?<![=!<>])==(?!=)"), "!="),
    ("!= to ==", re.compile(r"!=(?!=)"), "=="),
    ("&& to ||", re.compile(r"&&"), "||"),
    ("|| to &&", re.compile(r"\|\|"), "&&"),
    ("true to false", re.compile(r"\btrue\b"), "false"),
    ("false to true", re.compile(r"\bfalse\b"), "true"),
    ("+ 1 to - 1", re.compile(r"(?<=\w|\)|\])\s\+\s1\b(?!\.)"), " - 1"),
    ("- 1 to + 1", re.compile(r"(?<=\w|\)|\])\s-\s1\b(?!\.)"), " + 1"),
    ("drop !", re.compile(r"(?<![\w)\]!=])!(?=[\w(])"), ""),
]


def blank_strings_and_comments(line):
    """The line with string and character literals and a // comment replaced by blanks,
    so that positions stay where they were."""
    out, i, n = [], 0, len(line)
    while i < n:
        c = line[i]
        if line.startswith("//", i):
            out.append(" " * (n - i))
            break
        if c in "\"'":
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(c + " " * (j - i - 2) + (c if j - i >= 2 else ""))
            i = j
            continue
        out.append(c)
        i += 1
    return "".join(out)


def candidates(source):
    """Every possible mutant: (file, line text, occurrence of that text in the file, column,
    operator name, original, replacement)."""
    found = []
    for layer in LAYERS:
        folder = os.path.join(source, "src", layer)
        for name in sorted(os.listdir(folder)):
            if not name.endswith(".cpp"):
                continue
            relative = f"src/{layer}/{name}"
            if relative in SKIPPED_FILES:
                continue
            with open(os.path.join(source, relative), encoding="utf-8", errors="surrogateescape") as f:
                lines = f.read().split("\n")
            in_block_comment = False
            seen = {}
            for text in lines:
                occurrence = seen.get(text, 0)
                seen[text] = occurrence + 1
                stripped = text.strip()
                if in_block_comment:
                    in_block_comment = "*/" not in stripped
                    continue
                if stripped.startswith("/*"):
                    in_block_comment = "*/" not in stripped
                    continue
                if not stripped or stripped.startswith(("#", "//")) or "static_assert" in stripped:
                    continue
                code = blank_strings_and_comments(text)
                for op_name, pattern, replacement in OPERATORS:
                    for match in pattern.finditer(code):
                        found.append((relative, text, occurrence, match.start(), op_name, match.group(0), replacement))
    return found


def rank(seed, candidate):
    relative, text, occurrence, column, op_name, _, _ = candidate
    indent = len(text) - len(text.lstrip())
    key = f"{seed}\0{relative}\0{text.strip()}\0{occurrence}\0{column - indent}\0{op_name}"
    return hashlib.sha256(key.encode("utf-8", "surrogateescape")).hexdigest()


def apply(source, candidate):
    """Writes the mutant; returns the file's original text."""
    relative, text, occurrence, column, _, original, replacement = candidate
    path = os.path.join(source, relative)
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        content = f.read()
    lines = content.split("\n")
    index = [i for i, line in enumerate(lines) if line == text][occurrence]
    lines[index] = text[:column] + replacement + text[column + len(original):]
    with open(path, "w", encoding="utf-8", errors="surrogateescape") as f:
        f.write("\n".join(lines))
    return content


def restore(source, candidate, content):
    with open(os.path.join(source, candidate[0]), "w", encoding="utf-8", errors="surrogateescape") as f:
        f.write(content)


def configure(source, build):
    if os.path.exists(os.path.join(build, "build.ninja")):
        return
    subprocess.run(["cmake", "-S", source, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DQUILLMERE_CORE_ONLY=ON", "-DQUILLMERE_TESTS=ON", "-DQUILLMERE_BENCH=OFF"],
                   check=True, stdout=subprocess.DEVNULL)


def programs(build):
    existing = []
    for name in TEST_PROGRAMS:
        for folder in ("bin", "tests"):
            path = os.path.join(build, folder, name)
            if os.access(path, os.X_OK):
                existing.append((name, path))
                break
    return existing


def build_tests(build, jobs):
    targets = [name for name in TEST_PROGRAMS if name != "test_base"] + ["quillmere-cli"]
    result = subprocess.run(["ninja", "-C", build, "-j", str(jobs), *targets], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    return result.returncode == 0


def first_failing(build, layer, jobs=2):
    """The name of a test program that fails (or times out), or None. The layer's own
    program runs first, alone; the others then run `jobs` at a time, and the first
    failure stops the rest (they wait on servers and clocks more than on the processor)."""
    found = dict(programs(build))
    order = [LAYER_TESTS[layer]] + [name for name in TEST_PROGRAMS if name != LAYER_TESTS[layer]]
    order = [name for name in order if name in found]
    environment = dict(os.environ, CI="true")

    def run_group(names, width):
        waiting, running = list(names), {}
        try:
            while waiting or running:
                while waiting and len(running) < width:
                    name = waiting.pop(0)
                    process = subprocess.Popen([found[name], "--gtest_brief=1"], cwd=build, env=environment,
                                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                               start_new_session=True)
                    running[name] = (process, time.monotonic())
                time.sleep(0.05)
                for name, (process, began) in list(running.items()):
                    if process.poll() is None:
                        if time.monotonic() - began > TEST_TIMEOUT:
                            return name + " (timeout)"
                        continue
                    del running[name]
                    if process.returncode != 0:
                        return name
            return None
        finally:
            for process, _ in running.values():
                try:
                    os.killpg(process.pid, 9)
                except ProcessLookupError:
                    pass
                process.wait()

    return run_group(order[:1], 1) or run_group(order[1:], jobs)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--source", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser.add_argument("--build", default="build-mutation")
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--count", type=int, default=60)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--list", action="store_true", help="only show the mutants the seed draws")
    arguments = parser.parse_args()
    source = os.path.abspath(arguments.source)
    build = os.path.abspath(arguments.build)

    drawn = sorted(candidates(source), key=lambda c: rank(arguments.seed, c))
    if arguments.list:
        for c in drawn[:arguments.count]:
            print(f"{c[0]}: {c[4]}: {c[1].strip()}")
        return 0

    configure(source, build)
    if not build_tests(build, arguments.jobs) or first_failing(build, "base") is not None:
        print("the unchanged core does not build or its tests fail", file=sys.stderr)
        return 1
    caught = viable = stillborn = 0
    started = time.time()
    for candidate in drawn:
        if viable == arguments.count:
            break
        layer = candidate[0].split("/")[1]
        content = apply(source, candidate)
        try:
            if not build_tests(build, arguments.jobs):
                stillborn += 1
                continue
            viable += 1
            failing = first_failing(build, layer, arguments.jobs)
        finally:
            restore(source, candidate, content)
        caught += failing is not None
        verdict = f"caught by {failing}" if failing else "SURVIVED"
        print(f"{viable:3d} {candidate[0]}: {candidate[4]}: {candidate[1].strip()[:90]}  -> {verdict}", flush=True)
    build_tests(build, arguments.jobs)
    minutes = (time.time() - started) / 60
    print(f"seed {arguments.seed}: caught {caught} of {viable} ({stillborn} did not compile), {minutes:.0f} min")
    return 0


if __name__ == "__main__":
    sys.exit(main())
