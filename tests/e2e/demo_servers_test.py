#!/usr/bin/python3
"""The demo's web host on its own: nginx serves the web folder and passes
.php requests to PHP's built-in server; a port another program holds stops
the start with a clear error instead of a demo that talks to a stranger.

Usage: demo_servers_test.py SOURCE_DIR"""

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request

SERVERS = os.path.join(sys.argv[1] if len(sys.argv) > 1 else ".", "tools", "demo", "demo-servers.py")
LOOPBACK = "127.0.0.1"


def free_ports(count):
    """Ports free on 127.0.0.1, held together while chosen so that they differ."""
    sockets = [socket.socket() for _ in range(count)]
    try:
        for s in sockets:
            s.bind((LOOPBACK, 0))
        return [s.getsockname()[1] for s in sockets]
    finally:
        for s in sockets:
            s.close()


def listens(port):
    try:
        with socket.create_connection((LOOPBACK, port), timeout=2):
            return True
    except OSError:
        return False


def fetch(url, data=None, headers=None):
    request = urllib.request.Request(url, data=data, headers=headers or {})
    try:
        with urllib.request.urlopen(request, timeout=10) as response:
            return response.status, response.read()
    except urllib.error.HTTPError as error:
        return error.code, error.read()


class DemoServers(unittest.TestCase):

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tavrin-demo-servers-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        web = os.path.join(self.folder, "web")
        os.makedirs(web)
        with open(os.path.join(web, "echo.php"), "w") as script:
            script.write("<?php echo $_SERVER['REQUEST_METHOD'], ' ', file_get_contents('php://input');\n")
        with open(os.path.join(web, "tile.tdb"), "wb") as tile:
            tile.write(bytes(range(100)))
        self.http_port, self.php_port = free_ports(2)

    def start(self):
        process = subprocess.Popen(["/usr/bin/python3", SERVERS, "--folder", self.folder, "--ftp-port", "0",
                                    "--http-port", str(self.http_port), "--smtp-port", "0",
                                    "--php-port", str(self.php_port)],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(self.stop, process)
        return process

    @staticmethod
    def stop(process):
        """Asks a server process left running to stop its servers, as the launcher does."""
        if process.poll() is None:
            process.terminate()
            try:
                process.communicate(timeout=30)
            except subprocess.TimeoutExpired:
                process.kill()
        process.communicate()

    def started(self, process):
        """True once the servers are ready, False when their process ended first."""
        ready = os.path.join(self.folder, "run", "ready")
        deadline = time.monotonic() + 30
        while process.poll() is None and time.monotonic() < deadline:
            if os.path.exists(ready):
                return True
            time.sleep(0.05)
        self.assertIsNotNone(process.poll(), "neither ready nor ended")
        return False

    def test_php_answers_behind_nginx_which_serves_the_rest(self):
        process = self.start()
        self.assertTrue(self.started(process), process.stderr.read() if process.poll() is not None else "")
        base = "http://%s:%d/" % (LOOPBACK, self.http_port)
        self.assertEqual(fetch(base + "echo.php", b"page=2"), (200, b"POST page=2"))
        self.assertEqual(fetch(base + "missing.php")[0], 404)
        self.assertEqual(fetch(base + "tile.tdb", headers={"Range": "bytes=10-19"}), (206, bytes(range(10, 20))))

        process.send_signal(signal.SIGTERM)
        self.assertEqual(process.wait(30), 0)
        self.assertFalse(listens(self.http_port) or listens(self.php_port), "a server outlived the stop")
        self.assertFalse(os.path.exists(os.path.join(self.folder, "run", "ready")))

    def test_a_port_held_by_another_program_stops_the_start(self):
        for taken in ("php", "http"):
            with self.subTest(taken=taken):
                self.http_port, self.php_port = free_ports(2)
                port = self.php_port if taken == "php" else self.http_port
                with socket.socket() as stranger:
                    stranger.bind((LOOPBACK, port))
                    stranger.listen()
                    process = self.start()
                    self.assertFalse(self.started(process), "the servers say they are ready")
                    self.assertEqual(process.returncode, 1)
                    self.assertIn("127.0.0.1:%d: another program uses that port" % port, process.stderr.read())
                other = self.http_port if taken == "php" else self.php_port
                self.assertFalse(listens(other), "the server started before the failure still runs")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
