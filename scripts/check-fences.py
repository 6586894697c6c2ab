#!/usr/bin/env python3
"""Fence check: no Linux-only or GNUstep-only call in what a Mac compiles.

No compiler here ever sees the Apple branch of the code, so this reads it instead. The two trees
the Mac workflow builds are generated for Darwin (packaging/darwin-trees.sh); every source file
either compiles, tests included, and every header of ours they include, is reduced with unifdef
to what Apple's compiler would see (__APPLE__ and __MACH__ defined; __linux__, GNUstep and the
Linux-only macros the code tests for undefined). What remains, outside comments, must not use a
name from NAMES, and the command lines the tests hand to a shell must not run a command from
COMMANDS.

Usage: scripts/check-fences.py [FILE...]   (files given: only those, no trees generated)
Exit 0 when clean, 1 with one line per finding, 2 when the check itself cannot run.
"""

import json
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]

# Name (a regular expression for one identifier) and why a Mac lacks it.
NAMES = [
    (r"prctl", "Linux process control; macOS has no prctl"),
    (r"PR_SET_\w+", "prctl's options, Linux only"),
    (r"pidfd_\w+|SYS_pidfd_open", "process descriptors are Linux only (macOS: kqueue EVFILT_PROC)"),
    (r"__WALL", "a Linux wait flag for clone children"),
    (r"SOCK_CLOEXEC|SOCK_NONBLOCK", "Linux socket type flags (macOS: fcntl after socket)"),
    (r"pipe2", "Linux only (macOS: pipe, then fcntl FD_CLOEXEC)"),
    (r"accept4", "Linux only (macOS: accept, then fcntl)"),
    (r"O_PATH", "a Linux open flag"),
    (r"POLLRDHUP", "a Linux poll event (POLLHUP, or a read of 0, on both)"),
    (r"sigtimedwait", "macOS has no sigtimedwait"),
    (r"unshare", "Linux namespaces"),
    (r"CLONE_NEW\w*", "Linux namespaces"),
    (r"MS_(?:REC|PRIVATE|SLAVE|SHARED|BIND|MOVE|RDONLY|NOSUID|NODEV|NOEXEC|REMOUNT)",
     "Linux mount flags (macOS's mount takes MNT_* and four arguments)"),
    (r"epoll_\w+", "Linux event polling (macOS: kqueue)"),
    (r"inotify_\w+", "Linux file watching"),
    (r"signalfd", "Linux only"),
    (r"eventfd", "Linux only"),
    (r"timerfd_\w+", "Linux only"),
    (r"memfd_create", "Linux only"),
    (r"syscall|SYS_\w+", "raw system calls: deprecated on macOS, numbers differ"),
    (r"vfork", "deprecated in Apple's SDK since macOS 12 (an error under -Werror)"),
    (r"GSDebugAllocation\w*", "GNUstep's allocation counters; Apple's Foundation has none"),
]

# Commands a Mac lacks, as a test's shell command line would run them.
COMMANDS = [
    (r"setsid", "macOS ships no setsid command"),
    (r"timeout(?=\s+-?[0-9s])", "GNU coreutils' timeout; macOS has none"),
    (r"xvfb-run", "X virtual framebuffer, Linux only"),
    (r"unshare", "Linux namespaces"),
    (r"ip(?=\s+(?:-\S+\s+)*(?:link|addr|address|netns|route|rule|neigh)\b)",
     "iproute2, Linux only (macOS: ifconfig, route)"),
]

# Macros the code tests for that a Mac never defines: undefined, as for the system ones.
UNDEFINED = ["__linux__", "__linux", "linux", "__gnu_linux__", "GNUSTEP", "GNUSTEP_BASE_LIBRARY",
             "__GNUSTEP_RUNTIME__", "PR_SET_CHILD_SUBREAPER", "PR_SET_PDEATHSIG", "SYS_pidfd_open",
             "SYS_getdents64", "__WALL", "O_PATH", "POLLRDHUP", "SOCK_CLOEXEC", "SOCK_NONBLOCK",
             "CLONE_NEWNS", "CLONE_NEWNET", "CLONE_NEWPID", "CLONE_NEWUTS", "MS_PRIVATE"]
DEFINED = ["__APPLE__=1", "__MACH__=1"]

INCLUDE = re.compile(r'^\s*#\s*(?:include|import)\s*"([^"]+)"', re.M)


def fail(message):
    print("check-fences.py: " + message, file=sys.stderr)
    sys.exit(2)


def darwin_trees(scratch):
    """The compile commands of both Apple trees, generated into `scratch`."""
    script = '. packaging/darwin-trees.sh && kl_darwin_trees "$1"'
    subprocess.run(["sh", "-c", script, "sh", str(scratch)], cwd=ROOT, check=True)
    commands = []
    for tree in ("universal", "native"):
        path = scratch / tree / "compile_commands.json"
        if not path.is_file():
            fail(f"the {tree} Darwin tree did not generate:\n" +
                 (scratch / f"{tree}.log").read_text(errors="replace"))
        commands += json.loads(path.read_text())
    return commands


def include_dirs(command):
    words = command.get("arguments") or command["command"].split()
    dirs = []
    for i, word in enumerate(words):
        for flag in ("-I", "-isystem", "-iquote"):
            if word == flag and i + 1 < len(words):
                dirs.append(words[i + 1])
            elif word.startswith(flag) and len(word) > len(flag):
                dirs.append(word[len(flag):])
    return [Path(d) for d in dirs]


def shown(path):
    """The path from the checkout's root when it lies inside it."""
    try:
        return path.relative_to(ROOT)
    except ValueError:
        return path


def ours(path):
    try:
        path.resolve().relative_to(ROOT)
    except ValueError:
        return False
    return path.is_file() and not str(path.resolve().relative_to(ROOT)).startswith("build")


def compiled_files(commands):
    """Every file of ours the commands compile, and the headers of ours those include."""
    seen = set()
    pending = []
    for command in commands:
        source = Path(command["directory"], command["file"]).resolve()
        if ours(source):
            pending.append((source, include_dirs(command)))
    while pending:
        path, dirs = pending.pop()
        if path in seen:
            continue
        seen.add(path)
        for name in INCLUDE.findall(path.read_text(errors="replace")):
            for base in [path.parent] + dirs:
                candidate = (base / name).resolve()
                if ours(candidate):
                    pending.append((candidate, dirs))
                    break
    return sorted(seen)


def as_apple_sees_it(code):
    """`code` (comments and strings already blanked, so that unifdef is never confused by
    them) with what Apple's compiler would not see blanked out, lines kept in place."""
    arguments = ["unifdef", "-l"] + ["-D" + d for d in DEFINED] + ["-U" + u for u in UNDEFINED]
    done = subprocess.run(arguments, input=code.encode(), capture_output=True)
    if done.returncode > 1:
        fail("unifdef failed: " + done.stderr.decode(errors="replace"))
    return done.stdout.decode(errors="replace")


def split_code(text):
    """(code, strings): the text with comments and string literals blanked, and each string
    literal with its line number. Line breaks stay where they were."""
    code, strings = [], []
    i, line, n = 0, 1, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            i = n if end < 0 else end
            continue
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            line += text.count("\n", i, end)
            code.append("\n" * text.count("\n", i, end))
            i = end
            continue
        raw = re.match(r'(?:u8|u|U|L)?R"([^(\s]*)\(', text[i:i + 24])
        if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            close = ")" + raw.group(1) + '"'
            start = i + raw.end()
            end = text.find(close, start)
            end = n if end < 0 else end
            strings.append((line, text[start:end]))
            line += text.count("\n", i, end)
            code.append('""' + "\n" * text.count("\n", i, end))
            i = end + len(close)
            continue
        if c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            if c == '"':
                strings.append((line, text[i + 1:j]))
            code.append('""')
            i = j + 1
            continue
        if c == "\n":
            line += 1
        code.append(c)
        i += 1
    return "".join(code), strings


def findings(path, text):
    code, strings = split_code(text)
    before = code.split("\n")
    lines = as_apple_sees_it(code).split("\n")
    # A string on a line unifdef blanked is not compiled.
    strings = [(number, literal) for number, literal in strings
               if number <= len(lines) and (lines[number - 1].strip() or not before[number - 1].strip())]
    found = []
    for pattern, reason in NAMES:
        word = re.compile(r"(?<![\w$])(?:" + pattern + r")(?!\w)")
        for number, content in enumerate(lines, 1):
            # A preprocessor test for the name is a fence, not a use.
            if re.match(r"\s*#\s*(?:if|ifdef|ifndef|elif|include)\b", content):
                continue
            for match in word.finditer(content):
                found.append((number, match.group(0), reason))
    # A test's shell command lines: the command at a command's place.
    if "tests" in shown(path).parts:
        joined = [(number, literal) for number, literal in strings]
        for pattern, reason in COMMANDS:
            at_command = re.compile(r"(?:^|[;&|(`]\s*|\bexec\s+|\bsh -c\s+\\?[\"']?)(" +
                                    pattern + r")(?=\s)")
            for number, literal in joined:
                for match in at_command.finditer(literal):
                    found.append((number, match.group(1) + " (shell command)", reason))
    return sorted(set(found))


def main():
    if shutil.which("unifdef") is None:
        fail("unifdef is missing (scripts/deps.sh installs it)")
    if len(sys.argv) > 1:
        files = [Path(a).resolve() for a in sys.argv[1:]]
    else:
        with tempfile.TemporaryDirectory() as scratch:
            files = compiled_files(darwin_trees(Path(scratch)))
    total = 0
    for path in files:
        for number, name, reason in findings(path, path.read_text(errors="replace")):
            print(f"{shown(path)}:{number}: {name}: {reason}")
            total += 1
    print(f"fences: {len(files)} files a Mac compiles, {total} Linux- or GNUstep-only uses"
          " outside a fence")
    return 1 if total else 0


if __name__ == "__main__":
    sys.exit(main())
