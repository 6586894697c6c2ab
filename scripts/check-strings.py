#!/usr/bin/env python3
"""String table check: the panes' texts and their tables agree, in every language.

Fails when a key the code asks for is missing from a language's Localizable.strings, when a table
holds a key the code no longer asks for, when a language's table is missing, when the English
table's text differs from the English the code falls back to (the English texts stay byte for
byte), or when an alert the code can show (scripts/check-alerts.py finds them) has no row among the
alerts the panes translate. InfoPlist.strings holds the step's title, InstallerSectionTitle, and
nothing else.

Usage: scripts/check-strings.py [TABLES_DIR]   Exit 0 when all agree, 1 otherwise.
"""

import importlib.util
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
TABLES = ROOT / "installer" / "l10n"
LANGUAGES = ["en", "de", "fr", "es", "ja"]
LITERAL = r'"((?:[^"\\]|\\.)*)"'
KEY = re.compile(r"^(activation|validation|alert|tool)\.[A-Za-z0-9.%]+$")

spec = importlib.util.spec_from_file_location("check_alerts", ROOT / "scripts" / "check-alerts.py")
check_alerts = importlib.util.module_from_spec(spec)
spec.loader.exec_module(check_alerts)


def unescape(text):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t"}.get(m.group(1), m.group(1)), text)


def read_table(path):
    """A .strings file's entries, key to text; None when it cannot be read as one."""
    try:
        text = path.read_text(encoding="utf-8-sig")
    except (OSError, UnicodeDecodeError):
        return None
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    text = re.sub(r"^\s*//.*$", "", text, flags=re.M)
    entries = {}
    pattern = re.compile(r"\s*" + LITERAL + r"\s*=\s*" + LITERAL + r"\s*;")
    at = 0
    while text[at:].strip():
        m = pattern.match(text, at)
        if m is None:
            return None
        entries[unescape(m.group(1))] = unescape(m.group(2))
        at = m.end()
    return entries


def code_texts():
    """The keys the code asks for, each with the English it falls back to."""
    texts = {}
    codes = (ROOT / "installer" / "contract" / "KLToolExitCodes.h").read_text()
    count = int(re.search(r"kToolExitCodeCount = (\d+);", codes).group(1))
    table = check_alerts.function_body(codes, "kToolExitCodeTexts[kToolExitCodeCount] =")
    messages = ["".join(re.findall(LITERAL, e[0]))
                for e in re.findall(r"\{((?:\s*" + LITERAL + r"\s*)+),", table)]
    for path in sorted((ROOT / "installer").rglob("*")):
        if path.suffix not in (".mm", ".m", ".cpp", ".h"):
            continue
        source = path.read_text()
        for key, english in re.findall(r"KLPaneText\([^,]+,\s*@" + LITERAL + r",\s*@" + LITERAL,
                                       source):
            texts[key] = unescape(english)
        # The alerts' rows: {"key", "English" "continued"}.
        for m in re.finditer(r"\{" + LITERAL + r",\s*((?:\s*" + LITERAL + r")+)\}", source):
            if KEY.match(m.group(1)):
                texts[m.group(1)] = unescape("".join(re.findall(LITERAL, m.group(2))))
        for literal in re.findall(r"@?" + LITERAL, source):
            if KEY.match(literal) and "%d" in literal:
                for code in range(1, count):
                    texts[literal.replace("%d", str(code))] = messages[code]
            elif KEY.match(literal):
                texts.setdefault(literal, None)
    return texts


def main():
    tables = Path(sys.argv[1]) if len(sys.argv) > 1 else TABLES
    texts = code_texts()
    problems = []
    if len(texts) < 50:  # the code moved: say so rather than pass on too few
        problems.append(f"only {len(texts)} keys found in the code; update the check")
    for language in LANGUAGES:
        path = tables / f"{language}.lproj" / "Localizable.strings"
        table = read_table(path)
        if table is None:
            problems.append(f"{path}: missing or not a strings table")
            continue
        for key in sorted(set(texts) - set(table)):
            problems.append(f"{path}: no text for {key}")
        for key in sorted(set(table) - set(texts)):
            problems.append(f"{path}: {key} is no longer used by the code")
        if language == "en":
            for key, english in sorted(texts.items()):
                if english is not None and key in table and table[key] != english:
                    problems.append(f"{path}: {key} is {table[key]!r}, the code says {english!r}")
        info = tables / f"{language}.lproj" / "InfoPlist.strings"
        entries = read_table(info)
        if entries is None or set(entries) != {"InstallerSectionTitle"}:
            problems.append(f"{info}: must hold InstallerSectionTitle and nothing else")
    # Every alert the code can show has a row; "*Field*" and "N" as check-alerts.py writes them.
    rows = set()
    for key, english in texts.items():
        if key.startswith(("alert.", "tool.")) and english is not None:
            english = english.replace("%@", "N")
            english = re.sub(r"^(Activation key|Customer ID|Server URL|Proxy)( can only contain "
                             r"ASCII characters)$", r"*Field*\2", english)
            rows.add(english)
    for alert in sorted(check_alerts.code_alerts() - rows):
        problems.append(f"installer/l10n/KLPaneText.mm: the alert {alert!r} has no row")
    for problem in problems:
        print(problem)
    print(f"strings: {len(texts)} keys in the code, {len(LANGUAGES)} languages, "
          f"{len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
