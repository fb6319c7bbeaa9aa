"""The AFP viewer end to end: lighttpd runs the gateway CGI on the documents archive, curl
logs on and keeps the cookie file, and qelview (headless, scripted) shows the gateway's
viewer containers with the installed plug-in libnpkafp32.so and the engine beside it.

Each test pages, finds, selects and copies, rotates, zooms and prints through the script
language, reads qelview's JSON log, and keeps a screenshot of every state under the build's
tests directory (QELVIEW_ARTIFACTS). The screenshots are checked against the layout the
engine gives the text: 96 pixels an inch at zoom 100, AFP text 10 characters and 6 lines an
inch; ink where a character is, none where the page is empty.

Environment: gateway_site's and documents_site's variables, and
  QELVIEW_PROGRAM    qelview (its install tree's lib/ holds the plug-in and the engine)
  QELVIEW_ARTIFACTS  the directory for the screenshots and PDFs
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "..", "www", "tests", "e2e"))

from documents_site import FOLDER, LEDGER, documents_site, generate, read_container, required_env  # noqa: E402
from gateway_site import SiteTestCase  # noqa: E402

LETTER = "Shipping letter"
# The letter's first page as the demo writes it: (x, baseline y) in 1440ths of an inch.
LETTER_PAGE_1 = [(1440, 1440, "DEMO TRADING LTD"), (1440, 1800, "1 HARBOUR ROAD"),
                 (1440, 2880, "Dear customer,"), (1440, 3240, "your order 4711 has been shipped.")]
# Toolbar commands.
ZOOM, ROTATE, GOTO, FIND, NEXT, PREVIOUS, PRINT = 32071, 32072, 32077, 32078, 32085, 32083, 32089
TEXT_SELECT, COPY = 32093, 32094
DPI = 96
PAGE_W, PAGE_H = int(8.5 * DPI), 11 * DPI  # a letter page at zoom 100


def dark(pixel):
    return sum(pixel[:3]) < 3 * 110


def white(pixel):
    return pixel[:3] == (255, 255, 255)


def read_png(path):
    """((width, height), RGB bytes) of a PNG, through ImageMagick's binary PPM."""
    ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True, capture_output=True).stdout
    fields = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
    if not fields:
        raise AssertionError(f"{path}: not a picture ImageMagick reads")
    width, height = int(fields.group(1)), int(fields.group(2))
    rgb = ppm[fields.end():]
    if len(rgb) != width * height * 3:
        raise AssertionError(f"{path}: {len(rgb)} bytes for {width} x {height} pixels")
    return (width, height), rgb


class Shot:
    """A screenshot and the page on it: the white rectangle inside the light grey desk."""

    def __init__(self, path):
        self.path = path
        self.size, self.rgb = read_png(path)
        w, h = self.size
        # Page rows hold a long unbroken white run (the toolbar's pictures have short ones).
        runs = [self.white_run(y) for y in range(h)]
        rows = [y for y in range(h) if runs[y][1] - runs[y][0] >= 150]
        if not rows:
            raise AssertionError(f"{path}: no page on the screenshot")
        top, bottom = rows[0], rows[-1]
        left = min(runs[y][0] for y in rows)
        right = max(runs[y][1] for y in rows)
        self.page = (left, top, right, bottom + 1)  # left, top, right, bottom

    def white_run(self, y):
        """(start, end) of the longest run of white pixels on row y."""
        best, start = (0, 0), None
        for x in range(self.size[0] + 1):
            if x < self.size[0] and white(self.pixel(x, y)):
                start = x if start is None else start
            elif start is not None:
                best = max(best, (start, x), key=lambda r: r[1] - r[0])
                start = None
        return best

    def pixel(self, x, y):
        at = (y * self.size[0] + x) * 3
        return tuple(self.rgb[at:at + 3])

    @property
    def page_size(self):
        left, top, right, bottom = self.page
        return right - left, bottom - top

    def ink(self, box, test=dark):
        """Pixels in box (page pixels: left, top, right, bottom) that pass test."""
        left, top = self.page[0], self.page[1]
        count = 0
        for y in range(int(top + box[1]), int(top + box[3])):
            for x in range(int(left + box[0]), int(left + box[2])):
                if 0 <= x < self.size[0] and 0 <= y < self.size[1] and test(self.pixel(x, y)):
                    count += 1
        return count


def cell(x, y, index, zoom=1.0):
    """The page-pixel box of character index of a run at (x, y) 1440ths: 1/10 inch wide,
    the line of 1/6 inch above the baseline (a little below it for descenders)."""
    left = (x / 1440 + index / 10) * DPI * zoom
    base = y / 1440 * DPI * zoom
    return left, base - DPI / 6 * 0.8 * zoom, left + DPI / 10 * zoom, base + DPI / 6 * 0.25 * zoom


def line(n, first=0, last=60):
    """Page-pixel box of characters first..last of line n (from 0) of the demo's line data:
    half-inch margins, 1/15 inch across and 1/6 inch down."""
    top = DPI / 2 + n * DPI / 6
    return DPI / 2 + first * DPI / 15, top, DPI / 2 + (last + 1) * DPI / 15, top + DPI / 6


class ViewerCase(SiteTestCase):
    """A gateway on the documents archive (archive: another one), ALICE logged on, and
    qelview run by script in a home and temporary directory of the test's own."""
    archive = None

    def setUp(self):
        self.site = self.open_site(documents_site(archive=self.archive))
        self.work = tempfile.mkdtemp(prefix="afp-viewer-e2e-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.base = f"http://127.0.0.1:{self.site.port}"
        self.cookies = os.path.join(self.work, "cookies.txt")
        self.home = os.path.join(self.work, "home")
        # The About box comes once per user; this user has seen it.
        os.makedirs(os.path.join(self.home, ".config", "qelview"))
        with open(os.path.join(self.home, ".config", "qelview", "VADEVIV2.INI"), "w") as f:
            f.write("[MISC]\nLOGO=TRUE\n")
        os.makedirs(os.path.join(self.work, "tmp"))
        self.artifacts = os.path.join(required_env("QELVIEW_ARTIFACTS"), self.id().rsplit(".", 1)[-1])
        shutil.rmtree(self.artifacts, ignore_errors=True)
        os.makedirs(self.artifacts)
        reply = self.curl("", "_function=logon&_server=DEMO&_user=ALICE&_password=wonder1&_nohtml=1")
        self.assertTrue(reply.startswith(b"[BEGIN]"), reply)

    def curl(self, query, data=None):
        command = ["curl", "-s", "-S", "--max-time", "60", "-b", self.cookies, "-c", self.cookies]
        if data is not None:
            command += ["--data", data]
        command.append(self.base + "/cgi-bin/qelwww" + ("?" + query if query else ""))
        return subprocess.run(command, check=True, capture_output=True, timeout=120).stdout

    def link(self, title):
        body = self.curl(f"_a=d&_f={FOLDER}&_nohtml=1&_df=Title&TitleOP=256&Title=%25")
        found = {t.decode(): link.decode() for t, link in
                 re.findall(rb"^DOC=\[(.*)\^(/cgi-bin/qelwww\?[^^]*)\^\w\]$", body, re.M)}
        self.assertIn(title, found, body)
        return found[title]

    def shot(self, name):
        return os.path.join(self.artifacts, name + ".png")

    def view(self, url, script, size=(1200, 1200), title=None, options=()):
        """Runs qelview on url with the script (and the document's title, when given, and
        further options); (exit status, stderr, log events)."""
        script_path = os.path.join(self.work, "script.txt")
        with open(script_path, "w") as f:
            f.write(script)
        log = os.path.join(self.work, "log.json")
        env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   TMPDIR=os.path.join(self.work, "tmp"), CUPS_SERVER="/nonexistent/cups.sock")
        env.pop("DISPLAY", None)
        options = (["--title", title] if title is not None else []) + list(options)
        done = subprocess.run([required_env("QELVIEW_PROGRAM"), "--script", script_path, "--log", log,
                               "--cookies", self.cookies, "--size", f"{size[0]}x{size[1]}"] + options + [url],
                              capture_output=True, timeout=300, env=env)
        shutil.copy(log, os.path.join(self.artifacts, "log.json"))
        with open(log, encoding="utf-8") as f:
            events = [json.loads(line) for line in f if line.strip()]
        # The plug-in's instance directory went with it.
        self.assertEqual(os.listdir(os.path.join(self.work, "tmp")), [])
        return done.returncode, done.stderr.decode("utf-8", "replace"), events

    def assert_ran(self, result):
        status, stderr, events = result
        self.assertEqual(status, 0, stderr)
        # Every block the plug-in took from the browser was given back.
        self.assertEqual([e["liveBlocks"] for e in events if "liveBlocks" in e], [0])
        return events

    @staticmethod
    def statuses(events):
        return [e["text"] for e in events if e.get("source") == "browser" and e.get("call") == "NPN_Status"]

    @staticmethod
    def fetches(events):
        return [e for e in events if e.get("source") == "fetch"]

    @staticmethod
    def engine(events, name):
        return [e for e in events if e.get("source") == "engine" and e.get("name") == name]

    def assert_line_page(self, shot, name, lines=60):
        """A page of the demo's line data on a letter page: ink on the title line and each
        item line, none on the blank second line, none below the last line."""
        w, h = shot.page_size
        self.assertEqual((w, h), (PAGE_W, PAGE_H), name)
        for n in [0] + list(range(2, lines)):
            self.assertGreater(shot.ink(line(n)), 0, f"{name}: line {n + 1}")
        self.assertEqual(shot.ink(line(1)), 0, name)
        self.assertEqual(shot.ink((0, line(lines)[1], w, h)), 0, name)

    def printed_text(self, name):
        """The text of the one PDF the PDF printer wrote into the home directory (kept
        with the artifacts), page by page; the PDF must be called name."""
        pdfs = [f for f in os.listdir(self.home) if f.endswith(".pdf")]
        self.assertEqual(pdfs, [name])
        shutil.copy(os.path.join(self.home, pdfs[0]), os.path.join(self.artifacts, "printed.pdf"))
        text = subprocess.run(["pdftotext", "-layout", os.path.join(self.home, pdfs[0]), "-"], check=True,
                              capture_output=True).stdout.decode()
        return text.split("\f")


class ViewerOnTheGateway(ViewerCase):
    # ---- the AFP letter ----

    def assert_letter_text(self, shot, zoom=1.0):
        """Ink in every character cell of the first page's runs, none in the blanks between
        words, none in the empty lower half of the page."""
        for x, y, text in LETTER_PAGE_1:
            for i, ch in enumerate(text):
                box = cell(x, y, i, zoom)
                if ch == " ":
                    # The middle of a blank cell stays clear.
                    width = box[2] - box[0]
                    self.assertEqual(shot.ink((box[0] + width * 0.3, box[1], box[2] - width * 0.3, box[3])), 0,
                                     f"{shot.path}: ink in the blank {i} of {text!r}")
                elif ch not in ".,":
                    self.assertGreater(shot.ink(box), 0, f"{shot.path}: no ink for {ch!r} ({i}) of {text!r}")
        w, h = shot.page_size
        self.assertEqual(shot.ink((4, h * 0.4, w - 4, h - 4)), 0, f"{shot.path}: ink on the empty page area")
        # Nothing between the address and the greeting either.
        self.assertEqual(shot.ink(cell(1440, 2340, 0, zoom)[:1] + (1900 / 1440 * DPI * zoom, w - 4,
                                                                       2600 / 1440 * DPI * zoom)), 0)

    def test_afp_letter(self):
        link = self.link(LETTER)
        container = self.curl(link.split("?", 1)[1])
        self.assertEqual(read_container(container)["kind"], "full")
        s = self.shot
        script = "\n".join([
            f"screenshot {s('1-open')}",
            # Find a word: the engine's own dialog, answered with the text and OK.
            f"answer-dialog KNVWFIND set 401=shipped click 1",
            f"command {FIND}",
            f"screenshot {s('2-found')}",
            # Text selection over the first line, then copy.
            f"command {TEXT_SELECT}",
            "DRAG",
            f"command {COPY}",
            "expect-clipboard DEMO TRADING LTD",
            f"screenshot {s('3-selected')}",
            # Zoom to 50 %, then back to 100 %.
            f"answer-dialog KNVWZOOM set 101=50 click 1",
            f"command {ZOOM}",
            f"screenshot {s('4-zoom50')}",
            f"answer-dialog KNVWZOOM set 101=100 click 1",
            f"command {ZOOM}",
            # A quarter turn clockwise.
            f"answer-dialog KNVWROTATE click 202 click 1",
            f"command {ROTATE}",
            f"screenshot {s('5-rotated')}",
            f"answer-dialog KNVWROTATE click 201 click 1",
            f"command {ROTATE}",
            # Print the current page to the PDF printer.
            f"answer-dialog P16Print click 30001 click 1",
            f"command {PRINT}",
            f"command {NEXT}",
            f"screenshot {s('6-page2')}",
            "quit", ""])
        # The drag's place comes from where the page lies on the first screenshot.
        probe = self.assert_ran(self.view(self.base + link, f"screenshot {s('0-probe')}\nquit\n"))
        self.assertTrue(self.engine(probe, "VSDocStart"))
        first = Shot(s("0-probe"))
        x0, y0 = first.page[0], first.page[1]
        box_first, box_last = cell(1440, 1440, 0), cell(1440, 1440, 15)
        mid = (box_first[1] + box_first[3]) / 2
        drag = (f"drag {int(x0 + box_first[0] + 2)} {int(y0 + mid)} "
                f"{int(x0 + box_last[2] - 2)} {int(y0 + mid)}")
        events = self.assert_ran(self.view(self.base + link, script.replace("DRAG", drag), title=LETTER))

        # The document came as the gateway's container and the real engine opened it.
        self.assertEqual(self.fetches(events)[0]["type"], "application/afp")
        self.assertEqual(self.fetches(events)[0]["size"], len(container))
        starts = self.engine(events, "VSDocStart")
        self.assertEqual(len(starts), 1)
        self.assertNotEqual(starts[0]["result"], 0)
        statuses = self.statuses(events)
        self.assertIn("Page 1 of 2", statuses)
        self.assertEqual([st for st in statuses if st.startswith("Page ")][-1], "Page 2 of 2")
        self.assertEqual([e["result"] for e in self.engine(events, "VSFindString")], [100])

        opened = Shot(s("1-open"))
        self.assertEqual(opened.page_size, (PAGE_W, PAGE_H))
        self.assert_letter_text(opened)

        # The hit is marked yellow over "shipped" (run 4, characters 25..31) and nowhere else.
        found = Shot(s("2-found"))
        yellow = lambda p: p[0] > 200 and p[1] > 200 and p[2] < 150  # noqa: E731
        start = LETTER_PAGE_1[3][2].index("shipped")
        hit = cell(1440, 3240, start)[:2] + cell(1440, 3240, start + 6)[2:]
        self.assertGreater(found.ink(hit, yellow), 0)
        self.assertEqual(found.ink((0, 0) + found.page_size, yellow), found.ink(hit, yellow))

        # The selection is marked light blue over the first line only.
        selected = Shot(s("3-selected"))
        blue = lambda p: p[2] > 200 and p[0] < 230 and p[2] - p[0] > 20  # noqa: E731
        line = cell(1440, 1440, 0)[:2] + cell(1440, 1440, 15)[2:]
        self.assertGreater(selected.ink(line, blue), 0)
        self.assertEqual(selected.ink((0, line[3] + 2) + selected.page_size, blue), 0)

        zoomed = Shot(s("4-zoom50"))
        self.assertEqual(zoomed.page_size, (PAGE_W // 2, PAGE_H // 2))
        self.assert_letter_text(zoomed, 0.5)

        # A quarter turn: the page lies on its side and the first line runs downwards
        # along its right edge.
        rotated = Shot(s("5-rotated"))
        self.assertEqual(rotated.page_size, (PAGE_H, PAGE_W))
        w, h = rotated.page_size
        x, y = 1440 / 1440 * DPI, 1440 / 1440 * DPI
        column = (w - y - DPI / 6 * 0.25, x, w - y + DPI / 6 * 0.8, x + 1.6 * DPI)
        self.assertGreater(rotated.ink(column), 0)
        self.assertEqual(rotated.ink((4, 4, w * 0.6, h - 4)), 0)

        second = Shot(s("6-page2"))
        self.assertGreater(second.ink(cell(1440, 1440, 0)[:2] + cell(1440, 1440, 19)[2:]), 0)
        self.assertEqual(second.ink(cell(1440, 3240, 0)[:2] + cell(1440, 3240, 30)[2:]), 0)

        # The printed page: a PDF whose text is the first page's.
        prints = self.engine(events, "VSPrint")
        self.assertEqual([p["result"] for p in prints], [1])
        # Named after the document's title, as qelview's window shows it.
        text = "".join(self.printed_text("Shipping_letter.pdf"))
        for _, _, run in LETTER_PAGE_1:
            self.assertIn(run, text)
        self.assertNotIn("Terms and conditions", text)

    # ---- the ledger in three segments ----

    def test_ledger_across_segments(self):
        link = self.link(LEDGER)
        container = read_container(self.curl(link.split("?", 1)[1]))
        info = container["info"]
        self.assertEqual((info["segments"], info["pages_in_segment"]), (3, 3))
        segment_url = self.base + info["segment_url"]
        s = self.shot
        script = "\n".join([
            f"screenshot {s('1-page1')}",
            f"command {NEXT}", f"command {NEXT}",
            f"screenshot {s('2-page3')}",
            # Page 4 lies in segment 1: the plug-in asks the gateway for it.
            f"command {NEXT}",
            "wait-url _seg=1",
            f"screenshot {s('3-page4')}",
            # A text only page 7 holds: segment 1 has none, so the search goes on in segment 2.
            "answer-dialog KNVWFIND set 401=7.12 click 1",
            f"command {FIND}",
            "wait-url _seg=2",
            "wait-idle",
            f"screenshot {s('4-found-page7')}",
            # Back across the boundary: segment 1 again, now from the file kept of it.
            f"command {PREVIOUS}",
            "wait-url file:",
            f"screenshot {s('5-page6')}",
            # A page by its name: the names came with the first container and still serve.
            'answer-dialog KNVWGOTO set 301= set 302="Ledger page 8" click 1',
            f"command {GOTO}",
            "wait-url file:",
            "expect-status Page 8 of 8",
            f"screenshot {s('6-page8')}",
            "quit", ""])
        events = self.assert_ran(self.view(self.base + link, script))

        fetched = self.fetches(events)
        urls = [f["url"] for f in fetched]
        self.assertEqual(urls[:3], [self.base + link, segment_url + "1", segment_url + "2"])
        # Segments 1 and 2 again, from the files kept of them.
        self.assertEqual(len(urls), 5, urls)
        self.assertTrue(all(u.startswith("file:") for u in urls[3:]), urls)
        # Each segment is the bytes the gateway gives curl for the same URL.
        for f in fetched[1:3]:
            query = urllib.parse.urlsplit(f["url"]).query
            body = self.curl(query)
            self.assertEqual(f["size"], len(body))
            self.assertEqual(read_container(body, container["document_letter"])["segment"],
                             int(f["url"].rsplit("=", 1)[1]))
        pages = [st for st in self.statuses(events) if st.startswith("Page ")]
        for n in (1, 3, 4, 7, 6):
            self.assertIn(f"Page {n} of 8", pages)
        self.assertEqual(pages[-1], "Page 8 of 8")
        self.assertEqual([e.get("target") for e in self.engine(events, "VSGoto")], [8])
        finds = self.engine(events, "VSFindString")
        self.assertEqual([e["result"] for e in finds], [101])

        # The density the split worked out reached the engine in its order (characters and
        # lines an inch, lines on a page): the widest line is the 59-character title line,
        # 900 / 59 across; 60 lines a page, 60 x 0.1 + 0.5 down.
        parms = self.engine(events, "VSSetLineDataParms")
        self.assertTrue(parms)
        self.assertEqual({(p["cpi"], p["lpi"], p["lines"]) for p in parms}, {(15, 6, 60)})
        # Each segment's document holds its own pages, no more: segments 0, 1, 2, then 1
        # and 2 again from their kept files.
        self.assertEqual([e["pages"] for e in self.engine(events, "VSDocStart")], [3, 3, 2, 3, 2])

        # Every page shown whole.
        for name in ("1-page1", "2-page3", "3-page4", "4-found-page7", "5-page6", "6-page8"):
            self.assert_line_page(Shot(s(name)), name)
        # The hit on page 7: "7.12" is the twelfth line's characters 3 to 6.
        found = Shot(s("4-found-page7"))
        yellow = lambda p: p[0] > 200 and p[1] > 200 and p[2] < 150  # noqa: E731
        hit = line(11, 3, 6)
        self.assertGreater(found.ink(hit, yellow), 0)
        self.assertEqual(found.ink((0, 0) + found.page_size, yellow),
                         found.ink((hit[0] - 2, hit[1] - 2, hit[2] + 2, hit[3] + 2), yellow))


class LineDataWithPageSize(ViewerCase):
    """The line-data application names its page: PWIDTH=8.5 and PLENGTH=11 inches."""
    REPORT = "Quarterly stock report"

    @classmethod
    def setUpClass(cls):
        cls.work_archive = tempfile.mkdtemp(prefix="afp-viewer-e2e-archive-")
        try:
            cls.archive, _ = generate(cls.work_archive, cls.change)
        except BaseException:
            shutil.rmtree(cls.work_archive, ignore_errors=True)
            raise

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work_archive, ignore_errors=True)

    @staticmethod
    def change(description, data):
        group = next(g for g in description["application_groups"] if g["name"] == "DOCLINE")
        parameters = group["applications"][0]["parameters"]
        parameters[parameters.index("[@_FIXED_@]") + 1:1] = ["PWIDTH=8.5", "PLENGTH=11"]

    def test_letter_page_shows_and_prints_every_line(self):
        link = self.link(self.REPORT)
        container = read_container(self.curl(link.split("?", 1)[1]))
        self.assertEqual((container["page_width"], container["page_length"]), (8.5, 11.0))
        s = self.shot
        script = "\n".join([
            f"screenshot {s('1-page1')}",
            "answer-dialog P16Print click 30001 click 1",
            f"command {PRINT}",
            f"command {NEXT}",
            f"screenshot {s('2-page2')}",
            "quit", ""])
        events = self.assert_ran(self.view(self.base + link, script, title=self.REPORT))

        # The engine got the page in its twips, and the density of a 7.5 x 10 inch text area.
        self.assertEqual([(e["width"], e["height"]) for e in self.engine(events, "VSSetPageSize")],
                         [(12240, 15840)])
        self.assertEqual({(p["cpi"], p["lpi"], p["lines"]) for p in self.engine(events, "VSSetLineDataParms")},
                         {(15, 6, 60)})
        self.assertIn("Page 2 of 2", self.statuses(events))
        for name in ("1-page1", "2-page2"):
            self.assert_line_page(Shot(s(name)), name)

        # The printed page holds the first page's 60 lines and nothing of the second.
        self.assertEqual([p["result"] for p in self.engine(events, "VSPrint")], [1])
        pages = [p for p in self.printed_text("Quarterly_stock_report.pdf") if p.strip()]
        self.assertEqual(len(pages), 1, pages)
        printed = pages[0].splitlines()
        self.assertRegex(printed[0], r"QUARTERLY STOCK REPORT\s+PAGE\s+1$")
        items = [ln.split()[0] for ln in printed if re.match(r"\s*1\.\d\d\s", ln)]
        self.assertEqual(items, [f"1.{n:02d}" for n in range(3, 61)])
        self.assertNotIn("2.03", pages[0])


class DamagedAfp(ViewerCase):
    """AFP files damaged on purpose, shown from file: URLs: the pages show what was read up
    to the damage and the engine says once where the file is damaged."""

    def test_cut_and_hostile_files_show_what_was_read(self):
        sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "..", "tools"))
        import demo_formats  # noqa: E402  (the demo's AFP writer)
        afp = demo_formats.afp_document("LETTER01", [LETTER_PAGE_1, [(1440, 1440, "Terms and conditions")]])
        text_at = afp.find(b"\xd3\xee\x9b") - 3  # page 1's Presentation Text field
        hostile = bytearray(afp)
        hostile[text_at + 1] = 0x7F  # its length points far past the end
        cut_at = afp.find("HARBOUR".encode("cp500")) + 3
        cases = [("cut", afp[:cut_at], 1, "1 HAR"), ("hostile", bytes(hostile), 2, "1 HARBOUR ROAD")]
        for name, data, pages, second_line in cases:
            with self.subTest(name):
                path = os.path.join(self.work, name + ".afp")
                with open(path, "wb") as f:
                    f.write(data)
                script = "\n".join([f"screenshot {self.shot(name + '-1')}", f"command {NEXT}",
                                    f"screenshot {self.shot(name + '-2')}", "quit", ""])
                events = self.assert_ran(self.view("file://" + path, script, options=["--type", "application/afp"]))
                boxes = [e["text"] for e in events if e.get("source") == "messagebox"]
                self.assertEqual(boxes, [f"The document is damaged at byte {text_at}. "
                                         "The pages show what could be read up to the damage."])
                self.assertIn(f"Page 1 of {pages}", self.statuses(events))
                first = Shot(self.shot(name + "-1"))
                # The first line and what was read of the second.
                self.assertGreater(first.ink(cell(1440, 1440, 0)[:2] + cell(1440, 1440, 15)[2:]), 0)
                self.assertGreater(first.ink(cell(1440, 1800, 0)[:2] +
                                             cell(1440, 1800, len(second_line) - 1)[2:]), 0)
                self.assertEqual(first.ink(cell(1440, 1800, len(second_line) + 1)[:2] +
                                           cell(1440, 1800, 14)[2:]), 0)
                if pages == 2:
                    last = Shot(self.shot(name + "-2"))
                    self.assertGreater(last.ink(cell(1440, 1440, 0)[:2] + cell(1440, 1440, 19)[2:]), 0)


if __name__ == "__main__":
    unittest.main()
