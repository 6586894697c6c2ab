#!/usr/bin/env python3
"""Mutation check: applies one plausible fault at a time, rebuilds, runs the tests that guard
that code and reports whether they noticed (killed) or not (survived), then the kill rate.

The mutations run in a private copy of the tracked sources (build-mutate/src by default), never
in the working tree, so a concurrent build elsewhere never sees a mutated file. The mutated file
is restored from a kept copy after each run, also on an error or Ctrl-C.

Usage: tests/mutation/mutate.py [--list | --check] [--only ID[,ID...]] [--tests BINARY[,BINARY...]]
                         [--matrix FILE] [--build-dir DIR] [--head] [--verbose]

The faults are data in faults.py beside this file: adding one is appending a Mutation(...) there.
"""

import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


sys.path.insert(0, str(Path(__file__).resolve().parent))
from faults import MUTATIONS  # noqa: E402  (the list, beside this runner)


class Workspace:
    """A copy of the tracked sources with its own build directory."""

    def __init__(self, build_dir: Path, from_head: bool, verbose: bool):
        self.src = build_dir / "src"
        self.build = build_dir / "build"
        self.from_head = from_head
        self.verbose = verbose

    def sync(self):
        listing = ["git", "ls-files", "-z"] + ([] if self.from_head else ["-co", "--exclude-standard"])
        files = set(filter(None, subprocess.run(listing, cwd=ROOT, check=True,
                                                capture_output=True).stdout.decode().split("\0")))
        if self.src.is_dir():  # files gone from the tree leave the copy too
            for path in self.src.rglob("*"):
                if path.is_file() and str(path.relative_to(self.src)) not in files:
                    path.unlink()
        for name in sorted(files):
            if self.from_head:
                data = subprocess.run(["git", "show", "HEAD:" + name], cwd=ROOT,
                                      capture_output=True).stdout
            else:
                path = ROOT / name
                if not path.is_file():
                    continue
                data = path.read_bytes()
            target = self.src / name
            # Unchanged files keep their time stamps, so the build stays incremental.
            if not (target.is_file() and target.read_bytes() == data):
                target.parent.mkdir(parents=True, exist_ok=True)
                target.write_bytes(data)
            if (ROOT / name).is_file():  # scripts keep their execute bit
                shutil.copymode(ROOT / name, target)

    def run(self, args, timeout=None):
        out = None if self.verbose else subprocess.DEVNULL
        try:
            return subprocess.run(args, stdout=out, stderr=out, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return -1

    def configure(self):
        # The copy's own default preset, so that the mutants build as scripts/build.sh does.
        return self.run(["cmake", "--preset", "default", "-S", str(self.src),
                         "-B", str(self.build)])

    def build_targets(self, targets):
        # A test that is not a build target (a script ctest runs, such as the fence check's
        # fixtures) needs nothing built.
        listing = subprocess.run(["cmake", "--build", str(self.build), "--target", "help"],
                                 capture_output=True, text=True).stdout
        known = {line[4:].split()[0] for line in listing.splitlines() if line.startswith("... ")}
        targets = [t for t in targets if t in known]
        if not targets:
            return 0
        return self.run(["cmake", "--build", str(self.build), "-j1", "--target", *targets])

    def test(self, binaries):
        """Runs the tests of `binaries`; answers the exit status and the names of those that
        failed (ctest lists them at its end)."""
        regex = "^(" + "|".join(binaries) + ")\\."
        args = ["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", "ctest", "--test-dir",
                str(self.build), "-R", regex]
        try:
            done = subprocess.run(args, capture_output=True, text=True, timeout=900)
        except subprocess.TimeoutExpired:
            return -1, ["(timed out)"]
        if self.verbose:
            print(done.stdout, done.stderr)
        failed = [line.split(" - ", 1)[1].split(" (")[0].strip()
                  for line in done.stdout.splitlines() if " - " in line and line.startswith("\t")]
        return done.returncode, failed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--list", action="store_true", help="list the mutations and stop")
    parser.add_argument("--check", action="store_true",
                        help="check that each original text occurs exactly once in its file")
    parser.add_argument("--only", help="comma-separated mutation ids to run")
    parser.add_argument("--tests", help="comma-separated test binaries: only the mutations that "
                        "one of them should notice")
    parser.add_argument("--matrix", help="write which tests failed with each mutation to this "
                        "JSON file (to see which tests alone catch a fault)")
    parser.add_argument("--build-dir", default=str(ROOT / "build-mutate"))
    parser.add_argument("--head", action="store_true",
                        help="mutate the committed sources instead of the working tree")
    parser.add_argument("--verbose", action="store_true", help="show build and test output")
    opts = parser.parse_args()

    chosen = MUTATIONS
    if opts.only:
        wanted = set(opts.only.split(","))
        unknown = wanted - {m.id for m in MUTATIONS}
        if unknown:
            sys.exit("unknown mutation id(s): " + ", ".join(sorted(unknown)))
        chosen = [m for m in MUTATIONS if m.id in wanted]
    if opts.tests:
        wanted = set(opts.tests.split(","))
        chosen = [m for m in chosen if wanted & set(m.tests)]
    if opts.check:
        stale = [m for m in chosen if not (ROOT / m.file).is_file()
                 or (ROOT / m.file).read_text().count(m.original) != 1]
        for m in stale:
            print(f"{m.id:28} STALE in {m.file}")
        print(f"{len(chosen) - len(stale)} of {len(chosen)} apply")
        return 1 if stale else 0
    if opts.list:
        for m in chosen:
            print(f"{m.id:28} {m.file}  [{', '.join(m.tests)}]")
        return 0

    ws = Workspace(Path(opts.build_dir).resolve(), opts.head, opts.verbose)
    ws.sync()
    if ws.configure() != 0:
        sys.exit("configure failed")
    binaries = sorted({t for m in chosen for t in m.tests})
    if ws.build_targets(binaries) != 0 or ws.test(binaries)[0] != 0:
        sys.exit("the unmutated sources do not build or pass their tests: fix that first")

    # Ctrl-C and termination end the loop through the finally clause below.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    results = []
    matrix = {}  # mutation id -> the tests that failed with it in
    for m in chosen:
        path = ws.src / m.file
        kept = path.read_bytes()
        text = kept.decode()
        if text.count(m.original) != 1:
            print(f"{m.id:28} STALE (original text found {text.count(m.original)} times)")
            results.append((m, "stale"))
            continue
        started = time.time()
        try:
            path.write_text(text.replace(m.original, m.mutated))
            if ws.build_targets(m.tests) != 0:
                verdict = "no-build"
            else:
                status, failed = ws.test(m.tests)
                verdict = "killed" if status != 0 else "SURVIVED"
                matrix[m.id] = failed
        finally:
            path.write_bytes(kept)
        print(f"{m.id:28} {verdict:9} ({time.time() - started:.0f} s)", flush=True)
        results.append((m, verdict))

    ws.build_targets(binaries)  # leave the copy built from unmutated sources
    if opts.matrix:
        Path(opts.matrix).write_text(json.dumps(matrix, indent=1, sort_keys=True) + "\n")
    killed = sum(1 for _, v in results if v == "killed")
    counted = sum(1 for _, v in results if v in ("killed", "SURVIVED"))
    survivors = [m.id for m, v in results if v == "SURVIVED"]
    print(f"\nkilled {killed} of {counted} ({100.0 * killed / max(counted, 1):.0f}%)")
    if survivors:
        print("survived: " + ", ".join(survivors))
    others = [f"{m.id} ({v})" for m, v in results if v not in ("killed", "SURVIVED")]
    if others:
        print("not counted: " + ", ".join(others))
    return 0 if not survivors else 1


if __name__ == "__main__":
    sys.exit(main())
