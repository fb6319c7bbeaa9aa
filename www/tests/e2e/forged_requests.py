"""Requests with forged document ids and forged or tampered state cookies, shared by the CGI
journeys (through lighttpd) and the servlet journey (through Jetty), which must answer
each alike and store nothing: ids forged past ALICE's Payroll restriction, state cookies
naming another user or carrying a password that does not open."""
import os
import re
import subprocess
import sys
import urllib.parse

from documents_site import GENERATOR, docid_of, documents_site, logged_on, url_encoded
from gateway_site import plain_error, required_env
from hostile_requests import Hostile

NOT_AUTHORIZED = plain_error(1823, "The user is not authorized to perform this operation")
PAYROLL = "Payroll"
RESTRICTION = "Q_RESTRICT=\"EMPLOYEE <> 'DIRECTOR'\""

LOGGED_OFF = b"[BEGIN]\nUser logged off!\n[END]\n"
TIMED_OUT = plain_error(1689, "The server connection has timed out")
REFUSED = plain_error(1799, "The user id or password is not valid")
NO_PASSWORD = plain_error(2171, "The argument '_password' was not specified")
ALICE_LOGON = {"_function": "logon", "_server": "DEMO", "_user": "ALICE", "_password": "wonder1", "_nohtml": "1"}


# -- forged document ids ----------------------------------------------------------------------

def payslips(browser):
    """Employee and period (the id's values) -> document id, from the plain-text hit list of
    every payslip (the browser of a CGI site)."""
    reply = browser.get(urllib.parse.urlencode({"_a": "d", "_f": PAYROLL, "_nohtml": "1",
                                                "_sql": "EMPLOYEE <> ''"}))
    found = {}
    for link in re.findall(rb"^DOC=\[(?:.*\^)?(/cgi-bin/qelwww\?[^^]*)\^\w\]$", reply.body, re.M):
        docid = docid_of(link.decode("ascii").partition("?")[2])
        found[docid.split("\x01", 2)[2]] = docid  # by the values the id carries
    if not found:
        raise AssertionError(reply.body)
    return found


def restricted_site(work):
    """The demo archive with its Payroll folder (few statements: they play no part) built in
    work and served by a started CGI site; returns (site, the DIRECTOR's ids hidden from
    ALICE), the ids as a user without the restriction gets them."""
    source, archive = os.path.join(work, "source"), os.path.join(work, "archive")
    subprocess.run([sys.executable, GENERATOR, "--out", source, "--statements", "3"], check=True,
                   stdout=subprocess.DEVNULL, timeout=300)
    subprocess.run([required_env("QELWWW_ARCHIVE_BUILDER"), os.path.join(source, "demo.json"), archive],
                   check=True, capture_output=True, timeout=300)
    site = documents_site(archive=archive).start()
    try:
        # The table is read again by every logon.
        tables = os.path.join(site.root, "archive", "table", "agperms.tbl")
        with open(tables, encoding="latin-1") as f:
            perms = f.read()
        assert RESTRICTION in perms, perms
        with open(tables, "w", encoding="latin-1") as f:
            f.write(perms.replace(RESTRICTION + "\n", ""))
        try:
            everything = payslips(logged_on(site))
        finally:
            with open(tables, "w", encoding="latin-1") as f:
                f.write(perms)
    except BaseException:
        site.close()
        raise
    hidden = {k: v for k, v in everything.items() if k.startswith("DIRECTOR")}
    assert hidden, everything
    return site, hidden


def forged_ids(own, hidden):
    """ALICE's first id with a hidden row's object numbers, and the hidden row's own id."""
    mine = next(iter(own.values()))
    secret = next(iter(hidden.values()))
    head, sep, rest = mine.partition("\x01")
    items = head.split("-")
    items[4:8] = secret.partition("\x01")[0].split("-")[4:8]
    return [("her id with other object numbers", "-".join(items) + sep + rest),
            ("the hidden row's id", secret)]


def forged_id_requests(label, docid):
    """Links and forms of the site's own naming a forged id: each is refused."""
    d = url_encoded(docid)
    return [
        Hostile(f"retrieve, {label}", "GET", f"_a=r&_f={PAYROLL}&_nohtml=1&_d={d}", None, NOT_AUTHORIZED),
        Hostile(f"getnotes, {label}", "GET", f"_a=n&_f={PAYROLL}&_nohtml=1&_d={d}", None, NOT_AUTHORIZED),
        Hostile(f"addnote, {label}", "POST", f"_function=addnote&_f={PAYROLL}&_nohtml=1&_perm=0&_text=Seen&_d={d}",
                None, NOT_AUTHORIZED),
        Hostile(f"updatedoc, {label}", "POST",
                f"_function=updatedoc&_f={PAYROLL}&_nohtml=1&Employee=ALICE%20ARCHER&_d={d}", None, NOT_AUTHORIZED),
    ]


def moved_out_request(own):
    """An update of her own row that would move it under the restriction."""
    d = url_encoded(next(iter(own.values())))
    return Hostile("update moving her row out of sight", "POST",
                   f"_function=updatedoc&_f={PAYROLL}&_nohtml=1&Employee=DIRECTOR&_d={d}", None, NOT_AUTHORIZED)


# -- forged state cookies ---------------------------------------------------------------------

def state_cookie(archive_dir, user, password, server="DEMO"):
    """A state cookie made by hand; password None leaves it out, any other goes in as given
    (in clear, or a sealed value); archive_dir None leaves out the local directory, as a
    logon's cookie does."""
    quote = lambda text: urllib.parse.quote(text, safe="")  # noqa: E731
    return (f"_s={quote(server)}&_pt=0&_cp=819&_u={quote(user)}"
            + ("" if password is None else f"&_p={quote(password)}")
            + ("" if archive_dir is None else f"&_local={quote(archive_dir)}"))


class ForgedLogon(Hostile):
    """A request of the site's own whose state cookie names user with password (see
    state_cookie)."""

    def __init__(self, name, user, password, query, expected):
        # The password change is a form; the others are links.
        super().__init__(name, "POST" if "_a=c" in query else "GET", query, None, expected)
        self.user = user
        self.password = password

    def cookie(self, archive_dir=None):
        return "ZEIQS=" + state_cookie(archive_dir, self.user, self.password)


def forged_logons():
    """Cookies with ALICE's name and a password in clear (no logon at all) or none, the
    password in the request then being checked; BOB has the password builder2."""
    return [
        ForgedLogon("logon", "ALICE", "guess", "_a=l&_nohtml=1", NO_PASSWORD),
        ForgedLogon("logon with the forger's own password", "ALICE", "builder2", "_a=l&_nohtml=1", NO_PASSWORD),
        ForgedLogon("logon, password in the request", "ALICE", None, "_a=l&_p=builder2&_nohtml=1", REFUSED),
        ForgedLogon("password change (a form post)", "ALICE", "guess", "_a=c&_np=owned1&_nohtml=1", NO_PASSWORD),
        ForgedLogon("password change, password in the request", "ALICE", None,
                    "_a=c&_p=guess&_np=owned1&_nohtml=1", REFUSED),
        ForgedLogon("logoff", "ALICE", "guess", "_a=f&_nohtml=1", TIMED_OUT),
        ForgedLogon("logoff, password in the request", "ALICE", None, "_a=f&_p=builder2&_nohtml=1", TIMED_OUT),
        ForgedLogon("logoff, user in lower case", "alice", None, "_a=f&_p=builder2&_nohtml=1", TIMED_OUT),
    ]


def climbing_sections(archive_dir):
    """Server sections for the climbing logons: DEMO, and the archive again under a name
    that climbs out of the cache."""
    return (f"[@SRV@_DEMO]\nPROTOCOL=1\nDIRECTORY={archive_dir}\n"
            f"[@SRV@_../../up]\nPROTOCOL=1\nDIRECTORY={archive_dir}\n")


# Logons whose server (without a section) or user climbs out of the cache: each is refused.
CLIMBING_LOGONS = [
    "_a=l&_s=..%2F..%2F..%2Ftmp&_u=ALICE&_p=wonder1&_nohtml=1",
    "_a=l&_s=DEMO&_u=..%2F..%2Fx&_p=wonder1&_nohtml=1",
    "_a=f&_s=DEMO&_u=..%2FALICE&_p=wonder1&_nohtml=1",
]


def stray_state_files(root, cache_dir):
    """State files anywhere below root (the archive aside) that are not directly in the
    cache directory, and any beside root that a climbing name could have made."""
    stray = []
    for base, dirs, names in os.walk(root):
        dirs[:] = [d for d in dirs if d != "archive"]
        stray += [os.path.join(base, n) for n in names
                  if n.endswith((".srv", ".fnm")) and os.path.realpath(base) != os.path.realpath(cache_dir)]
    parent = os.path.dirname(root)
    stray += [os.path.join(parent, n) for n in os.listdir(parent) if n.startswith("up_") or n.startswith("up.")]
    return stray


def tampered_seals(sealed, other_sealed=None):
    """Cookie-only logons whose password does not open, given ALICE's sealed password: the
    clear text of an older cookie, the seal changed by one character, the seal under BOB's
    name, and BOB's own seal under ALICE's name when other_sealed is given."""
    changed = sealed[:10] + ("B" if sealed[10] == "A" else "A") + sealed[11:]
    cases = [
        ForgedLogon("clear text", "ALICE", "wonder1", "_a=l&_nohtml=1", NO_PASSWORD),
        ForgedLogon("changed", "ALICE", changed, "_a=l&_nohtml=1", NO_PASSWORD),
        ForgedLogon("another user's", "BOB", sealed, "_a=l&_nohtml=1", NO_PASSWORD),
    ]
    if other_sealed is not None:
        cases += [
            ForgedLogon("BOB's seal under ALICE's name", "ALICE", other_sealed, "_a=l&_nohtml=1", NO_PASSWORD),
            ForgedLogon("logoff with BOB's seal under ALICE's name", "ALICE", other_sealed, "_a=f&_nohtml=1",
                        TIMED_OUT),
        ]
    return cases
