#!/usr/bin/env python3
"""Writes the login dialog's option.opt as a user leaves it who ticked all
three boxes (remember the user, the password, log in by itself), so that a
scenario's quorvel.exe logs in on its own.

    write_options.py OPTION_OPT SERVER USER PASSWORD
"""
import os
import re
import struct
import sys

path, server, user, password = sys.argv[1:5]
header = os.path.join(os.path.dirname(__file__), '..', '..', 'src', 'account', 'password_cipher.h')
key = re.search(r'kPasswordKey\[\] = "([a-z]{12})"', open(header).read()).group(1)


def cipher(b):
    return bytes(c ^ (ord(key[(i + 1) % 12]) % 10) for i, c in enumerate(b))


def field(b, n):
    assert len(b) < n
    return b + bytes(n - len(b))


record = (field(server.encode(), 32) + struct.pack('<ii', 8085, 1) + b'\x01' + field(user.encode(), 64) +
          b'\x01' + field(cipher(password.encode()), 64) + b'\x01' + b'\x00')
assert len(record) == 172
with open(path, 'wb') as f:
    f.write(record)
