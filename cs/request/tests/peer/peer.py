#!/usr/bin/env python3
"""A loopback archive server for tests of the request layer (docs/peer.md).

It listens on 127.0.0.1, prints its port on the first line of standard output and
answers the requests of docs/wire.md from a JSON script: negotiation, logon and logoff,
users and groups, folder lists, folders, storage sets, searches, document data, notes
and the token exchange, with fault switches that tests turn on.
"""
import argparse
import itertools
import json
import os
import random
import socket
import socketserver
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True  # the peer runs from the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import peer_frames as frames  # noqa: E402
import peer_wire as wire  # noqa: E402
from peer_script import LEVELS, Script, ScriptError, fnv1a64  # noqa: E402

LIST_CODES = {9, 13, 19, 121, 59, 100, 112, 60, 101, 62, 69}


class EventLog:
    """JSON lines, one per event, for tests that check what reached the wire."""

    def __init__(self, path):
        self.lock = threading.Lock()
        self.file = open(path, "a", encoding="utf-8") if path else None

    def write(self, **event):
        if self.file is None:
            return
        event["t"] = round(time.time(), 3)
        line = json.dumps(jsonable(event), sort_keys=True)
        with self.lock:
            self.file.write(line + "\n")
            self.file.flush()


def jsonable(v):
    if isinstance(v, (bytes, bytearray)):
        return v.hex()
    if isinstance(v, dict):
        return {str(k): jsonable(x) for k, x in v.items()}
    if isinstance(v, (list, tuple)):
        return [jsonable(x) for x in v]
    return v


class Session:
    def __init__(self, user, block, word):
        self.user = user
        self.block = block
        self.word = word


class Sessions:
    def __init__(self):
        self.lock = threading.Lock()
        self.by_block = {}
        self.counter = itertools.count(1)

    def create(self, user):
        with self.lock:
            word = next(self.counter)
            block = b"QELPEER1" + word.to_bytes(8, "big") + os.urandom(48)
            s = Session(user, block, word)
            self.by_block[block] = s
            return s

    def find(self, block):
        with self.lock:
            return self.by_block.get(block)

    def find_user(self, user_id, number):
        with self.lock:
            for s in self.by_block.values():
                if s.user["id"].upper() == (user_id or "").upper() and s.user["number"] == number:
                    return s
        return None

    def remove(self, session):
        with self.lock:
            self.by_block.pop(session.block, None)


class Cancelled(Exception):
    """The client broke the running request off with a cancel (code 2)."""


class Closed(Exception):
    """The connection ends here (a fault, or a client that broke the protocol)."""


class Connection:
    ids = itertools.count(1)

    def __init__(self, server, sock):
        self.server = server
        self.script = server.script
        self.log = server.log
        self.id = next(Connection.ids)
        rng = random.Random(self.script.seed * 1000003 + self.id)
        self.rng = rng if self.script.split else None
        self.link = frames.Link(sock, rng, self.script.split)
        self.features = 0
        self.number = 0
        self.session = None
        self.ntlm_user = None   # archive user id the token exchange vouched for
        self.ntlm_user_name = None
        self.request = None
        self.request_compressed = False
        self.faults = []
        self.replies = 0

    # --- reading -----------------------------------------------------------
    def read_request(self):
        msg = frames.MessageIn(self.link)
        codec = wire.Codec(self.features, msg.get)
        req = {}
        try:
            wire.request(codec, req)
        except wire.WireError as e:
            self.log.write(conn=self.id, event="bad_request", number=msg.number, error=str(e),
                           code=req.get("code"))
            code = req.get("code")
            if code is None or code > wire.CODE_MAX:
                raise Closed(str(e))
            msg.finish()
            self.features = codec.features
            self.number = msg.number
            self.request = req
            self.faults = []
            self.replies = 0
            self.send_reply(6, code=code)
            return None
        msg.finish()
        self.features = codec.features
        self.number = msg.number
        h = req.get("handle") or {}
        self.log.write(conn=self.id, event="request", number=msg.number, code=req["code"],
                       compressed=msg.compressed, frames=msg.frames, features=self.features,
                       flags1=h.get("flags1"), flags2=req.get("flags2"),
                       handle=h or None, sendWindow=req["sendWindow"],
                       replyWindow=req["replyWindow"], text=req.get("text"),
                       session=req.get("session"), body=req.get("body"), hidden=codec.raw)
        req["compressed"] = msg.compressed
        return req

    def poll_cancel(self, timeout=0.0):
        """Reads a message that arrived while replies go out; raises Cancelled for code 2."""
        if not self.link.readable(timeout):
            return
        req = self.read_request()
        if req is None:
            raise Closed("a request that cannot be read during replies")
        if req["code"] == 2:
            raise Cancelled()
        if req["code"] == 1:
            self.log.write(conn=self.id, event="stray_ack", number=self.number)
            return
        raise Closed("request %d while a reply list runs" % req["code"])

    def pause(self, ms):
        end = time.monotonic() + ms / 1000.0
        while True:
            left = end - time.monotonic()
            if left <= 0:
                return
            self.poll_cancel(min(left, 0.05))

    def wait_ack(self):
        req = self.read_request()
        if req is None:
            raise Closed("unreadable message where an acknowledgement belongs")
        if req["code"] == 2:
            raise Cancelled()
        if req["code"] != 1:
            raise Closed("request %d where an acknowledgement belongs" % req["code"])
        self.log.write(conn=self.id, event="ack", number=self.number)

    # --- writing -----------------------------------------------------------
    def fault(self, kind):
        for f in self.faults:
            if f.kind == kind and self.replies >= f.after:
                return f
        return None

    def send_reply(self, result, body=None, code=None, message=None, group=None, status=0):
        code = self.request["code"] if code is None else code
        f = self.fault("slow")
        if f:
            self.pause(f.ms)
        if self.fault("drop"):
            self.log.write(conn=self.id, event="fault", kind="drop", code=code)
            raise Closed("fault: drop")
        f = self.fault("result")
        if f:
            result = int(f.value)
        f = self.fault("wrong_reply_code")
        if f:
            code = int(f.value if f.value is not None else (84 if code != 84 else 53))
        if self.fault("status_drop"):
            status |= 0x1
        rep = {"result": result, "code": code, "status": status, "text": None,
               "message": message or "", "body": body or {}}
        codec = wire.Codec(self.features)
        codec.group = group
        f = self.fault("oversize_length")
        if f:
            codec.oversize = int(f.value if f.value is not None else 0xFFFFFFF0)
        wire.reply(codec, rep)
        payload = bytes(codec.out)
        f = self.fault("oversize_frame")
        if f:
            length = int(f.value if f.value is not None else 0x7FFFFFF0)
            data = (self.number.to_bytes(4, "big") + length.to_bytes(4, "big") + payload[:64])
            self.link.send(data)
            self.log.write(conn=self.id, event="fault", kind="oversize_frame", code=code)
            self.replies += 1
            return result
        mode = self.script.compress
        compress = mode == "always" or (mode == "auto" and self.request_compressed)
        data = frames.frame_bytes(self.number, payload, compress, self.rng)
        if self.fault("close_mid_frame"):
            self.link.send(data[:max(1, min(len(data), 8192) // 2)])
            self.log.write(conn=self.id, event="fault", kind="close_mid_frame", code=code)
            raise Closed("fault: close in mid-frame")
        # Logged first: a client that has the reply finds it in the log.
        self.log.write(conn=self.id, event="reply", number=self.number, code=code,
                       result=result, status=status, bytes=len(data))
        self.link.send(data)
        self.replies += 1
        return result

    def send_list(self, items, body_of, end_body, group=None):
        """One reply per item, the end reply last; waits for the acknowledgement after
        every reply-window-th item."""
        window = self.request["replyWindow"]
        if self.fault("endless_list"):
            items = itertools.chain(items, self.endless(body_of))
        count = 0
        for item in items:
            self.poll_cancel()
            if self.send_reply(0, body_of(item), group=group) != 0:
                return  # a reply with an error result ends the list
            count += 1
            if window and count % window == 0:
                self.wait_ack()
        self.poll_cancel()
        self.send_reply(0, end_body, group=group)

    def endless(self, body_of):
        self.log.write(conn=self.id, event="fault", kind="endless_list", code=self.request["code"])
        for n in itertools.count(1):
            yield ("endless", n)

    # --- serving -----------------------------------------------------------
    def serve(self):
        self.log.write(conn=self.id, event="connect")
        try:
            while True:
                try:
                    req = self.read_request()
                except EOFError:
                    return
                if req is None:
                    continue
                self.request = req
                self.request_compressed = req["compressed"]
                self.faults = self.script.take_faults(req["code"])
                self.replies = 0
                try:
                    self.dispatch(req)
                except Cancelled:
                    self.log.write(conn=self.id, event="cancel", number=self.number,
                                   code=req["code"])
                    self.faults = [f for f in self.faults if f.kind == "status_drop"]
                    self.send_reply(1, code=2)
        except (Closed, frames.FrameError, wire.WireError, EOFError, OSError) as e:
            self.log.write(conn=self.id, event="error", error="%s: %s" % (type(e).__name__, e))
        finally:
            self.link.close()
            self.log.write(conn=self.id, event="close")

    def dispatch(self, req):
        code = req["code"]
        handler = {
            0: self.negotiate, 1: self.stray_ack, 2: self.idle_cancel, 3: self.logon,
            4: self.logoff, 5: self.disconnect, 8: self.change_password,
            9: self.users, 13: self.users, 19: self.folder_list, 121: self.folder_list,
            20: self.open_folder, 53: self.storage_set, 59: self.search, 100: self.search,
            112: self.search, 60: self.retrieve, 101: self.retrieve, 69: self.list_notes,
            62: self.resources,
            84: self.system_parms, 108: self.token, 109: self.connect,
            54: self.store, 95: self.store, 96: self.store, 86: self.load_info,
            87: self.store_object, 57: self.add_index_row, 103: self.add_index_row,
            56: self.update_index,
            88: self.segment_data, 91: self.log_message, 93: self.server_print,
            102: self.doc_object, 104: self.process_hits,
            67: self.add_note,
            64: self.storage_nodes, 73: self.named_queries, 74: self.segments, 78: self.printers,
        }.get(code)
        if handler is None:
            self.send_reply(6)
            return
        handler(req["body"])

    def current_session(self):
        req = self.request
        block = req.get("session")
        if block and any(block):
            s = self.server.sessions.find(block)
            if s:
                return s
            return self.shared_session(block)
        if self.session and self.session.block in self.server.sessions.by_block:
            return self.session
        h = req.get("handle") or {}
        logon = h.get("logon") or {}
        return self.server.sessions.find_user((h.get("identity") or {}).get("userId"),
                                              logon.get("userNumber"))

    def shared_session(self, block):
        """With "shared_sessions", a session block this peer did not give out stands for the
        user that the request's handle names (a node server trusting the logon server)."""
        if not self.script.shared_sessions:
            return None
        user_id = ((self.request.get("handle") or {}).get("identity") or {}).get("userId")
        user = self.script.find_user(user_id or "")
        return Session(user, block, 0) if user else None

    def need_session(self):
        s = self.current_session()
        if s is None:
            self.send_reply(13, message=self.script.messages["no_session"])
        return s

    # --- handlers ----------------------------------------------------------
    def negotiate(self, body):
        level = body["level"]
        ok = level in LEVELS and level not in self.script.refuse
        self.send_reply(0 if ok else 16)

    def stray_ack(self, body):
        self.log.write(conn=self.id, event="stray_ack", number=self.number)

    def idle_cancel(self, body):
        self.send_reply(1)

    def logon_body(self, user, session):
        h = self.request.get("handle") or {}
        groups = self.script.user_groups(user)
        group_list = "IN (%s)" % ",".join(str(n) for n in [user["number"]] + [g["number"] for g in groups])
        return {
            "user": user_view(user, logon_state=3),
            "identity": {"userId": user["id"], "userName": user.get("name", ""),
                         "processId": (h.get("identity") or {}).get("processId", 0)},
            "logon": {"userNumber": user["number"], "groupList": group_list,
                      "userType": user.get("type", 0), "timeOut": user.get("timeOut", 0)},
            "parms": self.script.parms,
            "session": session.word, "word1": 0, "word2": 0,
            "sessionBlock": session.block,
        }

    def logon(self, body):
        user = self.script.find_user(body["userId"])
        vouched = (self.ntlm_user is not None and body["password"] == ""
                   and user is not None and user["id"].upper() == self.ntlm_user.upper())
        if user is None or not (vouched or self.script.same_password(body["password"],
                                                                     user.get("password", ""))):
            self.send_reply(13, message=self.script.messages["refused"])
            return
        session = self.server.sessions.create(user)
        self.session = session
        if user.get("expired"):
            self.send_reply(12, self.logon_body(user, session), message=self.script.messages["expired"])
        else:
            self.send_reply(0, self.logon_body(user, session))

    def logoff(self, body):
        s = self.current_session()
        if s:
            self.server.sessions.remove(s)
        self.session = None
        self.send_reply(0)

    def disconnect(self, body):
        self.send_reply(0)

    def connect(self, body):
        s = self.current_session()
        self.send_reply(0, {"word": s.word if s else 0})

    def system_parms(self, body):
        self.send_reply(0, {"parms": self.script.parms})

    def change_password(self, body):
        s = self.need_session()
        if s is None:
            return
        record = body.get("user") or {}
        user = self.script.find_user(record.get("userId")) or s.user
        reply = lambda rc, reason, msg=None: self.send_reply(
            rc, {"user": user_view(user), "reason": reason}, message=msg)
        if user is not s.user and not s.user.get("type", 0) & 0x0C:
            reply(13, 0, self.script.messages["refused"])
            return
        if user is s.user and not self.script.same_password(record.get("password", ""),
                                                            user.get("password", "")):
            reply(13, 0, self.script.messages["refused"])
            return
        if body["hasNew"]:
            new = body["newPassword"]
            if len(new) < self.script.parms["minPasswordLength"]:
                reply(13, 1, "The new password is too short")
                return
            self.script.set_password(user, new, int(time.time()) if user is s.user else 0)
        reply(0, 0)

    def users(self, body):
        if self.need_session() is None:
            return
        entries = list(self.script.groups)
        if self.request["code"] == 9:
            entries = [{"number": u["number"], "name": u["id"], "description": u.get("description", "")}
                       for u in self.script.users]
        name, number = body.get("name"), body.get("number")
        chosen = [e for e in entries
                  if (not name or e["name"].upper() == name.upper())
                  and (not number or e["number"] == number)]
        self.send_list(chosen, lambda e: {"entry": e if isinstance(e, dict) else
                                          {"number": e[1], "name": "ENDLESS%d" % e[1]}},
                       {"entry": None})

    def folder_list(self, body):
        s = self.need_session()
        if s is None:
            return
        pattern = body.get("pattern") or ""
        folders = [f for f in self.script.visible_folders(s.user) if like(f["name"], pattern)]
        code = self.request["code"]

        def item(f):
            if isinstance(f, tuple):
                f = {"number": 100000 + f[1], "name": "Endless %d" % f[1]}
            return {"folder": folder_view(f), "final": 0}
        self.send_list(folders, item, {"folder": None, "final": len(folders)} if code == 121
                       else {"folder": None})

    def open_folder(self, body):
        s = self.need_session()
        if s is None:
            return
        names = body.get("names") or []
        for f in self.script.visible_folders(s.user):
            if f.get("number") == body["number"] or (names and names[0] and
                                                     f["name"].upper() == names[0].upper()):
                self.send_reply(0, {"folder": folder_view(f)})
                return
        self.send_reply(13, message="Folder not found or not permitted")

    def storage_set(self, body):
        if self.need_session() is None:
            return
        st = self.script.storage_set(body["number"])
        if st is None:
            self.send_reply(11, message="No such storage set")
            return
        self.send_reply(0, {"set": st})

    def search(self, body):
        if self.need_session() is None:
            return
        group = body["group"]
        hits = self.script.group_hits.get(group.get("number"), self.script.hits)
        rows = synthetic_rows(group, hits) if isinstance(hits, int) else hits

        def item(row):
            if isinstance(row, tuple):
                row = synthetic_row(group, row[1])
            return {"hit": row}
        self.send_list(rows, item, {"hit": None}, group=group)

    def retrieve(self, body):
        if self.need_session() is None:
            return
        hit = body.get("hit") or {}
        name = (hit.get("object") or {}).get("name")
        doc = self.script.document(name)
        if doc is None:
            self.send_reply(11, message="No such document")
            return
        entry, _, stored = doc
        if "reply" in entry:  # a scripted refusal of this document
            self.send_reply(int(entry["reply"]), message=entry.get("message", ""))
            return
        pieces = data_pieces(entry, stored)
        end = {"piece": None, "location": entry.get("location", 1), "second": entry.get("second", 0)}

        def item(p):
            if isinstance(p, tuple):
                p = {"letter": "N", "position": p[1], "data": b"endless\n"}
            return {"piece": p}
        self.send_list(pieces, item, end)

    def resources(self, body):
        if self.need_session() is None:
            return
        found = self.script.resource((body.get("nodeInfo") or {}).get("group"))
        if found is None:
            self.send_reply(11, message="No such resources")
            return
        self.send_list(data_pieces(*found), lambda p: {"piece": p}, {"piece": None})

    def list_notes(self, body):
        if self.need_session() is None:
            return
        name = (body.get("object") or {}).get("name")
        notes = self.script.notes_for(name)

        def item(n):
            if isinstance(n, tuple):
                n = {"number": n[1], "text": "endless"}
            n = dict(n)
            if isinstance(n.get("data"), str):
                n["data"] = n["data"].encode("utf-8")
            return {"note": n}
        self.send_list(notes, item, {"note": None})

    def add_note(self, body):
        """The note joins the object's list (which starts as a copy of the default one)
        under the next number; the reply words are that number and 0."""
        obj = (body.get("hit") or {}).get("object") or {}
        name = obj.get("name") or ""
        sent = dict(body["note"])
        self.log.write(conn=self.id, event="add_note", group=body["group"].get("number"), object=name,
                       segment=body["hit"].get("segment"), note=sent)
        s = self.need_session()
        if s is None:
            return
        with self.script.lock:
            notes = self.script.notes.setdefault(name, list(self.script.notes.get("*", [])))
            number = 1 + max([n.get("number", 0) for n in notes if isinstance(n, dict)] or [0])
            notes.append(dict(sent, number=number, userId=s.user.get("id", "")))
        self.send_reply(0, {"word0": number, "word1": 0})

    def read_data(self):
        """The data messages after the first one of a data-carrying request, up to the
        empty one that ends them; every send-window-th message before it is acknowledged.
        Answers the bytes and the number of messages, the first included."""
        window = self.request["sendWindow"]
        data = bytearray()
        count = 1
        while True:
            msg = frames.MessageIn(self.link)
            codec = wire.Codec(self.features, msg.get)
            req = {}
            wire.request(codec, req)
            msg.finish()
            self.number = msg.number
            if req["code"] == 2:
                raise Cancelled()
            if req["code"] != self.request["code"] or req["body"].get("first") != 0:
                raise Closed("request %d where data of %d belongs" % (req["code"], self.request["code"]))
            count += 1
            chunk = req["body"]["data"]
            if not chunk:
                return bytes(data), count
            data += chunk
            if window and count % window == 0:
                self.send_reply(0, code=1)

    def group_rows(self, group):
        """The hits of a group as a list that adding and updating change (under the lock)."""
        number = group.get("number")
        rows = self.script.group_hits.get(number, self.script.hits)
        if isinstance(rows, int):
            rows = list(synthetic_rows(group, rows))
        self.script.group_hits[number] = rows
        return rows

    def store(self, body):
        data, messages = self.read_data()
        group, obj = body["group"], body.get("object") or {}
        name = obj.get("name")
        self.log.write(conn=self.id, event="store", code=self.request["code"], group=group.get("number"),
                       stored=name, letter=obj.get("compression"), bytes=len(data), messages=messages,
                       value=body.get("value"), flag1=body.get("flag1"), flag2=body.get("flag2"),
                       word=body.get("word"), block=body.get("block"))
        if self.need_session() is None:
            return
        if self.script.secondary_store:
            self.send_reply(11, message="The object belongs to the secondary server")
            return
        with self.script.lock:
            self.script.stored[name] = data
            block = body.get("block")
            if block and block.get("values") is not None:
                self.group_rows(group).append(dict(block, object=dict(obj, compressedLength=len(data))))
        answer = dict(obj, compressedLength=len(data), location=2)
        self.send_reply(0, {"object": answer})

    def load_info(self, body):
        self.log.write(conn=self.id, event="load_info", group=body["group"])
        if self.need_session() is None:
            return
        self.send_reply(0, {"text": self.script.load_info})

    def store_object(self, body):
        data, messages = self.read_data()
        name = body.get("objectName")
        self.log.write(conn=self.id, event="store_object", group=body["group"].get("number"), object=name,
                       location=body.get("location"), letter=chr(body.get("flag1") or 32),
                       flag2=body.get("flag2"), value=body.get("value"), bytes=len(data),
                       messages=messages, primary=body["primary"].get("name"),
                       secondary=body["secondary"].get("name"))
        if self.need_session() is None:
            return
        with self.script.lock:
            self.script.stored[name] = data
            self.script.stored_letters[name] = chr(body.get("flag1") or 78)
        self.send_reply(0, {"word": len(data)})

    # --- lists and records (64, 73, 74, 78) -----------------------------------
    def storage_nodes(self, body):
        self.log.write(conn=self.id, event="storage_nodes", group=body["group"], node=body["node"])
        if self.need_session() is None:
            return
        info = self.script.storage_nodes.get("%d|%d" % (body["group"], body["node"]))
        if info is None:
            self.send_reply(11, message="No such storage node")
            return
        self.send_reply(0, {"info": dict(info, group=body["group"])})

    def named_queries(self, body):
        self.log.write(conn=self.id, event="named_queries", folder=body["folder"], user=body["user"],
                       names=body["names"])
        s = self.need_session()
        if s is None:
            return
        sees_all = s.user.get("type", 0) & 0x14
        queries = [q for q in self.script.named_queries.get(str(body["folder"]), [])
                   if sees_all or q.get("owner", -1) in (-1, body["user"])]
        self.send_list(queries, lambda q: {"query": q if isinstance(q, dict) else
                                           {"number": q[1], "name": "Endless %d" % q[1], "text": ""}},
                       {"query": None})

    def segments(self, body):
        self.log.write(conn=self.id, event="segments", groups=body["groups"])
        if self.need_session() is None:
            return
        rows = [seg for g in body["groups"] for seg in self.script.segments.get(str(g), [])]
        self.send_list(rows, lambda seg: {"segment": seg if isinstance(seg, dict) else
                                          {"number": seg[1] & 0xFFFF, "name": "END%d" % (seg[1] % 100000)}},
                       {"segment": None})

    def printers(self, body):
        if self.need_session() is None:
            return
        self.send_list(self.script.printers, lambda p: {"printer": p if isinstance(p, dict) else
                                                        {"number": p[1], "name": "Endless %d" % p[1]}},
                       {"printer": None})

    def add_index_row(self, body):
        group, block = body["group"], body.get("block") or {}
        self.log.write(conn=self.id, event="add_index_row", group=group.get("number"), row=block,
                       word=body.get("word"))
        if self.need_session() is None:
            return
        name = "%s1" % (group.get("tablePrefix") or "SEG")
        with self.script.lock:
            rows = self.group_rows(group)
            rows.append(dict(block, segment=name))
            count = len(rows)
        self.send_reply(0, {"result": {"segment": name},
                            "segment": {"number": 1, "status": 1, "name": name, "rows": count},
                            "word": body.get("word")}, group=group)

    def update_index(self, body):
        group, old, new = body["group"], body.get("oldHit") or {}, body.get("newHit") or {}
        self.log.write(conn=self.id, event="update_index", group=group.get("number"), old=old, new=new)
        if self.need_session() is None:
            return
        key = (old.get("object") or {}).get("name")
        found = False
        with self.script.lock:
            rows = self.group_rows(group)
            for i, row in enumerate(rows):
                if row.get("values") == old.get("values") and (row.get("object") or {}).get("name") == key:
                    rows[i] = dict(row, values=new.get("values"))
                    found = True
                    break
        if found:
            self.send_reply(0)
        else:
            self.send_reply(11, message="No such index row")

    # --- stored objects, log messages, server print, text search -------------
    def object_bytes(self, name):
        """(letter, bytes) of an object stored here or of a scripted document, or None."""
        with self.script.lock:
            data = self.script.stored.get(name)
            letter = self.script.stored_letters.get(name, "N")
        if data is not None:
            return letter, data
        doc = self.script.document(name)
        return None if doc is None else (doc[0].get("letter", "O"), doc[2])

    def segment_data(self, body):
        self.log.write(conn=self.id, event="segment_data", group=body["group"].get("number"),
                       object=body.get("objectName"), location=body.get("location"),
                       offset=body.get("offset"), length=body.get("length"),
                       primary=body["primary"].get("name"), secondary=body["secondary"].get("name"))
        if self.need_session() is None:
            return
        found = self.object_bytes(body.get("objectName"))
        if found is None:
            self.send_reply(11, message="No such object")
            return
        letter, data = found
        start = body.get("offset") or 0
        end = start + body["length"] if body.get("length") else len(data)
        part = data[start:end]
        pieces = [{"letter": letter, "position": start + pos, "data": part[pos:pos + 32768]}
                  for pos in range(0, len(part), 32768)]
        self.send_list(pieces, lambda p: {"piece": p}, {"piece": None})

    def log_message(self, body):
        data, messages = self.read_data()
        self.log.write(conn=self.id, event="log_message", number=body.get("messageNumber"),
                       word=body.get("word"), letter=chr(body.get("byte") or 32),
                       objects=len(body.get("objects") or []), text=data.decode("utf-8", "replace"),
                       messages=messages)
        if self.need_session() is None:
            return
        self.send_reply(0)

    def read_items(self, code, body):
        """The hit items of 93 or 104 from `body` (None: from the next message) up to the
        closing message, whose body is answered with them; every send-window-th message
        is acknowledged. An item naming no group belongs to the group of the one before."""
        window = self.request["sendWindow"]
        items, group, count = [], None, 1
        while body is None or body.get("more") != 0:
            if body is not None:
                if body.get("group") is not None:
                    group = body["group"]
                items.append({"word": body.get("word"), "group": (group or {}).get("number"),
                              "hit": body.get("hit"), "word2": body.get("word2")})
                if window and count % window == 0:
                    self.send_reply(0, code=1)
            msg = frames.MessageIn(self.link)
            codec = wire.Codec(self.features, msg.get)
            codec.group = group
            req = {}
            wire.request(codec, req)
            msg.finish()
            self.number = msg.number
            if req["code"] == 2:
                raise Cancelled()
            if req["code"] != code:
                raise Closed("request %d where items of %d belong" % (req["code"], code))
            body = req["body"]
            count += 1
        return items, body

    def server_print(self, body):
        if body.get("first") != 1:
            raise Closed("items of 93 without its print request")
        items, end = self.read_items(93, None)
        self.log.write(conn=self.id, event="server_print", print=body.get("print"), text=body.get("text"),
                       entries=body.get("entries"), items=items, endWord=end.get("endWord"),
                       endByte=end.get("endByte"))
        if self.need_session() is None:
            return
        self.send_reply(0)

    def doc_object(self, body):
        name = ((body.get("hit") or {}).get("object") or {}).get("name")
        self.log.write(conn=self.id, event="doc_object", group=body["group"].get("number"), object=name,
                       location=body.get("location"), text=body.get("text"),
                       exitLast=body.get("exitLast"), word2=body.get("word2"))
        if self.need_session() is None:
            return
        if self.object_bytes(name) is None:
            self.send_reply(6, message="No place holds the object")
            return
        with self.script.lock:
            answer = 1 if name in self.script.stored else 2
        self.send_reply(0, {"answer": answer, "word": len(self.object_bytes(name)[1])})

    def process_hits(self, body):
        items, end = self.read_items(104, body)
        values = end.get("values") or []
        self.log.write(conn=self.id, event="process_hits", items=items, endWord=end.get("endWord"),
                       search=values)
        if self.need_session() is None:
            return
        # A hit matches when its first value holds the first search text.
        wanted = values[0][1] if values else ""
        found = []
        for item in items:
            first = ((item["hit"] or {}).get("values") or [""])[0]
            if wanted in str(first):
                found.append([(1, str(first)), (2, str(item["word"]))])
        self.send_list(found, lambda v: {"items": v}, {"items": []})

    def token(self, body):
        ntlm = self.script.ntlm
        text = bytes(body.get("token") or b"").decode("ascii", errors="replace").split(" ")
        if body["first"] == 1:
            self.ntlm_user = None
            if len(text) != 3 or text[:2] != ["QELNTLM1", "NEGOTIATE"]:
                self.send_reply(13, message="Bad negotiate token")
                return
            self.ntlm_user_name = text[2]
            challenge = "QELNTLM1 CHALLENGE %s" % fnv1a64(text[2].encode())
            self.send_reply(0, {"token": challenge.encode(), "userId": body.get("userId", "")})
            return
        user = self.ntlm_user_name
        if user is None or len(text) != 4 or text[:3] != ["QELNTLM1", "AUTHENTICATE", user]:
            self.send_reply(13, message="Bad authenticate token")
            return
        c = fnv1a64(user.encode())
        expected = fnv1a64(("%s:%s:%s" % (c, user, ntlm["secret"])).encode())
        if text[3] != expected:
            self.send_reply(13, message="Integrated logon refused")
            return
        archive_id = ntlm["map"].get(user, user.split("\\")[-1].upper())
        self.ntlm_user = archive_id
        self.send_reply(0, {"token": b"", "userId": archive_id})


def data_pieces(entry, stored):
    """The stored bytes as data pieces of the script entry's letter and piece size."""
    letter = entry.get("letter", "O")
    size = int(entry.get("piece", 32768))
    return [{"letter": letter, "position": pos, "data": stored[pos:pos + size]}
            for pos in range(0, len(stored), size)]


def like(name, pattern):
    """A folder name against a pattern where '%' and '*' match any run of characters."""
    if not pattern or pattern in ("%", "*"):
        return True
    import fnmatch
    return fnmatch.fnmatchcase(name.upper(), pattern.upper().replace("%", "*"))


def user_view(user, logon_state=0):
    return {"number": user["number"], "userId": user["id"], "password": "",
            "description": user.get("description", ""), "userName": user.get("name", ""),
            "userType": user.get("type", 0), "passwordChanged": user.get("passwordChanged", 0),
            "perLogonTimeOut": user.get("timeOut", 0), "logonState": logon_state}


def folder_view(f):
    view = dict(f)
    view.setdefault("fieldTotal", len(f.get("fields", [])))
    return view


SYNTHETIC_VALUES = {
    "S": lambda name, row, i: "%s-%d" % (name, row),
    "T": lambda name, row, i: "%s-%d" % (name, row),
    "I": lambda name, row, i: row * 100 + i,
    "N": lambda name, row, i: (row * 10 + i) & 0x7FFF,
    "B": lambda name, row, i: row * 1000000007 + i,
    "D": lambda name, row, i: row + i / 10.0,
}


def synthetic_row(group, row):
    values = []
    for i, fdef in enumerate(group.get("fields") or []):
        make = SYNTHETIC_VALUES.get(fdef.get("type") or "")
        values.append(make(fdef.get("name") or "F", row, i) if make else None)
    return {"noteFlag": row % 2, "segment": "SEG%d" % (1 + row // 1000),
            "object": {"name": "DOC%05d" % row, "compressedOffset": 0, "compression": "O"},
            "values": values}


def synthetic_rows(group, count):
    for row in range(1, count + 1):
        yield synthetic_row(group, row)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, script, log):
        self.script = script
        self.log = log
        self.sessions = Sessions()
        super().__init__(address, Handler)


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        Connection(self.server, self.request).serve()


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--script", help="JSON script (docs/peer.md)")
    p.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (0: a free one)")
    p.add_argument("--port-file", help="also write the port into this file")
    p.add_argument("--log", help="append one JSON line per event to this file")
    p.add_argument("--refuse", type=int, action="append", default=[],
                   help="answer 16 to this protocol level (repeatable)")
    p.add_argument("--fault", action="append", default=[],
                   help="a fault as JSON, e.g. '{\"code\": 112, \"kind\": \"slow\", \"ms\": 200}'")
    p.add_argument("--split", action="store_true", help="frames and sends cut at random")
    p.add_argument("--compress", choices=("auto", "always", "never"))
    p.add_argument("--seed", type=int)
    p.add_argument("--until-stdin-closes", action="store_true",
                   help="stop when standard input reaches its end")
    return p.parse_args(argv)


def load_script(args):
    data = {}
    if args.script:
        with open(args.script, encoding="utf-8") as f:
            data = json.load(f)
    data.setdefault("refuse_levels", [])
    data["refuse_levels"] = list(data["refuse_levels"]) + args.refuse
    data.setdefault("faults", [])
    data["faults"] = list(data["faults"]) + [json.loads(f) for f in args.fault]
    if args.split:
        data["split"] = True
    if args.compress:
        data["compress"] = args.compress
    if args.seed is not None:
        data["seed"] = args.seed
    return Script(data)


def write_port(path, port):
    fd, tmp = tempfile.mkstemp(dir=os.path.dirname(os.path.abspath(path)), prefix=".peer-port-")
    with os.fdopen(fd, "w") as f:
        f.write("%d\n" % port)
    os.replace(tmp, path)


def main(argv):
    args = parse_args(argv)
    try:
        script = load_script(args)
    except (OSError, ValueError, ScriptError) as e:
        print("peer: %s" % e, file=sys.stderr)
        if args.port_file:
            write_port(args.port_file, 0)   # tells a waiting test at once
        return 2
    server = Server(("127.0.0.1", args.port), script, EventLog(args.log))
    port = server.server_address[1]
    if args.port_file:
        write_port(args.port_file, port)
    print(port, flush=True)
    if args.until_stdin_closes:
        def watch():
            while sys.stdin.buffer.read(4096):
                pass
            os._exit(0)
        threading.Thread(target=watch, daemon=True).start()
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
