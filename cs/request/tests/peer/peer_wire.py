"""Request and reply records of the archive protocol, as docs/wire.md writes them down.

One codec object serves both directions: every procedure takes (x, holder, key) and
either writes holder[key] to the wire (encode) or reads it from the wire into
holder[key] (decode). Records are dicts, arrays are lists; a missing key encodes as
zero, the empty text or an absent optional record.
"""
import struct

# Feature bits, taken from the flag words of a request's handle part.
RESERVED_WORD = 0x01
TEXTS = 0x02
LEVEL_22014 = 0x04
LONG64 = 0x08
SESSION = 0x10

TEXT_LIMIT = 131072
ARRAY_LIMIT = 65535
LIST_LIMIT = 1048576  # items of one value list
CODE_MAX = 121
SESSION_BLOCK = 64


class WireError(Exception):
    """A record that docs/wire.md does not allow."""


def features_of(flags1, flags2):
    f = 0
    if flags1 & 0x00100000:
        f |= RESERVED_WORD
    if flags1 & 0x40000000:
        f |= TEXTS
    if flags2 & 0x001:
        f |= LEVEL_22014
    if flags2 & 0x040:
        f |= LONG64
    if flags2 & 0x100:
        f |= SESSION
    return f


def hide(units):
    """Inverts every byte of big-endian UCS-2 up to the first zero unit (its own inverse)."""
    out = bytearray(units)
    for i in range(0, len(out) - 1, 2):
        if out[i] == 0 and out[i + 1] == 0:
            break
        out[i] ^= 0xFF
        out[i + 1] ^= 0xFF
    return bytes(out)


def wire_text(text, hidden=False):
    """The bytes of a text on the wire (without the length word); None is no text."""
    if text is None:
        return b""
    units = text.encode("utf-16-be") + b"\0\0"
    return hide(units) if hidden else units


class Codec:
    def __init__(self, features=0, source=None):
        self.encoding = source is None
        self.features = features
        self.group = None       # the application group that types hit-row values
        self.out = bytearray()
        self.source = source    # decode: callable(n) -> n bytes
        self.raw = {}           # decode: wire bytes of hidden texts, by key
        self.oversize = None    # encode: replaces the next length or count word (faults)

    # --- bytes -------------------------------------------------------------
    def put(self, data):
        self.out += data

    def take(self, n):
        data = self.source(n)
        if len(data) != n:
            raise WireError("record ends early")
        return data

    def word(self, value=None, fmt=">I"):
        if self.encoding:
            self.put(struct.pack(fmt, value))
            return value
        return struct.unpack(fmt, self.take(4))[0]

    def length(self, n):
        """Writes a length or count word (the fault value once, when one is set)."""
        if self.oversize is not None:
            n, self.oversize = self.oversize, None
        self.word(n)

    # --- scalars -----------------------------------------------------------
    def u32(self, r, key):
        if self.encoding:
            self.word(self._get(r, key, 0) & 0xFFFFFFFF)
        else:
            r[key] = self.word()

    def i32(self, r, key):
        if self.encoding:
            self.word(self._get(r, key, 0), ">i")
        else:
            r[key] = self.word(fmt=">i")

    def u16(self, r, key):
        if self.encoding:
            self.word(self._get(r, key, 0) & 0xFFFF)
        else:
            r[key] = self.word() & 0xFFFF

    def i16(self, r, key):
        if self.encoding:
            self.word(self._get(r, key, 0), ">i")
        else:
            v = self.word() & 0xFFFF
            r[key] = v - 0x10000 if v & 0x8000 else v

    def byte(self, r, key):
        if self.encoding:
            v = self._get(r, key, 0)
            if isinstance(v, str):
                v = ord(v) if v else 0
            self.put(bytes([v & 0xFF, 0, 0, 0]))
        else:
            r[key] = self.take(4)[0]

    def char(self, r, key):
        """A byte kept as a one-letter text ('' for a zero byte)."""
        if self.encoding:
            self.byte(r, key)
        else:
            b = self.take(4)[0]
            r[key] = chr(b) if b else ""

    def hyper(self, r, key):
        if self.encoding:
            self.put(struct.pack(">q", self._get(r, key, 0)))
        else:
            r[key] = struct.unpack(">q", self.take(8))[0]

    def long(self, r, key):
        if self.features & LONG64:
            self.hyper(r, key)
        elif self.encoding:
            v = self._get(r, key, 0)
            if not -2**31 <= v < 2**31:
                raise WireError("long value %d needs LONG64" % v)
            self.word(v, ">i")
        else:
            r[key] = self.word(fmt=">i")

    def double(self, r, key):
        if self.encoding:
            self.put(struct.pack(">d", float(self._get(r, key, 0))))
        else:
            r[key] = struct.unpack(">d", self.take(8))[0]

    def opaque(self, r, key, n):
        pad = (4 - n % 4) % 4
        if self.encoding:
            data = bytes(self._get(r, key, b""))[:n]
            self.put(data + bytes(n - len(data)) + bytes(pad))
        else:
            r[key] = self.take(n)
            self.take(pad)

    def counted(self, r, key, limit):
        if self.encoding:
            data = bytes(self._get(r, key, b""))
            self.length(len(data))
            self.put(data + bytes((4 - len(data) % 4) % 4))
        else:
            n = self.word()
            if n > limit:
                raise WireError("counted bytes of %d above %d" % (n, limit))
            r[key] = self.take(n)
            self.take((4 - n % 4) % 4)

    # --- texts -------------------------------------------------------------
    def text(self, r, key, hidden=False, limit=TEXT_LIMIT):
        if self.encoding:
            data = wire_text(self._get(r, key, None), hidden)
            self.length(len(data))
            self.put(data + bytes((4 - len(data) % 4) % 4))
            return
        n = self.word()
        if n % 2 or n > TEXT_LIMIT or n > limit:
            raise WireError("text length %d" % n)
        data = self.take(n)
        self.take((4 - n % 4) % 4)
        if hidden:
            self.raw[key] = data.hex()
            data = hide(data)
        if n == 0:
            r[key] = None
            return
        end = 0
        while end + 1 < n and data[end:end + 2] != b"\0\0":
            end += 2
        r[key] = data[:end].decode("utf-16-be", errors="replace")

    def field(self, r, key, size, hidden=False):
        """A text meant for a fixed field of size bytes; empty when absent."""
        if self.encoding and self._get(r, key, None) is None:
            if isinstance(r, dict):
                r = dict(r)
                r[key] = ""
        self.text(r, key, hidden)
        if not self.encoding and r[key] is None:
            r[key] = ""

    # --- structure ---------------------------------------------------------
    @staticmethod
    def _get(r, key, default):
        if isinstance(r, dict):
            v = r.get(key, default)
            return default if v is None and default is not None else v
        return r[key]

    def sub(self, r, key):
        """The record at r[key] (made empty when decoding or missing)."""
        if not self.encoding:
            r[key] = {}
        elif self._get(r, key, None) is None:
            return {}
        return r[key]

    def presence(self, present=None):
        if self.encoding:
            self.word(0 if present else 1)
            return present
        w = self.word()
        if w not in (0, 1):
            raise WireError("presence word %d" % w)
        return w == 0

    def opt(self, r, key, proc):
        present = self.presence(self._get(r, key, None) is not None if self.encoding else None)
        if present:
            proc(self, r, key)
        elif not self.encoding:
            r[key] = None

    def array(self, r, key, proc, limit=ARRAY_LIMIT):
        if self.encoding:
            items = list(self._get(r, key, []) or [])
            self.length(len(items))
        else:
            n = self.word()
            if n > limit:
                raise WireError("array count %d above %d" % (n, limit))
            items = [None] * n
            r[key] = items
        for i in range(len(items)):
            proc(self, items, i)

    def value_list(self, r, key):
        """A linked value list: opt item, each item u16 number, text, opt next."""
        if self.encoding:
            items = list(self._get(r, key, []) or [])
            for number, text in items:
                self.presence(True)
                self.word(number & 0xFFFF)
                self.text({"t": text}, "t")
            self.presence(False)
            return
        items = []
        while self.presence():
            if len(items) >= LIST_LIMIT:
                raise WireError("value list too long")
            item = {}
            self.u16(item, "n")
            self.text(item, "t")
            items.append((item["n"], item["t"]))
        r[key] = items


# --- nested records --------------------------------------------------------

def u32(x, r, k): x.u32(r, k)
def u16(x, r, k): x.u16(r, k)
def text_entry(x, r, k): x.text(r, k)


def identity(x, r, k):
    s = x.sub(r, k)
    x.field(s, "userId", 21); x.field(s, "userName", 61); x.u32(s, "processId")


def logon_record(x, r, k):
    s = x.sub(r, k)
    x.u32(s, "userNumber"); x.text(s, "groupList"); x.u16(s, "userType"); x.long(s, "timeOut")


def user_record(x, r, k, hidden_password=False):
    s = x.sub(r, k)
    x.u32(s, "number"); x.field(s, "userId", 21); x.field(s, "password", 21, hidden_password)
    x.field(s, "description", 121); x.field(s, "userName", 61)
    if x.encoding:
        info = list(s.get("info", []) or []) + [""] * 10
        phone = list(s.get("phone", []) or []) + [""] * 2
    else:
        info, phone = [None] * 10, [None] * 2
    for i in range(10):
        x.field(info, i, 61)
    for i in range(2):
        x.field(phone, i, 33)
    if not x.encoding:
        s["info"], s["phone"] = info, phone
    x.field(s, "email", 61); x.u32(s, "attributes"); x.u16(s, "userType")
    x.long(s, "passwordChanged")
    if x.features & LONG64:
        x.long(s, "perLogonTimeOut"); x.u32(s, "logonState")


def user_entry(x, r, k):
    s = x.sub(r, k)
    x.u32(s, "number"); x.field(s, "name", 21); x.field(s, "description", 121)


def system_parms(x, r, k):
    s = x.sub(r, k)
    x.i32(s, "passwordExpiryDays"); x.u16(s, "minPasswordLength"); x.long(s, "timeOut")
    x.u32(s, "flags"); x.u32(s, "systemLogMask"); x.u32(s, "exitMask")


def node_entry(x, r, k):
    s = x.sub(r, k)
    x.field(s, "name", 61); x.field(s, "description", 121); x.field(s, "logon", 21)
    x.field(s, "password", 21); x.field(s, "serverName", 255); x.u32(s, "flags")
    x.u16(s, "number")


def storage_set(x, r, k):
    s = x.sub(r, k)
    x.field(s, "name", 61); x.field(s, "description", 121); x.char(s, "type")
    x.array(s, "nodes", node_entry)


def node_info(x, r, k):
    s = x.sub(r, k)
    x.u32(s, "group"); x.u16(s, "primary"); x.u16(s, "secondary"); x.char(s, "compression")


def typed_value(x, r, k, letter):
    if letter == "B":
        x.hyper(r, k)
    elif letter == "D":
        x.double(r, k)
    elif letter == "I":
        x.i32(r, k)
    elif letter == "N":
        x.i16(r, k)
    elif letter in ("S", "T"):
        x.text(r, k, limit=255)
    elif not x.encoding:
        r[k] = None


def folder_field(x, r, k):
    s = x.sub(r, k)
    x.field(s, "name", 61); x.field(s, "description", 121); x.char(s, "type")
    x.char(s, "type2"); x.u16(s, "number")
    for key in ("w1", "w2", "w3"):
        x.u16(s, key)
    x.byte(s, "flags")
    for key in ("w4", "w5", "w6"):
        x.u16(s, key)
    letter = s.get("type") or ""
    if x.encoding:
        values = list(s.get("values", []) or []) + [default_value(letter)] * 2
    else:
        values = [None, None]
    typed_value(x, values, 0, letter)
    typed_value(x, values, 1, letter)
    if not x.encoding:
        s["values"] = values


def field_definition(x, r, k):
    s = x.sub(r, k)
    x.field(s, "name", 19); x.char(s, "type"); x.byte(s, "flags")
    if s.get("type") == "S":
        x.u16(s, "textLength"); x.byte(s, "case")
    x.u16(s, "number")
    x.array(s, "texts1", text_entry); x.array(s, "texts2", text_entry)
    if x.encoding:
        extra = list(s.get("extra", []) or []) + [""] * 3
    else:
        extra = [None] * 3
    for i in range(3):
        x.field(extra, i, 9)
    if not x.encoding:
        s["extra"] = extra


def application_entry(x, r, k):
    s = x.sub(r, k)
    x.field(s, "name", 61); x.field(s, "description", 121); x.text(s, "applId")
    for key in ("b1", "b2", "b3", "b4"):
        x.byte(s, key)
    x.u32(s, "number"); x.u32(s, "options")
    for key in ("t1", "t2", "t3"):
        x.text(s, key)
    x.text(s, "entry")


def application_group(x, r, k):
    s = x.sub(r, k)
    x.u32(s, "number"); x.field(s, "name", 61); x.field(s, "description", 121)
    x.field(s, "tablePrefix", 9); x.u16(s, "notePermissions"); x.char(s, "segmentKind")
    x.u32(s, "rowsPerSegment"); x.byte(s, "logging"); x.u32(s, "storageSet")
    x.byte(s, "permissions")
    if x.encoding:
        words = list(s.get("words", []) or []) + [0] * 7
    else:
        words = [None] * 7
    for i in range(7):
        x.u32(words, i)
    if not x.encoding:
        s["words"] = words
    x.u32(s, "flags")
    x.array(s, "fields", field_definition)
    x.array(s, "applications", application_entry)
    for key in ("v1", "v2", "v3"):
        x.u16(s, key)
    x.field(s, "textSearchFolder", 10)


def object_ref(x, r, k):
    s = x.sub(r, k)
    x.u32(s, "offset"); x.u32(s, "length"); x.u32(s, "compressedOffset"); x.u32(s, "compressedLength")
    x.char(s, "compression"); x.byte(s, "location"); x.u32(s, "resourceId")
    x.u16(s, "primary"); x.u16(s, "secondary"); x.text(s, "name")


def default_value(letter):
    return {"B": 0, "D": 0.0, "I": 0, "N": 0, "S": "", "T": ""}.get(letter)


def hit_row(x, r, k):
    s = x.sub(r, k)
    if x.features & RESERVED_WORD:
        x.byte(s, "noteFlag")
    x.field(s, "segment", 19)
    x.opt(s, "object", object_ref)
    fields = (x.group or {}).get("fields") or []
    if x.encoding:
        values = s.get("values")
        x.presence(values is not None)
        if values is None:
            return
        if len(values) > len(fields):
            raise WireError("more values than the group has fields")
        x.word(len(values))
        for i in range(len(values)):
            typed_value(x, values, i, fields[i].get("type") or "")
        return
    if not x.presence():
        s["values"] = None
        return
    n = x.word()
    if x.group is None or n > len(fields):
        raise WireError("hit row of %d values for %d fields" % (n, len(fields)))
    values = [None] * n
    for i in range(n):
        typed_value(x, values, i, fields[i].get("type") or "")
    s["values"] = values


def index_result(x, r, k):
    s = x.sub(r, k)
    x.field(s, "segment", 19)
    for key, count, put in (("values", 8, Codec.long), ("words", 6, Codec.u32)):
        items = (list(s.get(key) or []) + [0] * count)[:count] if x.encoding else [None] * count
        for i in range(count):
            put(x, items, i)
        if not x.encoding:
            s[key] = items


def segment_record(x, r, k):
    s = x.sub(r, k)
    x.u16(s, "number"); x.u16(s, "status"); x.field(s, "name", 12)
    x.long(s, "startDate"); x.long(s, "stopDate"); x.long(s, "rows")


def named_query(x, r, k):
    s = x.sub(r, k)
    x.u32(s, "number"); x.field(s, "name", 61); x.text(s, "text"); x.u32(s, "flags")


def printer(x, r, k):
    s = x.sub(r, k)
    x.u32(s, "number"); x.field(s, "name", 61); x.field(s, "description", 121)
    if x.encoding:
        words = list(s.get("words", []) or []) + [0] * 3
    else:
        words = [None] * 3
    for i in range(3):
        x.u32(words, i)
    if not x.encoding:
        s["words"] = words


def note(x, r, k):
    s = x.sub(r, k)
    x.u32(s, "number"); x.field(s, "userId", 21); x.u32(s, "flags"); x.long(s, "created")
    x.u32(s, "colour"); x.text(s, "text"); x.u32(s, "page"); x.u32(s, "attributes")
    x.opaque(s, "reserved", 32); x.counted(s, "data", 1 << 20)


def criteria(x, r, k):
    s = x.sub(r, k)
    x.field(s, "fieldName", 19); x.char(s, "type"); x.i16(s, "operator")
    letter = s.get("type") or ""
    if letter in ("C", "D", "T", "Z"):
        if x.encoding:
            values = list(s.get("values", []) or []) + ["", ""]
        else:
            values = [None, None]
        x.field(values, 0, 61)
        x.field(values, 1, 61)
    else:
        values = (list(s.get("values", []) or []) + [default_value(letter)] * 2) \
            if x.encoding else [None, None]
        typed_value(x, values, 0, letter)
        typed_value(x, values, 1, letter)
    if not x.encoding:
        s["values"] = values


def folder(x, r, k):
    s = x.sub(r, k)
    x.u32(s, "number"); x.field(s, "name", 61); x.field(s, "description", 121)
    x.byte(s, "type"); x.u16(s, "fieldTotal"); x.u32(s, "flags")
    x.array(s, "fields", folder_field)
    x.array(s, "groups", application_group)
    groups = s.get("groups") or []
    if x.encoding:
        maps = list(s.get("fieldMaps", []) or [])
        maps += [[]] * (len(groups) - len(maps))
    else:
        maps = [None] * len(groups)
    for i in range(len(groups)):
        holder = {"m": maps[i]}
        x.array(holder, "m", u16)
        maps[i] = holder["m"]
    if not x.encoding:
        s["fieldMaps"] = maps


def data_piece(x, r, k):
    s = x.sub(r, k)
    x.char(s, "letter"); x.hyper(s, "position"); x.counted(s, "data", 16 << 20)


# --- request record --------------------------------------------------------

# Bytes one data message may carry (CS_XDR_DATA_MAX).
DATA_LIMIT = 16 << 20

# Codes whose body starts with the `first` word.
DATA_CODES = {54, 87, 91, 93, 95, 96, 108}


def _body_logon(x, b):
    x.field(b, "userId", 21, hidden=True)
    x.field(b, "password", 21, hidden=True)


def _body_change_password(x, b):
    x.opt(b, "user", lambda x, r, k: user_record(x, r, k, hidden_password=True))
    x.field(b, "newPassword", 21, hidden=True)
    x.u32(b, "hasNew")


def _body_users(x, b):
    x.text(b, "name"); x.text(b, "userFilter"); x.u32(b, "number"); x.u32(b, "groupFilter")


def _body_folder_list(code):
    def body(x, b):
        x.text(b, "pattern"); x.text(b, "selection1"); x.text(b, "selection2")
        if code == 121:
            x.byte(b, "flags")
    return body


def _body_folder(x, b):
    x.u32(b, "number")
    x.array(b, "names", text_entry)


def _body_search(code):
    def body(x, b):
        application_group(x, b, "group")
        x.group = b["group"]
        x.text(b, "where")
        criteria(x, b, "criteria")
        x.byte(b, "flags")
        if code in (100, 112):
            x.value_list(b, "noteFilter")
            x.byte(b, "noteLetter")
        if code == 112:
            x.value_list(b, "textSearch")
    return body


def _body_retrieve(code):
    def body(x, b):
        application_group(x, b, "group")
        x.group = b["group"]
        hit_row(x, b, "hit")
        application_entry(x, b, "application")
        node_entry(x, b, "node")
        node_info(x, b, "nodeInfo")
        for key in ("b1", "b2", "b3"):
            x.byte(b, key)
    return body


def _body_resources(x, b):
    application_group(x, b, "group")
    node_entry(x, b, "node")
    x.byte(b, "flags")
    node_info(x, b, "nodeInfo")


def _body_notes(x, b):
    x.u32(b, "group"); object_ref(x, b, "object"); x.u32(b, "word")


def _body_token(x, b):
    x.u32(b, "first")
    if b["first"] not in (0, 1):
        raise WireError("first word %d" % b["first"])
    if b["first"] == 1:
        x.field(b, "userId", 21, hidden=True)
    x.counted(b, "token", 65536)


def _data_first(x, b):
    """The leading word of a data-carrying request; a data message (0) is its bytes only."""
    x.u32(b, "first")
    if b["first"] not in (0, 1):
        raise WireError("first word %d" % b["first"])
    if b["first"] == 0:
        x.counted(b, "data", DATA_LIMIT)
        return False
    return True


def _with_group(x, b, proc, *keys):
    """Hit rows typed by the request's group, which comes first."""
    application_group(x, b, "group")
    x.group = b["group"]
    for key in keys:
        proc(x, b, key)
    x.group = None


def _body_store(code):
    def body(x, b):
        if not _data_first(x, b):
            return
        _with_group(x, b, hit_row, "block")
        node_entry(x, b, "primary"); node_entry(x, b, "secondary")
        object_ref(x, b, "object")
        if code == 96:
            x.long(b, "value"); x.byte(b, "flag1"); x.byte(b, "flag2"); x.u32(b, "word")
    return body


def _body_store_object(x, b):
    if not _data_first(x, b):
        return
    application_group(x, b, "group")
    node_entry(x, b, "primary"); node_entry(x, b, "secondary")
    x.byte(b, "location"); x.text(b, "objectName"); x.byte(b, "flag1"); x.byte(b, "flag2")
    x.long(b, "value")


def _body_add_index_row(code):
    def body(x, b):
        _with_group(x, b, hit_row, "block")
        if code == 103:
            x.value_list(b, "rows")
        index_result(x, b, "result"); segment_record(x, b, "segment"); x.u32(b, "word")
    return body


def _body_none(x, b):
    pass


# --- stored objects, log messages, server print, text search -----------------

def _body_segment_data(x, b):
    application_group(x, b, "group")
    node_entry(x, b, "primary"); node_entry(x, b, "secondary")
    x.byte(b, "location"); x.text(b, "objectName"); x.u32(b, "offset"); x.u32(b, "length")


def _body_log_message(x, b):
    if not _data_first(x, b):
        return
    x.u32(b, "messageNumber"); x.array(b, "objects", object_ref); object_ref(x, b, "object")
    x.byte(b, "byte"); x.u32(b, "word")


def hit_items(code):
    """An item message (more 1) or the closing one (more 0). An item without a group of
    its own is typed by the group that x.group carries over from the item before."""
    def body(x, b):
        x.u32(b, "more")
        if b["more"] not in (0, 1):
            raise WireError("more word %d" % b["more"])
        if b["more"] == 0:
            x.u32(b, "endWord")
            if code == 104:
                x.value_list(b, "values")
            else:
                x.byte(b, "endByte")
            return
        x.u32(b, "word")
        x.opt(b, "group", application_group)
        if b["group"] is not None:
            x.group = b["group"]
        if code == 104:
            application_entry(x, b, "appl")
        hit_row(x, b, "hit")
        x.u32(b, "word2")
    return body


def print_request(x, r, k):
    s = x.sub(r, k)
    x.u32(s, "printer"); x.u32(s, "copies"); x.u32(s, "options"); x.text(s, "name")


def _body_server_print(x, b):
    x.u32(b, "first")
    if b["first"] not in (0, 1):
        raise WireError("first word %d" % b["first"])
    if b["first"] == 0:
        hit_items(93)(x, b)
        return
    print_request(x, b, "print"); x.text(b, "text"); x.array(b, "entries", text_entry)


def _body_doc_object(x, b):
    application_group(x, b, "group")
    node_entry(x, b, "primary"); node_entry(x, b, "secondary")
    x.byte(b, "location")
    x.group = b["group"]
    hit_row(x, b, "hit")
    x.group = None
    x.text(b, "text"); x.u32(b, "exitLast"); x.u32(b, "word2")


REQUEST_BODIES = {
    0: lambda x, b: x.i32(b, "level"),
    1: _body_none, 2: _body_none, 4: _body_none, 5: _body_none, 52: _body_none,
    78: _body_none, 82: _body_none, 84: _body_none, 85: _body_none, 109: _body_none,
    3: _body_logon,
    8: _body_change_password,
    9: _body_users, 13: _body_users,
    19: _body_folder_list(19), 121: _body_folder_list(121),
    20: _body_folder,
    53: lambda x, b: x.u32(b, "number"),
    59: _body_search(59), 100: _body_search(100), 112: _body_search(112),
    60: _body_retrieve(60), 101: _body_retrieve(101),
    69: _body_notes,
    62: _body_resources,
    108: _body_token,
    54: _body_store(54), 95: _body_store(95), 96: _body_store(96),
    56: lambda x, b: _with_group(x, b, hit_row, "oldHit", "newHit"),
    57: _body_add_index_row(57), 103: _body_add_index_row(103),
    86: lambda x, b: x.u32(b, "group"),
    87: _body_store_object,
    88: _body_segment_data, 91: _body_log_message, 93: _body_server_print,
    102: _body_doc_object, 104: hit_items(104),
    67: lambda x, b: (_with_group(x, b, hit_row, "hit"), note(x, b, "note")),
    64: lambda x, b: (x.u32(b, "group"), x.u16(b, "node")),
    73: lambda x, b: (x.u32(b, "folder"), x.u32(b, "user"), x.array(b, "names", text_entry)),
    74: lambda x, b: x.array(b, "groups", u32),
}


def handle_part(x, r, k):
    s = x.sub(r, k)
    x.u32(s, "flags1"); x.u32(s, "clientFlags"); x.u32(s, "protocol"); x.i32(s, "ccsid")
    identity(x, s, "identity")
    x.opt(s, "logon", logon_record)


def request(x, r):
    """A request record; x.features are the features in force before it."""
    x.opt(r, "handle", handle_part)
    h = r.get("handle")
    if h is not None:
        if h.get("flags1", 0) & 0x40000000:
            x.u32(r, "flags2")
        else:
            r["flags2"] = 0
        x.features = features_of(h.get("flags1", 0), r.get("flags2", 0))
    x.u32(r, "code"); x.u32(r, "sendWindow"); x.u32(r, "replyWindow")
    code = r["code"]
    if code > CODE_MAX:
        raise WireError("request code %d" % code)
    if x.features & RESERVED_WORD:
        x.i32(r, "reserved")
    x.text(r, "text")
    if x.features & SESSION:
        x.opaque(r, "session", SESSION_BLOCK)
    body_proc = REQUEST_BODIES.get(code)
    if body_proc is None:
        raise WireError("no body known for request code %d" % code)
    body = x.sub(r, "body")
    body_proc(x, body)
    return r


# --- reply record ----------------------------------------------------------

def _rep_logon(x, b):
    user_record(x, b, "user")
    identity(x, b, "identity")
    x.opt(b, "logon", logon_record)
    x.opt(b, "parms", system_parms)
    x.u32(b, "session"); x.u32(b, "word1"); x.u32(b, "word2")
    x.opaque(b, "sessionBlock", SESSION_BLOCK)


def _rep_folder_entry(code):
    def body(x, b):
        x.opt(b, "folder", folder)
        if code == 121:
            x.u32(b, "final")
    return body


def _rep_data(code):
    def body(x, b):
        x.opt(b, "piece", data_piece)
        if b.get("piece") is None:
            x.byte(b, "location")
            if code == 101:
                x.byte(b, "second")
    return body


def _rep_token(x, b):
    x.counted(b, "token", 65536)
    x.field(b, "userId", 21)


REPLY_BODIES = {
    3: _rep_logon,
    6: lambda x, b: user_record(x, b, "user"),
    8: lambda x, b: (user_record(x, b, "user"), x.u32(b, "reason")),
    9: lambda x, b: x.opt(b, "entry", user_entry),
    13: lambda x, b: x.opt(b, "entry", user_entry),
    19: _rep_folder_entry(19), 121: _rep_folder_entry(121),
    20: lambda x, b: folder(x, b, "folder"),
    53: lambda x, b: storage_set(x, b, "set"),
    58: lambda x, b: x.u32(b, "word"), 87: lambda x, b: x.u32(b, "word"),
    109: lambda x, b: x.u32(b, "word"),
    59: lambda x, b: x.opt(b, "hit", hit_row),
    100: lambda x, b: x.opt(b, "hit", hit_row),
    112: lambda x, b: x.opt(b, "hit", hit_row),
    60: _rep_data(60), 101: _rep_data(101),
    62: lambda x, b: x.opt(b, "piece", data_piece),
    88: lambda x, b: x.opt(b, "piece", data_piece),
    69: lambda x, b: x.opt(b, "note", note),
    84: lambda x, b: system_parms(x, b, "parms"),
    108: _rep_token,
    54: lambda x, b: object_ref(x, b, "object"),
    95: lambda x, b: object_ref(x, b, "object"),
    96: lambda x, b: object_ref(x, b, "object"),
    57: lambda x, b: (index_result(x, b, "result"), segment_record(x, b, "segment"), x.u32(b, "word")),
    103: lambda x, b: (index_result(x, b, "result"), segment_record(x, b, "segment"), x.u32(b, "word")),
    86: lambda x, b: x.text(b, "text"),
    102: lambda x, b: (x.byte(b, "answer"), x.u32(b, "word")),
    104: lambda x, b: x.value_list(b, "items"),
    67: lambda x, b: (x.u32(b, "word0"), x.u32(b, "word1")),
    64: lambda x, b: node_info(x, b, "info"),
    73: lambda x, b: x.opt(b, "query", named_query),
    74: lambda x, b: x.opt(b, "segment", segment_record),
    78: lambda x, b: x.opt(b, "printer", printer),
}


def reply_has_body(code, result):
    return result == 0 or (code == 3 and result == 12) or (code == 8 and result == 13)


def reply(x, r):
    x.i32(r, "result"); x.u32(r, "code")
    if r["code"] > CODE_MAX:
        raise WireError("reply code %d" % r["code"])
    if x.features & RESERVED_WORD:
        x.u32(r, "status")
    elif not x.encoding:
        r["status"] = 0
    if x.features & TEXTS:
        x.text(r, "text")
        x.field(r, "message", 1026)
    elif not x.encoding:
        r["text"], r["message"] = None, ""
    code, result = r["code"], r["result"]
    proc = REPLY_BODIES.get(code)
    if proc is not None and reply_has_body(code, result):
        proc(x, x.sub(r, "body"))
    return r


def encode_reply(features, rep, group=None):
    x = Codec(features)
    x.group = group
    reply(x, rep)
    return bytes(x.out)
