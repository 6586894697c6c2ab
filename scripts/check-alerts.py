#!/usr/bin/env python3
"""Alert table check: every alert the panes can show is in docs/administrators.md's table.

The texts are taken from where the code keeps them: the activation checks' refusals
(KLActivationInput.mm), the key decoder's messages (KLKeyDecoder.cpp), the validation tool's
messages by exit code (KLToolExitCodes.h), the launch's own messages (KLValidationTool.cpp), the
configuration writer's (KLConfigWriter.cpp) and the validation pane's (ValidDlgPane.mm). In the
table's first column several alerts may share a row, separated by " / "; "*Field*" stands for a
field's name and "N" for a number.

Usage: scripts/check-alerts.py [TABLE_FILE]   Exit 0 when every alert is there, 1 otherwise.
"""

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
TABLE = ROOT / "docs" / "administrators.md"
LITERAL = r'"((?:[^"\\]|\\.)*)"'


def read(path):
    return (ROOT / path).read_text()


def function_body(text, signature):
    """The text of the function whose definition starts with `signature`, to its closing brace."""
    start = text.index(signature)
    depth, i = 0, text.index("{", start)
    for j in range(i, len(text)):
        depth += {"{": 1, "}": -1}.get(text[j], 0)
        if depth == 0:
            return text[i:j]
    return text[i:]


def code_alerts():
    alerts = set()
    checks = read("installer/ActDlg/KLActivationInput.mm")
    for literal in re.findall(r"Refuse\(refusal,\s*" + LITERAL, checks):
        alerts.add(literal)
    # Built from a field's name: "<name> can only contain ASCII characters".
    for literal in re.findall(r"std::string\(name\) \+ " + LITERAL, checks):
        alerts.add("*Field*" + literal)
    decoder = function_body(read("installer/ActDlg/KLKeyDecoder.cpp"), "KeyDecodeStatusMessage(")
    alerts.update(m for m in re.findall(r"return " + LITERAL, decoder) if m)
    codes = read("installer/contract/KLToolExitCodes.h")
    table = function_body(codes, "kToolExitCodeTexts[kToolExitCodeCount] =")
    for entry in re.findall(r"\{((?:\s*" + LITERAL + r"\s*)+),", table)[1:]:  # 0: no alert
        alerts.add("".join(re.findall(LITERAL, entry[0])))
    launch = read("installer/validation/KLValidationTool.cpp")
    alerts.update(re.findall(r'"(Launch script failed)"', launch))
    for literal in re.findall(r"snprintf\([^,]+,[^,]+,\s*" + LITERAL, launch):
        alerts.add(re.sub(r"%l?[du]", "N", literal))
    writer = read("installer/validation/KLConfigWriter.cpp")
    alerts.update(re.findall(r"ShowCriticalAlert\(" + LITERAL, writer))
    volume = function_body(writer, "const char* VolumePrefixMessage(")
    alerts.update(m for m in re.findall(r"return " + LITERAL, volume) if m)
    pane = read("installer/validation/ValidDlgPane.mm")
    # The pane's own alert, whatever wraps its English text (the language's table).
    for call in re.findall(r"ShowCriticalAlert\((.*?)\);", pane, re.S):
        alerts.add("".join(re.findall(LITERAL, call)))
    return alerts


def table_alerts(path):
    text = path.read_text()
    section = text[text.index("What every alert means"):]
    section = section[:section.index("\n#")] if "\n#" in section else section
    listed = set()
    for line in section.splitlines():
        cells = [c.strip() for c in re.split(r"(?<!\\)\|", line)[1:-1]]
        if len(cells) < 2 or cells[0] in ("Alert", "---"):
            continue
        for alert in cells[0].split(" / "):
            listed.add(alert.replace("\\|", "|").strip())
    return listed


def main():
    path = Path(sys.argv[1]) if len(sys.argv) > 1 else TABLE
    alerts = code_alerts()
    if len(alerts) < 30:  # the sources moved: say so rather than pass on too few
        print(f"check-alerts.py: only {len(alerts)} alerts found in the code; update the sources")
        return 1
    missing = sorted(alerts - table_alerts(path))
    for alert in missing:
        print(f"{path.relative_to(ROOT) if path.is_relative_to(ROOT) else path}: "
              f"alert not in the table: {alert}")
    print(f"alerts: {len(alerts)} in the code, {len(missing)} missing from the table")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
