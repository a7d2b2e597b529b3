#!/usr/bin/python3
"""Runs Debian's vsftpd on 127.0.0.1 with a configuration of its own, for the
delivery tests and the upload benchmark. Anonymous logon (any password) with
uploads, folders and deletion allowed, chrooted to --folder/root, whose
"www" folder belongs to the "ftp" user (vsftpd refuses a writable root).
Writes the port to --port-file once the server greets; stops vsftpd when it
is stopped itself. Needs root, as vsftpd does for its chroot.

With --tls-certificate and --tls-key, logins and data connections must use
TLS (AUTH TLS, PROT P), with the TLS session of the control connection
reused on every data connection, as vsftpd requires by default."""

import argparse
import os
import pwd
import signal
import socket
import subprocess
import sys
import time

CONFIGURATION = """listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port={port}
background=NO
anonymous_enable=YES
local_enable=NO
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
anon_umask=022
anon_root={root}
no_anon_password=YES
ftp_username=ftp
secure_chroot_dir={empty}
pasv_enable=YES
port_enable=YES
connect_from_port_20=NO
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
dirmessage_enable=NO
xferlog_enable=YES
xferlog_std_format=NO
log_ftp_protocol=YES
vsftpd_log_file={log}
"""

TLS_CONFIGURATION = """ssl_enable=YES
allow_anon_ssl=YES
force_anon_logins_ssl=YES
force_anon_data_ssl=YES
ssl_tlsv1=YES
ssl_sslv2=NO
ssl_sslv3=NO
require_ssl_reuse=YES
rsa_cert_file={certificate}
rsa_private_key_file={key}
"""


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def greets(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1) as connection:
            return connection.recv(64).startswith(b"220")
    except OSError:
        return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--tls-certificate")
    parser.add_argument("--tls-key")
    arguments = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("vsftpd_server.py: vsftpd needs root for its chroot")

    folder = os.path.abspath(arguments.folder)
    root = os.path.join(folder, "root")
    empty = os.path.join(folder, "empty")
    www = os.path.join(root, "www")
    for path in (root, empty, www):
        os.makedirs(path, exist_ok=True)
    # The anonymous user must reach its root but not write to it.
    for path in (folder, root, empty):
        os.chmod(path, 0o755)
    ftp = pwd.getpwnam("ftp")
    os.chown(www, ftp.pw_uid, ftp.pw_gid)

    port = free_port()
    configuration = os.path.join(folder, "vsftpd.conf")
    with open(configuration, "w") as file:
        file.write(CONFIGURATION.format(port=port, root=root, empty=empty, log=os.path.join(folder, "vsftpd.log")))
        if arguments.tls_certificate:
            file.write(TLS_CONFIGURATION.format(certificate=os.path.abspath(arguments.tls_certificate),
                                                key=os.path.abspath(arguments.tls_key)))
    # vsftpd and the session processes it forks share a process group of their own.
    server = subprocess.Popen(["/usr/sbin/vsftpd", configuration], start_new_session=True)
    # Stopping this script stops all of them; the wait below then returns.
    signal.signal(signal.SIGTERM, lambda *_: os.killpg(server.pid, signal.SIGTERM))

    deadline = time.monotonic() + 15
    while not greets(port):
        if server.poll() is not None or time.monotonic() > deadline:
            os.killpg(server.pid, signal.SIGKILL)
            sys.exit("vsftpd_server.py: vsftpd did not start")
        time.sleep(0.05)
    written = arguments.port_file + ".tmp"
    with open(written, "w") as file:
        file.write(str(port))
    os.rename(written, arguments.port_file)
    server.wait()


if __name__ == "__main__":
    main()
