"""An independent reader of wire records, written from docs/wire.md.

  wire_reader.py request|reply FEATURES FILE [GROUPFIELDS]
  wire_reader.py batch|each FILE [GROUPFIELDS]

Reads one record from FILE with the given feature bits and prints one line per value,
"path=value", then "END remaining-bytes". GROUPFIELDS is the type letters of the
application group that types hit rows without a group of their own (search replies,
hit items). Exits with status 1 and "ERROR ..." when the bytes do not follow the layout.
With "batch" or "each", each line of FILE is one record, "request|reply FEATURES HEX",
and the exit status is 0. "batch" prints one line per record: "END remaining-bytes" or
"ERROR ..."; "each" prints every record's lines as for a single one, preceded by
"RECORD n" (n counts from 0).
"""
import struct
import sys

RESERVED_WORD, TEXTS, LONG64, SESSION = 0x01, 0x02, 0x08, 0x10


class Reader:
    def __init__(self, data, features, group_types, quiet=False):
        self.data, self.pos, self.features = data, 0, features
        self.path = []
        self.group_types = group_types
        self.quiet = quiet

    def take(self, n):
        if self.pos + n > len(self.data):
            raise ValueError("short at %d wanting %d" % (self.pos, n))
        chunk = self.data[self.pos:self.pos + n]
        self.pos += n
        return chunk

    def emit(self, name, value):
        if not self.quiet:
            print("%s=%s" % (".".join(self.path + [name]), value))
        return value

    def u32(self, name):
        return self.emit(name, struct.unpack(">I", self.take(4))[0])

    def i32(self, name):
        return self.emit(name, struct.unpack(">i", self.take(4))[0])

    def u16(self, name):
        return self.emit(name, struct.unpack(">I", self.take(4))[0] & 0xFFFF)

    def i16(self, name):
        v = struct.unpack(">I", self.take(4))[0] & 0xFFFF
        return self.emit(name, v - 0x10000 if v & 0x8000 else v)

    def byte(self, name):
        return self.emit(name, self.take(4)[0])

    def char(self, name):
        b = self.take(4)[0]
        self.emit(name, chr(b) if b else "")
        return chr(b)

    def hyper(self, name):
        return self.emit(name, struct.unpack(">q", self.take(8))[0])

    def long(self, name):
        if self.features & LONG64:
            return self.hyper(name)
        return self.i32(name)

    def double(self, name):
        return self.emit(name, struct.unpack(">d", self.take(8))[0])

    def opaque(self, name, n):
        raw = self.take(n)
        self.take((4 - n % 4) % 4)
        return self.emit(name, raw.hex())

    def bytes(self, name, maximum):
        n = struct.unpack(">I", self.take(4))[0]
        if n > maximum:
            raise ValueError("bytes above the maximum")
        return self.opaque(name, n)

    def text(self, name, hidden=False):
        n = struct.unpack(">I", self.take(4))[0]
        if n == 0:
            return self.emit(name, "<null>")
        if n % 2 or n > 131072:
            raise ValueError("bad text length %d" % n)
        raw = bytearray(self.take(n))
        self.take((4 - n % 4) % 4)
        end = 0
        while end + 1 < len(raw) and raw[end:end + 2] != b"\0\0":
            end += 2
        if raw[end:end + 2] != b"\0\0":
            raise ValueError("text without its terminator")
        body = raw[:end]
        if hidden:
            body = bytearray(b ^ 0xFF for b in body)
        # UCS-2: every unit is a character, a lone surrogate too.
        return self.emit(name, body.decode("utf-16-be", "surrogatepass"))

    def presence(self):
        word = struct.unpack(">I", self.take(4))[0]
        if word > 1:
            raise ValueError("presence word %d" % word)
        return word == 0

    def sub(self, name, fn, *args):
        self.path.append(name)
        try:
            return fn(self, *args)
        finally:
            self.path.pop()

    def opt(self, name, fn, *args):
        if self.presence():
            return self.sub(name, fn, *args)
        self.emit(name, "<absent>")
        return None

    def array(self, name, fn, maximum=65535):
        count = struct.unpack(">I", self.take(4))[0]
        if count > maximum:
            raise ValueError("count %d" % count)
        self.emit(name + "#", count)
        return [self.sub("%s[%d]" % (name, i), fn) for i in range(count)]

    def value_list(self, name):
        i = 0
        while self.presence():
            self.sub("%s[%d]" % (name, i), lambda r: (r.u16("number"), r.text("text")))
            i += 1
        self.emit(name + "#", i)


# --- nested records ---

def typed(r, name, letter):
    if letter == "B":
        r.hyper(name)
    elif letter == "D":
        r.double(name)
    elif letter == "I":
        r.i32(name)
    elif letter == "N":
        r.i16(name)
    elif letter in ("S", "T"):
        r.text(name)


def user_record(r, hidden_password=False):
    r.u32("userNumber"); r.text("userId"); r.text("password", hidden_password)
    r.text("description"); r.text("userName")
    for i in range(10):
        r.text("info%d" % i)
    r.text("phone0"); r.text("phone1"); r.text("email"); r.u32("attributes")
    r.u16("userType"); r.long("passwordChanged")
    if r.features & LONG64:
        r.long("logonTimeOut"); r.u32("logonState")


def user_entry(r):
    r.u32("number"); r.text("name"); r.text("description")


def identity(r):
    r.text("userId"); r.text("userName"); r.u32("processId")


def logon_record(r):
    r.u32("userNumber"); r.text("groupList"); r.u16("userType"); r.long("timeOut")


def system_parms(r):
    r.i32("passwordExpiryDays"); r.u16("minPasswordLength"); r.long("timeOut")
    r.u32("flags"); r.u32("systemLogMask"); r.u32("exitMask")


def node_entry(r):
    r.text("name"); r.text("description"); r.text("logon"); r.text("password")
    r.text("serverName"); r.u32("flags"); r.u16("number")


def storage_set(r):
    r.text("name"); r.text("description"); r.char("type"); r.array("nodes", node_entry)


def node_info(r):
    r.u32("groupNumber"); r.u16("primaryNode"); r.u16("secondaryNode"); r.char("compression")


def text_entry(r):
    r.text("text")


def field_def(r):
    r.text("name"); t = r.char("type"); r.byte("flags")
    if t == "S":
        r.u16("textLength"); r.byte("textCase")
    r.u16("number"); r.array("mapValues", text_entry); r.array("displayValues", text_entry)
    for i in range(3):
        r.text("format%d" % i)
    return t


def appl_entry(r):
    r.text("name"); r.text("description"); r.text("value")
    for i in range(4):
        r.byte("flag%d" % i)
    r.u32("number"); r.u32("options")
    for i in range(3):
        r.text("text%d" % i)
    r.sub("parameters", text_entry)


def appl_group(r):
    r.u32("number"); r.text("name"); r.text("description"); r.text("prefix")
    r.u16("notePermissions"); r.char("segmentKind"); r.u32("rowsPerSegment")
    r.byte("logging"); r.u32("storageSet"); r.byte("permissions")
    for i in range(7):
        r.u32("word%d" % i)
    r.u32("flags")
    types = r.array("fields", field_def)
    r.array("appls", appl_entry)
    for i in range(3):
        r.u16("textSearch%d" % i)
    r.text("textSearchFolder")
    return "".join(types)


def folder_field(r):
    r.text("name"); r.text("description"); t = r.char("type"); r.char("type2")
    r.u16("number")
    for i in range(3):
        r.u16("attribute%d" % i)
    r.byte("flags")
    for i in range(3):
        r.u16("display%d" % i)
    typed(r, "default0", t); typed(r, "default1", t)


def folder(r):
    r.u32("number"); r.text("name"); r.text("description"); r.byte("type")
    r.u16("fieldTotal"); r.u32("flags"); r.array("fields", folder_field)
    groups = r.array("groups", appl_group)
    for i in range(len(groups)):
        r.array("map%d" % i, lambda r: r.u16("number"))


def object_ref(r):
    r.u32("offset"); r.u32("length"); r.u32("compressedOffset"); r.u32("compressedLength")
    r.char("compression"); r.byte("location"); r.u32("resourceId"); r.u16("primaryNode")
    r.u16("secondaryNode"); r.text("name")


def hit_row(r, types):
    if r.features & RESERVED_WORD:
        r.byte("noteFlag")
    r.text("segment"); r.opt("object", object_ref)
    if r.presence():
        count = r.u32("values#")
        if types is None or count > len(types):
            raise ValueError("value slots without a group to type them")
        for i in range(count):
            typed(r, "value%d" % i, types[i])


def note(r):
    r.u32("number"); r.text("userId"); r.u32("flags"); r.long("created"); r.u32("color")
    r.text("text"); r.u32("page"); r.u32("attributes"); r.opaque("key", 32)
    r.bytes("data", 1 << 20)


def index_result(r):
    r.text("segment")
    for i in range(8):
        r.long("value%d" % i)
    for i in range(6):
        r.u32("word%d" % i)


def segment(r):
    r.u16("number"); r.u16("status"); r.text("name"); r.long("startDate")
    r.long("stopDate"); r.long("rows")


def criteria(r):
    r.text("field"); t = r.char("type"); r.i16("op")
    if t in ("C", "D", "T", "Z"):
        r.text("date0"); r.text("date1")
    else:
        typed(r, "value0", t); typed(r, "value1", t)


def named_query(r):
    r.u32("number"); r.text("name"); r.text("text"); r.u32("flags")


def printer(r):
    r.u32("number"); r.text("name"); r.text("description")
    for i in range(3):
        r.u32("word%d" % i)


def print_request(r):
    r.u32("printer"); r.u32("copies"); r.u32("options"); r.text("name")


def data_piece(r):
    r.char("letter"); r.hyper("position"); r.bytes("data", 16 << 20)
    return True


def handle_part(r):
    flags1 = r.u32("flags1"); r.u32("serverFlags"); r.u32("protocol"); r.i32("localCcsid")
    r.sub("identity", identity); r.opt("logon", logon_record)
    return flags1


# --- request bodies ---

def first_word(r):
    first = r.u32("first")
    if first > 1:
        raise ValueError("first word %d" % first)
    return first


def data_message(r):
    r.bytes("data", 16 << 20)


def hit_items(r, code):
    more = r.u32("more")
    if more > 1:
        raise ValueError("more word %d" % more)
    if more == 0:
        r.u32("endWord")
        if code == 104:
            r.value_list("values")
        else:
            r.byte("endByte")
        return
    r.u32("word")
    types = r.opt("group", appl_group)
    if types is None:
        types = r.group_types
    if code == 104:
        r.sub("appl", appl_entry)
    r.sub("hit", hit_row, types)
    r.u32("word2")


def request_body(r, code):
    if code == 0:
        r.i32("level")
    elif code == 3:
        r.text("userId", True); r.text("password", True)
    elif code in (6, 7):
        r.opt("user", user_record)
    elif code == 8:
        r.opt("user", user_record, True); r.text("newPassword", True); r.u32("hasNewPassword")
    elif code in (9, 13):
        r.text("name"); r.text("userFilter"); r.u32("number"); r.u32("groupFilter")
    elif code in (19, 121):
        r.text("pattern"); r.text("selection1"); r.text("selection2")
        if code == 121:
            r.byte("flags")
    elif code == 20:
        r.u32("folderNumber"); r.array("names", text_entry)
    elif code == 53:
        r.u32("number")
    elif code == 64:
        r.u32("groupNumber"); r.u16("nodeNumber")
    elif code == 86:
        r.u32("groupNumber")
    elif code in (54, 95, 96):
        if first_word(r) == 0:
            return data_message(r)
        types = r.sub("group", appl_group)
        r.sub("block", hit_row, types); r.sub("primary", node_entry)
        r.sub("secondary", node_entry); r.sub("object", object_ref)
        if code == 96:
            r.long("value"); r.byte("flag1"); r.byte("flag2"); r.u32("word")
    elif code == 56:
        types = r.sub("group", appl_group)
        r.sub("oldHit", hit_row, types); r.sub("newHit", hit_row, types)
    elif code in (57, 103):
        types = r.sub("group", appl_group)
        r.sub("block", hit_row, types)
        if code == 103:
            r.value_list("rows")
        r.sub("result", index_result); r.sub("segment", segment); r.u32("word")
    elif code in (59, 100, 112):
        r.sub("group", appl_group); r.text("where"); r.sub("range", criteria); r.byte("flags")
        if code != 59:
            r.value_list("noteFilter"); r.byte("noteLetter")
        if code == 112:
            r.value_list("textSearch")
    elif code in (60, 101):
        types = r.sub("group", appl_group)
        r.sub("hit", hit_row, types); r.sub("appl", appl_entry); r.sub("node", node_entry)
        r.sub("nodes", node_info)
        for i in range(3):
            r.byte("flag%d" % i)
    elif code == 62:
        r.sub("group", appl_group); r.sub("node", node_entry); r.byte("flags")
        r.sub("nodes", node_info)
    elif code in (67, 68, 99):
        types = r.sub("group", appl_group)
        r.sub("hit", hit_row, types); r.sub("note", note)
    elif code == 69:
        r.u32("groupNumber"); r.sub("object", object_ref); r.u32("word")
    elif code == 73:
        r.u32("folderNumber"); r.u32("userNumber"); r.array("entries", text_entry)
    elif code in (74, 110):
        r.array("numbers", lambda r: r.u32("number"))
    elif code == 87:
        if first_word(r) == 0:
            return data_message(r)
        r.sub("group", appl_group); r.sub("primary", node_entry); r.sub("secondary", node_entry)
        r.byte("location"); r.text("objectName"); r.byte("flag1"); r.byte("flag2"); r.long("value")
    elif code == 88:
        r.sub("group", appl_group); r.sub("primary", node_entry); r.sub("secondary", node_entry)
        r.byte("location"); r.text("objectName"); r.u32("word0"); r.u32("word1")
    elif code == 91:
        if first_word(r) == 0:
            return data_message(r)
        r.u32("messageNumber"); r.array("objects", object_ref); r.sub("object", object_ref)
        r.byte("byte"); r.u32("word")
    elif code in (92, 97, 104):
        hit_items(r, code)
    elif code == 93:
        if first_word(r) == 0:
            return r.sub("items", hit_items, 92)
        r.sub("print", print_request); r.text("text"); r.array("entries", text_entry)
    elif code == 102:
        types = r.sub("group", appl_group)
        r.sub("primary", node_entry); r.sub("secondary", node_entry); r.byte("location")
        r.sub("hit", hit_row, types); r.text("text"); r.u32("word0"); r.u32("word1")
    elif code == 108:
        if first_word(r) == 1:
            r.text("userId", True)
        r.bytes("token", 65536)


def request(r):
    handle = r.presence()
    flags1 = flags2 = 0
    if handle:
        flags1 = r.sub("handle", handle_part)
        if flags1 & 0x40000000:
            flags2 = r.u32("flags2")
        r.features = ((RESERVED_WORD if flags1 & 0x00100000 else 0) |
                      (TEXTS if flags1 & 0x40000000 else 0) |
                      (0x04 if flags2 & 0x001 else 0) | (LONG64 if flags2 & 0x040 else 0) |
                      (SESSION if flags2 & 0x100 else 0))
    code = r.u32("code"); r.u32("sendWindow"); r.u32("replyWindow")
    if code > 121:
        raise ValueError("code %d" % code)
    if r.features & RESERVED_WORD:
        r.i32("reserved")
    r.text("text")
    if r.features & SESSION:
        r.opaque("sessionBlock", 64)
    r.sub("body", request_body, code)


# --- replies ---

def data_reply(r, code):
    if r.opt("piece", data_piece) is None and code in (60, 101):
        r.byte("location")
        if code == 101:
            r.byte("second")


def reply_body(r, code):
    if code == 3:
        r.sub("user", user_record); r.sub("identity", identity); r.opt("logon", logon_record)
        r.opt("parms", system_parms); r.u32("session"); r.u32("word0"); r.u32("word1")
        r.opaque("sessionBlock", 64)
    elif code == 6:
        r.sub("user", user_record)
    elif code == 8:
        r.sub("user", user_record); r.u32("word")
    elif code in (9, 13):
        r.opt("entry", user_entry)
    elif code in (19, 121):
        r.opt("folder", folder)
        if code == 121:
            r.u32("final")
    elif code == 20:
        r.sub("folder", folder)
    elif code == 53:
        r.sub("set", storage_set)
    elif code in (54, 95, 96):
        r.sub("object", object_ref)
    elif code in (57, 103):
        r.sub("result", index_result); r.sub("segment", segment); r.u32("word")
    elif code in (58, 87, 109):
        r.u32("value")
    elif code in (59, 100, 112):
        r.opt("hit", hit_row, r.group_types)
    elif code in (60, 101, 62, 88):
        data_reply(r, code)
    elif code == 64:
        r.sub("info", node_info)
    elif code == 67:
        r.u32("word0"); r.u32("word1")
    elif code == 69:
        r.opt("note", note)
    elif code == 73:
        r.opt("query", named_query)
    elif code in (74, 110):
        r.opt("segment", segment)
    elif code == 78:
        r.opt("printer", printer)
    elif code == 84:
        r.sub("parms", system_parms)
    elif code == 86:
        r.text("text")
    elif code == 102:
        r.byte("answer"); r.u32("word")
    elif code == 104:
        r.value_list("items")
    elif code == 108:
        r.bytes("token", 65536); r.text("userId")


def reply(r):
    result = r.i32("result"); code = r.u32("code")
    if r.features & RESERVED_WORD:
        r.u32("status")
    if r.features & TEXTS:
        r.text("text"); r.text("message")
    if code > 121:
        raise ValueError("code %d" % code)
    if result == 0 or (code == 3 and result == 12) or (code == 8 and result == 13):
        r.sub("body", reply_body, code)


def read_one(kind, features, data, group_types, quiet=False):
    """Reads one record; prints "END remaining-bytes" or "ERROR ..."; True when read."""
    r = Reader(data, features, group_types, quiet)
    try:
        (request if kind == "request" else reply)(r)
    except ValueError as e:
        print("ERROR %s" % e)
        return False
    print("END %d" % (len(r.data) - r.pos))
    return True


def records(path):
    """(kind, features, bytes) of each "request|reply FEATURES HEX" line of the file."""
    with open(path, encoding="ascii") as f:
        for line in f:
            kind, features, data = line.rstrip("\n").split(" ")
            yield kind, int(features), bytes.fromhex(data)


def main():
    command = sys.argv[1]
    if command in ("batch", "each"):
        group_types = sys.argv[3] if len(sys.argv) > 3 else None
        for n, (kind, features, data) in enumerate(records(sys.argv[2])):
            if command == "each":
                print("RECORD %d" % n)
            read_one(kind, features, data, group_types, quiet=command == "batch")
        return
    kind, features, path = command, int(sys.argv[2]), sys.argv[3]
    group_types = sys.argv[4] if len(sys.argv) > 4 else None
    if not read_one(kind, features, open(path, "rb").read(), group_types):
        sys.exit(1)


if __name__ == "__main__":
    main()
