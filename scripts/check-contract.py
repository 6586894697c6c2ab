#!/usr/bin/env python3
"""Checks tests/CONTRACT.md against the tree: every test it names must still exist, so a renamed
or folded test cannot silently leave a documented behaviour without its guard.

Each table row is `| ID | behaviour | guard |`. The guard is UNGUARDED or one or more references in
backticks:
  `tests/x/File.cpp: Suite.Name`         a TEST, TEST_F or TEST_P in that file
  `tests/x/File.cpp: Suite.Name[text]`   ... whose body holds `text` (a table row)
  `tests/e2e/e2e.sh: scenario`           a case of the script that tests/CMakeLists.txt runs
  `scripts/check-x.sh`                   a check that .ci/run runs (or tests/.../x.sh,
                                         packaging/.../check-x.sh); a tests/.../x.sh may
                                         instead be run by tests/CMakeLists.txt
Also checks docs/developers.md's table of the validation tool's exit codes against their one home,
installer/contract/KLToolExitCodes.h.
Usage: scripts/check-contract.py [CONTRACT]; exit 1 naming each line at fault.
"""

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
E2E = "tests/e2e/e2e.sh"

GTEST_REF = re.compile(r"^(tests/\S+\.(?:cpp|mm)): (\w+)\.(\w+)(?:\[(.+)\])?$")
E2E_REF = re.compile(r"^" + re.escape(E2E) + r": ([\w-]+)$")
CHECK_REF = re.compile(r"^(scripts/[\w.-]+|(?:tests|packaging)/[\w/.-]+\.sh)$")
TEST_START = re.compile(r"^\s*TEST(?:_F|_P)?\(\s*(\w+)\s*,\s*(\w+)\s*\)", re.M)


def cells(line):
    """The cells of a Markdown table row; "\\|" stays inside its cell."""
    parts = re.split(r"(?<!\\)\|", line.strip())[1:-1]
    return [p.strip() for p in parts]


def test_bodies(path, cache={}):
    """{(suite, name): body text} of the tests in a source file."""
    if path not in cache:
        text = (ROOT / path).read_text(errors="replace")
        starts = list(TEST_START.finditer(text))
        bodies = {}
        for i, m in enumerate(starts):
            end = starts[i + 1].start() if i + 1 < len(starts) else len(text)
            bodies[(m.group(1), m.group(2))] = text[m.start():end]
        cache[path] = bodies
    return cache[path]


def e2e_scenarios():
    script = (ROOT / E2E).read_text()
    cases = set(re.findall(r"^  ([\w-]+)\)$", script, re.M))
    cmake = (ROOT / "tests/CMakeLists.txt").read_text()
    listed = re.search(r"foreach\(scenario ([^)]*)\)", cmake)
    run = set(listed.group(1).split()) if listed else set()
    return cases, run


def check_ref(ref, ci_run):
    """The fault with one reference, or None."""
    m = GTEST_REF.match(ref)
    if m:
        path, suite, name, row = m.groups()
        if not (ROOT / path).is_file():
            return f"no file {path}"
        body = test_bodies(path).get((suite, name))
        if body is None:
            return f"no test {suite}.{name} in {path}"
        if row is not None and row.replace("\\|", "|") not in body:
            return f"no row holding [{row}] in {suite}.{name}"
        return None
    m = E2E_REF.match(ref)
    if m:
        cases, run = e2e_scenarios()
        if m.group(1) not in cases:
            return f"no scenario {m.group(1)} in {E2E}"
        if m.group(1) not in run:
            return f"scenario {m.group(1)} is not run by tests/CMakeLists.txt"
        return None
    m = CHECK_REF.match(ref)
    if m:
        if not (ROOT / ref).is_file():
            return f"no file {ref}"
        in_ctest = ref.startswith("tests/") and \
            ref[len("tests/"):] in (ROOT / "tests/CMakeLists.txt").read_text()
        if ref not in ci_run and not in_ctest:
            return f"{ref} is not run by .ci/run nor by tests/CMakeLists.txt"
        return None
    return f"not a reference: `{ref}`"


def exit_code_faults():
    """The developers' guide's table of the tool's exit codes against installer/contract/KLToolExitCodes.h,
    whose table the plug-in's messages and the tool's help are built from."""
    header = (ROOT / "installer/contract/KLToolExitCodes.h").read_text()
    table = header[header.index("kToolExitCodeTexts"):]
    literal = r'((?:\s*"(?:[^"\\]|\\.)*"\s*)+)'
    texts = [tuple("".join(re.findall(r'"((?:[^"\\]|\\.)*)"', part)) for part in pair)
             for pair in re.findall(r"\{" + literal + "," + literal + r"\}", table)]
    rows = {}
    for line in (ROOT / "docs/developers.md").read_text().splitlines():
        row = cells(line) if line.startswith("|") else []
        if len(row) == 3 and row[0].isdigit():
            rows[int(row[0])] = (row[1], row[2])
    faults = []
    for code, (message, meaning) in enumerate(texts):
        if rows.get(code) != (message, meaning):
            faults.append(f"docs/developers.md: exit code {code} does not read as in "
                          "KLToolExitCodes.h")
    if len(texts) != 19:
        faults.append(f"KLToolExitCodes.h: {len(texts)} exit codes read, 19 expected")
    return faults


def main():
    contract = Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "tests/CONTRACT.md"
    ci_run = (ROOT / ".ci/run").read_text()
    faults, ids = [], {}
    behaviours = unguarded = 0
    for number, line in enumerate(contract.read_text().splitlines(), 1):
        row = cells(line) if line.startswith("|") else []
        if len(row) != 3 or row[0] in ("ID", "") or set(row[0]) <= set("-"):
            continue
        where = f"{contract.name}:{number}"
        ident, _, guard = row
        if ident in ids:
            faults.append(f"{where}: {ident} already on line {ids[ident]}")
        ids[ident] = number
        behaviours += 1
        if guard == "UNGUARDED" or guard.startswith("UNGUARDED "):
            unguarded += 1
            continue
        refs = re.findall(r"`([^`]+)`", guard)
        rest = re.sub(r"`[^`]+`", "", guard).replace(";", "").strip()
        if not refs or rest:
            faults.append(f"{where}: {ident}: the guard must be UNGUARDED or `references`")
        for ref in refs:
            fault = check_ref(ref, ci_run)
            if fault:
                faults.append(f"{where}: {ident}: {fault}")
    faults += exit_code_faults()
    for fault in faults:
        print(fault, file=sys.stderr)
    print(f"{contract.name}: {behaviours} behaviours, {unguarded} unguarded, "
          f"{len(faults)} broken reference(s)")
    return 1 if faults or behaviours == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
