#!/usr/bin/env python3
"""Runs a command in a pseudo-terminal, the way a user at a terminal would.

    pty_run.py [--timeout S] [--key KEY] [--stderr FILE] RAW TEXT -- COMMAND...

Everything the terminal receives goes to RAW as is, and to TEXT as the lines
a terminal would show. Once the command interpreter's pause prompt is on the
screen, KEY (default: Enter) is typed, once. With --stderr the command's
standard error goes to FILE rather than to the terminal, so that the noise of
libraries stays out of what is checked. The status is the command's, 124 if
it is still running after S seconds (default 60) and was stopped, or 125 if
it could not be started.

Wine's console does not copy a program's text to the terminal: it repaints
cells and moves the cursor, drawing blanks by erasing and skipping instead of
writing spaces. Dropping the escape sequences would lose those blanks, so
TEXT is what a terminal emulator (pyte) shows once it has replayed them.
"""

import argparse
import codecs
import fcntl
import os
import pty
import select
import signal
import struct
import sys
import termios
import time

import pyte

PROMPT = "Press any key to continue..."
# Wide enough that no line wraps, and tall enough that nothing scrolls away:
# a wrapped or lost line would not come back in TEXT.
ROWS, COLUMNS = 200, 200


def screen_text(screen):
    # Trailing blanks are invisible on a terminal, except up to where the
    # cursor rests: that is how a prompt's last space shows.
    lines = [line.rstrip(" ") for line in screen.display]
    lines[screen.cursor.y] = lines[screen.cursor.y].ljust(screen.cursor.x)
    while lines and not lines[-1]:
        lines.pop()
    return "\n".join(lines) + "\n"


def exit_status(wait_status):
    status = os.waitstatus_to_exitcode(wait_status)
    # Killed by a signal: reported as a shell would.
    return 128 - status if status < 0 else status


def stop(pid):
    """Stops what the command started in its terminal: its process group."""
    for sig, grace in ((signal.SIGTERM, 3.0), (signal.SIGKILL, 3.0)):
        try:
            os.killpg(pid, sig)
        except ProcessLookupError:
            pass
        deadline = time.monotonic() + grace
        while time.monotonic() < deadline:
            done, _ = os.waitpid(pid, os.WNOHANG)
            if done:
                return
            time.sleep(0.05)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--timeout", type=float, default=60.0)
    parser.add_argument("--key", default="\r")
    parser.add_argument("--stderr")
    parser.add_argument("--columns", type=int, default=COLUMNS)
    parser.add_argument("raw")
    parser.add_argument("text")
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()

    try:
        pid, master = pty.fork()
    except OSError as error:
        print(f"pty_run: {error}", file=sys.stderr)
        return 125
    if pid == 0:
        fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, args.columns, 0, 0))
        # Wine turns echo off only once something reads the console; a key typed
        # before that would be echoed by the terminal into what is checked.
        attributes = termios.tcgetattr(0)
        attributes[3] &= ~termios.ECHO
        termios.tcsetattr(0, termios.TCSANOW, attributes)
        try:
            if args.stderr:
                error_file = os.open(args.stderr, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
                os.dup2(error_file, 2)
                os.close(error_file)
            os.execvp(args.command[0], args.command)
        except OSError as error:
            print(f"pty_run: {args.command[0]}: {error}", file=sys.stderr)
        os._exit(125)

    key = args.key.encode()
    typed = False
    raw = bytearray()
    screen = pyte.Screen(args.columns, ROWS)
    stream = pyte.Stream(screen)
    decoder = codecs.getincrementaldecoder("utf-8")("replace")
    deadline = time.monotonic() + args.timeout
    status = None
    quiet_since = None
    while True:
        now = time.monotonic()
        if status is None:
            done, wait_status = os.waitpid(pid, os.WNOHANG)
            if done:
                status = exit_status(wait_status)
                quiet_since = None
        if now >= deadline:
            if status is None:
                stop(pid)
                status = 124
            break
        # Processes the command left behind (Wine's own services) may keep the
        # terminal open: once the command has ended, what is still to come
        # (Wine's console writes from a process of its own) arrives at once or
        # not at all.
        if status is not None and quiet_since is not None and now - quiet_since > 0.5:
            break
        ready, _, _ = select.select([master], [], [], 0.1)
        if not ready:
            if quiet_since is None:
                quiet_since = now
            continue
        quiet_since = None
        try:
            data = os.read(master, 65536)
        except OSError:  # EIO: the terminal's last user has gone
            data = b""
        if not data:
            if status is None:
                status = exit_status(os.waitpid(pid, 0)[1])
            break
        raw += data
        stream.feed(decoder.decode(data))
        if not typed and PROMPT in screen_text(screen):
            os.write(master, key)
            typed = True
    os.close(master)
    stream.feed(decoder.decode(b"", final=True))
    with open(args.raw, "wb") as out:
        out.write(raw)
    with open(args.text, "w", encoding="utf-8", newline="\n") as out:
        out.write(screen_text(screen))
    return status


if __name__ == "__main__":
    sys.exit(main())
