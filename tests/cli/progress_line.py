#!/usr/bin/env python3
"""The progress line of a quiet run: drawn and erased on a terminal, absent
without one.

    progress_line.py GIFJOIN MAKE_EXAMPLE_SERIES
"""

import os
import pty
import re
import subprocess
import sys
import tempfile


def run(gifjoin, folder, stderr):
    return subprocess.run([gifjoin, "-q", "-o", "out.gif", "walk", "1", "40"], cwd=folder,
                          stdout=subprocess.PIPE, stderr=stderr, timeout=60)


def main():
    gifjoin, make_series = sys.argv[1], sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([make_series, "walk", "40"], cwd=folder, check=True,
                       stdout=subprocess.DEVNULL)
        main_end, terminal = pty.openpty()
        done = run(gifjoin, folder, terminal)
        os.close(terminal)
        shown = b""
        while True:
            try:
                chunk = os.read(main_end, 4096)
            except OSError:  # the terminal is gone
                break
            if not chunk:
                break
            shown += chunk
        os.close(main_end)
        text = shown.decode()
        drawn = re.findall(r"\rgifjoin: (\d+)/40 frames, \d+:\d\d left", text)
        if done.returncode != 0 or done.stdout:
            failures.append("quiet run: status %d, stdout %r" % (done.returncode, done.stdout))
        if not drawn:
            failures.append("no progress line on the terminal: %r" % text)
        # Erased at the end: blanks over the line, the cursor back at its start.
        if not re.search(r"\r +\r$", text):
            failures.append("the progress line is not erased: %r" % text[-80:])

        piped = run(gifjoin, folder, subprocess.PIPE)
        if piped.returncode != 0 or piped.stdout or piped.stderr:
            failures.append("without a terminal: status %d, stdout %r, stderr %r" % (
                piped.returncode, piped.stdout, piped.stderr))
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
