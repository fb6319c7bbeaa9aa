"""Message frames of the archive protocol, as docs/frames.md writes them down.

A message is read lazily: the record decoder asks for bytes and the next frame is read
only when the current one is used up, because plain messages carry no end marker.
"""
import select
import socket
import struct
import time
import zlib

PLAIN_HEADER = 8
COMPRESSED_HEADER = 20
COMPRESSED_MARK = 0xFFFFFFFF
FRAME_MAX = 8192
PLAIN_LIMIT = 1 << 20
CONTINUATION = 0x1
LAST = 0x2
COMPRESS_MIN = 17
# Letters a reader of this peer understands: 'O' is a zlib stream, 'N' and 'D' are the
# record's bytes as they are.
KNOWN_LETTERS = {ord("O"), ord("N"), ord("D")}


class FrameError(Exception):
    """A frame that docs/frames.md does not allow; the byte stream is out of step."""


class Link:
    """One TCP connection with a read buffer; optionally sends in random small pieces."""

    def __init__(self, sock, rng=None, split=False):
        self.sock = sock
        self.buffer = bytearray()
        self.rng = rng
        self.split = split

    def recv_exact(self, n):
        while len(self.buffer) < n:
            chunk = self.sock.recv(max(65536, n - len(self.buffer)))
            if not chunk:
                raise EOFError("peer closed the connection")
            self.buffer += chunk
        data = bytes(self.buffer[:n])
        del self.buffer[:n]
        return data

    def readable(self, timeout):
        if self.buffer:
            return True
        ready, _, _ = select.select([self.sock], [], [], timeout)
        return bool(ready)

    def send(self, data):
        if not self.split:
            self.sock.sendall(data)
            return
        pos = 0
        while pos < len(data):
            n = self.rng.randint(1, 1500)
            self.sock.sendall(data[pos:pos + n])
            pos += n
            if self.rng.random() < 0.05:
                time.sleep(0.0005)

    def close(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()


class Frame:
    def __init__(self, number, compressed, letter, flags, payload):
        self.number = number
        self.compressed = compressed
        self.letter = letter
        self.flags = flags
        self.payload = payload


def read_frame(link):
    first, length = struct.unpack(">II", link.recv_exact(PLAIN_HEADER))
    if first == COMPRESSED_MARK:
        if length < COMPRESSED_HEADER or length > FRAME_MAX:
            raise FrameError("compressed frame length %d" % length)
        number, letter, flags = struct.unpack(">III", link.recv_exact(12))
        if (letter & 0xFF) not in KNOWN_LETTERS:
            raise FrameError("compression letter 0x%x" % letter)
        return Frame(number, True, letter & 0xFF, flags,
                     link.recv_exact(length - COMPRESSED_HEADER))
    if length < PLAIN_HEADER or length > PLAIN_LIMIT:
        raise FrameError("plain frame length %d" % length)
    return Frame(first, False, ord("N"), 0, link.recv_exact(length - PLAIN_HEADER))


class MessageIn:
    """The message that starts with the next frame, whatever its number."""

    def __init__(self, link):
        self.link = link
        frame = read_frame(link)
        # Leftovers of an earlier message cannot start one: skip them.
        while (frame.compressed and frame.flags & CONTINUATION) or \
                (not frame.compressed and not frame.payload):
            frame = read_frame(link)
        self.number = frame.number
        self.compressed = frame.compressed
        self.frames = 1
        self._load(frame)

    def _load(self, frame):
        self.frame = frame
        self.pos = 0
        if frame.compressed and frame.letter == ord("O") and not frame.flags & CONTINUATION:
            self.inflater = zlib.decompressobj()
        self.decoded = bytearray()

    def _next_frame(self):
        frame = read_frame(self.link)
        if frame.number != self.number or frame.compressed != self.compressed:
            raise FrameError("frame of message %d inside message %d" % (frame.number, self.number))
        if frame.compressed and (not frame.flags & CONTINUATION or frame.letter != self.frame.letter):
            raise FrameError("compressed frame without continuation or with another letter")
        self.frames += 1
        pending = self.decoded
        self._load(frame)
        self.decoded = pending

    def _inflates(self):
        return self.frame.compressed and self.frame.letter == ord("O")

    def get(self, n):
        while len(self.decoded) < n:
            if self.pos < len(self.frame.payload):
                chunk = self.frame.payload[self.pos:]
                self.pos = len(self.frame.payload)
                if self._inflates():
                    try:
                        self.decoded += self.inflater.decompress(chunk)
                    except zlib.error as e:
                        raise FrameError("corrupt compressed stream: %s" % e)
                else:
                    self.decoded += chunk
                continue
            if self.frame.compressed and self.frame.flags & LAST:
                raise FrameError("record needs bytes after the last frame")
            self._next_frame()
        data = bytes(self.decoded[:n])
        del self.decoded[:n]
        return data

    def finish(self):
        """Reads the rest of a compressed message up to its last frame."""
        while self.frame.compressed and not self.frame.flags & LAST:
            self._next_frame()
            self.pos = len(self.frame.payload)


def frame_bytes(number, payload, compress, rng=None):
    """The frames of one message as one byte string."""
    out = bytearray()
    if compress and len(payload) >= COMPRESS_MIN:
        stream = zlib.compress(payload)
        room = FRAME_MAX - COMPRESSED_HEADER
        pieces = []
        pos = 0
        while pos < len(stream):
            n = rng.randint(1, room) if rng else room
            pieces.append(stream[pos:pos + n])
            pos += n
        if rng and rng.random() < 0.3:
            pieces.append(b"")      # a last frame may hold no bytes
        for i, piece in enumerate(pieces):
            flags = (CONTINUATION if i else 0) | (LAST if i == len(pieces) - 1 else 0)
            out += struct.pack(">IIIII", COMPRESSED_MARK, COMPRESSED_HEADER + len(piece),
                               number, ord("O"), flags)
            out += piece
        return bytes(out)
    room = FRAME_MAX - PLAIN_HEADER
    pos = 0
    while True:
        n = rng.randint(1, room) if rng else room
        piece = payload[pos:pos + n]
        out += struct.pack(">II", number, PLAIN_HEADER + len(piece)) + piece
        pos += n
        if pos >= len(payload):
            return bytes(out)
