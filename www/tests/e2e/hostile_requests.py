"""Requests a hostile client makes a logged-on browser send, shared by the CGI journeys
(through lighttpd) and the servlet journey (through Jetty), which must answer each alike
and store nothing: another site's links and forms that would change stored data, and
values whose decoded bytes are not UTF-8."""
import hashlib
import os

from documents_site import url_encoded
from gateway_site import plain_error

EVIL = "http://evil.example"
PORTAL = "https://portal.example.com"
# The site's own configuration: two origins whose forms may change stored data.
ALLOWED_ORIGINS_INI = f"[security]\nAllowedOrigins=http://other.test, {PORTAL}/\n"
FORM = {"Content-Type": "application/x-www-form-urlencoded"}


def refused(function):
    return plain_error(2339, f"The function '{function}' changes stored data: it is accepted only from a form "
                             "(POST) of this site")


def refused_page(function):
    return f"<h4>The function &#39;{function}&#39; changes stored data"


def not_valid(name):
    return plain_error(2159, f"The argument '{name}' is not a valid decimal number")


class Hostile:
    """One request: method, request text, the Origin header (None: not sent) and the reply
    expected, bytes for the whole body or str for a part of an HTML page."""

    def __init__(self, name, method, query, origin, expected):
        self.name = name
        self.method = method
        self.query = query
        self.origin = origin
        self.expected = expected


def password_changes(port):
    """Links and forms of other sites that would change the password of the logged-on user;
    port is the front end's own."""
    change = "_a=c&_np=owned1&_nohtml=1"
    return [
        Hostile("link, plain form", "GET", "_function=chgpassword&_new_password=x&_nohtml=1", None,
                refused("chgpassword")),
        Hostile("link, one-letter alias", "GET", "_a=c&_np=owned1&_nohtml=1", None, refused("chgpassword")),
        Hostile("link, HTML reply", "GET", "_function=chgpassword&_new_password=x", None,
                refused_page("chgpassword")),
        Hostile("link to a logon that changes the password", "GET", "_a=l&_np=owned1&_nohtml=1", None,
                refused("logon")),
        Hostile("form of another site", "POST", "_function=chgpassword&_new_password=owned1&_nohtml=1", EVIL,
                refused("chgpassword")),
        Hostile("form of a look-alike host", "POST", change, f"http://127.0.0.1.evil.example:{port}",
                refused("chgpassword")),
        Hostile("form of this host on another port", "POST", change, f"http://127.0.0.1:{port + 1}",
                refused("chgpassword")),
        Hostile("form from a sandboxed frame", "POST", change, "null", refused("chgpassword")),
        Hostile("listed host with another scheme", "POST", change, "http://portal.example.com",
                refused("chgpassword")),
        Hostile("logon changing the password from another site", "POST", "_a=l&_np=owned1&_nohtml=1", EVIL,
                refused("logon")),
    ]


def document_changes(folder, docid):
    """Links and forms of other sites that would add a note, change index values or print;
    docid as the parser decodes it."""
    d = url_encoded(docid)
    requests = [
        ("addnote", f"_function=addnote&_f={folder}&_d={d}&_perm=0&_text=X&_nohtml=1"),
        ("updatedoc", f"_function=updatedoc&_f={folder}&_d={d}&Title=Owned&_nohtml=1"),
        ("printdocs", f"_function=printdocs&_f={folder}&_printer=lp&_docids={d}&_nohtml=1"),
    ]
    cases = []
    for function, query in requests:
        cases += [
            Hostile(f"{function} by a link", "GET", query, None, refused(function)),
            Hostile(f"{function} from another site's form", "POST", query, EVIL, refused(function)),
            Hostile(f"{function} from a sandboxed frame", "POST", query, "null", refused(function)),
        ]
    cases.append(Hostile("addnote by a link, HTML reply", "GET", requests[0][1].replace("&_nohtml=1", ""), None,
                         refused_page("addnote")))
    return cases


def hostile_values(folder, docid):
    """Forms of the site's own (no Origin, as other clients send them) whose values decode
    to bytes that are not UTF-8 (overlong forms of '<' and '>', a surrogate, stray and
    cut-off bytes) or hold a NUL, and a character beyond U+FFFF that changes only its own
    value."""
    d = url_encoded(docid)
    note = f"_function=addnote&_f={folder}&_d={d}&_perm=0&_nohtml=1&_text="
    update = f"_function=updatedoc&_f={folder}&_d={d}&_nohtml=1&Title="
    return [
        Hostile("note text with overlong '<' and '>'", "POST", note + "%C0%BCsvg+onload%3Dalert(1)%C0%BE", None,
                not_valid("_text")),
        Hostile("note text with a surrogate", "POST", note + "a%ED%A0%80b", None, not_valid("_text")),
        Hostile("title with four-byte overlong forms and stray bytes", "POST",
                update + "%F0%80%80%BCscript%F0%80%80%BE%FF%FE", None, not_valid("Title")),
        # The name is told as it came, its '%' escaped as in every plain-text reply.
        Hostile("a name that is not UTF-8", "POST", update + "x&Title%C0%AE=y", None,
                not_valid("Title%25C0%25AE")),
        Hostile("search value cut off by the end", "GET", f"_a=d&_f={folder}&_nohtml=1&_df=Title&Title=%E2%82",
                None, not_valid("Title")),
        Hostile("note text in an HTML reply", "POST", note.replace("&_nohtml=1", "") + "%C0%BC", None,
                "The argument &#39;_text&#39; is not a valid decimal number"),
        # Cut at the NUL, the user would be BOB, whose password this is.
        Hostile("an encoded NUL", "POST", "_function=logon&_server=DEMO&_user=BOB%00x&_password=builder2&_nohtml=1",
                None, not_valid("_user")),
        Hostile("a raw NUL", "POST", "_function=logon&_server=DEMO&_password=builder2&_user=BOB\x00x&_nohtml=1",
                None, not_valid("_user")),
        Hostile("a character beyond U+FFFF", "POST",
                "_function=bogus&_x=a%F0%9F%98%80b&_server=DEMO&_user=u&_password=p&_nohtml=1", None,
                plain_error(2175, "The function 'bogus' was not found")),
    ]


def send(front_end, method, query, origin, cookie):
    """A request through a front end (a GatewaySite or the Jetty) as a browser sends it for
    a link (GET) or a form (POST): the cookies, the Origin when not None."""
    headers = {"Cookie": cookie, "User-Agent": "Mozilla/5.0"}
    if origin is not None:
        headers["Origin"] = origin
    if method == "GET":
        return front_end.request("GET", query, headers=headers)
    headers.update(FORM)
    return front_end.request("POST", body=query.encode(), headers=headers)


def send_case(front_end, case, cookie):
    return send(front_end, case.method, case.query, case.origin, cookie)


def check_reply(test, case, reply):
    test.assertEqual(reply.status, 200)
    if isinstance(case.expected, bytes):
        test.assertEqual(reply.body, case.expected)
    else:
        test.assertIn(case.expected.encode(), reply.body)
    test.assertEqual(reply.all("Set-Cookie"), [])


def cookie_header(browser):
    return "; ".join(f"{c.name}={c.value}" for c in browser.jar)


def stored(archive_dir):
    """Path -> digest of every file of an archive (notes, index, tables), the lock files
    (made on first use) aside."""
    digests = {}
    for folder, _, files in os.walk(archive_dir):
        for name in files:
            if name.endswith("-lock") or name == "local.lck":
                continue
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                digests[os.path.relpath(path, archive_dir)] = hashlib.sha256(f.read()).hexdigest()
    return digests
