#!/usr/bin/env python3
"""A stand-in for the user's web browser, named by $BROWSER in the tests.

Run as `scripted_browser.py ... URL`, it returns at once and, in a
detached process, asks the authorization server for URL and takes its redirect to the
client's loopback address the way QUILLMERE_TEST_BROWSER says: "follow" (the
default), "wrong-state-first", "twice", "deny" or "silent". One line per request
goes to the file QUILLMERE_TEST_BROWSER_LOG, e.g. "redirect 200",
"redirect 400", "redirect refused", "authorize 400".
"""
import os
import sys
import time
import urllib.error
import urllib.request
from urllib.parse import parse_qs, urlencode, urlsplit

mode = os.environ.get("QUILLMERE_TEST_BROWSER", "follow")
url = sys.argv[-1]


class NoRedirect(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args):
        return None  # the redirect is taken by hand, to be recorded


# No proxy from the environment: everything here is on loopback.
opener = urllib.request.build_opener(urllib.request.ProxyHandler({}), NoRedirect)


def record(line):
    if os.environ.get("QUILLMERE_TEST_BROWSER_LOG"):
        with open(os.environ["QUILLMERE_TEST_BROWSER_LOG"], "a") as log:
            log.write(line + "\n")


def fetch(what, address):
    try:
        with opener.open(address, timeout=10) as answer:
            record(f"{what} {answer.status}")
            return answer.headers
    except urllib.error.HTTPError as answer:
        record(f"{what} {answer.code}")
        return answer.headers
    except (urllib.error.URLError, OSError) as error:
        reason = getattr(error, "reason", error)
        record(f"{what} refused" if isinstance(reason, ConnectionRefusedError) else f"{what} failed {reason}")


def browse():
    asked = {name: values[0] for name, values in parse_qs(urlsplit(url).query).items()}
    if mode == "deny":
        redirect_uri = asked.get("redirect_uri", "")
        joiner = "&" if urlsplit(redirect_uri).query else "?"
        denied = urlencode({"error": "access_denied", "state": asked.get("state", "")})
        return fetch("redirect", redirect_uri + joiner + denied)
    location = (fetch("authorize", url) or {}).get("Location")
    if not location:
        return
    if mode == "wrong-state-first":
        before, _, state = location.rpartition("state=")
        fetch("redirect", before + "state=changed" + state)
    fetch("redirect", location)
    if mode == "twice":
        time.sleep(0.5)  # time for the client to close its listener after the first
        fetch("redirect", location)


# Like a browser that is already open, the command returns before the page is
# loaded: a client that waits for it before it listens still gets its redirect.
if mode != "silent" and os.fork() == 0:
    os.setsid()
    null = os.open(os.devnull, os.O_RDWR)
    for stream in range(3):
        os.dup2(null, stream)
    browse()
    os._exit(0)
