#!/usr/bin/env python3
"""Tests of the loopback peer through a small client of its own.

The client encodes requests and decodes replies straight from docs/wire.md and
docs/frames.md with struct and zlib; it shares no code with the peer, so a codec slip
on either side shows up here before the C++ tests lean on the peer.
"""
import json
import os
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

sys.dont_write_bytecode = True

HERE = os.path.dirname(os.path.abspath(__file__))
PEER = os.path.join(HERE, "peer.py")
TESTDATA = os.environ.get("QEL_TESTDATA_DIR", os.path.join(HERE, "..", "..", "..", "..", "testdata"))
BASIC = os.path.join(TESTDATA, "peer", "basic.json")

LEVEL_2219 = (0x50100000, 0x145)   # flag words of the newest level
LEVEL_2114 = (0x00100000, 0)


# --- encoding, from docs/wire.md ---------------------------------------------

def w(v):
    return struct.pack(">I", v & 0xFFFFFFFF)


def pad(b):
    return b + bytes((4 - len(b) % 4) % 4)


def text(s, hidden=False):
    if s is None:
        return w(0)
    units = s.encode("utf-16-be")
    if hidden:
        units = bytes(b ^ 0xFF for b in units)
    units += b"\0\0"
    return w(len(units)) + pad(units)


def byte(v):
    return bytes([v if isinstance(v, int) else ord(v), 0, 0, 0])


def long_(v, features):
    return struct.pack(">q", v) if features & 0x08 else struct.pack(">i", v)


def features_of(f1, f2):
    return ((1 if f1 & 0x00100000 else 0) | (2 if f1 & 0x40000000 else 0) |
            (4 if f2 & 0x001 else 0) | (8 if f2 & 0x040 else 0) | (16 if f2 & 0x100 else 0))


def field_definition(name, letter, number):
    out = text(name) + byte(letter) + byte(0)
    if letter == "S":
        out += w(40) + byte(ord("U"))
    return out + w(number) + w(0) + w(0) + text("") * 3


def application_group(number, fields):
    out = w(number) + text("INV") + text("desc") + text("INV") + w(0) + byte("D") + w(1000)
    out += byte(0) + w(3) + byte(0) + w(0) * 7 + w(0)
    out += w(len(fields)) + b"".join(field_definition(n, t, i + 1) for i, (n, t) in enumerate(fields))
    return out + w(0) + w(0) * 3 + text("")


def object_ref(name):
    return w(0) * 4 + byte("O") + byte(0) + w(0) + w(0) + w(0) + text(name)


class Client:
    """One connection that sends whole request records and reads reply records."""

    def __init__(self, port, levels=LEVEL_2219):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.buffer = b""
        self.number = 0
        self.features = 0
        self.flags1, self.flags2 = levels
        self.session = bytes(64)
        self.user = "ALICE"
        self.logon = None   # (user number, group list) for the handle part

    def close(self):
        self.sock.close()

    # request record
    def header(self, code, send_window=0, reply_window=0, handle=True):
        out = b""
        if handle:
            out += w(0) + w(self.flags1) + w(0) + w(2) + w(1208)
            out += text(self.user) + text("") + w(4242)
            if self.logon:
                out += w(0) + w(self.logon[0]) + text(self.logon[1]) + w(0) + long_(0, self.features)
            else:
                out += w(1)
            if self.flags1 & 0x40000000:
                out += w(self.flags2)
            self.features = features_of(self.flags1, self.flags2)
        else:
            out += w(1)
        out += w(code) + w(send_window) + w(reply_window)
        if self.features & 1:
            out += w(0xFFFFFFFF)
        out += text(None)
        if self.features & 16:
            out += self.session
        return out

    def send(self, record, compress=False, frame_size=8184):
        self.number += 1
        if compress:
            stream = zlib.compress(record)
            chunks = [stream[i:i + 8172] for i in range(0, len(stream), 8172)]
            for i, c in enumerate(chunks):
                flags = (1 if i else 0) | (2 if i == len(chunks) - 1 else 0)
                self.sock.sendall(struct.pack(">IIIII", 0xFFFFFFFF, 20 + len(c), self.number,
                                              ord("O"), flags) + c)
            return
        for i in range(0, len(record), frame_size):
            c = record[i:i + frame_size]
            self.sock.sendall(struct.pack(">II", self.number, 8 + len(c)) + c)

    # frames
    def recv_exact(self, n):
        while len(self.buffer) < n:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError("closed")
            self.buffer += chunk
        out, self.buffer = self.buffer[:n], self.buffer[n:]
        return out

    def read_message(self):
        """The payload of the next message and its frame kinds; plain messages are read
        frame by frame only as the reply decoder asks, so the reader is returned."""
        return Reader(self)

    def reply(self, group_fields=None):
        r = self.read_message()
        return r, decode_reply(r, self.features, group_fields)


class Reader:
    def __init__(self, client):
        self.client = client
        self.data = b""
        self.frames = []
        self.inflater = None
        self.last = False
        # The unread end of the message before (an empty last frame) cannot start one.
        while not self._frame(start=True):
            pass

    def _frame(self, start=False):
        first, length = struct.unpack(">II", self.client.recv_exact(8))
        if first == 0xFFFFFFFF:
            number, letter, flags = struct.unpack(">III", self.client.recv_exact(12))
            payload = self.client.recv_exact(length - 20)
            if start and flags & 1:
                return False
            self.frames.append(("C", number, flags))
            if not flags & 1:
                self.inflater = zlib.decompressobj()
            self.data += self.inflater.decompress(payload)
            self.last = bool(flags & 2)
            return True
        payload = self.client.recv_exact(length - 8)
        if start and not payload:
            return False
        self.frames.append(("P", first, 0))
        self.data += payload
        return True

    @property
    def number(self):
        return self.frames[0][1]

    def take(self, n):
        while len(self.data) < n:
            if self.frames[-1][0] == "C" and self.last:
                raise EOFError("message ended")
            self._frame()
        out, self.data = self.data[:n], self.data[n:]
        return out

    def word(self):
        return struct.unpack(">I", self.take(4))[0]

    def text(self):
        n = self.word()
        raw = self.take(n)
        self.take((4 - n % 4) % 4)
        return None if n == 0 else raw[:-2].decode("utf-16-be")

    def hyper(self):
        return struct.unpack(">q", self.take(8))[0]


def decode_reply(r, features, group_fields):
    rep = {"result": struct.unpack(">i", r.take(4))[0], "code": r.word()}
    rep["status"] = r.word() if features & 1 else 0
    if features & 2:
        rep["text"], rep["message"] = r.text(), r.text()
    code, result = rep["code"], rep["result"]
    if not (result == 0 or (code == 3 and result == 12) or (code == 8 and result == 13)):
        return rep
    lng = (lambda: r.hyper()) if features & 8 else (lambda: struct.unpack(">i", r.take(4))[0])
    if code == 3:
        rep["user"] = user_record(r, features, lng)
        rep["identity"] = (r.text(), r.text(), r.word())
        rep["logon"] = (r.word(), r.text(), r.word(), lng()) if r.word() == 0 else None
        rep["parms"] = (struct.unpack(">i", r.take(4))[0], r.word(), lng(), r.word(), r.word(),
                        r.word()) if r.word() == 0 else None
        rep["session"] = (r.word(), r.word(), r.word())
        rep["block"] = r.take(64)
    elif code == 8:
        rep["user"] = user_record(r, features, lng)
        rep["reason"] = r.word()
    elif code in (9, 13):
        rep["entry"] = (r.word(), r.text(), r.text()) if r.word() == 0 else None
    elif code in (19, 121):
        rep["folder"] = folder(r, lng) if r.word() == 0 else None
        if code == 121:
            rep["final"] = r.word()
    elif code == 20:
        rep["folder"] = folder(r, lng)
    elif code == 53:
        rep["set"] = (r.text(), r.text(), chr(r.take(4)[0]),
                      [(r.text(), r.text(), r.text(), r.text(), r.text(), r.word(), r.word())
                       for _ in range(r.word())])
    elif code in (59, 100, 112):
        rep["hit"] = hit_row(r, features, group_fields) if r.word() == 0 else None
    elif code == 62:
        rep["piece"] = (chr(r.take(4)[0]), r.hyper(), counted(r)) if r.word() == 0 else None
    elif code in (60, 101):
        if r.word() == 0:
            rep["piece"] = (chr(r.take(4)[0]), r.hyper(), counted(r))
        else:
            rep["piece"] = None
            rep["location"] = r.take(4)[0]
            if code == 101:
                rep["second"] = r.take(4)[0]
    elif code == 69:
        if r.word() == 0:
            rep["note"] = (r.word(), r.text(), r.word(), lng(), r.word(), r.text(), r.word(),
                           r.word(), r.take(32), counted(r))
        else:
            rep["note"] = None
    elif code == 67:
        rep["words"] = (r.word(), r.word())
    elif code == 84:
        rep["parms"] = (struct.unpack(">i", r.take(4))[0], r.word(), lng(), r.word(), r.word(), r.word())
    elif code == 108:
        rep["token"] = counted(r)
        rep["userId"] = r.text()
    elif code in (109, 87):
        rep["word"] = r.word()
    elif code in (54, 95, 96):
        words = [r.word() for _ in range(4)]
        letter, loc = chr(r.take(4)[0]), r.take(4)[0]
        r.word(); r.word(); r.word()
        rep["object"] = (r.text(), words[3], letter, loc)
    elif code == 86:
        rep["load"] = r.text()
    elif code == 88:
        rep["piece"] = (chr(r.take(4)[0]), r.hyper(), counted(r)) if r.word() == 0 else None
    elif code == 102:
        rep["answer"], rep["word"] = r.take(4)[0], r.word()
    elif code == 64:
        rep["info"] = (r.word(), r.word(), r.word(), chr(r.take(4)[0]))
    elif code == 73:
        rep["query"] = (r.word(), r.text(), r.text(), r.word()) if r.word() == 0 else None
    elif code == 74:
        rep["segment"] = (r.word(), r.word(), r.text(), lng(), lng(), lng()) if r.word() == 0 else None
    elif code == 78:
        rep["printer"] = (r.word(), r.text(), r.text(), [r.word() for _ in range(3)]) if r.word() == 0 else None
    elif code in (57, 103):
        rep["index"] = (r.text(), [lng() for _ in range(8)], [r.word() for _ in range(6)])
        rep["segment"] = (r.word(), r.word(), r.text(), lng(), lng(), lng())
        rep["word"] = r.word()
    return rep


def counted(r):
    n = r.word()
    data = r.take(n)
    r.take((4 - n % 4) % 4)
    return data


def user_record(r, features, lng):
    u = {"number": r.word(), "userId": r.text(), "password": r.text(), "description": r.text(),
         "userName": r.text()}
    for _ in range(10 + 2 + 1):
        r.text()
    u["attributes"], u["userType"], u["passwordChanged"] = r.word(), r.word(), lng()
    if features & 8:
        u["timeOut"], u["logonState"] = lng(), r.word()
    return u


def typed(r, letter):
    if letter == "B":
        return r.hyper()
    if letter == "D":
        return struct.unpack(">d", r.take(8))[0]
    if letter == "I":
        return struct.unpack(">i", r.take(4))[0]
    if letter == "N":
        v = r.word() & 0xFFFF
        return v - 0x10000 if v & 0x8000 else v
    if letter in ("S", "T"):
        return r.text()
    return None


def folder(r, lng):
    f = {"number": r.word(), "name": r.text(), "description": r.text(), "type": r.take(4)[0],
         "fieldTotal": r.word(), "flags": r.word()}
    fields = []
    for _ in range(r.word()):
        name, desc, t1, t2 = r.text(), r.text(), chr(r.take(4)[0] or 32), r.take(4)
        for _ in range(4):
            r.word()
        r.take(4)
        for _ in range(3):
            r.word()
        fields.append((name, t1.strip(), typed(r, t1), typed(r, t1)))
    f["fields"] = fields
    groups = []
    for _ in range(r.word()):
        g = {"number": r.word(), "name": r.text(), "description": r.text(), "prefix": r.text()}
        r.word(); r.take(4); r.word(); r.take(4); g["storageSet"] = r.word(); r.take(4)
        for _ in range(8):
            r.word()
        g["fields"] = []
        for _ in range(r.word()):
            name, letter = r.text(), chr(r.take(4)[0])
            r.take(4)
            if letter == "S":
                r.word(); r.take(4)
            r.word()
            for _ in range(2):
                for _ in range(r.word()):
                    r.text()
            for _ in range(3):
                r.text()
            g["fields"].append((name, letter))
        g["applications"] = []
        for _ in range(r.word()):
            name = r.text(); r.text(); r.text()
            r.take(16); r.word(); r.word(); r.text(); r.text(); r.text(); r.text()
            g["applications"].append(name)
        for _ in range(3):
            r.word()
        r.text()
        groups.append(g)
    f["groups"] = groups
    f["fieldMaps"] = [[r.word() for _ in range(r.word())] for _ in groups]
    return f


def hit_row(r, features, fields):
    h = {}
    if features & 1:
        h["noteFlag"] = r.take(4)[0]
    h["segment"] = r.text()
    if r.word() == 0:
        words = [r.word() for _ in range(4)]
        letter, loc = chr(r.take(4)[0]), r.take(4)[0]
        r.word(); r.word(); r.word()
        h["object"] = (r.text(), words[2], letter, loc)
    else:
        h["object"] = None
    if r.word() == 0:
        h["values"] = [typed(r, fields[i][1]) for i in range(r.word())]
    else:
        h["values"] = None
    return h


# --- requests -----------------------------------------------------------------

def probe(c, level):
    c.send(c.header(0, handle=False) + w(level))
    return c.reply()[1]


def logon(c, user, password, compress=False):
    c.user = user
    c.send(c.header(3) + text(user, True) + text(password, True), compress)
    rep = c.reply()[1]
    if "block" in rep:
        c.session = rep["block"]
        c.logon = (rep["logon"][0], rep["logon"][1])
    return rep


def read_list(c, code_fields=None, ack_every=0, stop_after=None):
    """Reads list replies, acknowledging every ack_every-th item; the items and the end."""
    items = []
    while True:
        _, rep = c.reply(code_fields)
        key = {121: "folder", 19: "folder", 112: "hit", 100: "hit", 59: "hit", 101: "piece",
               60: "piece", 62: "piece", 69: "note", 13: "entry", 9: "entry", 88: "piece", 73: "query",
               74: "segment", 78: "printer"}.get(rep["code"])
        if rep["result"] != 0 or key is None or rep.get(key) is None:
            return items, rep
        items.append(rep)
        if stop_after and len(items) >= stop_after:
            return items, None
        if ack_every and len(items) % ack_every == 0:
            c.send(c.header(1))


GROUP_FIELDS = [("customer", "S"), ("amount", "D"), ("pages", "I"), ("count", "N"), ("serial", "B")]


def search_request(c, code=112, reply_window=25):
    body = application_group(5, GROUP_FIELDS) + text("customer = 'x'")
    body += text("customer") + byte("S") + w(1) + text("a") + text("b")
    body += byte(0)
    if code in (100, 112):
        body += w(0) + w(7) + text("note") + w(1) + byte(0)
    if code == 112:
        body += w(1)
    return c.header(code, reply_window=reply_window) + body


def retrieve_request(c, name, code=101):
    body = application_group(5, GROUP_FIELDS)
    body += byte(0) + text("SEG1") + w(0) + object_ref(name) + w(1)          # hit row, no values
    body += text("app") + text("") + text("I1") + byte(0) * 4 + w(1) + w(0) + text("") * 3 + text("")
    body += text("node") + text("") + text("") + text("") + text("srv") + w(0) + w(1)
    body += w(5) + w(1) + w(0) + byte("O")
    body += byte(0) * 3
    return c.header(code, reply_window=2) + body


def node_entry(name, number):
    return text(name) + text("") + text("") + text("") + text("srv") + w(0) + w(number)


def store_hit(features, segment, name, customer):
    """A hit row of group 5 with its first value only."""
    return (byte(0) if features & 1 else b"") + text(segment) + w(0) + object_ref(name) + w(0) + w(1) + \
        text(customer)


def send_data(c, code, first_body, pieces, window=2):
    """A data-carrying request: its first message, one message per piece and the empty
    closing one; the go-ahead is read after every window-th message before the last.
    Answers the number of go-aheads read."""
    c.send(c.header(code, send_window=window) + w(1) + first_body)
    messages, acks = 1, 0
    for piece in list(pieces) + [b""]:
        c.send(c.header(code, send_window=window) + w(0) + w(len(piece)) + pad(piece))
        messages += 1
        if piece and messages % window == 0:
            rep = c.reply()[1]
            if (rep["code"], rep["result"]) != (1, 0):
                raise AssertionError("no go-ahead: %r" % rep)
            acks += 1
    return acks


def store_body(c, name, customer):
    return (application_group(5, GROUP_FIELDS) + store_hit(c.features, "", name, customer) +
            node_entry("home", 3) + node_entry("far", 5) + object_ref(name) + long_(7, c.features) +
            byte(1) + byte(2) + w(3))

def resources_request(c, group):
    body = application_group(group, GROUP_FIELDS)
    body += text("node") + text("") + text("") + text("") + text("srv") + w(0) + w(1)
    body += byte(0) + w(group) + w(1) + w(0) + byte("O")
    return c.header(62, reply_window=2) + body


class Peer:
    def __init__(self, *args, script=BASIC):
        self.log = tempfile.NamedTemporaryFile(prefix="peer-", suffix=".log", delete=False).name
        cmd = [sys.executable, PEER, "--log", self.log, "--until-stdin-closes"]
        if script:
            cmd += ["--script", script]
        self.proc = subprocess.Popen(cmd + list(args), stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.port = int(self.proc.stdout.readline())

    def client(self, levels=LEVEL_2219):
        return Client(self.port, levels)

    def events(self, kind=None):
        with open(self.log, encoding="utf-8") as f:
            events = [json.loads(line) for line in f]
        return [e for e in events if kind is None or e["event"] == kind]

    def stop(self):
        self.proc.stdin.close()
        self.proc.wait(10)
        self.proc.stdout.close()
        os.unlink(self.log)


class PeerTest(unittest.TestCase):
    peer_args = ()

    def setUp(self):
        self.peer = Peer(*self.peer_args)
        self.addCleanup(self.peer.stop)

    def logged_on(self, user="ALICE", password="SECRET1", levels=LEVEL_2219):
        c = self.peer.client(levels)
        self.addCleanup(c.close)
        self.assertEqual(logon(c, user, password)["result"], 0)
        return c


class NegotiationTest(PeerTest):
    peer_args = ("--refuse", "2219", "--refuse", "2210")

    def test_refused_levels_answer_16_and_the_next_is_accepted(self):
        c = self.peer.client()
        self.addCleanup(c.close)
        for level, expected in [(2219, 16), (2210, 16), (22014, 0), (210, 0), (9999, 16)]:
            rep = probe(c, level)
            self.assertEqual((rep["code"], rep["result"]), (0, expected), level)


class LogonTest(PeerTest):
    def test_results_by_user_and_password(self):
        cases = [
            ("right password", "ALICE", "SECRET1", 0, ""),
            ("case ignored by default flags", "alice", "secret1", 0, ""),
            ("wrong password", "ALICE", "WRONG", 13, "Invalid user id or password"),
            ("unknown user", "NOBODY", "X", 13, "Invalid user id or password"),
            ("empty stored password", "CAROL", "", 0, ""),
            ("expired", "BOB", "BOBPASS", 12, "The password has expired"),
        ]
        for name, user, password, result, message in cases:
            c = self.peer.client()
            rep = logon(c, user, password)
            c.close()
            self.assertEqual((rep["code"], rep["result"], rep["message"]), (3, result, message), name)
            self.assertEqual("user" in rep, result in (0, 12), name)

    def test_logon_reply_carries_user_logon_record_and_session(self):
        c = self.peer.client()
        self.addCleanup(c.close)
        rep = logon(c, "ALICE", "SECRET1")
        self.assertEqual((rep["user"]["number"], rep["user"]["userId"], rep["user"]["password"]),
                         (7, "ALICE", ""))
        self.assertEqual(rep["user"]["logonState"], 3)
        self.assertEqual(rep["identity"], ("ALICE", "Alice Archer", 4242))
        self.assertEqual(rep["logon"], (7, "IN (7,100,101)", 0, 600))
        self.assertEqual(rep["parms"], (90, 6, 1800, 0, 0, 0))
        self.assertTrue(rep["block"].startswith(b"QELPEER1"))

    def test_hidden_texts_arrive_inverted_big_endian(self):
        c = self.peer.client()
        self.addCleanup(c.close)
        self.assertEqual(logon(c, "ABC", "ABC")["result"], 0)
        hidden = self.peer.events("request")[-1]["hidden"]
        self.assertEqual(hidden, {"userId": "ffbeffbdffbc0000", "password": "ffbeffbdffbc0000"})

    def test_older_level_has_no_texts_and_a_32_bit_long(self):
        c = self.peer.client(LEVEL_2114)
        self.addCleanup(c.close)
        rep = logon(c, "ALICE", "WRONG")
        self.assertEqual((rep["result"], rep["status"], "message" in rep), (13, 0, False))
        rep = logon(c, "ALICE", "SECRET1")
        self.assertEqual(rep["logon"], (7, "IN (7,100,101)", 0, 600))


class SessionTest(PeerTest):
    def folder_list(self, c):
        c.send(c.header(121, reply_window=0) + text("%") + text("") + text("") + byte(0))
        return read_list(c)

    def test_folder_list_by_user(self):
        for user, password, names in [("ALICE", "SECRET1", ["Invoices", "Payroll"]),
                                      ("CAROL", "", ["Invoices"])]:
            c = self.logged_on(user, password)
            items, end = self.folder_list(c)
            self.assertEqual([i["folder"]["name"] for i in items], names, user)
            self.assertEqual(end["final"], len(names), user)
        f = self.folder_list(self.logged_on())[0][0]["folder"]
        self.assertEqual([g["name"] for g in f["groups"]], ["INV"])
        self.assertEqual(f["groups"][0]["fields"], GROUP_FIELDS)
        self.assertEqual(f["fieldMaps"], [[1, 2]])
        self.assertEqual(f["fields"][1], ("Amount", "D", 0.5, 1000.25))

    def test_requests_without_a_session_are_refused(self):
        c = self.peer.client()
        self.addCleanup(c.close)
        items, end = self.folder_list(c)
        self.assertEqual((items, end["result"], end["message"]), ([], 13, "Not logged on"))

    def test_disconnect_keeps_the_session_and_logoff_ends_it(self):
        c = self.logged_on()
        c.send(c.header(5))
        self.assertEqual(c.reply()[1]["result"], 0)
        c.close()
        c2 = self.peer.client()
        self.addCleanup(c2.close)
        c2.session, c2.logon = c.session, c.logon
        self.assertEqual(len(self.folder_list(c2)[0]), 2)
        c2.send(c2.header(4))
        self.assertEqual(c2.reply()[1]["result"], 0)
        self.assertEqual(self.folder_list(c2)[1]["result"], 13)

    def test_older_level_finds_the_session_by_user_and_number(self):
        c = self.logged_on(levels=LEVEL_2114)
        c.close()
        c2 = self.peer.client(LEVEL_2114)
        self.addCleanup(c2.close)
        c2.user, c2.logon = "ALICE", c.logon
        self.assertEqual(len(self.folder_list(c2)[0]), 2)

    def test_open_folder_storage_set_and_system_parameters(self):
        c = self.logged_on("CAROL", "")
        cases = [
            ("by number", c.header(20) + w(1) + w(0), 0, "Invoices"),
            ("by name", c.header(20) + w(0) + w(1) + text("invoices"), 0, "Invoices"),
            ("not permitted", c.header(20) + w(2) + w(0), 13, None),
        ]
        for name, record, result, folder_name in cases:
            c.send(record)
            rep = c.reply()[1]
            self.assertEqual(rep["result"], result, name)
            self.assertEqual(rep.get("folder", {}).get("name"), folder_name, name)
        c.send(c.header(53) + w(3))
        rep = c.reply()[1]
        self.assertEqual(rep["set"][:3], ("Main store", "cache and archive", "F"))
        self.assertEqual([n[0] for n in rep["set"][3]], ["cache", "tape"])
        self.assertEqual(rep["set"][3][0][4:], ("archive1", 14, 1))
        c.send(c.header(53) + w(99))
        self.assertEqual(c.reply()[1]["result"], 11)
        c.send(c.header(84))
        self.assertEqual(c.reply()[1]["parms"], (90, 6, 1800, 0, 0, 0))

    def test_users_groups_and_password_change(self):
        c = self.logged_on()
        c.send(c.header(13) + text(None) + text(None) + w(0) + w(0))
        items, end = read_list(c)
        self.assertEqual([i["entry"] for i in items], [(100, "CLERKS", "Clerks"), (101, "AUDIT", "Auditors")])
        record = lambda pw: (w(0) + w(7) + text("ALICE") + text(pw, True) + text("") * 15 +
                             w(0) + w(0) + long_(0, c.features) + long_(0, c.features) + w(0))
        cases = [
            ("too short", "SECRET1", "AB", 13, 1),
            ("wrong old password", "NOPE", "NEWPASS1", 13, 0),
            ("changed", "SECRET1", "NEWPASS1", 0, 0),
        ]
        for name, old, new, result, reason in cases:
            c.send(c.header(8) + record(old) + text(new, True) + w(1))
            rep = c.reply()[1]
            self.assertEqual((rep["result"], rep["reason"]), (result, reason), name)
        c2 = self.peer.client()
        self.addCleanup(c2.close)
        self.assertEqual(logon(c2, "ALICE", "NEWPASS1")["result"], 0)
        self.assertEqual(logon(c2, "ALICE", "SECRET1")["result"], 13)


class ListTest(PeerTest):
    def test_search_sends_every_row_and_waits_for_the_ack_every_25(self):
        c = self.logged_on()
        c.send(search_request(c))
        items, end = read_list(c, GROUP_FIELDS, ack_every=25)
        self.assertEqual(len(items), 60)
        self.assertEqual(end["hit"], None)
        first = items[0]["hit"]
        self.assertEqual(first["values"], ["customer-1", 1.1, 102, 13, 1000000011])
        self.assertEqual(first["object"], ("DOC00001", 0, "O", 0))
        self.assertEqual(len(self.peer.events("ack")), 2)
        body = self.peer.events("request")[-3]["body"]
        self.assertEqual((body["where"], body["criteria"]["values"], body["textSearch"]),
                         ("customer = 'x'", ["a", "b"], []))

    def test_rows_stop_at_the_window_until_the_ack_arrives(self):
        c = self.logged_on()
        c.send(search_request(c))
        items, _ = read_list(c, GROUP_FIELDS, stop_after=25)
        c.sock.settimeout(0.3)
        with self.assertRaises(socket.timeout):
            c.recv_exact(1)
        c.sock.settimeout(10)
        c.send(c.header(1))
        self.assertEqual(c.reply(GROUP_FIELDS)[1]["hit"]["values"][0], "customer-26")

    def test_older_search_codes(self):
        for code in (100, 59):
            c = self.logged_on(levels=LEVEL_2114)
            c.send(search_request(c, code))
            items, end = read_list(c, GROUP_FIELDS, ack_every=25)
            self.assertEqual((len(items), end["code"]), (60, code))
            self.assertEqual(items[0]["hit"]["noteFlag"], 1)

    def test_retrieve_in_o_pieces_equals_the_document(self):
        c = self.logged_on()
        c.send(retrieve_request(c, "DOC00001"))
        items, end = read_list(c, ack_every=2)
        stream = b"".join(i["piece"][2] for i in items)
        self.assertEqual({i["piece"][0] for i in items}, {"O"})
        self.assertEqual([i["piece"][1] for i in items], list(range(0, len(stream), 8000)))
        data = zlib.decompress(stream)
        self.assertEqual(len(data), 100000)
        self.assertTrue(data.startswith(b"00000000 the archive peer"))
        self.assertEqual((end["location"], end["second"]), (1, 0))
        self.assertEqual(len(self.peer.events("ack")), len(items) // 2)

    def test_retrieve_n_piece_and_older_code(self):
        c = self.logged_on()
        c.send(retrieve_request(c, "PLAIN", code=60))
        items, end = read_list(c, ack_every=2)
        self.assertEqual([i["piece"] for i in items], [("N", 0, b"a plain document\n")])
        self.assertEqual((end["code"], "second" in end), (60, False))

    def test_resources_by_group_number_else_the_default(self):
        c = self.logged_on()
        c.send(resources_request(c, 5))
        items, end = read_list(c, ack_every=2)
        self.assertEqual([i["piece"] for i in items], [("N", 0, b"resources of group 5\n")])
        self.assertEqual((end["code"], end["piece"]), (62, None))
        self.assertEqual(self.peer.events("request")[-1]["body"]["nodeInfo"]["group"], 5)
        c.send(resources_request(c, 9))
        items, _ = read_list(c, ack_every=2)
        self.assertEqual({i["piece"][0] for i in items}, {"O"})
        self.assertEqual(len(zlib.decompress(b"".join(i["piece"][2] for i in items))), 40000)

    def test_notes(self):
        c = self.logged_on()
        c.send(c.header(69) + w(5) + object_ref("DOC00001") + w(0))
        items, _ = read_list(c)
        notes = [i["note"] for i in items]
        self.assertEqual([(n[0], n[1], n[3], n[5], n[6]) for n in notes],
                         [(1, "ALICE", 1700000100, "First note", 1),
                          (2, "CAROL", 1700000200, "Second note", 3)])
        self.assertEqual(notes[0][9], b"extra bytes")

    def test_an_added_note_is_numbered_and_listed_after_the_default_ones(self):
        c = self.logged_on()
        note = (w(0) + text("") + w(2) + long_(1700000300, c.features) + w(4) + text("Added note") + w(7) +
                w(9) + bytes(range(32)) + w(3) + pad(b"abc"))
        c.send(c.header(67) + application_group(5, GROUP_FIELDS) + store_hit(c.features, "SEG1", "DOC00007", "x") +
               note)
        rep = c.reply()[1]
        self.assertEqual((rep["code"], rep["result"], rep["words"]), (67, 0, (3, 0)))
        event = self.peer.events("add_note")[0]
        self.assertEqual((event["group"], event["object"], event["segment"]), (5, "DOC00007", "SEG1"))
        self.assertEqual((event["note"]["text"], event["note"]["colour"], event["note"]["page"],
                          event["note"]["attributes"], event["note"]["data"]), ("Added note", 4, 7, 9, "616263"))
        c.send(c.header(69) + w(5) + object_ref("DOC00007") + w(0))
        items, _ = read_list(c)
        notes = [i["note"] for i in items]
        self.assertEqual([(n[0], n[1], n[5]) for n in notes],
                         [(1, "ALICE", "First note"), (2, "CAROL", "Second note"), (3, "ALICE", "Added note")])
        self.assertEqual((notes[2][2], notes[2][4], notes[2][8], notes[2][9]), (2, 4, bytes(range(32)), b"abc"))


class CancelTest(PeerTest):
    peer_args = ("--fault", '{"code": 112, "kind": "endless_list"}')

    def test_cancel_ends_an_endless_list_and_the_connection_goes_on(self):
        c = self.logged_on()
        c.send(search_request(c, reply_window=0))
        items, _ = read_list(c, GROUP_FIELDS, stop_after=200)
        c.send(c.header(2))
        cancel_number = c.number
        while True:
            r, rep = c.reply(GROUP_FIELDS)
            if rep["code"] == 2:
                break
        self.assertEqual((rep["result"], r.number), (1, cancel_number))
        c.send(c.header(84))
        self.assertEqual(c.reply()[1]["result"], 0)

    def test_cancel_while_waiting_for_the_ack(self):
        c = self.logged_on()
        c.send(search_request(c))
        read_list(c, GROUP_FIELDS, stop_after=25)
        c.send(c.header(2))
        self.assertEqual(c.reply()[1], {"result": 1, "code": 2, "status": 0, "text": None,
                                        "message": ""})


class FrameTest(PeerTest):
    peer_args = ("--split", "--seed", "7")

    def test_split_frames_and_sends_still_decode(self):
        c = self.logged_on()
        c.send(search_request(c), compress=True)
        items, _ = read_list(c, GROUP_FIELDS, ack_every=25)
        self.assertEqual(len(items), 60)
        c.send(retrieve_request(c, "DOC00002"))
        items, _ = read_list(c, ack_every=2)
        self.assertEqual(len(zlib.decompress(b"".join(i["piece"][2] for i in items))), 100000)

    def test_compressed_request_gets_a_compressed_reply_and_plain_gets_plain(self):
        c = self.peer.client()
        self.addCleanup(c.close)
        for compress, kind in [(True, "C"), (False, "P")]:
            c.send(c.header(3) + text("ALICE", True) + text("SECRET1", True), compress)
            r, rep = c.reply()
            self.assertEqual(rep["result"], 0)
            self.assertEqual({f[0] for f in r.frames}, {kind}, compress)
            self.assertEqual({f[1] for f in r.frames}, {c.number})

    def test_a_request_in_many_small_plain_frames(self):
        c = self.peer.client()
        self.addCleanup(c.close)
        c.send(c.header(3) + text("ALICE", True) + text("SECRET1", True), frame_size=12)
        self.assertEqual(c.reply()[1]["result"], 0)
        self.assertGreater(self.peer.events("request")[-1]["frames"], 10)


class BadRequestTest(PeerTest):
    def test_unknown_body_is_answered_6_and_the_connection_goes_on(self):
        c = self.peer.client()
        self.addCleanup(c.close)
        c.send(c.header(77) + w(1) + w(2))
        self.assertEqual(c.reply()[1]["result"], 6)
        c.send(c.header(52))
        self.assertEqual(c.reply()[1]["result"], 6)
        self.assertEqual(probe(c, 2219)["result"], 0)

    def test_broken_frames_close_the_connection(self):
        cases = [
            ("code above 121", lambda c: c.send(c.header(122))),
            ("plain frame above 1 MiB", lambda c: c.sock.sendall(struct.pack(">II", 1, (1 << 20) + 1))),
            ("compressed frame above 8192", lambda c: c.sock.sendall(struct.pack(">IIIII", 0xFFFFFFFF, 8193, 1, 79, 2))),
            ("unknown letter", lambda c: c.sock.sendall(struct.pack(">IIIII", 0xFFFFFFFF, 24, 1, ord("Q"), 2) + b"abcd")),
            ("bad presence word", lambda c: c.send(w(7) + w(0))),
        ]
        for name, send in cases:
            c = self.peer.client()
            send(c)
            with self.assertRaises(EOFError, msg=name):
                c.recv_exact(1)
            c.close()


class TokenTest(PeerTest):
    def exchange(self, c, user, secret):
        fnv = lambda data: "%016x" % _fnv(data)
        c.send(c.header(108) + w(1) + text("alice", True) + w(len(b"QELNTLM1 NEGOTIATE " + user.encode()))
               + pad(b"QELNTLM1 NEGOTIATE " + user.encode()))
        rep = c.reply()[1]
        if rep["result"]:
            return rep
        challenge = rep["token"].decode().split(" ")[2]
        self.assertEqual(challenge, fnv(user.encode()))
        answer = "QELNTLM1 AUTHENTICATE %s %s" % (user, fnv(("%s:%s:%s" % (challenge, user, secret)).encode()))
        c.send(c.header(108) + w(0) + w(len(answer)) + pad(answer.encode()))
        return c.reply()[1]

    def test_fake_handshake_then_logon_without_password(self):
        c = self.peer.client()
        self.addCleanup(c.close)
        rep = self.exchange(c, "TESTDOM\\alice", "fake-secret")
        self.assertEqual((rep["result"], rep["token"], rep["userId"]), (0, b"", "ALICE"))
        self.assertEqual(logon(c, "ALICE", "")["result"], 0)
        self.assertEqual(self.peer.events("request")[-3]["body"]["userId"], "alice")

    def test_wrong_secret_is_refused_and_gives_no_logon(self):
        c = self.peer.client()
        self.addCleanup(c.close)
        self.assertEqual(self.exchange(c, "TESTDOM\\alice", "guess")["result"], 13)
        self.assertEqual(logon(c, "ALICE", "")["result"], 13)

    def test_example_of_the_fake_backend(self):
        self.assertEqual("%016x" % _fnv(b"TESTDOM\\alice"), "c143ff6296b2d567")


def _fnv(data):
    h = 0xcbf29ce484222325
    for b in data:
        h = ((h ^ b) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return h


class StoreTest(PeerTest):
    def test_store_reads_the_data_messages_and_indexes_the_block(self):
        c = self.logged_on()
        pieces = [b"first piece", b"second", b"third piece!"]
        self.assertEqual(send_data(c, 96, store_body(c, "2FAA", "ACME"), pieces), 2)
        rep = c.reply()[1]
        self.assertEqual((rep["code"], rep["result"]), (96, 0))
        self.assertEqual(rep["object"], ("2FAA", sum(map(len, pieces)), "O", 2))
        event = self.peer.events("store")[0]
        self.assertEqual((event["stored"], event["bytes"], event["messages"], event["value"], event["flag1"],
                          event["flag2"], event["word"]), ("2FAA", 29, 5, 7, 1, 2, 3))
        self.assertEqual(event["block"]["values"], ["ACME"])
        c.send(search_request(c))
        items, _ = read_list(c, GROUP_FIELDS, ack_every=25)
        self.assertEqual(len(items), 61)
        self.assertEqual((items[-1]["hit"]["values"], items[-1]["hit"]["object"][0]), (["ACME"], "2FAA"))

    def test_load_information_and_an_object_store(self):
        c = self.logged_on()
        c.send(c.header(86) + w(5))
        rep = c.reply()[1]
        self.assertEqual((rep["code"], rep["result"], rep["load"]), (86, 0, "1FAA"))
        body = (application_group(5, GROUP_FIELDS) + node_entry("home", 3) + node_entry("far", 5) + byte(15) +
                text("5FAA") + byte("O") + byte(0) + long_(0, c.features))
        self.assertEqual(send_data(c, 87, body, [b"x" * 100000]), 1)
        rep = c.reply()[1]
        self.assertEqual((rep["code"], rep["result"], rep["word"]), (87, 0, 100000))
        event = self.peer.events("store_object")[0]
        self.assertEqual((event["object"], event["location"], event["bytes"], event["primary"], event["secondary"]),
                         ("5FAA", 15, 100000, "home", "far"))
        self.assertEqual(self.peer.events("load_info")[0]["group"], 5)

    def test_rows_added_are_searched_and_updated(self):
        c = self.logged_on()
        index_result = text("") + long_(0, c.features) * 8 + w(0) * 6
        segment = w(0) + w(0) + text("") + long_(0, c.features) * 3
        for customer in ("ONE", "TWO"):
            c.send(c.header(103) + application_group(5, GROUP_FIELDS) +
                   store_hit(c.features, "", "3FAA", customer) + w(1) + index_result + segment + w(4))
            rep = c.reply()[1]
            self.assertEqual((rep["code"], rep["result"], rep["word"]), (103, 0, 4))
        self.assertEqual((rep["index"][0], rep["segment"][2]), ("INV1", "INV1"))
        self.assertEqual(rep["segment"][5], 62)
        old = store_hit(c.features, "INV1", "3FAA", "TWO")
        new = store_hit(c.features, "INV1", "3FAA", "THREE")
        for expected in (0, 11):
            c.send(c.header(56) + application_group(5, GROUP_FIELDS) + old + new)
            rep = c.reply()[1]
            self.assertEqual((rep["code"], rep["result"]), (56, expected))
        c.send(search_request(c))
        items, _ = read_list(c, GROUP_FIELDS, ack_every=25)
        self.assertEqual([i["hit"]["values"] for i in items[-2:]], [["ONE"], ["THREE"]])
        self.assertEqual(len(self.peer.events("add_index_row")), 2)
        self.assertEqual(len(self.peer.events("update_index")), 2)


class ListsTest(PeerTest):
    def setUp(self):
        self.peer = Peer(script=os.path.join(TESTDATA, "peer", "lists.json"))
        self.addCleanup(self.peer.stop)

    def test_storage_nodes_queries_segments_and_printers(self):
        c = self.logged_on()
        c.send(c.header(64) + w(5) + w(1))
        self.assertEqual(c.reply()[1]["info"], (5, 3, 65535, "O"))
        c.send(c.header(64) + w(5) + w(2))
        self.assertEqual(c.reply()[1]["result"], 11)
        cases = [("the user's own and everybody's", 7, ["Open invoices", "Mine"]),
                 ("another user's number", 1, ["Open invoices", "Admin only"])]
        for name, user, expected in cases:
            c.send(c.header(73) + w(1) + w(user) + w(0))
            items, end = read_list(c)
            self.assertEqual([i["query"][1] for i in items], expected, name)
            self.assertEqual((end["code"], end["result"], end["query"]), (73, 0, None), name)
        self.assertEqual(items[0]["query"], (1, "Open invoices", "WHERE INVNO LIKE 'A%'", 1))
        self.assertEqual(self.peer.events("named_queries")[0]["user"], 7)
        c.send(c.header(74) + w(2) + w(9) + w(5))
        items, end = read_list(c)
        self.assertEqual([i["segment"] for i in items],
                         [(1, 1, "INV1", 19723, 19753, 12), (2, 3, "INV2", 19754, 19784, 4000000000)])
        self.assertEqual(self.peer.events("segments")[0]["groups"], [9, 5])
        c.send(c.header(78))
        items, end = read_list(c)
        self.assertEqual([i["printer"] for i in items],
                         [(1, "LASER1", "Second floor", [1, 2, 3]), (2, "PLOTTER", "Drawings", [0, 0, 70000])])

    def test_an_administrator_sees_every_query(self):
        c = self.logged_on("ADMIN", "ADMINPW")
        c.send(c.header(73) + w(1) + w(1) + w(0))
        items, _ = read_list(c)
        self.assertEqual(len(items), 3)


class SecondaryStoreTest(PeerTest):
    def setUp(self):
        with open(BASIC, encoding="utf-8") as f:
            script = dict(json.load(f), secondary_store=True, load_info="7GAA")
        path = tempfile.NamedTemporaryFile(prefix="peer-", suffix=".json", delete=False, mode="w")
        json.dump(script, path)
        path.close()
        self.addCleanup(os.unlink, path.name)
        self.peer = Peer(script=path.name)
        self.addCleanup(self.peer.stop)

    def test_store_is_refused_after_its_data_and_load_info_comes_from_the_script(self):
        c = self.logged_on()
        send_data(c, 96, store_body(c, "4FAA", "ACME"), [b"data"])
        rep = c.reply()[1]
        self.assertEqual((rep["code"], rep["result"]), (96, 11))
        self.assertEqual(self.peer.events("store")[0]["bytes"], 4)
        c.send(c.header(86) + w(5))
        self.assertEqual(c.reply()[1]["load"], "7GAA")


class ObjectTest(PeerTest):
    def store_object(self, c, name, data):
        body = (application_group(5, GROUP_FIELDS) + node_entry("home", 3) + node_entry("far", 5) + byte(1) +
                text(name) + byte("O") + byte(0) + long_(0, c.features))
        send_data(c, 87, body, [data])
        self.assertEqual(c.reply()[1]["result"], 0)

    def test_segment_data_window_and_object_query(self):
        c = self.logged_on()
        self.store_object(c, "6FAA", bytes(range(256)) * 200)
        cases = [("a window", 10, 20, bytes(range(10, 30))),
                 ("to the end", 51000, 0, (bytes(range(256)) * 200)[51000:]),
                 ("past the end", 60000, 5, b"")]
        for name, offset, length, expected in cases:
            body = (application_group(5, GROUP_FIELDS) + node_entry("home", 3) + node_entry("far", 5) + byte(1) +
                    text("6FAA") + w(offset) + w(length))
            c.send(c.header(88, reply_window=2) + body)
            items, end = read_list(c, ack_every=2)
            self.assertEqual(b"".join(i["piece"][2] for i in items), expected, name)
            self.assertEqual({i["piece"][0] for i in items} - {"O"}, set(), name)
            if items:
                self.assertEqual(items[0]["piece"][1], offset, name)
            self.assertEqual((end["code"], end["result"]), (88, 0), name)
        for name, obj, answer, size in [("kept", "6FAA", 1, 51200), ("scripted", "PLAIN", 2, 17)]:
            body = (application_group(5, GROUP_FIELDS) + node_entry("home", 3) + node_entry("far", 5) + byte(3) +
                    store_hit(c.features, "", obj, "ACME") + text("asked") + w(1) + w(7))
            c.send(c.header(102) + body)
            rep = c.reply()[1]
            self.assertEqual((rep["code"], rep["result"], rep["answer"], rep["word"]), (102, 0, answer, size), name)
        event = self.peer.events("doc_object")[0]
        self.assertEqual((event["object"], event["location"], event["text"], event["exitLast"], event["word2"]),
                         ("6FAA", 3, "asked", 1, 7))

    def test_log_message_reads_its_text(self):
        c = self.logged_on()
        body = w(81) + w(0) + object_ref("") + byte("N") + w(5)
        send_data(c, 91, body, [b"ApplGroup ", b"ObjRetrieve"])
        self.assertEqual(c.reply()[1]["result"], 0)
        event = self.peer.events("log_message")[0]
        self.assertEqual((event["number"], event["word"], event["letter"], event["text"], event["messages"]),
                         (81, 5, "N", "ApplGroup ObjRetrieve", 4))


class FaultTest(unittest.TestCase):
    def run_fault(self, fault, request=None):
        peer = Peer("--fault", json.dumps(fault))
        self.addCleanup(peer.stop)
        c = peer.client()
        self.addCleanup(c.close)
        self.assertEqual(logon(c, "ALICE", "SECRET1")["result"], 0)
        c.send(request(c) if request else
               c.header(121) + text("%") + text("") + text("") + byte(0))
        return peer, c

    def test_reply_faults(self):
        cases = [
            ("status drop", {"code": 121, "kind": "status_drop"}, lambda rep: rep["status"], 1),
            ("wrong reply code", {"code": 121, "kind": "wrong_reply_code", "value": 19},
             lambda rep: rep["code"], 19),
            ("server result", {"code": 121, "kind": "result", "value": 6}, lambda rep: rep["result"], 6),
        ]
        for name, fault, pick, expected in cases:
            peer, c = self.run_fault(fault)
            self.assertEqual(pick(c.reply()[1]), expected, name)

    def test_oversized_lengths(self):
        peer, c = self.run_fault({"code": 121, "kind": "oversize_length", "value": 0x7FFFFFF0})
        r = c.read_message()
        r.take(12)
        self.assertEqual(r.word(), 0x7FFFFFF0)   # the reply text's length word
        peer, c = self.run_fault({"code": 121, "kind": "oversize_frame"})
        self.assertEqual(struct.unpack(">II", c.recv_exact(8))[1], 0x7FFFFFF0)

    def test_connection_faults_end_in_eof(self):
        for kind in ("close_mid_frame", "drop"):
            peer, c = self.run_fault({"code": 121, "kind": kind})
            with self.assertRaises(EOFError, msg=kind):
                c.reply()

    def test_slow_replies_and_after(self):
        peer, c = self.run_fault({"code": 121, "kind": "slow", "ms": 300, "after": 1})
        start = time.monotonic()
        c.reply()
        self.assertLess(time.monotonic() - start, 0.25)
        c.reply()
        self.assertGreaterEqual(time.monotonic() - start, 0.3)

    def test_an_error_result_ends_the_list(self):
        peer, c = self.run_fault({"code": 121, "kind": "result", "value": 6, "times": 1})
        self.assertEqual(c.reply()[1]["result"], 6)
        c.send(c.header(84))
        rep = c.reply()[1]
        self.assertEqual((rep["code"], rep["result"]), (84, 0))
        self.assertEqual([e["code"] for e in peer.events("reply")][-2:], [121, 84])

    def test_times_limits_a_fault_to_its_first_requests(self):
        peer, c = self.run_fault({"code": 84, "kind": "result", "value": 6, "times": 1},
                                 lambda c: c.header(84))
        self.assertEqual(c.reply()[1]["result"], 6)
        c.send(c.header(84))
        self.assertEqual(c.reply()[1]["result"], 0)


if __name__ == "__main__":
    unittest.main()
