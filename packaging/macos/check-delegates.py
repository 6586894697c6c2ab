#!/usr/bin/env python3
"""Every object passed to -setDelegate: in code that a Mac compiles adopts the protocol Apple's
headers type that delegate with (NSXMLParser -> NSXMLParserDelegate, ...): in Objective-C++,
clang refuses anything else, while GNUstep's untyped setters let it pass.

Usage: check-delegates.py FILE...   Prints each call it cannot prove right; exit 1 if any."""
import re
import sys

CALL = re.compile(r"\[\s*(\w+)\s+setDelegate:\s*(?:\(id\)\s*)?(\w+)\s*\]")


def declared_class(text, variable):
    """The class of `variable` from its declaration (`Type* variable`) or allocation."""
    if variable == "NSApp":
        return "NSApplication"
    for pattern in (rf"\b(\w+)\s*\*\s*{variable}\b", rf"\b{variable}\s*=\s*\[\[(\w+)\s+alloc\]"):
        found = re.search(pattern, text)
        if found:
            return found.group(1)
    return None


def adopted(sources, cls):
    """The protocols `cls` adopts in its @interface, across all files given."""
    for text in sources.values():
        found = re.search(rf"@interface\s+{cls}\s*:\s*\w+\s*<([^>]*)>", text)
        if found:
            return {p.strip() for p in found.group(1).split(",")}
    return set()


def main(paths):
    sources = {p: open(p, encoding="utf-8", errors="replace").read() for p in paths}
    faults = 0
    for path, text in sources.items():
        for call in CALL.finditer(text):
            receiver, delegate = call.groups()
            if delegate in ("nil", "NULL"):
                continue
            line = text.count("\n", 0, call.start()) + 1
            receiver_class = declared_class(text, receiver)
            delegate_class = "self" if delegate == "self" else declared_class(text, delegate)
            if delegate_class == "self":
                impl = [m for m in re.finditer(r"@implementation\s+(\w+)", text)
                        if m.start() < call.start()]
                delegate_class = impl[-1].group(1) if impl else None
            if receiver_class is None or delegate_class is None:
                print(f"{path}:{line}: cannot tell the classes of {receiver} and {delegate}")
                faults += 1
                continue
            protocol = receiver_class + "Delegate"
            if protocol not in adopted(sources, delegate_class):
                print(f"{path}:{line}: {delegate_class} is {receiver_class}'s delegate but does "
                      f"not adopt {protocol}")
                faults += 1
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
