#!/usr/bin/env python3
"""A local OAuth 2.0 authorization server for the tests.

Run as `oauth2_server.py CONFIG_JSON`. It serves on 127.0.0.1:
  https_port: /authorize and /token (authorization code with PKCE S256,
              refresh tokens), /introspect and /control/...;
  http_port:  /introspect (for Dovecot) and /control/... only.
The outcome of every request is logged and kept, so that /control/events tells
the test what the client and Dovecot asked for and how it went.
"""
import base64, hashlib, json, re, secrets, ssl, sys, threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlencode, urlsplit

config = json.load(open(sys.argv[1]))
lock = threading.Lock()
codes = {}  # unused code: (redirect_uri, code_challenge)
access, refresh = set(), set()  # the live tokens
events = []
CHALLENGE = re.compile(r"[A-Za-z0-9_-]{43}")
VERIFIER = re.compile(r"[A-Za-z0-9._~-]{43,128}")
GRANTS = {"authorization_code": "code", "refresh_token": "refresh"}  # as the events name them


def new_token(prefix):
    # Some providers issue access tokens of well over a thousand characters.
    return prefix + secrets.token_urlsafe(1200 if prefix == "at." and config.get("long_tokens") else 32)


def loopback_redirect(uri):
    parts = urlsplit(uri)
    port = re.fullmatch(r"127\.0\.0\.1:([0-9]{1,5})", parts.netloc)
    return (parts.scheme == "http" and port is not None and 0 < int(port.group(1)) < 65536
            and parts.path.startswith("/") and not parts.fragment)


def pkce_s256(verifier):
    return base64.urlsafe_b64encode(hashlib.sha256(verifier.encode()).digest()).rstrip(b"=").decode()


class Failure(Exception):
    """A refused token request: its error code and the reason, as the event names it."""


class Handler(BaseHTTPRequestHandler):
    def do_GET(self):
        self.handle_request(urlsplit(self.path).query)

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length") or 0)).decode("utf-8", "replace")
        form = self.headers.get("Content-Type", "").split(";")[0].strip() == "application/x-www-form-urlencoded"
        self.handle_request(body if form else "", form)

    def handle_request(self, query, form=True):
        path = urlsplit(self.path).path
        fields = parse_qs(query, keep_blank_values=True)
        single = {name: values[0] for name, values in fields.items() if len(values) == 1}
        if path == "/authorize" and self.server.secure and self.command == "GET":
            self.authorize(single, [name for name, values in fields.items() if len(values) > 1])
        elif path == "/token" and self.server.secure and self.command == "POST":
            try:
                if not form:
                    raise Failure("invalid_request", "not_form")
                self.answer(200, self.token(single))
            except Failure as failure:
                error, reason = failure.args
                self.event("token " + GRANTS.get(single.get("grant_type"), "other") + " " + reason)
                self.answer(400, {"error": error, "error_description": reason})
        elif path == "/introspect":
            bearer = self.headers.get("Authorization", "")
            token = bearer[7:] if bearer.startswith("Bearer ") else single.get("token", "")
            with lock:
                live = token in access
            self.event("introspect " + ("active" if live else "inactive"))
            self.answer(200, {"active": True, "username": config["user"], "scope": config["scope"]} if live
                        else {"active": False})
        elif path in ("/control/revoke-refresh", "/control/revoke-access") and self.command == "POST":
            with lock:
                (refresh if path.endswith("refresh") else access).clear()
            self.answer(200, {})
        else:
            with lock:  # /control/events
                self.answer(200, "".join(line + "\n" for line in events))

    def authorize(self, q, repeated):
        checks = [(not repeated, "repeated_parameter"), (q.get("response_type") == "code", "bad_response_type"),
                  (q.get("client_id") == config["client_id"], "bad_client_id"),
                  (set(q.get("scope", "").split()) == set(config["scope"].split()), "bad_scope"),
                  (loopback_redirect(q.get("redirect_uri", "")), "bad_redirect_uri"),
                  (q.get("state", "") != "", "missing_state"),
                  (q.get("code_challenge_method") == "S256", "bad_challenge_method"),
                  (CHALLENGE.fullmatch(q.get("code_challenge", "")), "bad_challenge")]
        failed = [reason for passed, reason in checks if not passed]
        if failed:
            self.event("authorize " + failed[0])
            return self.answer(400, failed[0] + "\n")
        code = secrets.token_urlsafe(24)
        with lock:
            codes[code] = (q["redirect_uri"], q["code_challenge"])
        self.event("authorize ok")
        joiner = "&" if urlsplit(q["redirect_uri"]).query else "?"
        self.answer(302, "", q["redirect_uri"] + joiner + urlencode({"code": code, "state": q["state"]}))

    def token(self, q):
        if q.get("client_id") != config["client_id"]:  # a public client: no secret
            raise Failure("invalid_client", "bad_client")
        with lock:
            if q.get("grant_type") == "authorization_code":
                issued_for = codes.pop(q.get("code", ""), None)  # single use, even when the rest is wrong
                if issued_for is None:
                    raise Failure("invalid_grant", "bad_code")
                if issued_for[0] != q.get("redirect_uri"):
                    raise Failure("invalid_grant", "bad_redirect_uri")
                verifier = q.get("code_verifier", "")
                if not VERIFIER.fullmatch(verifier) or pkce_s256(verifier) != issued_for[1]:
                    raise Failure("invalid_grant", "bad_verifier")
                renewed = new_token("rt.")
            elif q.get("grant_type") == "refresh_token":
                if q.get("refresh_token") not in refresh:
                    raise Failure("invalid_grant", "invalid_grant")
                renewed = config.get("rotate") and new_token("rt.")
                if renewed:
                    refresh.discard(q["refresh_token"])
            else:
                raise Failure("unsupported_grant_type", "bad_grant_type")
            token = new_token("at.")
            access.add(token)
            if renewed:
                refresh.add(renewed)
        self.event("token " + GRANTS[q["grant_type"]] + " ok")
        answer = {"access_token": token, "token_type": "Bearer", "expires_in": 3600, "scope": config["scope"]}
        return answer | ({"refresh_token": renewed} if renewed else {})

    def event(self, line):
        self.log_message("%s", line)
        with lock:
            events.append(line)

    def answer(self, status, body, location=None):
        data = (body if isinstance(body, str) else json.dumps(body)).encode()
        self.send_response(status)
        for name, value in (("Content-Type", "text/plain; charset=utf-8" if isinstance(body, str) else "application/json"),
                            ("Content-Length", str(len(data))), ("Cache-Control", "no-store"), ("Location", location)):
            if value:
                self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)


def serve(port, secure):
    server = ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.secure = secure
    if secure:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(config["cert"], config["key"])
        # The handshake happens in the request's thread, so a silent client holds up nobody.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    return server


https, http = serve(config["https_port"], True), serve(config["http_port"], False)
threading.Thread(target=https.serve_forever, daemon=True).start()
http.serve_forever()
