"""What the loopback peer knows: users, groups, folders, storage sets, hits, documents,
notes, and the faults it plays. Read from a JSON script; docs/peer.md lists the keys."""
import json
import random
import threading
import zlib

LEVELS = (2219, 2210, 22014, 2209, 2208, 2207, 2114, 210)

FAULT_KINDS = {
    "status_drop",      # status word 0x1: drop the connection after the request
    "slow",             # wait `ms` before each reply
    "wrong_reply_code", # answer with reply code `value`
    "result",           # answer with server result `value`
    "oversize_length",  # the first length or count word of the reply becomes `value`
    "oversize_frame",   # a plain frame header announcing `value` bytes
    "close_mid_frame",  # send half of the reply's first frame, then close
    "endless_list",     # a list that never ends
    "drop",             # close the connection instead of replying
}


class ScriptError(Exception):
    pass


class Fault:
    def __init__(self, spec):
        kind = spec.get("kind")
        if kind not in FAULT_KINDS:
            raise ScriptError("unknown fault kind %r" % kind)
        self.kind = kind
        self.code = spec.get("code")          # None: every code
        self.after = int(spec.get("after", 0))
        self.times = spec.get("times")        # None: every request
        self.value = spec.get("value")
        self.ms = int(spec.get("ms", 0))

    def matches(self, code):
        if self.code is None:
            return True
        codes = self.code if isinstance(self.code, list) else [self.code]
        return code in codes


def fnv1a64(data):
    h = 0xcbf29ce484222325
    for b in data:
        h ^= b
        h = (h * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % h


def generate_document(spec):
    if "file" in spec:
        with open(spec["file"], "rb") as f:
            return f.read()
    if "text" in spec:
        return spec["text"].encode("utf-8")
    size = int(spec.get("size", 0))
    kind = spec.get("kind", "text")
    if kind == "random":
        return random.Random(spec.get("seed", 1)).randbytes(size)
    line = spec.get("line", "%08d the archive peer sends this line of a long document\n")
    out = bytearray()
    n = 0
    while len(out) < size:
        out += (line % n).encode("ascii")
        n += 1
    return bytes(out[:size])


class Script:
    def __init__(self, data):
        self.lock = threading.Lock()
        self.refuse = set(int(v) for v in data.get("refuse_levels", []))
        self.parms = dict({"passwordExpiryDays": -1, "minPasswordLength": 0, "timeOut": 0,
                           "flags": 0, "systemLogMask": 0, "exitMask": 0},
                          **data.get("system_parms", {}))
        self.users = [dict(u) for u in data.get("users", [])]
        self.groups = [dict(g) for g in data.get("groups", [])]
        self.folders = data.get("folders", [])
        self.storage_sets = data.get("storage_sets", [])
        self.hits = data.get("hits", 0)
        self.group_hits = {int(k): v for k, v in data.get("group_hits", {}).items()}
        self.documents = data.get("documents", {})
        self.resources = {str(k): v for k, v in data.get("resources", {}).items()}
        self.shared_sessions = bool(data.get("shared_sessions", False))
        self.notes = data.get("notes", {})
        self.load_info = data.get("load_info", "1FAA")          # the answer to request 86
        self.secondary_store = bool(data.get("secondary_store", False))  # 96 answers 11
        # Lists and records: 64 by "group|node", 73 by folder, 74 by group, 78.
        self.storage_nodes = {str(k): v for k, v in data.get("storage_nodes", {}).items()}
        self.named_queries = {str(k): v for k, v in data.get("named_queries", {}).items()}
        self.segments = {str(k): v for k, v in data.get("segments", {}).items()}
        self.printers = data.get("printers", [])
        self.stored = {}                                        # object name -> bytes stored
        self.stored_letters = {}                                # object name -> letter of 87
        self.messages = dict({"refused": "Invalid user id or password",
                              "expired": "The password has expired",
                              "no_session": "Not logged on"}, **data.get("messages", {}))
        self.ntlm = dict({"secret": "fake-secret", "map": {}}, **data.get("ntlm", {}))
        self.compress = data.get("compress", "auto")
        self.split = bool(data.get("split", False))
        self.seed = int(data.get("seed", 1))
        self.faults = [Fault(f) for f in data.get("faults", [])]
        self.fault_lock = threading.Lock()
        self._documents = {}
        for u in self.users:
            if "id" not in u or "number" not in u:
                raise ScriptError("a user needs an id and a number")

    @staticmethod
    def load(path):
        with open(path, encoding="utf-8") as f:
            return Script(json.load(f))

    # --- users -------------------------------------------------------------
    def _same_id(self, a, b):
        if self.parms["flags"] & 0x01:
            return a == b
        return a.upper() == b.upper()

    def same_password(self, given, stored):
        if self.parms["flags"] & 0x02:
            return given == stored
        return given.upper() == stored.upper()

    def find_user(self, user_id):
        with self.lock:
            for u in self.users:
                if self._same_id(u["id"], user_id or ""):
                    return u
        return None

    def user_groups(self, user):
        return [g for g in self.groups if user["number"] in g.get("members", [])]

    def set_password(self, user, password, changed):
        with self.lock:
            user["password"] = password
            user["passwordChanged"] = changed

    # --- folders -----------------------------------------------------------
    def visible_folders(self, user):
        out = []
        for f in self.folders:
            allowed = f.get("users")
            if allowed is None or any(self._same_id(a, user["id"]) for a in allowed):
                out.append(f)
        return out

    def storage_set(self, number):
        for s in self.storage_sets:
            if s.get("number") == number:
                return s
        return None

    # --- documents ---------------------------------------------------------
    def document(self, name):
        """(spec, expanded bytes, stored bytes) of a document, or None."""
        spec = self.documents.get(name or "") or self.documents.get("*")
        if spec is None:
            return None
        key = name if name in self.documents else "*"
        with self.lock:
            cached = self._documents.get(key)
            if cached is None:
                data = generate_document(spec)
                stored = zlib.compress(data) if spec.get("letter", "O") == "O" else data
                cached = (data, stored)
                self._documents[key] = cached
        return spec, cached[0], cached[1]

    def resource(self, group):
        """(script entry, stored bytes) of the resources of a group number (else "*"), or None."""
        key = str(group) if str(group) in self.resources else "*"
        entry = self.resources.get(key)
        if entry is None:
            return None
        with self.lock:
            stored = self._documents.get(("resources", key))
            if stored is None:
                data = generate_document(entry)
                stored = zlib.compress(data) if entry.get("letter", "O") == "O" else data
                self._documents[("resources", key)] = stored
        return entry, stored

    def notes_for(self, name):
        return self.notes.get(name or "", self.notes.get("*", []))

    # --- faults ------------------------------------------------------------
    def take_faults(self, code):
        """The faults that strike this request; each use counts against `times`."""
        chosen = []
        with self.fault_lock:
            for f in self.faults:
                if not f.matches(code):
                    continue
                if f.times is not None:
                    if f.times <= 0:
                        continue
                    f.times -= 1
                chosen.append(f)
        return chosen
