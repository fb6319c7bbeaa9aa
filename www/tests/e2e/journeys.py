"""The logon journey as request texts, shared by the CGI run (through lighttpd) and the
servlet run (through the JNI library in a JVM), so that both can be compared step by
step. Every step after the first sends only the cookies the gateway set."""

LOGON_JOURNEY = [
    ("logon", "_function=logon&_server=DEMO&_user=ALICE&_password=wonder1"),
    ("folder list from the cookies alone", "_a=l&_nohtml=1"),
    ("password change from the cookies", "_function=chgpassword&_new_password=marvel7"),
    ("logon from the cookies after the change", "_a=l"),
    ("logoff", "_a=f"),
    ("the request after logoff", "_a=f&_nohtml=1"),
]

# The reply headers both front ends must send alike (the CGI adds Content-length, the
# web server its own).
COMPARED_HEADERS = ("content-type", "set-cookie")

# Every journey the front ends are compared on, by name; a new journey is one more entry.
JOURNEYS = {
    "logon": LOGON_JOURNEY,
}
