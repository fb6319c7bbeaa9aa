"""Journey: form posts through lighttpd. The body is read to its full Content-Length,
at most 8 MiB; a larger one is refused with message 490 instead of being cut.
"""
import unittest

from gateway_site import SharedSiteTestCase, plain_error

LIMIT = 8 * 1024 * 1024
FORM = {"Content-Type": "application/x-www-form-urlencoded"}


def padded(tail, size):
    """A body of exactly size bytes that ends with tail, so a cut read loses the tail."""
    head = b"pad="
    return head + b"x" * (size - len(head) - len(tail)) + tail


class RequestBody(SharedSiteTestCase):
    def post(self, body, headers=FORM):
        reply = self.site.request("POST", body=body, headers=headers)
        self.assertEqual(reply.status, 200)
        self.assertEqual(int(reply.header("Content-length")), len(reply.body))
        return reply

    def test_bodies_up_to_the_limit_are_read_whole(self):
        tail = b"&_nohtml=1&_function=bogus&_server=s&_user=u&_password=p"
        bogus = plain_error(2175, "The function 'bogus' was not found")
        for label, body in [("small form", tail[1:]), ("exactly 8 MiB", padded(tail, LIMIT))]:
            with self.subTest(label):
                self.assertEqual(self.post(body).body, bogus)

    def test_a_body_past_the_limit_is_refused(self):
        tail = b"&_nohtml=1&_function=bogus&_server=s&_user=u&_password=p"
        reply = self.post(padded(tail, LIMIT + 1))
        self.assertEqual(reply.header("Content-type"), "text/html; charset=UTF-8")
        self.assertIn("<h4>No arguments specified</h4>", reply.text())

    def test_an_empty_post_reports_the_missing_function(self):
        reply = self.post(b"")
        self.assertIn("<h4>The argument &#39;_function&#39; was not specified</h4>", reply.text())

    def test_a_chunked_body_reaches_the_program_with_its_length(self):
        # http.client sends an iterable body with Transfer-Encoding: chunked.
        chunks = iter([b"_nohtml=1&_func", b"tion=bogus&_server=s&", b"_user=u&_password=p"])
        reply = self.post(chunks)
        self.assertEqual(reply.body, plain_error(2175, "The function 'bogus' was not found"))


if __name__ == "__main__":
    unittest.main()
