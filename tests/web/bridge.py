"""The WebSocket bridge between the browser's stand-in for navigator.serial
(serial_stand_in.js) and h8board's pseudo-terminal, for the browser rows.

One WebSocket connection is one open of the port. The bridge opens the
terminal at the first open and keeps it open until finish(): h8board ends
its run when the host lets the line go, and the page closes and opens the
port again for every change of bit rate.

  page -> bridge: binary = bytes for the line; text = JSON
                  {"open": {"baudRate": N, ...}}, {"signals": {...}}, {"close": true}
  bridge -> page: binary = bytes from the line (one message a read); text =
                  {"opened": true}, {"error": why}, {"lost": true}

Each open's bit rate goes onto the terminal (termios2, any rate), where the
board reads it as the host's rate. A pseudo-terminal carries no modem lines
(TIOCMSET on it fails with ENOTTY) and no break (it has no break control):
the signals the page sets are recorded for the rows, not applied. Bytes
from the board while the port is closed are dropped, as a closed port drops
them.
"""
import argparse
import asyncio
import fcntl
import json
import os
import signal
import socket
import struct
import sys
import termios
import threading

import websockets

# struct termios2 (asm-generic): four flag words, c_line, 19 control
# characters, then the input and output speeds.
_TERMIOS2 = struct.Struct("IIIIB19sII")
_TCGETS2 = 0x80000000 | (_TERMIOS2.size << 16) | (ord("T") << 8) | 0x2A
_TCSETS2 = 0x40000000 | (_TERMIOS2.size << 16) | (ord("T") << 8) | 0x2B
_CBAUD, _BOTHER = 0o010017, 0o010000
_CIBAUD = _CBAUD << 16


def set_raw_any_rate(fd, rate):
    """Raw 8N1 (as cfmakeraw) at any bit rate; False when the terminal
    does not take the rate to within 1%."""
    iflag, oflag, cflag, lflag, line, cc, _, _ = _TERMIOS2.unpack(
        fcntl.ioctl(fd, _TCGETS2, bytes(_TERMIOS2.size)))
    iflag &= ~(termios.IGNBRK | termios.BRKINT | termios.PARMRK | termios.ISTRIP | termios.INLCR |
               termios.IGNCR | termios.ICRNL | termios.IXON | termios.IXOFF)
    oflag &= ~termios.OPOST
    lflag &= ~(termios.ECHO | termios.ECHONL | termios.ICANON | termios.ISIG | termios.IEXTEN)
    cflag &= ~(termios.CSIZE | termios.PARENB | termios.CSTOPB | termios.CRTSCTS | _CBAUD | _CIBAUD)
    cflag |= termios.CS8 | termios.CREAD | termios.CLOCAL | _BOTHER
    cc = bytearray(cc)
    cc[termios.VMIN], cc[termios.VTIME] = 1, 0
    fcntl.ioctl(fd, _TCSETS2, _TERMIOS2.pack(iflag, oflag, cflag, lflag, line, bytes(cc), rate, rate))
    got = _TERMIOS2.unpack(fcntl.ioctl(fd, _TCGETS2, bytes(_TERMIOS2.size)))[7]
    return abs(got - rate) * 100 <= rate


class Bridge:
    """Serves ws://127.0.0.1:port (a free port unless given) for the line at
    path, on an event loop of its own thread. The counts are for the rows."""

    def __init__(self, path, port=0, log=None):
        self.path, self.port, self.log = path, port, log
        self.fd = None
        self.lost = False
        self.to_line = 0        # bytes the page sent that went onto the line
        self.from_line = 0      # bytes the board sent that went to the page
        self.dropped = 0        # bytes the board sent while the port was closed
        self.rates = []         # the bit rate of each open
        self.signals = []       # each setSignals, as sent
        self._current = None    # the connection of the open now
        self._queue = None      # what goes to that connection, in order
        self._loop = asyncio.new_event_loop()
        self._ready = threading.Event()
        self._thread = threading.Thread(target=self._serve, daemon=True)

    def start(self):
        self._thread.start()
        self._ready.wait(10)
        return "ws://127.0.0.1:%d" % self.port

    def finish(self):
        """Lets the line go (the board ends its run) and stops serving."""
        if self._thread.is_alive():
            self._loop.call_soon_threadsafe(self._stop.set_result, None)
            self._thread.join(10)

    def _note(self, text):
        if self.log:
            print("bridge: " + text, file=self.log, flush=True)

    def _serve(self):
        asyncio.set_event_loop(self._loop)
        self._loop.run_until_complete(self._main())

    async def _main(self):
        self._stop = self._loop.create_future()
        async with websockets.serve(self._connection, "127.0.0.1", self.port, max_size=None,
                                    compression=None) as server:
            self.port = server.sockets[0].getsockname()[1]
            self._ready.set()
            await self._stop
        self._release()

    def _release(self):
        if self.fd is not None:
            self._loop.remove_reader(self.fd)
            os.close(self.fd)
            self.fd = None

    def _open_line(self, rate):
        if self.fd is None:
            self.fd = os.open(self.path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK | os.O_CLOEXEC)
            self._loop.add_reader(self.fd, self._readable)
        return set_raw_any_rate(self.fd, rate)

    def _readable(self):
        try:
            data = os.read(self.fd, 65536)
        except BlockingIOError:
            return
        except OSError:  # EIO: the board closed its end
            data = b""
        if not data:
            self._lose()
        elif self._queue is not None:
            self.from_line += len(data)
            self._queue.put_nowait(data)
        else:
            self.dropped += len(data)

    def _lose(self):
        self._note("the line is lost")
        self.lost = True
        self._release()
        if self._queue is not None:
            self._queue.put_nowait(json.dumps({"lost": True}))

    async def _sender(self, ws, queue):
        while True:
            message = await queue.get()
            await ws.send(message)
            if isinstance(message, str) and "lost" in message:
                await ws.close()
                return

    async def _connection(self, ws, _path=None):
        ws.transport.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        queue, sender = None, None
        try:
            async for message in ws:
                if isinstance(message, bytes):
                    if queue is not None and not self.lost:
                        await self._write(message)
                    continue
                control = json.loads(message)
                if "open" in control:
                    rate = int(control["open"].get("baudRate", 0))
                    if self.lost:
                        await ws.send(json.dumps({"lost": True}))
                        return
                    try:
                        taken = rate > 0 and self._open_line(rate)
                    except OSError as error:
                        taken, why = False, str(error)
                    else:
                        why = "the line does not take %d bit/s" % rate
                    if not taken:
                        await ws.send(json.dumps({"error": why}))
                        continue
                    self.rates.append(rate)
                    self._note("open at %d bit/s" % rate)
                    queue = self._queue = asyncio.Queue()
                    self._current = ws
                    sender = asyncio.ensure_future(self._sender(ws, queue))
                    await ws.send(json.dumps({"opened": True}))
                elif "signals" in control:
                    self.signals.append(control["signals"])
                elif control.get("close"):
                    break
        except websockets.ConnectionClosed:
            pass
        finally:
            if self._current is ws:
                self._current = self._queue = None
            if sender is not None and not self.lost:
                sender.cancel()
            await ws.close()

    async def _write(self, data):
        view = memoryview(data)
        while view:
            try:
                n = os.write(self.fd, view)
            except BlockingIOError:
                await asyncio.sleep(0.0005)
                continue
            except (OSError, TypeError):  # the line went while writing
                return
            self.to_line += n
            view = view[n:]


def main():
    parser = argparse.ArgumentParser(description="WebSocket bridge to h8board's pseudo-terminal")
    parser.add_argument("line", help="the terminal h8board serves (its --link path)")
    parser.add_argument("--port", type=int, default=0, help="WebSocket port on 127.0.0.1 (default: a free one)")
    args = parser.parse_args()
    bridge = Bridge(args.line, args.port, log=sys.stderr)
    print(bridge.start(), flush=True)
    stop = threading.Event()
    for sig in (signal.SIGINT, signal.SIGTERM):
        signal.signal(sig, lambda *_: stop.set())
    stop.wait()
    bridge.finish()
    print("bridge: %d bytes to the line, %d from it" % (bridge.to_line, bridge.from_line), file=sys.stderr)


if __name__ == "__main__":
    main()
