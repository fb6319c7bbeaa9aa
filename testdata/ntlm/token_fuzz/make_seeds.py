#!/usr/bin/env python3
"""Writes the seeds of ntlm_token_fuzz: the fake backend's tokens (docs/ntlm.md) for the
user "fuzzuser" and the secret "fuzz-secret" the target sets. Byte 0 picks the side
(0 server, 1 client, 2 server after a genuine NEGOTIATE); tokens are separated by 0xFF.
Run from this folder: python3 make_seeds.py
"""

USER, SECRET = "fuzzuser", "fuzz-secret"


def fnv1a64(text):
    h = 0xcbf29ce484222325
    for c in text.encode():
        h = ((h ^ c) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % h


def response(challenge, user):
    return fnv1a64(challenge + ":" + user + ":" + SECRET)


def seed(name, mode, *tokens):
    with open(name, "wb") as f:
        f.write(bytes([mode]) + b"\xff".join(t.encode("latin-1") for t in tokens))


challenge = fnv1a64(USER)
auth = "QELNTLM1 AUTHENTICATE %s %s" % (USER, response(challenge, USER))
seed("server_full_handshake", 0, "QELNTLM1 NEGOTIATE " + USER, auth)
seed("server_wrong_response", 0, "QELNTLM1 NEGOTIATE " + USER, auth[:-1] + "0")
seed("server_bad_user", 0, "QELNTLM1 NEGOTIATE us er\x7f")
seed("client_challenge", 1, "QELNTLM1 CHALLENGE " + challenge)
seed("client_short_challenge", 1, "QELNTLM1 CHALLENGE 12345", "QELNTLM1 CHALLENGE " + challenge)
seed("after_negotiate", 2, auth)
seed("after_negotiate_other_user", 2, "QELNTLM1 AUTHENTICATE other %s" % response(challenge, "other"))
