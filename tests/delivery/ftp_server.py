#!/usr/bin/python3
"""A scriptable FTP server for the delivery tests: pyftpdlib on 127.0.0.1,
one user "u" with password "secret" whose home is --root, plus the faults
and quirks the tests ask for. Writes its port to --port-file once it listens
and every command it receives to --command-log."""

import argparse
import io
import os
import socket
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


def parse_arguments():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--command-log", required=True)
    parser.add_argument("--pwd-template", default="{cwd}",
                        help="what PWD reports; {cwd} stands for the real directory")
    parser.add_argument("--refuse-stor", action="store_true")
    parser.add_argument("--refuse-stor-of", default="",
                        help="a name whose STOR is refused, also under its unfinished name NAME.part")
    parser.add_argument("--refuse-rnto-existing", action="store_true",
                        help="refuse RNTO onto a name that exists, as some servers do")
    parser.add_argument("--refuse-mkd", action="store_true")
    parser.add_argument("--refuse-dele", default="", help="a name whose DELE is refused")
    parser.add_argument("--refuse-retr-of", default="", help="a name whose RETR fails with 451")
    parser.add_argument("--refuse-cwd-into", default="", help="a folder name whose CWD is refused with 550")
    parser.add_argument("--pretend-rmd", action="store_true", help="answer RMD with 250 and keep the folder")
    parser.add_argument("--empty-listing-450", action="store_true",
                        help="answer the listing of an empty folder with 450, as ProFTPD does")
    parser.add_argument("--list-extra", default="",
                        help="names, separated by commas, that NLST adds to every listing")
    parser.add_argument("--drop-after", type=int, default=0,
                        help="once, drop both connections after a STOR received this many bytes")
    parser.add_argument("--silent-at", default="",
                        help='"greeting": accept connections and never say a word; a command such as CWD: '
                             'answer nothing from that command on (each session)')
    parser.add_argument("--stall-after", type=int, default=0,
                        help="stop reading a STOR's data connection once it received this many bytes")
    parser.add_argument("--stall-once", action="store_true", help="stall only the first such upload")
    parser.add_argument("--flood", default="",
                        help='"greeting" or a command such as PWD: put --flood-lines lines of a multi-line reply '
                             'before the real one (each time)')
    parser.add_argument("--flood-kind", choices=["lines", "line", "drip"], default="lines",
                        help="lines: all at once; line: one line of 40 bytes for each; drip: one line each 0.1 s")
    parser.add_argument("--flood-lines", type=int, default=100000)
    parser.add_argument("--refuse-epsv", action="store_true", help="answer EPSV with 500, as older servers do")
    parser.add_argument("--pasv-address", default="", help="the address PASV replies name instead of the real one")
    parser.add_argument("--passive-port", type=int, default=0, help="the only port passive connections listen on")
    parser.add_argument("--drip", type=float, default=0,
                        help="send each file (RETR) and listing (NLST) one byte every this many seconds")
    return parser.parse_args()


ARGUMENTS = parse_arguments()
DROP = {"after": ARGUMENTS.drop_after}
STALL = {"after": ARGUMENTS.stall_after}


class DroppingDTPHandler(DTPHandler):
    def handle_read(self):
        DTPHandler.handle_read(self)
        if DROP["after"] and getattr(self, "cmd", None) == "STOR" and self.tot_bytes_received >= DROP["after"]:
            DROP["after"] = 0
            command = self.cmd_channel
            self.close()
            command.close()
        elif STALL["after"] and getattr(self, "cmd", None) == "STOR" and self.tot_bytes_received >= STALL["after"]:
            if ARGUMENTS.stall_once:
                STALL["after"] = 0
            # Read no more; a small buffer keeps the client from parking much in it.
            self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            self.modify_ioloop_events(0)

    handle_read_event = handle_read


# The code that ends the reply to each place a flood can go.
FLOOD_CODES = {"greeting": 220, "USER": 331, "PASS": 230, "SYST": 215, "PWD": 257, "CWD": 250, "TYPE": 200}


class DrippingProducer(object):
    """A file's bytes, one at a time, slowly."""

    def __init__(self, file, delay):
        self.file = file
        self.delay = delay

    def more(self):
        time.sleep(self.delay)
        return self.file.read(1)


class ScriptedHandler(FTPHandler):
    dtp_handler = DroppingDTPHandler
    auth_failed_timeout = 0
    silent = False

    def handle(self):
        if ARGUMENTS.silent_at == "greeting":
            self.silent = True
            return
        if ARGUMENTS.flood == "greeting":
            self.flood(lambda: FTPHandler.handle(self))
            return
        FTPHandler.handle(self)

    def flood(self, then):
        """Lines of a multi-line reply that the client should never read to the end, then the real reply."""
        code = FLOOD_CODES[ARGUMENTS.flood]
        count = ARGUMENTS.flood_lines
        if ARGUMENTS.flood_kind == "lines":
            self.push("".join("%d-line %d of a reply that goes on and on\r\n" % (code, n) for n in range(count)))
            then()
        elif ARGUMENTS.flood_kind == "line":
            self.push("%d-%s\r\n" % (code, "x" * (40 * count)))
            then()
        else:
            def drip(left):
                if not self.connected:
                    return
                if left == 0:
                    then()
                    return
                self.push("%d-%d lines to go\r\n" % (code, left))
                self.ioloop.call_later(0.1, drip, left - 1)
            drip(count)

    def pre_process_command(self, line, cmd, arg):
        with open(ARGUMENTS.command_log, "a") as log:
            log.write(("PASS ***" if cmd == "PASS" else line) + "\n")
        if self.silent or cmd == ARGUMENTS.silent_at:
            self.silent = True
            return None
        if cmd == ARGUMENTS.flood:
            self.flood(lambda: FTPHandler.pre_process_command(self, line, cmd, arg))
            return None
        return FTPHandler.pre_process_command(self, line, cmd, arg)

    def ftp_EPSV(self, line):
        if ARGUMENTS.refuse_epsv:
            self.respond("500 Command \"EPSV\" not understood.")
            return
        return FTPHandler.ftp_EPSV(self, line)

    def push_dtp_data(self, data, isproducer=False, file=None, cmd=None):
        if ARGUMENTS.drip and cmd in ("RETR", "NLST"):
            data = DrippingProducer(file if isproducer else io.BytesIO(data), ARGUMENTS.drip)
            isproducer = True
        return FTPHandler.push_dtp_data(self, data, isproducer, file, cmd)

    def ftp_PWD(self, line):
        shown = ARGUMENTS.pwd_template.replace("{cwd}", self.fs.cwd)
        self.respond('257 "%s" is the current directory.' % shown.replace('"', '""'))

    def ftp_STOR(self, file, mode="w"):
        refused = ARGUMENTS.refuse_stor_of
        if ARGUMENTS.refuse_stor or (refused and os.path.basename(file) in (refused, refused + ".part")):
            self.respond("550 Uploads are refused here.")
            return
        return FTPHandler.ftp_STOR(self, file, mode)

    def ftp_RNTO(self, path):
        if ARGUMENTS.refuse_rnto_existing and os.path.exists(path):
            self._rnfr = None
            self.respond("553 The name is taken.")
            return
        return FTPHandler.ftp_RNTO(self, path)

    def ftp_MKD(self, path):
        if ARGUMENTS.refuse_mkd:
            self.respond("550 Folders cannot be made here.")
            return
        return FTPHandler.ftp_MKD(self, path)

    def ftp_RMD(self, path):
        if ARGUMENTS.pretend_rmd:
            self.respond("250 Directory removed.")
            return
        return FTPHandler.ftp_RMD(self, path)

    def ftp_DELE(self, path):
        if ARGUMENTS.refuse_dele and os.path.basename(path) == ARGUMENTS.refuse_dele:
            self.respond("550 This file is protected.")
            return
        return FTPHandler.ftp_DELE(self, path)

    def ftp_RETR(self, file):
        if ARGUMENTS.refuse_retr_of and os.path.basename(file) == ARGUMENTS.refuse_retr_of:
            self.respond("451 The file cannot be read now.")
            return
        return FTPHandler.ftp_RETR(self, file)

    def ftp_CWD(self, path):
        if ARGUMENTS.refuse_cwd_into and os.path.basename(path.rstrip("/")) == ARGUMENTS.refuse_cwd_into:
            self.respond("550 Permission denied.")
            return
        return FTPHandler.ftp_CWD(self, path)

    def ftp_NLST(self, path):
        # As pyftpdlib does, a pattern such as "*.*" is taken for a name, not
        # expanded (550 when no such file), like many web hosts' servers.
        if not ARGUMENTS.list_extra and not ARGUMENTS.empty_listing_450:
            return FTPHandler.ftp_NLST(self, path)
        try:
            names = sorted(self.fs.listdir(path)) if self.fs.isdir(path) else [os.path.basename(path)]
            self.fs.lstat(path)
        except OSError as error:
            self.respond("550 %s." % error.strerror)
            return
        names += [n for n in ARGUMENTS.list_extra.split(",") if n]
        if not names and ARGUMENTS.empty_listing_450:
            self.respond("450 No files found.")
            return
        data = "".join(n + "\r\n" for n in names).encode("utf8")
        self.push_dtp_data(data, cmd="NLST")
        return path


def main():
    authorizer = DummyAuthorizer()
    authorizer.add_user("u", "secret", ARGUMENTS.root, perm="elradfmwMT")
    ScriptedHandler.authorizer = authorizer
    if ARGUMENTS.pasv_address:
        ScriptedHandler.masquerade_address = ARGUMENTS.pasv_address
    if ARGUMENTS.passive_port:
        ScriptedHandler.passive_ports = [ARGUMENTS.passive_port]
    server = FTPServer(("127.0.0.1", 0), ScriptedHandler)
    written = ARGUMENTS.port_file + ".tmp"
    with open(written, "w") as port_file:
        port_file.write(str(server.address[1]))
    os.rename(written, ARGUMENTS.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
