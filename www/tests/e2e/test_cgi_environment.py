"""Journey: the CGI program as a web server starts it, run here directly so that the
environment can be exactly what a server might (or might not) pass.
"""
import os
import unittest

from gateway_site import GatewaySite, SiteTestCase

NO_ARGUMENTS = "<h4>No arguments specified</h4>"
NO_FUNCTION = "<h4>The argument &#39;_function&#39; was not specified</h4>"
VERSION = "<h3>Netvara Version 2.2.1.10.</h3>"


class CgiEnvironment(SiteTestCase):
    def setUp(self):
        self.site = GatewaySite()

    def tearDown(self):
        self.site.close()

    def run_checked(self, env, body=b"", args=()):
        rc, reply, stderr = self.site.run_cgi(env, body, args)
        self.assert_no_sanitizer_report(stderr)
        return rc, reply, stderr

    def test_request_text_from_the_environment(self):
        script = {"SCRIPT_NAME": "/cgi-bin/qelwww"}
        cases = [
            ("no REQUEST_METHOD", {"QUERY_STRING": "_function=x"}, b"", NO_ARGUMENTS),
            ("GET without QUERY_STRING", {"REQUEST_METHOD": "GET"}, b"", NO_ARGUMENTS),
            ("GET with an empty QUERY_STRING", {"REQUEST_METHOD": "GET", "QUERY_STRING": ""}, b"", NO_FUNCTION),
            ("DELETE", {"REQUEST_METHOD": "DELETE", "QUERY_STRING": "_function=x"}, b"", NO_ARGUMENTS),
            ("POST without CONTENT_LENGTH", {"REQUEST_METHOD": "POST"}, b"_function=x", NO_ARGUMENTS),
            ("POST with CONTENT_LENGTH 0", {"REQUEST_METHOD": "POST", "CONTENT_LENGTH": "0"}, b"", NO_FUNCTION),
            ("POST with a short body", {"REQUEST_METHOD": "POST", "CONTENT_LENGTH": "100"}, b"_function=x",
             NO_ARGUMENTS),
            ("POST with a length that is no number", {"REQUEST_METHOD": "POST", "CONTENT_LENGTH": "12abc"},
             b"_function=x", NO_ARGUMENTS),
            ("POST past 8 MiB", {"REQUEST_METHOD": "POST", "CONTENT_LENGTH": str(8 * 1024 * 1024 + 1)},
             b"_function=x", NO_ARGUMENTS),
            ("POST of a whole body", {"REQUEST_METHOD": "POST", "CONTENT_LENGTH": "0000000011"},
             b"_function=x&_server=s&_user=u&_password=p",
             "<h4>The argument &#39;_server&#39; was not specified</h4>"),
        ]
        for label, env, body, message in cases:
            with self.subTest(label):
                rc, reply, _ = self.run_checked({**script, **env}, body)
                self.assertEqual(rc, 0)
                self.assertEqual(reply.header("Content-type"), "text/html; charset=UTF-8")
                self.assertEqual(int(reply.header("Content-length")), len(reply.body))
                self.assertIn(message, reply.text())
                self.assertIn(VERSION, reply.text())

    def test_without_a_script_name(self):
        rc, reply, _ = self.run_checked({"REQUEST_METHOD": "GET", "QUERY_STRING": "_nohtml=1&_function=x"})
        self.assertEqual(rc, 0)
        self.assertEqual(reply.body,
                         b"[ERROR]\nID=2188\nMSG=The value 'SCRIPT_NAME' was not specified by the web server\n")

    def test_start_up_failures(self):
        env = {"REQUEST_METHOD": "GET", "QUERY_STRING": "_nohtml=1", "SCRIPT_NAME": "/q"}
        with self.subTest("no qelwww.ini beside the program"):
            os.remove(os.path.join(self.site.cgi_dir, "qelwww.ini"))
            rc, reply, _ = self.run_checked(env)
            self.assertEqual(rc, 0)
            self.assertIn("<h4>Unable to initialize environment.  rc=2</h4>", reply.text())
            self.assertEqual(int(reply.header("Content-length")), len(reply.body))
        with self.subTest("a language without a message library"):
            self.site.write_ini("Language=XYZ")
            rc, reply, _ = self.run_checked(env)
            self.assertEqual(rc, 1, "the failed step's result is the exit code")
            # The catalogue gave up its English texts for the missing language: the page
            # still names the message by its number (987 is message 287).
            self.assertIn("<h4>Unable to find message number (987)</h4>", reply.text())
            self.assertIn(VERSION, reply.text())

    def test_options_are_not_a_web_request(self):
        env = {"REQUEST_METHOD": "GET", "QUERY_STRING": "_nohtml=1&_function=x", "SCRIPT_NAME": "/q"}
        # The command line (test_command_line.py): nothing of a web reply on standard output.
        for args, error in ((["-a", "/nonexistent/x.afp"], b"Unable to compress input file!\n"),
                            (["-x"], b"\nUsage: " + self.site.cgi_path.encode() + b" -a [-p] [-o] [-v]\n")):
            with self.subTest(args=args):
                rc, reply, stderr = self.run_checked(env, args=args)
                self.assertEqual(rc, 1)
                self.assertEqual(reply.body, b"")
                self.assertIn(error, stderr)
        for args in (["-"], ["--", "-v"], ["word"]):
            with self.subTest(args=args):
                rc, reply, _ = self.run_checked(env, args=args)
                self.assertEqual(rc, 0)
                self.assertIn(b"ID=2171", reply.body)

    def test_trace_follows_the_run_without_passwords(self):
        self.site.write_ini(trace=True)
        body = b"_function=bogus&_server=s&_user=u&_password=hunter2&_np=newpass1"
        rc, reply, _ = self.run_checked(
            {"REQUEST_METHOD": "POST", "CONTENT_LENGTH": str(len(body)), "SCRIPT_NAME": "/q"}, body)
        self.assertEqual(rc, 0)
        self.assertIn("The function &#39;bogus&#39; was not found", reply.text())
        with open(os.path.join(self.site.log_dir, "qelwww.log"), encoding="latin-1") as log:
            trace = log.read()
        for line in ("main: entering, version '2.2.1.10'", "main: called from webserver",
                     "main: REQUEST_METHOD = 'POST'", f"main: CONTENT_LENGTH = '{len(body)}'",
                     "main: QUERY_STRING = '_function=bogus&_server=s&_user=u&_password=", "main: exiting"):
            self.assertIn(line, trace)
        self.assertNotIn("hunter2", trace)
        self.assertNotIn("newpass1", trace)


if __name__ == "__main__":
    unittest.main()
