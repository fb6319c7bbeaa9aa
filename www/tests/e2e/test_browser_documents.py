"""Documents in headless Chromium through lighttpd on the demo site: log on, open folder
Documents, search, and from the hit list open line data as text (the page's text is the
generated data file as the gateway turns it into text), the three-segment ledger whole,
AFP, PDF and TIFF bytes as stored, the notes, a note added in the popup, an index value
updated and found again, and two documents printed through the demo's printer into the
spool beside the archive. Hostile texts in titles, a note and
a page name (and control characters in a posted note) stay text and run nothing.
Screenshots of a text document, a notes list, the add-note popup and the print reply go to
QELWWW_ARTIFACT_DIR.

Skips only when chromium, chromedriver or selenium is missing."""
import copy
import hashlib
import os
import tempfile
import unittest

from demo_browser import DemoBrowserCase
import qelwww_site  # on the path through gateway_site

SCRIPT_TEXT = "</pre><script>alert(1)</script>"
IMG_TEXT = '"><img src=x onerror=alert(2)>'
HOSTILE_NOTE = f"{SCRIPT_TEXT} {IMG_TEXT}"
FORM_FEED = "\f"


def document_by_title(description, title):
    return next(d for d in description["documents"] if d["values"].get("TITLE") == title)


def make_hostile(description):
    """Two line documents titled with the hostile texts (copies of the plain one, one with
    a hostile note), and a hostile name for the ledger's first page. The builder refuses
    control characters in every text, so those come in through a posted note."""
    plain = document_by_title(description, "Quarterly stock report")
    for title, notes in ((SCRIPT_TEXT, [{"user": "BOB", "text": HOSTILE_NOTE, "created": "2024-04-05 10:00:00",
                                         "page": 1, "public": True, "colour": 0}]),
                         (IMG_TEXT, [])):
        hostile = copy.deepcopy(plain)
        hostile["values"]["TITLE"] = title
        hostile["notes"] = notes
        description["documents"].append(hostile)
    document_by_title(description, "Annual ledger")["page_names"][0] = SCRIPT_TEXT + IMG_TEXT


def line_text(data):
    """Line data as the gateway shows it as text, read here on its own: records end in a line
    feed, the first byte is an ANSI carriage control ('1' a new page, ' ' the next line, '0'
    one blank line before, '-' two, '+' printed over the line before); each line ends in a
    line feed and each page in a form feed."""
    records = data.decode("ascii").split("\n")
    if records[-1] == "":
        records.pop()
    pages = []
    for record in records:
        control, text = record[:1], record[1:]
        if not pages or control == "1":
            pages.append([])
        page = pages[-1]
        if control == "+" and page:
            below = page[-1].ljust(len(text))
            page[-1] = "".join(t if t != " " else below[i] for i, t in enumerate(text.ljust(len(below))))
            continue
        page.extend([""] * {"0": 1, "-": 2}.get(control, 0))
        page.append(text)
    return "".join("".join(line + "\n" for line in page) + FORM_FEED for page in pages)


def page_count(data):
    """Pages of ANSI line data: records that start with the new-page control."""
    return sum(1 for record in data.split(b"\n") if record.startswith(b"1"))


# The hit list's docid, form and function as the page's own script sends them, posted with
# fetch from the page (a field given as None takes the row's docid): (status, content type,
# SHA-256 of the body, body as text or null).
FETCH_SCRIPT = """
const [index, fields, done] = arguments;
const form = new FormData(document.QKForm);
form.set('_docid', ids[index]);
for (const [name, value] of Object.entries(fields)) form.set(name, value === null ? ids[index] : value);
fetch(document.QKForm.action, {method: 'POST', body: new URLSearchParams(form), credentials: 'same-origin'})
  .then(async reply => {
    const body = await reply.arrayBuffer();
    const digest = await crypto.subtle.digest('SHA-256', body);
    const hex = Array.from(new Uint8Array(digest)).map(b => b.toString(16).padStart(2, '0')).join('');
    const type = reply.headers.get('Content-Type') || '';
    const text = type.startsWith('text/') ? new TextDecoder().decode(body) : null;
    done([reply.status, type, hex, text]);
  })
  .catch(error => done([0, String(error), '', null]));
"""


# The Content-Disposition of the row's document as the hit list's script asks for it.
DISPOSITION_SCRIPT = """
const [index, done] = arguments;
const form = new FormData(document.QKForm);
form.set('_docid', ids[index]);
form.set('_function', 'r');
fetch(document.QKForm.action, {method: 'POST', body: new URLSearchParams(form), credentials: 'same-origin'})
  .then(reply => done(reply.headers.get('Content-Disposition') || ''))
  .catch(error => done(String(error)));
"""


class BrowserDocuments(DemoBrowserCase):
    STATEMENTS = 50

    @classmethod
    def change(cls, description):
        make_hostile(description)

    # -- steps -----------------------------------------------------------------------------

    def read_source(self, name):
        with open(os.path.join(self.source, name), "rb") as f:
            return f.read()

    def stored_bytes(self, title):
        """The data file the generator wrote for the document (every segment's, in order)."""
        document = document_by_title(self.description, title)
        files = [document["file"]] + [s["file"] for s in document.get("segments", [])]
        return [self.read_source(f) for f in files]

    def stored_resource(self, number):
        """The resource file of the AFP group's resource number."""
        group = next(g for g in self.description["application_groups"] if g["name"] == "DOCAFP")
        resource = next(r for r in group["resources"] if r["id"] == number)
        return self.read_source(resource["file"])

    def hit_list(self, values=None):
        """The hit list of folder Documents for the search values (every document when
        none), opened with the cookies; returns the titles in the order of the rows."""
        self.browser.get(self.cgi_url(_a="s", _f="Documents", _html="page.html"))
        self.fill_and_search(values or {"Title": "%"})
        self.assertIsNone(self.browser.alert_text())
        if self.browser.count("form[name=QKForm] table") == 0:
            self.assertIn("No documents meet the search criteria", self.browser.body_text())
            return []
        headings, rows = self.hit_table()
        self.assertEqual(headings, ["Title", "Kind", "Date"])
        return [row[0] for row in rows]

    def open_documents(self):
        self.log_on("ALICE", "wonder1")
        self.pick_folder("Documents")
        return self.hit_list()

    def click_icon(self, function, index):
        """Clicks the row's icon that calls function(index) and waits for the next page."""
        b = self.browser
        old = b.find("html")
        b.find(f'a[onclick^="{function}({index});"]').click()
        b.wait_for_new_page(old)

    def fetch(self, index, **fields):
        return self.browser.driver.execute_async_script(FETCH_SCRIPT, index, fields)

    def assert_only_page_elements(self):
        """No alert; nothing the archive's texts could have made: no image, script or
        event handler beyond the page's own."""
        b = self.browser
        self.assertIsNone(b.alert_text())
        self.assertEqual(b.count('img[src="x"], [onerror]'), 0)
        self.assertEqual(b.count("script"), 0)

    def notes_listed(self):
        """The notes page as (header line, sharing line, text) per note. A note's text runs
        from its blue header to the two line breaks that end it; the page writes a line
        feed after each break, which is not part of the text."""
        return self.browser.driver.execute_script("""
            return Array.from(document.querySelectorAll('font[color=blue]')).map(font => {
              const lines = font.innerText.split('\\n').map(s => s.trim()).filter(s => s);
              let text = '';
              for (let n = font.nextSibling; n; n = n.nextSibling) {
                if (n.nodeName === 'BR') {
                  if (n.nextSibling && n.nextSibling.nodeName === 'BR') break;
                  text += '\\n';
                } else {
                  text += n.textContent.replace(/^\\n/, '');
                }
              }
              return [lines[0], lines[1], text];
            });""")

    # -- journeys --------------------------------------------------------------------------

    def test_line_data_shows_as_the_text_of_its_data_file(self):
        titles = self.open_documents()
        cases = [("plain object", "Quarterly stock report"), ("zlib object", "Branch sales summary"),
                 ("three segments with named pages", "Annual ledger")]
        for case, title in cases:
            with self.subTest(case=case):
                self.click_icon("view_doc", titles.index(title))
                self.assertIsNone(self.browser.alert_text())
                shown = self.browser.driver.execute_script("return document.querySelector('pre').textContent;")
                expected = "".join(line_text(part) for part in self.stored_bytes(title))
                self.assertEqual(shown.count(FORM_FEED), sum(page_count(part) for part in self.stored_bytes(title)))
                self.assertEqual(shown, expected)
                # Each page break shows as a rule (an element without text).
                self.assertEqual(self.browser.count("pre span.page-end"), shown.count(FORM_FEED))
                # The page's frame is the demo template; the text is the one <pre>.
                self.assertEqual(self.browser.count("pre"), 1)
                self.assert_only_page_elements()
                if title == "Quarterly stock report":
                    self.screenshot("text-document.png")
                titles = self.hit_list()

    def test_native_documents_come_as_stored(self):
        titles = self.open_documents()
        cases = [("PDF", "Product brochure", "application/pdf"),
                 ("TIFF", "Scanned delivery note", "image/tiff"),
                 ("AFP, a download of its own type", "Shipping letter", "application/afp"),
                 ("AFP with its resource group in front", "Invoice form with overlay", "application/afp")]
        for case, title, content_type in cases:
            with self.subTest(case=case):
                status, received_type, digest, _ = self.fetch(titles.index(title), _function="r")
                self.assertEqual(status, 200)
                self.assertEqual(received_type, content_type)
                stored, = self.stored_bytes(title)
                resource = document_by_title(self.description, title).get("resource")
                if resource is not None:
                    stored = self.stored_resource(resource) + stored
                self.assertEqual(digest, hashlib.sha256(stored).hexdigest())

    def test_saved_documents_are_named_after_their_hit(self):
        # What Chromium cannot show it saves: under the row's values and the type's
        # extension, not under the script's name.
        from selenium.webdriver.support.ui import WebDriverWait  # present: the class did not skip

        downloads = tempfile.mkdtemp(prefix="qelwww-downloads-", dir=self.work)
        b = self.browser
        b.driver.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
        self.open_documents()
        _, rows = self.hit_table()
        titles = [row[0] for row in rows]
        cases = [("TIFF", "Scanned delivery note", "tif"), ("AFP", "Shipping letter", "afp"),
                 ("AFP with its resource group", "Invoice form with overlay", "afp")]
        for case, title, extension in cases:
            with self.subTest(case=case):
                row = rows[titles.index(title)]
                name = " ".join(value.strip() for value in row if value.strip()).replace("/", "-") + "." + extension
                b.find(f'a[onclick^="view_doc({titles.index(title)});"]').click()
                path = os.path.join(downloads, name)
                WebDriverWait(b.driver, 30).until(
                    lambda d: os.path.exists(path) and not any(n.endswith(".crdownload") for n in os.listdir(downloads)),
                    f"{name} not in {os.listdir(downloads)}")
                stored, = self.stored_bytes(title)
                resource = document_by_title(self.description, title).get("resource")
                if resource is not None:
                    stored = self.stored_resource(resource) + stored
                with open(path, "rb") as f:
                    self.assertEqual(f.read(), stored)
                self.assertIsNone(b.alert_text())
        self.assertNotIn("qelwww", os.listdir(downloads))
        # The PDF shows in the browser and keeps its name for saving.
        disposition = b.driver.execute_async_script(DISPOSITION_SCRIPT, titles.index("Product brochure"))
        self.assertTrue(disposition.startswith('inline; filename="Product brochure PDF '), disposition)
        self.assertTrue(disposition.endswith('.pdf'), disposition)

    def test_notes_are_listed(self):
        titles = self.open_documents()
        for title in ("Quarterly stock report", "Branch sales summary", "Scanned delivery note"):
            with self.subTest(title=title):
                self.click_icon("view_notes", titles.index(title))
                listed = self.notes_listed()
                notes = document_by_title(self.description, title)["notes"]
                # Newest first; ALICE sees BOB's private notes too (the group's note permissions).
                notes = sorted(notes, key=lambda n: n["created"], reverse=True)
                self.assertEqual([text for _, _, text in listed], [n["text"] for n in notes])
                for (header, sharing, _), note in zip(listed, notes):
                    self.assertRegex(header, rf"^NOTE \d+: .* by {note['user']} for page {note['page']}$")
                    self.assertTrue(sharing.startswith("Public" if note["public"] else "Private"), sharing)
                self.assert_only_page_elements()
                if title == "Quarterly stock report":
                    self.screenshot("notes-list.png")
                titles = self.hit_list()

    def test_note_added_in_the_popup_is_listed(self):
        titles = self.open_documents()
        b = self.browser
        index = titles.index("Product brochure")
        main = b.driver.current_window_handle
        b.find(f'a[onclick^="add_note({index});"]').click()
        popup = next(h for h in b.driver.window_handles if h != main)
        b.driver.switch_to.window(popup)
        typed = f"Checked by the browser test {IMG_TEXT}"
        b.find("textarea[name=_text]").send_keys(typed)
        self.assertEqual(b.find("input[name=_docid]").get_attribute("value"),
                         b.driver.execute_script("return window.opener.ids[arguments[0]];", index))
        self.screenshot("add-note-popup.png")
        b.submit("input[type=submit]")
        self.assertIn("Note added successfully!", b.body_text())
        b.driver.close()
        b.driver.switch_to.window(main)

        self.click_icon("view_notes", index)
        listed = self.notes_listed()
        self.assertEqual(listed[0][2], typed, "the newest note comes first")
        # The hit list's form names no page: a note of the whole document.
        self.assertRegex(listed[0][0], r" by ALICE for page 0$")
        self.assertTrue(listed[0][1].startswith("Private"), listed[0][1])
        self.assert_only_page_elements()

    def test_control_characters_of_a_posted_note_stay_text(self):
        titles = self.open_documents()
        index = titles.index("Shipping letter")
        text = f"{SCRIPT_TEXT}\r\n{IMG_TEXT}\x01\x03end"
        status, _, _, reply = self.fetch(index, _function="a", _perm="1", _text=text)
        self.assertEqual(status, 200)
        self.assertIn("Note added successfully!", reply)
        self.click_icon("view_notes", index)
        listed = self.notes_listed()
        # A line break is a line break; other control bytes are blanks.
        self.assertEqual(listed[0][2], f"{SCRIPT_TEXT}\n{IMG_TEXT}  end")
        self.assert_only_page_elements()

    def test_index_value_updated_from_the_page_is_found(self):
        titles = self.open_documents()
        old, new = "Branch sales summary", "Branch sales summary, revised"
        status, _, _, reply = self.fetch(titles.index(old), _function="u", Title=new)
        self.assertEqual(status, 200)
        self.assertIn("Document has been updated!", reply)
        try:
            found = self.hit_list({"Title": new})
            self.assertEqual(found, [new])
            self.assertEqual(self.hit_list({"Title": old}), [])
        finally:
            titles = self.hit_list()
            self.fetch(titles.index(new), _function="u", Title=old)
        self.assertIn(old, self.hit_list())

    def test_hostile_texts_stay_text(self):
        titles = self.open_documents()
        b = self.browser
        self.assertIn(SCRIPT_TEXT, titles)
        self.assertIn(IMG_TEXT, titles)
        self.assertIsNone(b.alert_text())
        # Only the icons are images; only the hit list's own script is a script.
        self.assertEqual(b.count("img"), 3 * len(titles))
        self.assertEqual(b.count('img[src="x"], [onerror]'), 0)
        self.assertEqual(b.count("script"), 1)

        self.click_icon("view_notes", titles.index(SCRIPT_TEXT))
        self.assertEqual([text for _, _, text in self.notes_listed()], [HOSTILE_NOTE])
        self.assert_only_page_elements()

        titles = self.hit_list()
        self.click_icon("view_doc", titles.index(IMG_TEXT))
        shown = b.driver.execute_script("return document.querySelector('pre').textContent;")
        self.assertEqual(shown, line_text(self.stored_bytes("Quarterly stock report")[0]))
        self.assert_only_page_elements()

    def test_server_print_spools_the_ticked_documents(self):
        titles = self.open_documents()
        b = self.browser
        b.find('input[value="Server Print"]').click()
        self.assertEqual(b.alert_text(), "At least one document must be selected!")
        # Every row may be printed: the groups give STAFF the print permission.
        boxes = b.find_all("input[name=prtlist]")
        self.assertEqual([box.get_attribute("type") for box in boxes], ["checkbox"] * len(titles))
        # The demo's local server lists its one printer (from the registry the site wrote).
        printers = [o.get_attribute("value") for o in b.find_all("select[name=_printer] option")]
        self.assertEqual(printers, [qelwww_site.DEMO_PRINTER])
        picked = ["Annual ledger", "Invoice form with overlay"]
        for title in picked:
            boxes[titles.index(title)].click()
        old = b.find("html")
        b.find('input[value="Server Print"]').click()
        b.wait_for_new_page(old)
        b.screenshot(os.path.join(self.artifacts, "server-print.png"))
        self.assertIn("2 - ", b.body_text())
        self.assertIsNone(b.alert_text())

        # The print script copied each job into the spool beside the archive.
        spool = os.path.join(self.work, "site", "archive", "spool")
        jobs = [data for _, data in qelwww_site.spooled(spool, len(picked))]
        self.assertEqual(len(jobs), len(picked))
        expected = []
        for title in picked:
            document = document_by_title(self.description, title)
            resource = self.stored_resource(document["resource"]) if "resource" in document else b""
            expected.append(resource + b"".join(self.stored_bytes(title)))
        self.assertEqual(sorted(jobs), sorted(expected))


if __name__ == "__main__":
    unittest.main()
