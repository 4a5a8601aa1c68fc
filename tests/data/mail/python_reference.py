#!/usr/bin/env python3
"""Reads one message file with Python's standard email package and prints,
in UTF-8, what an independent reader makes of it:

    the subject, NUL, the text of the first text/plain leaf that is no
    attachment (empty when there is none), then for every other leaf, in the
    order of the message, NUL and three fields separated by NUL: its media
    type, its file name (empty when it has none) and, for an attachment or a
    part that is not text, the Base64 form of the bytes it carries ("" for a
    message/rfc822 part, which is kept whole and read on its own; see below).

A leaf is a part that is not a multipart; a message/rfc822 part is a leaf
too. An attachment is a leaf with a file name or the disposition
"attachment". A body that is not Base64 has its line ends written as CR LF,
the line end of mail.

With a second argument N the same is printed for the message carried by
the N-th message/rfc822 leaf (counted from 0).

The message tests compare this with the files Quillmere stores for the same
message.
"""

import base64
import email
import email.message
import email.policy
import email.utils
import sys


def leaves(part):
    if part.get_content_maintype() == "multipart":
        for sub in part.get_payload():
            yield from leaves(sub)
    else:
        yield part


def extended_value(part, header, param):
    """The RFC 2231 form of the parameter (param*=...), or None. Where a
    parameter is given both plain and extended, RFC 2231 means the extended
    one; Python's reader takes whichever comes first, its older one lists
    the extended forms last."""
    legacy = email.message.Message()
    for key, value in part.raw_items():
        if key.lower() == header:
            legacy[key] = value
    extended = [v for k, v in legacy.get_params(header=header, failobj=[])[1:] if k == param and isinstance(v, tuple)]
    return email.utils.collapse_rfc2231_value(extended[-1]) if extended else None


def file_name(part):
    for header, param in (("content-disposition", "filename"), ("content-type", "name")):
        name = extended_value(part, header, param) or part.get_param(param, header=header)
        if name:
            return str(name)
    return ""


def is_attachment(part):
    return bool(file_name(part)) or part.get_content_disposition() == "attachment"


def is_text_part(part):
    return part.get_content_type() == "text/plain" and not is_attachment(part)


def carried_bytes(part):
    if part.get_content_maintype() == "message":
        return ""
    if part.get_content_maintype() == "text" and not is_attachment(part):
        return ""
    data = part.get_payload(decode=True) or b""
    if part.get("Content-Transfer-Encoding", "").strip().lower() != "base64":
        data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    return base64.b64encode(data).decode("ascii")


def reading(message):
    parts = list(leaves(message))
    text = next((p for p in parts if is_text_part(p)), None)
    fields = [str(message["subject"] or ""), text.get_content() if text else ""]
    for part in parts:
        if part is not text:
            fields += [part.get_content_type(), file_name(part), carried_bytes(part)]
    return fields


def main():
    with open(sys.argv[1], "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    if len(sys.argv) > 2:
        carried = [p for p in leaves(message) if p.get_content_type() == "message/rfc822"]
        message = carried[int(sys.argv[2])].get_payload(0)
    sys.stdout.buffer.write("\0".join(reading(message)).encode("utf-8"))


if __name__ == "__main__":
    main()
