"""Journey in headless Chromium through lighttpd on the demo site: log on at the static
logon page, pick a folder, fill in criteria, submit, read the hit table. The hits are those
a sqlite3 query over the generated statement rows selects; hostile texts in a folder
description and in index values stay text; the one-folder user lands on the search form
and searches with the cookies alone. What a newcomer meets: the hit limit cuts a long list
and says so, dates read and show four-digit years and a refused one shows the expected
form, a statement reads as text without its carriage control and with its page break
shown, every folder listed to a user has criteria, and the hit table uses the window's
width with named icons. Screenshots are kept in QELWWW_ARTIFACT_DIR (the build folder when
run by ctest).

Skips only when chromium, chromedriver or selenium is missing."""
import collections
import datetime
import os
import unittest

from demo_browser import DEMO_MAX_HITS, DemoBrowserCase, message
import demo_rows
from test_browser_documents import FORM_FEED, line_text

STATEMENTS = 800  # two months of statements
SCRIPT_TEXT = "<script>alert('script')</script>"
IMG_TEXT = '"><img src=x onerror=alert(\'img\')>'
HOSTILE_DESCRIPTION = f"Statements {SCRIPT_TEXT} {IMG_TEXT}"
# Accounts whose customer names become the hostile texts (the first two of the month).
HOSTILE_CUSTOMERS = {10000000: SCRIPT_TEXT, 10000037: IMG_TEXT}
CLERK = ("CAROL", "clerk3")  # sees the Statements folder only
CLERK_HITS = 120  # the clerks' hit limit of folder Statements, below the site's MaxHits
DEMO_USERS = [("ALICE", "wonder1"), ("BOB", "builder2")]
# A search of each folder the demo lists (ALICE all four, BOB all but Payroll).
FOLDER_SEARCHES = {"Invoices": {"Customer": "%"}, "Payroll": {"Employee": "%"},
                   "Statements": {"Customer": "COASTAL TIMBER%"}, "Documents": {"Title": "%"}}
# The date field of each folder: typed and shown as YYYY-MM-DD.
FOLDER_DATES = {"Invoices": "Invoice date", "Payroll": "Period", "Statements": "Statement date",
                "Documents": "Date"}
# The hit list's icons (dimmed ones end in d) and the messages that name them.
ICON_MESSAGES = {"qkic_vd": 512, "qkic_va": 513, "qkic_aa": 514}


def make_hostile(description):
    """A hostile folder description and customer names, and a user with one folder."""
    folder = demo_rows.find_folder(description, "Statements")
    folder["description"] = HOSTILE_DESCRIPTION
    for document in description["documents"]:
        values = document["values"]
        if document["group"] == "STATEMENTS" and values["ACCOUNT"] in HOSTILE_CUSTOMERS:
            values["CUSTOMER"] = HOSTILE_CUSTOMERS[values["ACCOUNT"]]
    description["groups"].append({"gid": 12, "name": "CLERKS", "description": "Statement clerks",
                                  "owner": "ALICE"})
    description["users"].append({"name": CLERK[0], "uid": 3, "password": CLERK[1], "groups": ["CLERKS"]})
    folder["permissions"].append({"who": "CLERKS", "permissions": 1, "hits": CLERK_HITS})
    demo_rows.find_group(description, "STATEMENTS")["permissions"].append(
        {"who": "CLERKS", "documents": 1, "annotations": 7})


def iso_date(text):
    """A displayed statement date, which the demo shows with a four-digit year."""
    try:
        return datetime.datetime.strptime(text.strip(), "%Y-%m-%d").date().isoformat()
    except ValueError:
        raise AssertionError(f"a date not shown as YYYY-MM-DD: {text!r}") from None


# (case, {form field: value}, sqlite3 condition with its parameters). The form offers each
# field's default operator: Customer LIKE, Statement date BETWEEN, Account =, Balance >=.
SEARCHES = [
    ("customer prefix", {"Customer": "COASTAL TIMBER%"}, ("customer LIKE ?", ["COASTAL TIMBER%"])),
    ("customer inside", {"Customer": "%GLASSWORKS CO%"}, ("customer LIKE ?", ["%GLASSWORKS CO%"])),
    ("one account", {"Account": "10000370"}, ("account = ?", [10000370])),
    ("date range, with a customer", {"Customer": "G%", "Statement date": "2023-02-01", "Statement date2": "2023-02-28"},
     ("customer LIKE ? AND stmtdate BETWEEN ? AND ?", ["G%", "2023-02-01", "2023-02-28"])),
    ("balance at least, with a customer", {"Customer": "S%", "Balance": "4000"},
     ("customer LIKE ? AND balance >= ?", ["S%", 4000])),
]


class BrowserSearch(DemoBrowserCase):
    STATEMENTS = STATEMENTS

    @classmethod
    def change(cls, description):
        make_hostile(description)

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.rows = demo_rows.statement_table(cls.description)

    def assert_search_form(self, folder):
        b = self.browser
        self.assertEqual(b.find("h3").text, folder)
        self.assertEqual(b.find("form input[name=_a]").get_attribute("value"), "d")
        for field in ("Customer", "Statement date", "Account", "Balance"):
            self.assertEqual(b.count(f'form input[type=text][name="{field}"]'), 1, field)

    def hits_as_rows(self, headings, rows):
        """The displayed hits as a multiset of (customer, ISO date, account, balance)."""
        self.assertEqual(headings, ["Customer", "Statement date", "Account", "Balance"])
        return collections.Counter((r[0], iso_date(r[1]), int(r[2]), r[3]) for r in rows)

    def expected(self, condition, parameters):
        """The rows the same criteria select from the generated statements, the balance
        as the folder shows it (two decimals)."""
        query = f"SELECT customer, stmtdate, account, balance FROM statements WHERE {condition}"
        return collections.Counter((c, d, a, f"{b:.2f}") for c, d, a, b in self.rows.execute(query, parameters))

    # -- journeys --------------------------------------------------------------------------

    def test_hit_tables_match_the_generated_rows(self):
        self.log_on("ALICE", "wonder1")
        self.pick_folder("Statements")
        self.assert_search_form("Statements")
        self.screenshot("search-form.png")
        for index, (case, values, (condition, parameters)) in enumerate(SEARCHES):
            with self.subTest(case=case):
                if index > 0:  # the cookies alone open the form again
                    self.browser.get(self.cgi_url(_a="s", _f="Statements"))
                    self.assert_search_form("Statements")
                self.fill_and_search(values)
                self.assertIsNone(self.browser.alert_text())
                headings, rows = self.hit_table()
                expected = self.expected(condition, parameters)
                self.assertGreater(len(expected), 0, "a search of the table finds something")
                self.assertEqual(self.hits_as_rows(headings, rows), expected)
                self.assertEqual(self.browser.count("h5"), 0, "no limit message for a short list")
                if index == 0:
                    self.screenshot("hit-list.png")

    def test_refused_values_name_the_value_and_the_field(self):
        cases = [
            ("not a whole number", {"Account": "abc"},
             r"The value 'abc' for the field 'Account' is not a whole number between -?\d+ and \d+"),
            ("a thousands separator", {"Balance": "1,000.00"},
             r"The value '1,000\.00' for the field 'Balance' is not a number between -?[\d.]+ and [\d.]+ "
             r"with at most 2 decimal places"),
        ]
        for case, values, message in cases:
            with self.subTest(case=case):
                # A refused search ends the logon: each case logs on again.
                self.log_on("ALICE", "wonder1")
                self.pick_folder("Statements")
                self.fill_and_search(values)
                self.assertIsNone(self.browser.alert_text())
                text = self.browser.body_text()
                self.assertRegex(text, message)
                self.assertNotIn("client status", text)
                self.screenshot(f"refused-{next(iter(values)).lower()}.png")

    def test_hostile_texts_stay_text(self):
        self.log_on("ALICE", "wonder1")
        b = self.browser
        # The folder list in plain text shows the description as it is.
        b.get(self.cgi_url(_a="l", _nohtml="1"))
        self.assertIn(f"FOLDER=[Statements^{HOSTILE_DESCRIPTION}]", b.body_text())
        self.assertIsNone(b.alert_text())
        self.assertEqual(b.count("img"), 0)
        self.assertEqual(b.count("script"), 0)

        for case, typed in (("script tag", SCRIPT_TEXT), ("closing quote and img", IMG_TEXT)):
            with self.subTest(case=case):
                b.get(self.cgi_url(_a="s", _f="Statements"))
                self.fill_and_search({"Customer": typed})
                self.assertIsNone(b.alert_text())
                headings, rows = self.hit_table()
                self.assertEqual(self.hits_as_rows(headings, rows), self.expected("customer = ?", [typed]))
                self.assertEqual({r[0] for r in rows}, {typed})
                # Only the icons are images; only the hit list's own script is a script.
                self.assertEqual(b.count("img"), 3 * len(rows))
                self.assertEqual(b.count('img[src="x"]'), 0)
                self.assertEqual(b.count("script"), 1)
                self.assertEqual(b.count("[onerror]"), 0)

    def test_one_folder_user_searches_with_the_cookies(self):
        self.log_on(*CLERK)
        self.assert_search_form("Statements")
        b = self.browser
        cookies = b.cookies()
        self.assertGreaterEqual(len(cookies), 2, cookies)
        for cookie in cookies.values():
            self.assertTrue(cookie.get("httpOnly"), cookie)
        self.assertEqual(b.driver.execute_script("return document.cookie;"), "")
        self.fill_and_search({"Customer": "COASTAL TIMBER%"})
        headings, rows = self.hit_table()
        self.assertEqual(self.hits_as_rows(headings, rows), self.expected("customer LIKE ?", ["COASTAL TIMBER%"]))

    # -- what a newcomer meets -------------------------------------------------------------

    def open_search_form(self, folder):
        self.browser.get(self.cgi_url(_a="s", _f=folder, _html="page.html"))
        self.assertEqual(self.browser.find("h3").text, folder)

    def test_hit_limit_cuts_the_list_and_says_so(self):
        every = self.expected("customer LIKE ?", ["%"])
        cases = [("the site's MaxHits below the folder's limit of 1000", ("ALICE", "wonder1"), DEMO_MAX_HITS),
                 ("the clerks' own limit below MaxHits", CLERK, CLERK_HITS)]
        for case, user, limit in cases:
            with self.subTest(case=case):
                self.assertGreater(sum(every.values()), limit)
                self.log_on(*user)
                self.open_search_form("Statements")
                self.fill_and_search({"Customer": "%"})
                self.assertEqual(self.browser.find("h5").text, message(444, limit))
                headings, rows = self.hit_table()
                self.assertEqual(len(rows), limit)
                self.assertFalse(self.hits_as_rows(headings, rows) - every, "every hit is a statement")
                if user == CLERK:
                    self.screenshot("hit-limit.png")

    def test_refused_date_shows_the_form_it_reads(self):
        # Typed and shown as YYYY-MM-DD: the oracle searches and every folder's form. A date
        # in another form is refused with the field's limits in its own format.
        self.log_on("ALICE", "wonder1")
        typed = "31.01.2023"
        self.open_search_form("Statements")
        self.fill_and_search({"Statement date": typed, "Statement date2": "2023-02-28"})
        self.assertIn(message(440, typed, "Statement date", "1970-01-01", "9999-12-31"), self.browser.body_text())
        self.screenshot("refused-date.png")

    def statement_bytes(self, account, iso):
        """The generated bytes of an account's statement of a date."""
        document = next(d for d in self.description["documents"]
                        if d["group"] == "STATEMENTS" and d["values"]["ACCOUNT"] == account
                        and str(demo_rows.EPOCH + datetime.timedelta(days=d["values"]["STMTDATE"] - 1)) == iso)
        with open(os.path.join(self.source, document["file"]), "rb") as f:
            f.seek(document["offset"])
            return f.read(document["length"])

    def test_statement_reads_as_text_with_its_page_break_shown(self):
        self.log_on("ALICE", "wonder1")
        b = self.browser
        account = 10000370
        for index in range(2):  # the account's two statements
            with self.subTest(statement=index):
                self.open_search_form("Statements")
                self.fill_and_search({"Account": str(account)})
                headings, rows = self.hit_table()
                self.assertEqual(len(rows), 2)
                data = self.statement_bytes(account, iso_date(rows[index][1]))
                old = b.find("html")
                b.find(f'a[onclick^="view_doc({index});"]').click()
                b.wait_for_new_page(old)
                # The carriage control lays the lines out and is not shown.
                shown = b.driver.execute_script("return document.querySelector('pre').textContent;")
                self.assertEqual(shown, line_text(data))
                # Each form feed is followed by a visible rule.
                rules = b.driver.execute_script("""
                    return Array.from(document.querySelectorAll('pre span.page-end')).map(rule => {
                      const style = getComputedStyle(rule);
                      return [rule.getBoundingClientRect().width, style.borderTopStyle, style.borderTopWidth];
                    });""")
                self.assertEqual(len(rules), shown.count(FORM_FEED))
                for width, style, line in rules:
                    self.assertGreater(width, 200)
                    self.assertEqual((style, line), ("dashed", "1px"))
                if index == 0:
                    self.screenshot("statement-text.png")

    def test_every_listed_folder_can_be_searched_with_whole_dates(self):
        b = self.browser
        for user in DEMO_USERS:
            self.log_on(*user)
            folders = [o.get_attribute("value") for o in b.find_all("select[name=_f] option")]
            self.assertTrue(folders)
            for folder in folders:
                with self.subTest(user=user[0], folder=folder):
                    self.open_search_form(folder)
                    if folder == "Invoices" and user[0] == "ALICE":
                        self.screenshot("invoices-search-form.png")
                    self.assertGreater(b.count("form input[type=text]"), 0, "the form offers criteria")
                    # Both date inputs take a whole date of the field's format.
                    date = FOLDER_DATES[folder]
                    for name in (date, date + "2"):
                        self.assertEqual(b.find(f'input[name="{name}"]').get_attribute("maxlength"),
                                         str(len("2023-02-28")), name)
                    self.fill_and_search(FOLDER_SEARCHES[folder])
                    self.assertIsNone(b.alert_text())
                    self.assertEqual(b.count("form[name=QKForm] table"), 1, b.body_text())
                    _, rows = self.hit_table()
                    self.assertGreater(len(rows), 0)

    def test_hit_table_uses_the_width_and_names_its_icons(self):
        self.log_on("ALICE", "wonder1")
        self.open_search_form("Statements")
        self.fill_and_search({"Customer": "%"})
        b = self.browser
        # No value wraps: every row is one line high; a screen holds a good part of the list.
        heights, fitting = b.driver.execute_script("""
            const rows = Array.from(document.querySelector('form[name=QKForm] table').rows).slice(1);
            const heights = rows.map(r => Math.round(r.getBoundingClientRect().height));
            return [heights, rows.filter(r => r.getBoundingClientRect().bottom <= window.innerHeight).length];""")
        self.assertEqual(len(heights), DEMO_MAX_HITS)
        self.assertLessEqual(max(heights) - min(heights), 1, sorted(set(heights)))
        self.assertGreaterEqual(fitting, 15)
        # Every icon is named by its message, for a screen reader and under the pointer.
        icons = b.driver.execute_script("""
            return Array.from(document.querySelectorAll('form[name=QKForm] img')).map(
              img => [img.getAttribute('src'), img.getAttribute('alt'), img.getAttribute('title')]);""")
        self.assertEqual(len(icons), 3 * DEMO_MAX_HITS)
        for src, alt, title in icons:
            name = os.path.basename(src).removesuffix(".gif")
            text = message(ICON_MESSAGES.get(name) or ICON_MESSAGES[name[:-1]])
            self.assertEqual((alt, title), (text, text), src)
        self.screenshot("hit-list-wide.png")


if __name__ == "__main__":
    unittest.main()
