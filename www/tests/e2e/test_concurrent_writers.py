"""Journey: sixteen writers, each another user, add notes to one invoice and set its
customer at the same time through sixteen CGI processes, while four readers search,
retrieve it and list its notes. Every note answered with success is listed exactly once,
the row holds one of the written customers, and every reply is a whole reply."""
import os
import re
import threading
import unittest
import urllib.parse

from gateway_site import Browser, SiteTestCase, add_users, at_once, invoice_site

WRITERS = [f"W{n:02d}" for n in range(1, 17)]
READERS = [f"R{n:02d}" for n in range(1, 5)]
ROUNDS = 2
INVOICE = "A0002"
NOTE_ADDED = b"[BEGIN]\nNote added successfully!\n[END]\n"
UPDATED = b"[BEGIN]\nDocument has been updated!\n[END]\n"
ERROR = re.compile(rb"\A\[ERROR\]\nID=\d+\nMSG=[^\n]*\n\Z")


def give_bobs_view(archive_dir, first_number, count):
    """Copies BOB's (user 2) view of folder Invoices to users first_number... so that they
    search by invoice number too."""
    path = os.path.join(archive_dir, "table", "folfldus.tbl")
    with open(path, encoding="latin-1") as f:
        text = f.read()
    rows = re.findall(r"(\[1\|2\|\d+\]\n(?:[^\[\n][^\n]*\n)*)", text)
    assert rows, "BOB's view of Invoices"
    for number in range(first_number, first_number + count):
        text += "\n" + "".join(row.replace("[1|2|", f"[1|{number}|", 1) + "\n" for row in rows)
    with open(path, "w", encoding="latin-1") as f:
        f.write(text)


class ConcurrentWriters(SiteTestCase):
    def setUp(self):
        site = invoice_site(self)
        users = WRITERS + READERS
        add_users(site.archive_dir, users)
        give_bobs_view(site.archive_dir, 101, len(users))
        self.site = self.open_site(site)
        self.browsers = {user: Browser(self.site) for user in users}
        replies = at_once(lambda user: self.browsers[user].post(
            {"_function": "logon", "_server": "DEMO", "_user": user, "_password": "wonder1", "_nohtml": "1"}), users)
        for user, reply in zip(users, replies):
            self.assertTrue(reply.body.startswith(b"[BEGIN]\n"), (user, reply.body))

    def hit_line(self, browser):
        """The invoice's DOC= line of a plain-text search, or None for a reply without it."""
        reply = browser.get(f"_a=d&_f=Invoices&_nohtml=1&_df=Invoice+number,Customer"
                            f"&Invoice+number={INVOICE}")
        self.assertEqual(reply.status, 200)
        match = re.fullmatch(rb"\[BEGIN\]\n(DOC=\[[^\n]*\])\n\[END\]\n", reply.body)
        if match is None:
            self.assertRegex(reply.body, ERROR)
            return None
        return match.group(1).decode()

    @staticmethod
    def fields(line):
        return line[len("DOC=["):-1].split("^")

    def docid(self, browser):
        line = self.hit_line(browser)
        if line is None:
            return None
        link = self.fields(line)[2]
        return urllib.parse.unquote(re.search(r"[?&]_d=([^&]*)", link).group(1))

    def write(self, user):
        """ROUNDS rounds of a note and a customer, each on the id a fresh search gives (an id
        names the row's values: one that another writer changed meanwhile is refused); the
        texts answered with success."""
        browser = self.browsers[user]
        notes, customers = [], []
        for number in range(ROUNDS):
            docid = self.docid(browser)
            if docid is None:
                continue
            text = f"note {user} {number}"
            reply = browser.post({"_a": "a", "_f": "Invoices", "_nohtml": "1", "_perm": "0", "_d": docid,
                                  "_text": text})
            if reply.body == NOTE_ADDED:
                notes.append(text)
            else:
                self.assertRegex(reply.body, ERROR)
            customer = f"C {user} {number}"
            reply = browser.post({"_a": "u", "_f": "Invoices", "_nohtml": "1", "_d": docid, "Customer": customer})
            if reply.body == UPDATED:
                customers.append(customer)
            else:
                self.assertRegex(reply.body, ERROR)
        return notes, customers

    def read(self, user, done, failures):
        """Searches, retrieves and lists the notes until the writers are done."""
        browser = self.browsers[user]
        try:
            while not done.is_set():
                line = self.hit_line(browser)
                if line is None:
                    continue
                link = self.fields(line)[2]
                reply = browser.get(link.split("?", 1)[1])
                self.assertEqual(reply.status, 200)
                if reply.header("Content-Type").startswith("text/plain") and reply.body.startswith(b"[ERROR]"):
                    self.assertRegex(reply.body, ERROR)
                docid = urllib.parse.unquote(re.search(r"[?&]_d=([^&]*)", link).group(1))
                reply = browser.get("_a=n&_f=Invoices&_nohtml=1&_d=" + urllib.parse.quote(docid, safe=""))
                self.assertTrue(reply.body.startswith(b"[BEGIN]\n") and reply.body.endswith(b"\n[END]\n")
                                or ERROR.fullmatch(reply.body), reply.body)
        except Exception as error:  # reported by the test's thread
            failures.append((user, error))

    def test_every_answered_note_is_there_once(self):
        done = threading.Event()
        failures = []
        readers = [threading.Thread(target=self.read, args=(user, done, failures)) for user in READERS]
        for reader in readers:
            reader.start()
        def write(user):
            try:
                return self.write(user)
            except Exception as error:  # reported by the test's thread
                failures.append((user, error))
                return None

        try:
            results = at_once(write, WRITERS)
        finally:
            done.set()
            for reader in readers:
                reader.join(120)
        self.assertEqual(failures, [])
        self.assertNotIn(None, results, "every writer finished")
        notes = [text for written, _ in results for text in written]
        customers = [value for _, answered in results for value in answered]
        self.assertTrue(notes, "some notes were added")
        self.assertTrue(customers, "some updates were answered with success")

        browser = self.browsers[WRITERS[0]]
        line = self.hit_line(browser)
        self.assertIsNotNone(line)
        self.assertIn(self.fields(line)[1], customers)
        reply = browser.get("_a=n&_f=Invoices&_nohtml=1&_applet=1&_d=" +
                            urllib.parse.quote(self.docid(browser), safe=""))
        lines = reply.body.decode().split("\n")
        self.assertEqual(lines[-1], "")
        listed = lines[2:-1:4]
        self.assertEqual(len(lines) - 1, 4 * len(listed), reply.body)
        for text in notes:
            self.assertEqual(listed.count(text), 1, text)
        self.assertEqual(sorted(listed), sorted(set(listed)), "no note twice")


if __name__ == "__main__":
    unittest.main()
