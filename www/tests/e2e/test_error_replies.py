"""Journey: a browser or an applet sends requests the gateway refuses, through lighttpd.

Each refusal comes back as a complete reply (status 200, Content-type, exact Content-length)
in the form the client asked for, and values from the request are shown only as text.
"""
import unittest

from gateway_site import SharedSiteTestCase, plain_error

LOGON = "_server=archive&_user=alice&_password=secret"


class ErrorReplies(SharedSiteTestCase):
    def assert_complete(self, reply, content_type):
        self.assertEqual(reply.status, 200)
        self.assertEqual(reply.header("Content-type"), content_type)
        self.assertEqual(int(reply.header("Content-length")), len(reply.body))

    def test_plain_text_framing_for_the_applets(self):
        cases = [
            ("no function", "_nohtml=1&" + LOGON, plain_error(2171, "The argument '_function' was not specified")),
            ("unknown keyword", "_nohtml=1&_function=bogus&" + LOGON,
             plain_error(2175, "The function 'bogus' was not found")),
            ("keywords keep their case", "_nohtml=1&_function=Logoff&" + LOGON,
             plain_error(2175, "The function 'Logoff' was not found")),
            ("search without folder", "_nohtml=1&_function=d&" + LOGON,
             plain_error(2171, "The argument '_folder' was not specified")),
            ("no server", "_nohtml=1&_function=bogus&_user=alice&_password=secret",
             plain_error(2171, "The argument '_server' was not specified")),
            ("POST-style plus", "_nohtml=1&_function=two+words&" + LOGON,
             plain_error(2175, "The function 'two words' was not found")),
        ]
        for label, query, expected in cases:
            with self.subTest(label):
                reply = self.site.request("GET", query)
                self.assert_complete(reply, "text/plain; charset=UTF-8")
                self.assertEqual(reply.body, expected)
                self.assertEqual(reply.all("Set-Cookie"), [])

    def test_a_line_break_stays_on_the_msg_line(self):
        # lighttpd refuses encoded control characters in a URL; a form body carries them.
        body = b"_nohtml=1&_function=a%0D%0ASet-Cookie:%20x=1&" + LOGON.encode()
        reply = self.site.request("POST", body=body,
                                  headers={"Content-Type": "application/x-www-form-urlencoded"})
        self.assert_complete(reply, "text/plain; charset=UTF-8")
        self.assertEqual(reply.body, plain_error(2175, "The function 'a%0D%0ASet-Cookie: x=1' was not found"))
        self.assertEqual(reply.all("Set-Cookie"), [])

    def test_html_pages_escape_what_the_request_sent(self):
        cases = [
            ("no query at all", "", "The argument &#39;_function&#39; was not specified"),
            ("script in the keyword", "_function=%3Cscript%3Ealert(1)%3C/script%3E&" + LOGON,
             "The function &#39;&lt;script&gt;alert(1)&lt;/script&gt;&#39; was not found"),
            ("quote breaking out of an attribute", "_function=%22%20onload=%22x&" + LOGON,
             "The function &#39;&quot; onload=&quot;x&#39; was not found"),
            ("server code page text reaches the browser as UTF-8", "_function=caf%C3%A9&" + LOGON,
             "The function &#39;caf\u00e9&#39; was not found"),
        ]
        for label, query, message in cases:
            with self.subTest(label):
                reply = self.site.request("GET", query)
                self.assert_complete(reply, "text/html; charset=UTF-8")
                text = reply.text()
                self.assertIn("<h4>" + message + "</h4>", text)
                self.assertIn("<h3>Netvara Version 2.2.1.10.</h3>", text)
                self.assertNotIn("<script>", text)
                self.assertNotIn('" onload="', text)

    def test_methods_other_than_get_and_post(self):
        reply = self.site.request("PUT", "_nohtml=1&_function=bogus", body=b"x=1")
        self.assert_complete(reply, "text/html; charset=UTF-8")
        self.assertIn("<h4>No arguments specified</h4>", reply.text())

    def test_cookie_values_are_not_reflected_into_headers(self):
        # The password with the request: one in the cookie would have to be sealed.
        cookie = "ZEIQS=_s=archive&_u=b%0D%0AX:1; ZEILOGID=7"
        reply = self.site.request("GET", "_nohtml=1&_function=bogus&_p=pw", headers={"Cookie": cookie})
        self.assert_complete(reply, "text/plain; charset=UTF-8")
        self.assertEqual(reply.body, plain_error(2175, "The function 'bogus' was not found"))
        self.assertEqual(reply.all("Set-Cookie"), [])


if __name__ == "__main__":
    unittest.main()
