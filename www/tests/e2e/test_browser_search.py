"""Journey in headless Chromium through lighttpd on the demo site: log on at the static
logon page, pick a folder, fill in criteria, submit, read the hit table. The hits are those
a sqlite3 query over the generated statement rows selects; hostile texts in a folder
description and in index values stay text; the one-folder user lands on the search form
and searches with the cookies alone. Screenshots of the form and the hit list are kept in
QELWWW_ARTIFACT_DIR (the build folder when run by ctest).

Skips only when chromium, chromedriver or selenium is missing."""
import collections
import datetime

from demo_browser import DemoBrowserCase
import demo_rows

STATEMENTS = 800  # two months of statements
SCRIPT_TEXT = "<script>alert('script')</script>"
IMG_TEXT = '"><img src=x onerror=alert(\'img\')>'
HOSTILE_DESCRIPTION = f"Statements {SCRIPT_TEXT} {IMG_TEXT}"
# Accounts whose customer names become the hostile texts (the first two of the month).
HOSTILE_CUSTOMERS = {10000000: SCRIPT_TEXT, 10000037: IMG_TEXT}
CLERK = ("CAROL", "clerk3")  # sees the Statements folder only


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
    folder["permissions"].append({"who": "CLERKS", "permissions": 1, "hits": 1000})
    demo_rows.find_group(description, "STATEMENTS")["permissions"].append(
        {"who": "CLERKS", "documents": 1, "annotations": 7})


def iso_date(text):
    """A displayed statement date as ISO text."""
    for form in ("%Y-%m-%d", "%m/%d/%Y", "%d.%m.%Y", "%m/%d/%y"):
        try:
            return datetime.datetime.strptime(text.strip(), form).date().isoformat()
        except ValueError:
            pass
    raise AssertionError(f"unexpected date display {text!r}")


# (case, {form field: value}, sqlite3 condition with its parameters). The form offers each
# field's default operator: Customer LIKE, Statement date BETWEEN, Account =, Balance >=.
SEARCHES = [
    ("customer prefix", {"Customer": "COASTAL TIMBER%"}, ("customer LIKE ?", ["COASTAL TIMBER%"])),
    ("customer inside", {"Customer": "%GLASSWORKS CO%"}, ("customer LIKE ?", ["%GLASSWORKS CO%"])),
    ("one account", {"Account": "10000370"}, ("account = ?", [10000370])),
    ("date range, with a customer", {"Customer": "G%", "Statement date": "02/01/23", "Statement date2": "02/28/23"},
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


if __name__ == "__main__":
    unittest.main()
