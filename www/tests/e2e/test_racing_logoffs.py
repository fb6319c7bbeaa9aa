"""Journey: one user's logons and logoffs race. Thirty-two logons and thirty-two logoffs of
ALICE go to lighttpd at the same moment, round after round. The user's state files are one
unit: after every round both are there or none, and a logoff on its own then either logs
off (and leaves no file) or, with no state left, answers the time-out message."""
import os
import unittest

from gateway_site import GatewaySite, SiteTestCase, at_once, plain_error

ROUNDS = 12
EACH = 32
LOGON = "_a=l&_s=DEMO&_u=ALICE&_p=wonder1&_nohtml=1"
LOGOFF = "_a=f&_s=DEMO&_u=ALICE&_p=wonder1&_nohtml=1"
ALICE_LIST = (b"[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n"
              b"FOLDER=[Payroll^Payroll statements]\n[END]\n")
LOGGED_OFF = b"[BEGIN]\nUser logged off!\n[END]\n"
TIMED_OUT = plain_error(1689, "The server connection has timed out")
UNIT = ("DEMO_0_ALICE.srv", "DEMO_0_ALICE.fnm")


class RacingLogoffs(SiteTestCase):
    def state_files(self, site):
        return [name for name in UNIT if os.path.exists(os.path.join(site.cache_dir, name))]

    def test_state_files_stay_one_unit(self):
        with GatewaySite(archive=True) as site:
            site.start()
            for round_number in range(ROUNDS):
                with self.subTest(round=round_number):
                    # Logons and logoffs interleaved, so that they reach the server mixed.
                    queries = [LOGON if i % 2 == 0 else LOGOFF for i in range(2 * EACH)]
                    replies = at_once(lambda query: site.request("GET", query), queries)
                    for query, reply in zip(queries, replies):
                        self.assertIsNotNone(reply)
                        if query == LOGON:
                            self.assertEqual(reply.body, ALICE_LIST)
                        else:
                            # A logoff that found no state (another logoff was first) times out.
                            self.assertIn(reply.body, (LOGGED_OFF, TIMED_OUT))
                    left = self.state_files(site)
                    self.assertIn(left, ([], list(UNIT)), "half a unit was left")
                    # The answer to a logoff on its own follows from what is there.
                    reply = site.request("GET", LOGOFF)
                    self.assertEqual(reply.body, LOGGED_OFF if left else TIMED_OUT)
                    self.assertEqual(self.state_files(site), [])
                    self.assertNotIn("DEMO_0_ALICE.lck", os.listdir(site.cache_dir),
                                     "the user's lock file goes with the unit")
            self.check_site_at_end(site)


if __name__ == "__main__":
    unittest.main()
