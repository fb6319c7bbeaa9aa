"""The journeys as request texts, shared by the CGI run (through lighttpd) and the
servlet run (through the JNI library in a JVM), so that both can be compared step by
step. Every step after the first sends only the cookies the gateway set."""
import re
import urllib.parse

LOGON_JOURNEY = [
    ("logon", "_function=logon&_server=DEMO&_user=ALICE&_password=wonder1"),
    ("folder list from the cookies alone", "_a=l&_nohtml=1"),
    ("password change from the cookies", "_function=chgpassword&_new_password=marvel7"),
    ("logon from the cookies after the change", "_a=l"),
    ("logoff", "_a=f"),
    ("the request after logoff", "_a=f&_nohtml=1"),
]

# Plain-text searches of the Invoices folder by invoice number, one per operator:
# (operator bit, value, second value or None).
OPERATOR_SEARCHES = [
    (1, "A0002", None), (2, "A0002", None), (4, "A0003", None), (8, "A0003", None),
    (16, "A0003", None), (32, "A0004", None), (64, "A0001 A0005", None), (128, "A0001 A0005", None),
    (256, "A%3", None), (512, "A%3", None), (1024, "A0002", "A0004"), (2048, "A0002", "A0004"),
]


def operator_query(op, value, second):
    query = urllib.parse.urlencode({"_a": "d", "_f": "Invoices", "_nohtml": "1", "_df": "Invoice number",
                                    "Invoice numberOP": str(op), "Invoice number": value})
    if second is not None:
        query += "&" + urllib.parse.urlencode({"Invoice number2": second})
    return query


# BOB, whose one folder is Invoices, searches it: the logon answers with the search form.
SEARCH_JOURNEY = [
    ("logon to the search form", "_function=logon&_server=DEMO&_user=BOB&_password=builder2"),
    ("search form in plain text", "_a=s&_f=Invoices&_nohtml=1"),
] + [(f"search with operator {op}", operator_query(op, value, second)) for op, value, second in OPERATOR_SEARCHES] + [
    ("hit list page", "_a=d&_f=Invoices&Invoice+numberOP=256&Invoice+number=A%25"),
    ("unknown display field", "_a=d&_f=Invoices&_nohtml=1&_df=Amount&Invoice+number=A0001"),
    ("logoff", "_a=f"),
]

# The reply headers both front ends must send alike (the CGI adds Content-length, the
# web server its own).
COMPARED_HEADERS = ("content-type", "set-cookie")

SEALED_PASSWORD = re.compile(r"(_p=)v1\.[A-Za-z0-9_%-]+")
SEALED_PASSWORD_BYTES = re.compile(SEALED_PASSWORD.pattern.encode())


def without_sealed_passwords(text):
    """The text (str or bytes) with each sealed password of a state cookie as one mark:
    every seal takes a fresh nonce, so no two replies carry the same one. The mark keeps
    the version."""
    if isinstance(text, bytes):
        return SEALED_PASSWORD_BYTES.sub(rb"\1v1.<sealed>", text)
    return SEALED_PASSWORD.sub(r"\1v1.<sealed>", text)

# Every journey the front ends are compared on, by name; a new journey is one more entry.
JOURNEYS = {
    "logon": LOGON_JOURNEY,
    "search": SEARCH_JOURNEY,
}
