#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A real SMTP server on 127.0.0.1 for the SMTP client's tests.

Usage: smtp_real_server.py DIR LOGIN PASSWORD

Offers AUTH LOGIN without TLS and accepts exactly LOGIN/PASSWORD (others get
535). Prints "PORT n" once it listens. Each auth attempt is appended to
DIR/auth.log as "ok|refused <login> <password>"; each mail N (from 1) leaves
DIR/N.from (envelope sender), DIR/N.rcpt (one recipient a line), DIR/N.auth
("yes <login> <password>" or "no"), DIR/N.decoded (the message as a mail
program reads it: Python's email package decodes its Date, From, To, Subject
and text body, one "name: value" line each, the body last in UTF-8, and its
charset) and, written last, DIR/N.data (the raw message bytes). Runs until stdin closes or SIGTERM.
"""

import email
import email.policy
import logging
import os
import signal
import socket
import sys
import warnings

try:
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult, LoginPassword
except ImportError as error:
    print(f"ERROR aiosmtpd is not importable ({error}); install python3-aiosmtpd", flush=True)
    sys.exit(2)


def write_file(path, data):
    # Written under another name first, so that a reader never sees half a file.
    temp = path + ".tmp"
    with open(temp, "wb") as f:
        f.write(data)
    os.replace(temp, path)


class Recorder:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.directory, str(self.count))
        write_file(base + ".from", (envelope.mail_from or "").encode())
        write_file(base + ".rcpt", "".join(r + "\n" for r in envelope.rcpt_tos).encode())
        auth = session.auth_data
        if session.authenticated and isinstance(auth, LoginPassword):
            write_file(base + ".auth", b"yes " + auth.login + b" " + auth.password)
        else:
            write_file(base + ".auth", b"no")
        data = envelope.original_content or envelope.content or b""
        write_file(base + ".decoded", decoded(data))
        write_file(base + ".data", data)
        return "250 OK"


def decoded(data):
    message = email.message_from_bytes(data, policy=email.policy.default)
    try:
        fields = [(name, str(message[name] or "")) for name in ("Date", "From", "To", "Subject")]
        fields.append(("charset", message.get_content_charset() or ""))
        fields.append(("body", message.get_content()))
    except Exception as error:  # a mail the package cannot read is a result too
        fields = [("error", f"{type(error).__name__}: {error}")]
    return "".join(f"{name}: {value}\n" for name, value in fields).encode("utf-8")


def make_authenticator(directory, login, password):
    def authenticate(server, session, envelope, mechanism, data):
        ok = (mechanism == "LOGIN" and isinstance(data, LoginPassword)
              and data.login == login and data.password == password)
        with open(os.path.join(directory, "auth.log"), "ab") as f:
            user = data.login if isinstance(data, LoginPassword) else b"?"
            secret = data.password if isinstance(data, LoginPassword) else b"?"
            f.write((b"ok " if ok else b"refused ") + user + b" " + secret + b"\n")
        if ok:
            return AuthResult(success=True, auth_data=data)
        # Not handled: the server answers 535 itself.
        return AuthResult(success=False, handled=False)
    return authenticate


class BoundController(Controller):
    """Listens on a socket bound beforehand, so the port can be 0."""

    def __init__(self, sock, handler, **kwargs):
        self.sock = sock
        super().__init__(handler, hostname="127.0.0.1", port=sock.getsockname()[1], **kwargs)

    def _create_server(self):
        return self.loop.create_server(self._factory_invoker, sock=self.sock)


def main():
    if len(sys.argv) != 4:
        print("ERROR usage: smtp_real_server.py DIR LOGIN PASSWORD", flush=True)
        return 2
    directory = sys.argv[1]
    login = sys.argv[2].encode()
    password = sys.argv[3].encode()
    # aiosmtpd warns about its own deprecated fields on every login.
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    # AUTH without TLS is the point here: it is all on the loopback.
    warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")

    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.bind(("127.0.0.1", 0))
    sock.listen(16)
    controller = BoundController(
        sock,
        Recorder(directory),
        server_hostname="mail.test",
        decode_data=False,
        auth_required=True,
        auth_require_tls=False,
        auth_exclude_mechanism=["PLAIN"],
        authenticator=make_authenticator(directory, login, password),
    )
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    controller.start()
    try:
        print(f"PORT {sock.getsockname()[1]}", flush=True)
        while sys.stdin.buffer.read(4096):
            pass
    finally:
        controller.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
