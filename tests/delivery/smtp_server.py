#!/usr/bin/python3
"""An SMTP server for the notification tests: aiosmtpd on 127.0.0.1 that
offers AUTH LOGIN without TLS (user "mailer", password "secret"), plus the
faults the tests ask for. Writes its port to --port-file once it listens,
every command it receives to --command-log (the login's outcome in
parentheses) and each message it accepts to --mail-dir as 1.eml, 2.eml, ...
with its envelope recipients, one a line, in 1.rcpt, 2.rcpt, ...

With --tls-certificate and --tls-key and --starttls, STARTTLS is offered and
required before anything else, AUTH only inside it; with --implicit-tls the
connection is TLS from its first byte."""

import argparse
import asyncio
import logging
import os
import ssl

from aiosmtpd.smtp import SMTP, AuthResult


def parse_arguments():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--command-log", required=True)
    parser.add_argument("--mail-dir", required=True)
    parser.add_argument("--no-login", action="store_true", help="offer AUTH PLAIN only")
    parser.add_argument("--refuse-ehlo", action="store_true", help="answer EHLO with 502")
    parser.add_argument("--refuse-mail", action="store_true", help="answer MAIL FROM with 550")
    parser.add_argument("--refuse-rcpt", action="store_true", help="answer every RCPT with 550")
    parser.add_argument("--refuse-data", action="store_true", help="answer DATA with 554")
    parser.add_argument("--refuse-rcpt-to", action="append", default=[], metavar="ADDRESS=REPLY",
                        help="answer RCPT for this address with this reply (repeatable)")
    parser.add_argument("--silent-at", default="",
                        help='"greeting": accept connections and never say a word; a command such as RCPT: '
                             'answer nothing from that command on')
    parser.add_argument("--endless-at", default="",
                        help='"greeting" or a command such as EHLO: answer with a reply that never ends')
    parser.add_argument("--endless-kind", default="lines", choices=("lines", "line", "drip"),
                        help="lines: continuation lines as fast as they are taken; line: one line that never "
                             "ends; drip: a continuation line every 0.2 s")
    parser.add_argument("--slow-end", type=float, default=0,
                        help="wait this many seconds before answering the end of a message")
    parser.add_argument("--tls-certificate")
    parser.add_argument("--tls-key")
    parser.add_argument("--starttls", action="store_true", help="require STARTTLS, AUTH only after it")
    parser.add_argument("--implicit-tls", action="store_true", help="TLS from the first byte")
    return parser.parse_args()


ARGUMENTS = parse_arguments()
REFUSED = dict(item.split("=", 1) for item in ARGUMENTS.refuse_rcpt_to)
# aiosmtpd logs a warning about its own use of a deprecated session field.
logging.getLogger("mail.log").setLevel(logging.ERROR)


def record(line):
    with open(ARGUMENTS.command_log, "a") as log:
        log.write(line + "\n")


class Handler:
    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if ARGUMENTS.refuse_mail:
            return "550 5.7.1 Sender refused"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if ARGUMENTS.refuse_rcpt:
            return "550 5.1.1 No such mailbox here"
        if address in REFUSED:
            return REFUSED[address]
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if ARGUMENTS.slow_end:
            await asyncio.sleep(ARGUMENTS.slow_end)
        number = len([name for name in os.listdir(ARGUMENTS.mail_dir) if name.endswith(".eml")]) + 1
        with open(os.path.join(ARGUMENTS.mail_dir, "%d.rcpt" % number), "w") as recipients:
            recipients.write("".join(address + "\n" for address in envelope.rcpt_tos))
        with open(os.path.join(ARGUMENTS.mail_dir, "%d.eml" % number), "wb") as mail:
            mail.write(envelope.original_content)
        return "250 Message accepted"


def authenticate(server, session, envelope, mechanism, auth_data):
    accepted = auth_data.login == b"mailer" and auth_data.password == b"secret"
    record("(%s %s %s)" % (mechanism, auth_data.login.decode(), "accepted" if accepted else "refused"))
    return AuthResult(success=accepted)


class RecordingSMTP(SMTP):
    async def smtp_EHLO(self, hostname):
        if ARGUMENTS.refuse_ehlo:
            await self.push("502 5.5.2 Error: command not recognized")
            return
        await SMTP.smtp_EHLO(self, hostname)

    async def smtp_DATA(self, arg):
        if ARGUMENTS.refuse_data:
            await self.push("554 5.3.0 Transactions are refused here")
            return
        await SMTP.smtp_DATA(self, arg)


async def endless_reply(write, drain, code):
    """Writes a reply that never ends until the client goes away."""
    try:
        if ARGUMENTS.endless_kind == "line":
            write(("%d-" % code).encode())
        while True:
            if ARGUMENTS.endless_kind == "line":
                write(b"x" * 4096)
            elif ARGUMENTS.endless_kind == "lines":
                write(("%d-this reply goes on and on\r\n" % code).encode() * 64)
            else:
                write(("%d-this reply goes on slowly\r\n" % code).encode())
                await asyncio.sleep(0.2)
            await drain()
    except (ConnectionError, OSError):
        pass


async def endless_greeting(reader, writer):
    await endless_reply(writer.write, writer.drain, 220)
    writer.close()


def recorded(name):
    inner = getattr(RecordingSMTP, "smtp_" + name)

    async def method(self, arg):
        record(name + (" " + arg if arg else ""))
        if name == ARGUMENTS.endless_at:
            await endless_reply(self._writer.write, self._writer.drain, 250)
            return
        if name == ARGUMENTS.silent_at:
            # This session is never answered again.
            await asyncio.sleep(3600)
        await inner(self, arg)

    return method


for command in ("HELO", "EHLO", "STARTTLS", "RSET", "AUTH", "MAIL", "RCPT", "DATA", "NOOP", "QUIT"):
    setattr(RecordingSMTP, "smtp_" + command, recorded(command))


async def serve():
    loop = asyncio.get_running_loop()
    excluded = ["LOGIN"] if ARGUMENTS.no_login else []

    context = None
    if ARGUMENTS.tls_certificate:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(ARGUMENTS.tls_certificate, ARGUMENTS.tls_key)

    def session():
        if ARGUMENTS.starttls:
            return RecordingSMTP(Handler(), hostname="tavrin-test", tls_context=context, require_starttls=True,
                                 auth_require_tls=True, auth_exclude_mechanism=excluded, authenticator=authenticate,
                                 loop=loop)
        return RecordingSMTP(Handler(), hostname="tavrin-test", auth_require_tls=False,
                             auth_exclude_mechanism=excluded, authenticator=authenticate, loop=loop)

    if ARGUMENTS.endless_at == "greeting":
        server = await asyncio.start_server(endless_greeting, "127.0.0.1", 0)
    elif ARGUMENTS.silent_at == "greeting":
        server = await loop.create_server(asyncio.Protocol, "127.0.0.1", 0)
    elif ARGUMENTS.implicit_tls:
        server = await loop.create_server(session, "127.0.0.1", 0, ssl=context)
    else:
        server = await loop.create_server(session, "127.0.0.1", 0)
    written = ARGUMENTS.port_file + ".tmp"
    with open(written, "w") as port_file:
        port_file.write(str(server.sockets[0].getsockname()[1]))
    os.rename(written, ARGUMENTS.port_file)
    await server.serve_forever()


if __name__ == "__main__":
    os.makedirs(ARGUMENTS.mail_dir, exist_ok=True)
    asyncio.run(serve())
