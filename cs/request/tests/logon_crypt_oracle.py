"""Outside oracle of the logon tests: Python's crypt (SHA-512 "$6$" and DES hashes).

  hash PASSWORD SALT    prints crypt(PASSWORD, SALT)
  verify PASSWORD HASH  prints "ok" when crypt(PASSWORD, HASH) == HASH, else "bad"
"""
import sys
import warnings

with warnings.catch_warnings():
    warnings.simplefilter("ignore")
    import crypt

if sys.argv[1] == "hash":
    print(crypt.crypt(sys.argv[2], sys.argv[3]))
else:
    print("ok" if crypt.crypt(sys.argv[2], sys.argv[3]) == sys.argv[3] else "bad")
