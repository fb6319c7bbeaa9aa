"""The CGI program's command line: a local AFP file (and the resources the resource program
extracts for it) packed into the viewer container, read back by the independent container
reader; the usage text and exit codes; the resource program started with an argument
vector, never a shell.

The program is copied into <root>/bin of a small install tree, so that the resource
program it starts is <root>/bin/qelacif: the stand-in built by the tests
(QELWWW_RESOURCE_STANDIN), which records its arguments beside the parameter file.
"""
import os
import random
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import container_reader  # noqa: E402

from gateway_site import ASAN_OPTIONS, SANITIZER_MARKS, required_env, sanitized  # noqa: E402

VERSION = "2.2.1.10"
USAGE = (b"\nUsage: %s -a [-p] [-o] [-v]\n   -a <file>     AFP file\n   -p <file>     Parameter file\n"
         b"   -o <file>     Output file\n   -v            Version string\n")


def compressible(size):
    """Text that shrinks under every compression letter."""
    line = b"BEGIN PAGE 0001 ACME CORPORATION INVOICE 4711 AMOUNT DUE 120.00\n"
    return (line * (size // len(line) + 1))[:size]


def noise(size):
    return random.Random(size).randbytes(size)


class CommandLineSite:
    """An install tree: bin/qelwww (a copy), bin/qelwww.ini, bin/qelacif (the stand-in),
    locale (the build's), cache/ (0700)."""

    def __init__(self, with_resource_program=True):
        program = required_env("QELWWW_PROGRAM")
        self.root = tempfile.mkdtemp(prefix="qelwww-cli-")
        self.bin = os.path.join(self.root, "bin")
        os.mkdir(self.bin)
        self.program = os.path.join(self.bin, "qelwww")
        shutil.copy2(program, self.program)
        stage = os.path.dirname(os.path.dirname(os.path.realpath(program)))
        os.symlink(os.path.join(stage, "locale"), os.path.join(self.root, "locale"))
        if with_resource_program:
            shutil.copy2(required_env("QELWWW_RESOURCE_STANDIN"), os.path.join(self.bin, "qelacif"))
        self.cache = os.path.join(self.root, "cache")
        os.mkdir(self.cache, 0o700)
        templates = os.path.join(self.root, "templates")
        os.mkdir(templates)
        self.work = os.path.join(self.root, "work")
        os.mkdir(self.work)
        with open(os.path.join(self.bin, "qelwww.ini"), "w") as ini:
            ini.write(f"[configuration]\nCacheDir={self.cache}\nTemplateDir={templates}\n[debug]\nLog=0\n")

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.work, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())
        return self.path(name)

    def run(self, *args, env=None):
        full = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "QEL_REGISTRY_DIR": self.root}
        if sanitized():
            full["ASAN_OPTIONS"] = ASAN_OPTIONS
        full.update(env or {})
        done = subprocess.run([self.program, *args], cwd=self.work, env=full, capture_output=True, timeout=120)
        for mark in SANITIZER_MARKS:
            if mark in done.stderr:
                raise AssertionError("sanitizer report:\n" + done.stderr.decode(errors="replace"))
        return done

    def cache_files(self):
        return sorted(os.listdir(self.cache))


class SiteCase(unittest.TestCase):
    """A command-line site shared by a class's tests; no test leaves a temporary file."""

    @classmethod
    def setUpClass(cls):
        cls.site = CommandLineSite()

    @classmethod
    def tearDownClass(cls):
        cls.site.close()

    def tearDown(self):
        self.assertEqual(self.site.cache_files(), [], "no temporary file is left behind")


class CommandLineTest(SiteCase):
    def pack(self, data, *extra):
        afp = self.site.write("in.afp", data)
        out = self.site.path("out.vod")
        if os.path.exists(out):
            os.remove(out)
        done = self.site.run("-a", afp, "-o", out, *extra)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout, b"", "the -o form writes nothing to standard output")
        with open(out, "rb") as f:
            return f.read()

    def test_document_letter_by_size_and_the_piece_decodes_to_the_file(self):
        cases = [
            ("empty", b"", "N"),
            ("199 bytes: stored", compressible(199), "N"),
            ("200 bytes", compressible(200), "L"),
            ("29999 bytes", compressible(29999), "L"),
            ("30000 bytes", compressible(30000), "3"),
            ("59999 bytes", compressible(59999), "3"),
            ("60000 bytes", compressible(60000), "4"),
            ("90000 bytes", compressible(90000), "5"),
            ("119999 bytes", compressible(119999), "5"),
            ("120000 bytes", compressible(120000), "Z"),
            ("400000 bytes", compressible(400000), "Z"),
            ("noise does not shrink: stored", noise(5000), "N"),
            ("noise of the Z size", noise(130000), "N"),
        ]
        for name, data, letter in cases:
            with self.subTest(name):
                raw = self.pack(data)
                c = container_reader.read_container(raw)
                self.assertEqual(raw[:12], b"VOD#\x00\x00\x07\xd0\xff\xff\xff\xff")
                self.assertEqual(c["document_letter"], letter)
                self.assertEqual(c["document_expanded"], data)
                self.assertEqual(len(raw), 40 + len(c["document"]))
                if letter != "N":
                    self.assertLess(len(c["document"]), len(data))
                self.assertEqual((c["info_letter"], c["info_length"]), ("", 0))
                self.assertEqual((c["resource_letter"], c["resource_length"]), ("N", 0))
                self.assertEqual(raw[23:25], b"A\x00", "type 'A', orientation byte zero")
                self.assertEqual(c["number"], 100)
                self.assertEqual((c["page_width"], c["page_length"]), (0.0, 0.0))
                self.assertEqual(c["attributes"], ["M", "B", "W"])

    def test_standard_output_form_has_crlf_headers(self):
        data = compressible(5000)
        packed = self.pack(data)
        afp = self.site.path("in.afp")
        cases = [
            ("default type", {}, "application/afp"),
            ("type from the environment", {"QELWWW_MIMETYPE_AFP": "application/x-site-afp"},
             "application/x-site-afp"),
            ("a type that would add a header", {"QELWWW_MIMETYPE_AFP": "x/y\r\nSet-Cookie: a=b"}, "application/afp"),
            ("an empty type", {"QELWWW_MIMETYPE_AFP": ""}, "application/afp"),
        ]
        for name, env, content_type in cases:
            with self.subTest(name):
                done = self.site.run("-a", afp, env=env)
                self.assertEqual(done.returncode, 0, done.stderr)
                head = f"Content-type: {content_type}\r\nContent-length: {len(packed)}\r\n\r\n".encode()
                self.assertEqual(done.stdout, head + packed)

    def test_output_file_replaces_an_old_one_whole(self):
        out = self.site.write("old.vod", b"old content that is longer than the new container" * 100)
        afp = self.site.write("small.afp", b"%AFP")
        done = self.site.run("-a", afp, "-o", out)
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(out, "rb") as f:
            self.assertEqual(container_reader.read_container(f.read())["document_expanded"], b"%AFP")
        self.assertEqual([n for n in os.listdir(self.site.work) if n.startswith(".")], [],
                         "no temporary file of the atomic write is left")

    def test_usage_and_failures(self):
        afp = self.site.write("good.afp", compressible(300))
        directory = self.site.path("a-directory")
        os.makedirs(directory, exist_ok=True)
        program = self.site.program.encode()
        usage = USAGE % program
        missing_input = b"Unable to compress input file!\n"
        cases = [
            ("unknown option", ["-x"], usage),
            ("unknown option after a good one", ["-a", afp, "-q"], usage),
            ("-a without its argument", ["-a"], usage),
            ("-a with an empty argument", ["-a", ""], usage),
            ("-o with an empty argument", ["-a", afp, "-o", ""], usage),
            ("-o without its argument", ["-a", afp, "-o"], usage),
            ("no -a", ["-o", self.site.path("x.vod")], usage),
            ("a missing file", ["-a", self.site.path("missing.afp")], missing_input),
            ("a directory", ["-a", directory], missing_input),
            ("an output file in a missing directory", ["-a", afp, "-o", self.site.path("no/dir/out")],
             b"Unable to open output file '" + self.site.path("no/dir/out").encode() + b"'.\n"),
        ]
        for name, args, error in cases:
            with self.subTest(name):
                done = self.site.run(*args)
                self.assertEqual(done.returncode, 1)
                self.assertEqual(done.stdout, b"")
                self.assertIn(error, done.stderr)
        self.assertFalse(os.path.exists(self.site.path("x.vod")))
        self.assertFalse(os.path.exists(self.site.path("no")))

    @unittest.skipIf(os.geteuid() == 0, "root reads a file without read permission")
    def test_unreadable_file(self):
        afp = self.site.write("secret.afp", b"%AFP")
        os.chmod(afp, 0)
        done = self.site.run("-a", afp)
        self.assertEqual((done.returncode, done.stdout), (1, b""))
        self.assertIn(b"Unable to compress input file!\n", done.stderr)

    def test_version(self):
        for args in (["-v"], ["-v", "-x"], ["-av"]):
            with self.subTest(args=args):
                done = self.site.run(*args)
                self.assertEqual(done.returncode, 1)
                if args == ["-av"]:
                    # "v" is the argument of -a here: a file that does not exist.
                    self.assertIn(b"Unable to compress input file!\n", done.stderr)
                    continue
                self.assertEqual(done.stdout, f"Netvara Version {VERSION}, AFP Plugin Release 2000.\n".encode())

    def test_arguments_that_do_not_start_the_command_line(self):
        # No option: the web-server mode, which finds no request method.
        for args in (["word"], ["-"], ["--", "-a", "x"]):
            with self.subTest(args=args):
                done = self.site.run(*args)
                self.assertEqual(done.returncode, 0)
                self.assertIn(b"No arguments specified", done.stdout)
                self.assertNotIn(b"Usage:", done.stderr)


class ResourceProgramTest(SiteCase):
    def parameters(self, name, *lines):
        return self.site.write(name, "".join(line + "\n" for line in lines))

    def recorded(self, parameters):
        with open(parameters + ".argv", "rb") as f:
            arguments = f.read().split(b"\0")[:-1]
        with open(parameters + ".modes") as f:
            modes = f.read().split()
        return arguments, modes

    def test_resources_go_into_the_container(self):
        afp = self.site.write("doc.afp", compressible(1000))
        for size, letter in ((0, "N"), (150, "N"), (5000, "L"), (70000, "4")):
            with self.subTest(size=size):
                parms = self.parameters("res.parms", f"resources={size}")
                out = self.site.path("res.vod")
                done = self.site.run("-a", afp, "-p", parms, "-o", out)
                self.assertEqual(done.returncode, 0, done.stderr)
                with open(out, "rb") as f:
                    raw = f.read()
                c = container_reader.read_container(raw)
                expected = (b"resource group " * (size // 15 + 1))[:size]
                self.assertEqual(c["resource_letter"], letter)
                self.assertEqual(c["resources_expanded"], expected)
                self.assertEqual(c["document_expanded"], compressible(1000))
                self.assertEqual(len(raw), 40 + c["resource_length"] + len(c["document"]))
                arguments, modes = self.recorded(parms)
                self.assertEqual(modes, ["0600", "0600"], "temporary files made 0600 before the program runs")
                self.assertEqual(arguments[0], b"PARMDD=" + parms.encode())
                self.assertEqual(arguments[1], b"INPUTDD=" + afp.encode())
                self.assertTrue(arguments[2].startswith(b"RESOBJDD=" + self.site.cache.encode() + b"/"))
                self.assertTrue(arguments[3].startswith(b"MSGDD=" + self.site.cache.encode() + b"/"))
                self.assertEqual(arguments[4:], [b"INDEXDD=/dev/null", b"OUTPUTDD=/dev/null"])

    def test_standard_output_form_with_resources(self):
        afp = self.site.write("doc.afp", b"%AFP document")
        parms = self.parameters("out.parms", "resources=300", "stdout=chatter of the program")
        done = self.site.run("-a", afp, "-p", parms)
        self.assertEqual(done.returncode, 0, done.stderr)
        head, _, body = done.stdout.partition(b"\r\n\r\n")
        self.assertEqual(head, b"Content-type: application/afp\r\nContent-length: %d" % len(body))
        c = container_reader.read_container(body)
        self.assertEqual(c["document_expanded"], b"%AFP document")
        self.assertEqual(len(c["resources_expanded"]), 300)
        self.assertIn(b"chatter of the program\n", done.stderr, "the program's output goes to standard error")

    def test_hostile_file_names_reach_the_program_as_one_argument(self):
        names = ["with blanks.afp", "quote's \"both\".afp", "$(touch pwned).afp", "semi;colon`id`.afp",
                 "-leading-dash.afp"]
        for name in names:
            with self.subTest(name):
                afp = self.site.write(name, b"%AFP " + name.encode())
                parms = self.parameters(name + ".parms", "resources=10")
                out = self.site.path("hostile.vod")
                done = self.site.run("-a", afp, "-p", parms, "-o", out)
                self.assertEqual(done.returncode, 0, done.stderr)
                arguments, _ = self.recorded(parms)
                self.assertEqual(len(arguments), 6)
                self.assertEqual(arguments[0], b"PARMDD=" + parms.encode())
                self.assertEqual(arguments[1], b"INPUTDD=" + afp.encode())
                with open(out, "rb") as f:
                    self.assertEqual(container_reader.read_container(f.read())["document_expanded"],
                                     b"%AFP " + name.encode())
        self.assertFalse(os.path.exists(self.site.path("pwned")))
        self.assertFalse(os.path.exists(os.path.join(self.site.bin, "pwned")))

    def test_program_failures(self):
        afp = self.site.write("doc.afp", b"%AFP")
        cases = [
            ("exit code 3 with messages", ["exit=3", "message=ACIF0001 first line", "message=ACIF0002 second"],
             3, b"Resource failuer... rc=3\nACIF0001 first line\nACIF0002 second\n"),
            ("exit code 8 without messages", ["exit=8"], 8, b"Resource failuer... rc=8\n"),
            ("killed by a signal", ["message=dying", "signal=9"], 128 + 9, b"Resource failuer... rc=137\ndying\n"),
        ]
        for name, lines, code, error in cases:
            with self.subTest(name):
                parms = self.parameters("fail.parms", *lines)
                out = self.site.path("fail.vod")
                done = self.site.run("-a", afp, "-p", parms, "-o", out)
                self.assertEqual(done.returncode, code)
                self.assertEqual(done.stdout, b"")
                self.assertIn(error, done.stderr)
                self.assertFalse(os.path.exists(out))
                self.assertEqual(self.site.cache_files(), [])

    def test_empty_parameter_argument_names_qelwww_parms(self):
        afp = self.site.write("doc.afp", b"%AFP")
        self.parameters("qelwww.parms", "resources=20")
        out = self.site.path("default.vod")
        done = self.site.run("-a", afp, "-p", "", "-o", out)
        self.assertEqual(done.returncode, 0, done.stderr)
        arguments, _ = self.recorded(self.site.path("qelwww.parms"))
        self.assertEqual(arguments[0], b"PARMDD=qelwww.parms")
        with open(out, "rb") as f:
            self.assertEqual(container_reader.read_container(f.read())["resource_length"], 20)


class InstallTreeTest(unittest.TestCase):
    """The program where the build lays it out, run as a newcomer runs it: no site, no
    qelwww.ini of one's own."""

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="qelwww-tree-")
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "QEL_REGISTRY_DIR": self.work}
        if sanitized():
            self.env["ASAN_OPTIONS"] = ASAN_OPTIONS

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def run_program(self, program, *args):
        done = subprocess.run([program, *args], cwd=self.work, env=self.env, capture_output=True, timeout=120)
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, done.stderr)
        return done

    def test_the_build_tree_packs_a_file_as_it_stands(self):
        program = os.path.realpath(required_env("QELWWW_PROGRAM"))
        with open(os.path.join(self.work, "f.afp"), "wb") as f:
            f.write(compressible(3000))
        done = self.run_program(program, "-a", "f.afp", "-o", "out")
        self.assertEqual((done.returncode, done.stdout, done.stderr), (0, b"", b""))
        with open(os.path.join(self.work, "out"), "rb") as f:
            self.assertEqual(container_reader.read_container(f.read())["document_expanded"], compressible(3000))

    def test_a_failed_start_is_told_on_standard_error(self):
        # A copy without qelwww.ini beside it, and one whose qelwww.ini names a missing cache.
        bin_dir = os.path.join(self.work, "bin")
        os.mkdir(bin_dir)
        program = os.path.join(bin_dir, "qelwww")
        shutil.copy2(required_env("QELWWW_PROGRAM"), program)
        stage = os.path.dirname(os.path.dirname(os.path.realpath(required_env("QELWWW_PROGRAM"))))
        os.symlink(os.path.join(stage, "locale"), os.path.join(self.work, "locale"))
        with open(os.path.join(self.work, "f.afp"), "wb") as f:
            f.write(b"%AFP")
        ini = os.path.join(bin_dir, "qelwww.ini")
        cases = [
            ("no qelwww.ini", None,
             [b"Unable to initialize environment.  rc=2\n",
              b"The configuration file '" + ini.encode() + b"' was not found.\n"]),
            ("a cache directory that is missing", "[configuration]\nCacheDir=/nonexistent/cache\n",
             [b"/nonexistent/cache"]),
        ]
        for name, text, errors in cases:
            with self.subTest(name):
                if text is not None:
                    with open(ini, "w") as f:
                        f.write(text)
                for args in (["-a", "f.afp", "-o", "out"], ["-a", "f.afp"], ["-v"]):
                    done = self.run_program(program, *args)
                    self.assertNotEqual(done.returncode, 0, args)
                    self.assertEqual(done.stdout, b"", "no web page on standard output")
                    for error in errors:
                        self.assertIn(error, done.stderr)
                    self.assertNotIn(b"<h4>", done.stderr, "text, not HTML")
                self.assertFalse(os.path.exists(os.path.join(self.work, "out")))


class WithoutResourceProgramTest(unittest.TestCase):
    def test_a_missing_program_is_a_failed_one(self):
        site = CommandLineSite(with_resource_program=False)
        try:
            afp = site.write("doc.afp", b"%AFP")
            parms = site.write("p.parms", "resources=1\n")
            done = site.run("-a", afp, "-p", parms, "-o", site.path("x.vod"))
            self.assertEqual(done.returncode, 127)
            self.assertIn(b"Resource failuer... rc=127\n", done.stderr)
            self.assertEqual(done.stdout, b"")
            self.assertEqual(site.cache_files(), [])
        finally:
            site.close()


if __name__ == "__main__":
    unittest.main()
