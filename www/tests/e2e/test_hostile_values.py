"""Journey: a hostile client sends passwords under percent-encoded names, NUL bytes and
characters beyond U+FFFF, through lighttpd as raw HTTP. The trace keeps no password and is
readable by its owner only; a NUL refuses its parameter; a character beyond U+FFFF changes
only its own value."""
import http.client
import os
import stat
import unittest

from gateway_site import SharedSiteTestCase, plain_error

LOGGED_ON = b"[BEGIN]"
SECRETS = ("wonder1", "builder2", "Secret1", "NewSecret9")


class HostileValues(SharedSiteTestCase):
    site_options = {"archive": True, "trace": True}

    def send(self, method, target, body=None, headers=()):
        """One request as the bytes say: http.client leaves the target and body alone."""
        connection = http.client.HTTPConnection("127.0.0.1", self.site.port, timeout=60)
        try:
            connection.putrequest(method, target, skip_accept_encoding=True)
            for name, value in headers:
                connection.putheader(name, value)
            if body is not None:
                connection.putheader("Content-Type", "application/x-www-form-urlencoded")
                connection.putheader("Content-Length", str(len(body)))
            connection.endheaders(body)
            response = connection.getresponse()
            return response.status, response.getheaders(), response.read()
        finally:
            connection.close()

    def trace(self):
        path = os.path.join(self.site.log_dir, "qelwww.log")
        with open(path, "rb") as log:
            return path, log.read()

    def test_trace_holds_no_password_under_an_encoded_name(self):
        status, _, body = self.send(
            "POST", "/cgi-bin/qelwww",
            b"_function=logon&_server=DEMO&_user=ALICE&%5Fpassword=wonder1&_nohtml=1")
        self.assertEqual(status, 200)
        self.assertTrue(body.startswith(LOGGED_ON), body)  # the parser took the encoded name
        requests = [
            ("GET", "/cgi-bin/qelwww?_function=bogus&_nohtml=1&%5fp=Secret1&_new%5Fpassword=NewSecret9", None,
             ()),
            ("POST", "/cgi-bin/qelwww", b"_function=bogus&_nohtml=1&_new%5Fpassword=NewSecret9&x&_np=Secret1",
             ()),
            ("GET", "/cgi-bin/qelwww?_function=bogus&_nohtml=1", None,
             (("Cookie", "ZEILOGID=1; ZEIQS=_s=DEMO&_u=ALICE&%5Fp=Secret1; %5Fpassword=Secret1"),)),
            ("GET", "/cgi-bin/qelwww?_function=bogus&_nohtml=1", None,
             (("Cookie", "ZEIQS=%5Fpassword=Secret1&_s=DEMO"),)),
        ]
        for method, target, request_body, headers in requests:
            with self.subTest(target=target, body=request_body, headers=headers):
                status, _, reply = self.send(method, target, request_body, headers)
                self.assertEqual(status, 200)
                self.assertTrue(reply.startswith(b"[ERROR]\nID="), reply)
        path, trace = self.trace()
        self.assertIn(b"main: QUERY_STRING = '_function=logon&_server=DEMO&_user=ALICE&%5Fpassword=***&_nohtml=1'",
                      trace)
        self.assertIn(b"HTTP_COOKIE = 'ZEILOGID=1; ZEIQS=_s=DEMO&_u=ALICE&%5Fp=***; %5Fpassword=***'", trace)
        for secret in SECRETS:
            self.assertNotIn(secret.encode(), trace, secret)
        self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o600)

    def test_a_nul_refuses_its_parameter(self):
        # Cut at the NUL, the user would be BOB, whose password this is. (lighttpd itself
        # refuses "%00" in a URL.)
        cases = [
            ("encoded", b"_function=logon&_server=DEMO&_user=BOB%00x&_password=builder2&_nohtml=1", (), "_user"),
            ("raw", b"_function=logon&_server=DEMO&_password=builder2&_user=BOB\x00x&_nohtml=1", (), "_user"),
            ("state cookie", b"_function=logon&_nohtml=1",
             (("Cookie", "ZEIQS=_s=DEMO&_pt=0&_u=BOB%00x&_p=builder2"),), "_u"),
        ]
        for label, body, cookie, name in cases:
            with self.subTest(label):
                status, headers, reply = self.send("POST", "/cgi-bin/qelwww", body, cookie)
                self.assertEqual(status, 200)
                self.assertEqual(reply, plain_error(2159, f"The argument '{name}' is not a valid decimal number"))
                self.assertNotIn("set-cookie", [name.lower() for name, _ in headers])
        self.assertFalse(os.path.exists(os.path.join(self.site.cache_dir, "DEMO_0_BOB.srv")))

    def test_a_character_beyond_the_bmp_keeps_the_other_parameters(self):
        # As a non-browser client sends it: UTF-8 as it stands, not percent-encoded.
        logon = "&_server=DEMO&_user=u&_password=p&_nohtml=1"
        for label, body in [("unencoded", ("_function=bogus&_x=a\U0001F600b" + logon).encode("utf-8")),
                            ("encoded", ("_function=bogus&_x=a%F0%9F%98%80b" + logon).encode("utf-8"))]:
            with self.subTest(label):
                status, _, reply = self.send("POST", "/cgi-bin/qelwww", body)
                self.assertEqual(status, 200)
                self.assertEqual(reply, plain_error(2175, "The function 'bogus' was not found"))


if __name__ == "__main__":
    unittest.main()
