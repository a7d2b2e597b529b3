#!/usr/bin/python3
"""The demo's stand-ins for a shop's web host and mail server, all on
127.0.0.1: an FTP server (pyftpdlib) whose folder nginx serves over HTTP, and
an SMTP server (aiosmtpd) that keeps every message it receives as an .eml
file. One process holds them all and stops them together: on SIGTERM or
SIGINT, and when the process that started it goes away.

Usage: demo-servers.py --folder DEMO --ftp-port N --http-port N --smtp-port N
                       [--php-port N] [--ftp-tls] [--smtp-starttls]
(port 0 leaves that server out). With a PHP port, PHP's built-in server
(php -S) runs the web folder's .php scripts there (the answer endpoint), and
nginx passes requests for them on to it; nginx serves everything else, since
PHP's server answers no Range requests. With --ftp-tls the FTP server wants TLS on
logins and data (AUTH TLS, PROT P), with --smtp-starttls the mail server
wants STARTTLS before anything else; both use DEMO/tls/server.crt and .key.
The FTP account comes from the environment (DEMO_FTP_USER, DEMO_FTP_PASSWORD)
so that the password never shows in a process list. Writes DEMO/run/ready
once every server listens; problems go to standard error."""

import argparse
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time

from aiosmtpd.controller import Controller
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer

LOOPBACK = "127.0.0.1"


def parse_arguments():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--ftp-port", type=int, required=True)
    parser.add_argument("--http-port", type=int, required=True)
    parser.add_argument("--smtp-port", type=int, required=True)
    parser.add_argument("--php-port", type=int, default=0)
    parser.add_argument("--ftp-tls", action="store_true")
    parser.add_argument("--smtp-starttls", action="store_true")
    return parser.parse_args()


class DemoFTPHandler(FTPHandler):
    """pyftpdlib as it comes, like a web host's server that lists a folder
    plainly and does not expand patterns such as "*.*"."""


class DemoTLSFTPHandler(TLS_FTPHandler):
    """The same web host, with logins and files only over TLS."""

    tls_control_required = True
    tls_data_required = True


class MailFolder:
    """aiosmtpd handler: each message as received, in a file of its own."""

    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        name = time.strftime("%Y%m%d-%H%M%S") + "-%d-%d.eml" % (os.getpid(), self.count)
        path = os.path.join(self.folder, name)
        # Written whole, then renamed: a reader never sees half a message.
        with open(path + ".part", "wb") as message:
            message.write(envelope.original_content)
        os.rename(path + ".part", path)
        print("demo: message kept as %s" % path, flush=True)
        return "250 Message accepted for delivery"


def nginx_config(folder, port, php_port):
    run = os.path.join(folder, "run")
    logs = os.path.join(folder, "logs")
    # Started by root, nginx would serve as "nobody", who may not reach this
    # folder; the files are the demo owner's, so the workers stay that user.
    user = "user root root;" if os.geteuid() == 0 else ""
    php = f"location ~ \\.php$ {{ proxy_pass http://{LOOPBACK}:{php_port}; }}" if php_port else ""
    return f"""
daemon off;
{user}
worker_processes 1;
pid "{run}/nginx.pid";
error_log "{logs}/nginx-error.log";
events {{ worker_connections 64; }}
http {{
  types {{ text/html html htm; application/javascript js; text/css css; image/png png; image/jpeg jpg;
           text/plain txt; }}
  default_type application/octet-stream;
  charset utf-8;
  access_log "{logs}/nginx-access.log";
  client_body_temp_path "{run}/body";
  proxy_temp_path "{run}/proxy";
  fastcgi_temp_path "{run}/fastcgi";
  uwsgi_temp_path "{run}/uwsgi";
  scgi_temp_path "{run}/scgi";
  server {{
    listen {LOOPBACK}:{port};
    root "{folder}/web";
    autoindex on;
    {php}
  }}
}}
"""


def port_is_free(port):
    """True when nothing listens on the port. Binds as the servers do (with
    SO_REUSEADDR), so that connections of an earlier run that linger in
    TIME_WAIT do not count."""
    with socket.socket() as probe:
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            probe.bind((LOOPBACK, port))
        except OSError:
            return False
    return True


def wait_for_port(port, process, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return False
        try:
            with socket.create_connection((LOOPBACK, port), timeout=1):
                return process.poll() is None
        except OSError:
            time.sleep(0.1)
    return False


def start_listening(name, command, port, log):
    """Starts a server process, its output going to the log, and waits until it listens."""
    # Another program on the port would answer the connection check while
    # our server fails to listen: the demo would pass its requests to a stranger.
    if not port_is_free(port):
        raise OSError("%s cannot listen on %s:%d: another program uses that port" % (name, LOOPBACK, port))
    with open(log, "a") as errors:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=errors, stderr=errors)
    if not wait_for_port(port, process):
        process.terminate()
        process.wait(10)
        raise OSError("%s did not start on %s:%d (see %s)" % (name, LOOPBACK, port, log))
    return process


def start_php(folder, port):
    return start_listening("PHP's server", ["php", "-S", "%s:%d" % (LOOPBACK, port), "-t", os.path.join(folder, "web")],
                           port, os.path.join(folder, "logs", "php.log"))


def start_nginx(folder, port, php_port):
    config = os.path.join(folder, "run", "nginx.conf")
    with open(config, "w") as file:
        file.write(nginx_config(folder, port, php_port))
    log = os.path.join(folder, "logs", "nginx-error.log")
    return start_listening("nginx", ["/usr/sbin/nginx", "-p", os.path.join(folder, "run"), "-c", config, "-e", log],
                           port, log)


def start_ftp(folder, port, tls):
    authorizer = DummyAuthorizer()
    authorizer.add_user(os.environ["DEMO_FTP_USER"], os.environ["DEMO_FTP_PASSWORD"], os.path.join(folder, "web"),
                        perm="elradfmwMT")
    handler = DemoTLSFTPHandler if tls else DemoFTPHandler
    handler.authorizer = authorizer
    handler.banner = "Tavrin demo web host ready."
    if tls:
        handler.certfile = os.path.join(folder, "tls", "server.crt")
        handler.keyfile = os.path.join(folder, "tls", "server.key")
    server = FTPServer((LOOPBACK, port), handler)
    threading.Thread(target=server.serve_forever, kwargs={"timeout": 0.5}, daemon=True).start()
    return server


def start_smtp(folder, port, starttls):
    options = {}
    if starttls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(os.path.join(folder, "tls", "server.crt"), os.path.join(folder, "tls", "server.key"))
        options = {"tls_context": context, "require_starttls": True}
    controller = Controller(MailFolder(os.path.join(folder, "mail")), hostname=LOOPBACK, port=port, **options)
    controller.start()
    return controller


def main():
    arguments = parse_arguments()
    folder = os.path.abspath(arguments.folder)
    for sub in ("web", "mail", "run", "logs"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
    stop = threading.Event()
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, lambda *_: stop.set())
    parent = os.getppid()
    started = []
    try:
        try:
            # Port 0: the settings no longer point at that server.
            if arguments.ftp_port:
                started.append(("FTP", start_ftp(folder, arguments.ftp_port, arguments.ftp_tls)))
            if arguments.smtp_port:
                started.append(("SMTP", start_smtp(folder, arguments.smtp_port, arguments.smtp_starttls)))
            php_port = arguments.php_port if arguments.http_port else 0
            if php_port:
                started.append(("PHP", start_php(folder, php_port)))
            if arguments.http_port:
                started.append(("nginx", start_nginx(folder, arguments.http_port, php_port)))
        except Exception as error:  # aiosmtpd passes on its thread's error as it is

            print("demo: cannot start the demo servers: %s" % error, file=sys.stderr, flush=True)
            return 1
        with open(os.path.join(folder, "run", "ready"), "w") as ready:
            ready.write(str(os.getpid()))
        # Until told to stop, or until the station's launcher is gone.
        while not stop.wait(1):
            if os.getppid() != parent:
                break
        return 0
    finally:
        for name, server in reversed(started):
            if name in ("nginx", "PHP"):
                server.terminate()
                server.wait(10)
            elif name == "SMTP":
                server.stop()
            else:
                server.close_all()
        ready = os.path.join(folder, "run", "ready")
        if os.path.exists(ready):
            os.remove(ready)


if __name__ == "__main__":
    sys.exit(main())
