#!/usr/bin/env python3
"""The fence check on files of its own: what a Mac would compile is found, fenced code and
comments are not."""

import subprocess
import sys
import tempfile
from pathlib import Path

CHECK = Path(__file__).resolve().parents[2] / "scripts" / "check-fences.py"

FENCED = r'''// prctl, pipe2 and setsid named in a comment; /* epoll_wait( */ too.
#include <unistd.h>
#if __has_include(<sys/prctl.h>)
#include <sys/prctl.h>
#endif
#if defined(PR_SET_CHILD_SUBREAPER)
int a = prctl(PR_SET_CHILD_SUBREAPER, 1);
#endif
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
int b = pipe2(fds, O_CLOEXEC) + accept4(0, 0, 0, SOCK_CLOEXEC);
#elif defined(__APPLE__)
int b = pipe(fds);
#endif
#ifndef GNUSTEP
void Skip() { GTEST_SKIP() << "GSDebugAllocationCount is GNUstep's"; }
#else
int c = GSDebugAllocationCount(nil);
#endif
#ifdef __linux__
const char* step = "setsid sh -c 'sleep 1' &";
#endif
const char* words = "a timeout of 5 s; ip addresses; unshared";
int pipe2ish = 0, my_prctl = 1;
'''

UNFENCED = r'''#include <poll.h>
#ifdef __APPLE__
int x = vfork();
#endif
pollfd p{0, POLLRDHUP, 0};
const std::string step = "sleep 1 & setsid sh -c \"x\"; wait";
const std::string run = R"(ip link set lo up && timeout 5 true)";
#if defined(GNUSTEP) || defined(__APPLE__)
int n = GSDebugAllocationCount(nil);
#endif
'''

WANT = ["3: vfork", "5: POLLRDHUP", "6: setsid (shell command)", "7: ip (shell command)",
        "7: timeout (shell command)", "9: GSDebugAllocationCount"]


def run(directory, name, text):
    path = Path(directory, "tests", name)
    path.parent.mkdir(exist_ok=True)
    path.write_text(text)
    done = subprocess.run([sys.executable, str(CHECK), str(path)], capture_output=True, text=True)
    found = [": ".join(line[len(str(path)) + 1:].split(": ")[:2])
             for line in done.stdout.splitlines() if line.startswith(str(path) + ":")]
    return done.returncode, found


def main():
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        code, found = run(directory, "fenced.cpp", FENCED)
        if code != 0 or found:
            failures.append(f"fenced code: exit {code}, findings {found}")
        code, found = run(directory, "unfenced.cpp", UNFENCED)
        if code != 1 or sorted(found) != sorted(WANT):
            failures.append(f"unfenced code: exit {code}, findings {found}, wanted {WANT}")
    for failure in failures:
        print("FAILED: " + failure)
    print("fence check fixtures: " + ("failed" if failures else "ok"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
