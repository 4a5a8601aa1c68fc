#!/usr/bin/env python3
"""Reads one message file with Python's standard email package and prints,
in UTF-8, what an independent reader makes of it:

    the subject, NUL, the text of the first text/plain part (empty when there
    is none), then NUL and one attachment file name for every part that has
    one, in the order of the message.

The message tests compare this with the files Quillmere stores for the same
message.
"""

import email
import email.policy
import sys


def first_plain_text(message):
    for part in message.walk():
        if part.get_content_type() == "text/plain" and not part.is_multipart():
            if part.get_filename():
                continue
            return part.get_content()
    return ""


def file_names(message):
    return [part.get_filename() for part in message.walk() if not part.is_multipart() and part.get_filename()]


def main():
    with open(sys.argv[1], "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    fields = [str(message["subject"] or ""), first_plain_text(message)] + file_names(message)
    sys.stdout.buffer.write("\0".join(fields).encode("utf-8"))


if __name__ == "__main__":
    main()
