#!/usr/bin/env python3
"""Reads one outgoing message file with Python's standard email package and
prints, in UTF-8, what an independent reader makes of it, one item a line:

    type: the top-level media type
    From:, To:, Subject:, X-Mailer: those header fields, decoded
    body: the text of the first text/plain part that is no attachment,
          without final line feeds, other line feeds written as \\n;
          a format=flowed part is first joined as RFC 3676 says
    attachment: each attachment's file name and its bytes in hexadecimal
    defects: the number of defects found in all parts and header fields
"""

import email
import email.policy
import sys


def unflow(text, delsp):
    """RFC 3676, section 4: quote depth, stuffing, then flowed lines joined."""
    lines = []
    joining = False
    for line in text.split("\n"):
        depth = len(line) - len(line.lstrip(">"))
        content = line[depth:]
        if content.startswith(" "):
            content = content[1:]
        flowed = content.endswith(" ") and content != "-- "
        if flowed and delsp:
            content = content[:-1]
        if joining and lines[-1][0] == depth:
            lines[-1][1] += content
        else:
            lines.append([depth, content])
        joining = flowed
    return "\n".join(">" * depth + content for depth, content in lines)


def main():
    with open(sys.argv[1], "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    lines = ["type: " + message.get_content_type()]
    lines += ["%s: %s" % (name, value) for name, value in message.items()
              if name in ("From", "To", "Subject", "X-Mailer")]
    body = None
    defects = 0
    for part in message.walk():
        defects += len(part.defects) + sum(len(getattr(v, "defects", ())) for v in part.values())
        if part.is_multipart():
            continue
        if part.get_filename() is not None:
            lines.append("attachment: %s %s" % (part.get_filename(), part.get_payload(decode=True).hex()))
        elif body is None and part.get_content_type() == "text/plain":
            body = part.get_content().replace("\r\n", "\n")
            if part.get_param("format", "").lower() == "flowed":
                body = unflow(body, part.get_param("delsp", "").lower() == "yes")
            body = body.rstrip("\n")
            lines.append("body: " + body.replace("\n", "\\n"))
    lines.append("defects: %d" % defects)
    sys.stdout.buffer.write(("\n".join(lines) + "\n").encode("utf-8"))


if __name__ == "__main__":
    main()
