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
cells, hides the cursor around each change (ESC[?25l ... ESC[?25h), and draws
blanks at the end of what it repaints by erasing the line and moving the
cursor right (ESC[K ESC[nC) instead of writing spaces. Dropping the escape
sequences would lose those blanks, so TEXT comes from replaying the cursor
movements on a grid of lines instead.
"""

import argparse
import codecs
import fcntl
import os
import pty
import re
import select
import signal
import struct
import sys
import termios
import time

PROMPT = "Press any key to continue..."
# Wide enough that no line wraps: a wrapped line would come back split in TEXT.
ROWS, COLUMNS = 50, 200

CSI = re.compile(r"\x1b\[([0-9;?]*)([@-~])")
# Operating system commands (the window title) end in BEL or ESC backslash.
OSC = re.compile(r"\x1b\][^\x07\x1b]*(?:\x07|\x1b\\)")


class Screen:
    """Lines of cells and a cursor: enough of a terminal for what Wine's console
    sends, with each character in one cell as Wine counts them."""

    def __init__(self):
        self.lines = [[]]
        self.row = 0
        self.column = 0
        self.pending = ""

    def _line(self):
        while len(self.lines) <= self.row:
            self.lines.append([])
        line = self.lines[self.row]
        if len(line) < self.column:
            line.extend(" " * (self.column - len(line)))
        return line

    def _put(self, char):
        line = self._line()
        if self.column < len(line):
            line[self.column] = char
        else:
            line.append(char)
        self.column += 1

    def _control(self, params, final):
        if params.startswith("?"):
            return  # modes such as showing and hiding the cursor
        numbers = [int(n) if n else 0 for n in params.split(";")] if params else []
        first = numbers[0] if numbers else 0
        if final == "C":
            self.column += max(first, 1)
        elif final == "D":
            self.column = max(self.column - max(first, 1), 0)
        elif final == "A":
            self.row = max(self.row - max(first, 1), 0)
        elif final == "B":
            self.row += max(first, 1)
        elif final == "G":
            self.column = max(first, 1) - 1
        elif final in "Hf":
            # Absolute positions count from the top of the visible window, which
            # has scrolled with every line past its height.
            top = max(len(self.lines) - ROWS, 0)
            self.row = top + max(first, 1) - 1
            self.column = (max(numbers[1], 1) - 1) if len(numbers) > 1 else 0
        elif final == "K":
            line = self._line()
            if first == 0:
                del line[self.column:]
            elif first == 1:
                line[: self.column] = " " * self.column
            else:
                line.clear()
        elif final == "J" and first == 2:
            top = max(len(self.lines) - ROWS, 0)
            del self.lines[top:]
        # Colours (m) and anything else leave the text alone.

    def feed(self, text):
        text = OSC.sub("", self.pending + text)
        self.pending = ""
        # An escape sequence cut in two by a read waits for its other half.
        cut = text.rfind("\x1b")
        if cut != -1 and not CSI.match(text, cut) and not OSC.match(text, cut):
            text, self.pending = text[:cut], text[cut:]
        position = 0
        for match in CSI.finditer(text):
            self._text(text[position : match.start()])
            self._control(match.group(1), match.group(2))
            position = match.end()
        self._text(text[position:])

    def _text(self, text):
        for char in text:
            if char == "\r":
                self.column = 0
            elif char == "\n":
                self.row += 1
                self._line()
            elif char == "\t":
                self.column = (self.column // 8 + 1) * 8
            elif char == "\b":
                self.column = max(self.column - 1, 0)
            elif char == "\x1b" or char < " " or char == "\x7f":
                continue
            else:
                self._put(char)

    def text(self):
        # Trailing blanks are invisible on a terminal, except up to where the
        # cursor rests: that is how a prompt's last space shows.
        lines = ["".join(line).rstrip(" ") for line in self.lines]
        if self.row < len(lines):
            lines[self.row] = lines[self.row].ljust(self.column)
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
        fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, COLUMNS, 0, 0))
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
    screen = Screen()
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
        screen.feed(decoder.decode(data))
        if not typed and PROMPT in screen.text():
            os.write(master, key)
            typed = True
    os.close(master)
    screen.feed(decoder.decode(b"", final=True))
    with open(args.raw, "wb") as out:
        out.write(raw)
    with open(args.text, "w", encoding="utf-8", newline="\n") as out:
        out.write(screen.text())
    return status


if __name__ == "__main__":
    sys.exit(main())
