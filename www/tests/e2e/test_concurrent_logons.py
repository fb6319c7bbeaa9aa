"""Journey: sixteen browsers log on at the same moment, each as another user, through
sixteen CGI processes sharing one cache directory, and log off at the same moment. No
state file is lost: every logoff finds its user's files, in every round."""
import os
import unittest

from gateway_site import Browser, GatewaySite, SiteTestCase, add_users, at_once

USERS = [f"U{n:02d}" for n in range(1, 17)]
ROUNDS = 3
ONE_FOLDER = b"[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n[END]\n"


def for_every_user(work):
    """work(user) for every user at the same moment, by user."""
    return dict(zip(USERS, at_once(work, USERS)))


class ConcurrentLogons(SiteTestCase):
    def test_no_state_file_is_lost(self):
        with GatewaySite(archive=True, configuration="CacheSize=1") as site:
            add_users(site.archive_dir, USERS)
            site.start()
            browsers = {user: Browser(site) for user in USERS}
            for round_number in range(ROUNDS):
                with self.subTest(round=round_number):
                    replies = for_every_user(lambda user: browsers[user].post(
                        {"_function": "logon", "_server": "DEMO", "_user": user, "_password": "wonder1",
                         "_nohtml": "1"}))
                    for user in USERS:
                        self.assertEqual(replies[user].body, ONE_FOLDER, user)
                        self.assertIn(f"_u={user}&", browsers[user].cookie("ZEIQS").value)
                    names = set(os.listdir(site.cache_dir))
                    for user in USERS:
                        self.assertIn(f"DEMO_0_{user}.srv", names)
                        self.assertIn(f"DEMO_0_{user}.fnm", names)
                    # A logoff only works on a logon rebuilt from its own files: all at once again.
                    logged_off = for_every_user(lambda user: browsers[user].get("_a=f&_nohtml=1"))
                    for user in USERS:
                        self.assertEqual(logged_off[user].body, b"[BEGIN]\nUser logged off!\n[END]\n", user)
                    self.assertEqual([n for n in os.listdir(site.cache_dir) if n.endswith((".srv", ".fnm"))], [])
            self.check_site_at_end(site)


if __name__ == "__main__":
    unittest.main()
