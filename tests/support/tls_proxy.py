#!/usr/bin/env python3
"""A TLS-terminating front for the test HTTP server, so that its routes (faults
included) can be fetched over https.

    tls_proxy.py --cert CERT.pem --key KEY.pem --backend PORT
                 [--host 127.0.0.1] [--port 0] [--port-file FILE]

Listens on host:port (port 0 picks a free one) with the given certificate (a PEM
file that may hold the chain behind it) and key, prints "PORT=<n>" on stdout and,
with --port-file, writes the bare number to FILE once it listens. Each accepted
connection gets a TLS handshake; its plain bytes then go to a new connection to
127.0.0.1:BACKEND and the answers come back, both ways until one side ends. A
backend that closes cleanly ends the TLS session with close_notify; a reset or a
client that goes away closes the other side at once. Every handshake that fails
is written to stderr as "HANDSHAKE FAILED <peer> <reason>" and every session
that ends without one request forwarded as "NO REQUEST <peer>": a client that
refuses the certificate after the handshake shows up that way. Runs until SIGTERM
or SIGINT. Python standard library only.
"""

import argparse
import os
import select
import signal
import socket
import ssl
import sys
import threading

CHUNK = 65536
HANDSHAKE_SECONDS = 15


def note(text):
    sys.stderr.write(text + "\n")
    sys.stderr.flush()


def close_quietly(sock):
    try:
        sock.close()
    except OSError:
        pass


def pump(tls, backend, peer):
    """Copies bytes both ways; returns when either side has ended."""
    forwarded = 0
    clean_backend_end = False
    try:
        while True:
            # Bytes already decrypted inside the TLS object do not wake select.
            if tls.pending():
                readable = [tls]
            else:
                readable, _, _ = select.select([tls, backend], [], [])
            if tls in readable:
                try:
                    data = tls.recv(CHUNK)
                except (ssl.SSLError, OSError):
                    data = b""
                if not data:
                    break
                backend.sendall(data)
                forwarded += len(data)
            if backend in readable:
                try:
                    data = backend.recv(CHUNK)
                except (ConnectionResetError, OSError):
                    break
                if not data:
                    clean_backend_end = True
                    break
                tls.sendall(data)
    except (ssl.SSLError, OSError):
        clean_backend_end = False
    if forwarded == 0:
        note("NO REQUEST %s" % peer)
    if clean_backend_end:
        try:
            tls.settimeout(2)
            tls.unwrap()
        except (ssl.SSLError, OSError, ValueError):
            pass


def serve(context, raw, peer, backend_port):
    try:
        raw.settimeout(HANDSHAKE_SECONDS)
        try:
            tls = context.wrap_socket(raw, server_side=True)
        except (ssl.SSLError, OSError) as error:
            note("HANDSHAKE FAILED %s %s" % (peer, getattr(error, "reason", None) or error))
            return
        tls.settimeout(None)
        try:
            backend = socket.create_connection(("127.0.0.1", backend_port))
        except OSError as error:
            note("BACKEND UNREACHABLE %s %s" % (peer, error))
            close_quietly(tls)
            return
        try:
            pump(tls, backend, peer)
        finally:
            close_quietly(backend)
            close_quietly(tls)
    finally:
        close_quietly(raw)


def main():
    parser = argparse.ArgumentParser(description="TLS front for the test HTTP server")
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--backend", type=int, required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    args = parser.parse_args()

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    # A front started again on the port of an earlier one must get it at once.
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((args.host, args.port))
    listener.listen(64)
    port = listener.getsockname()[1]

    def stop(*_):
        raise SystemExit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write(str(port))
        os.replace(tmp, args.port_file)  # readers never see a half-written number
    print("PORT=%d" % port, flush=True)
    try:
        while True:
            raw, address = listener.accept()
            peer = "%s:%d" % address
            threading.Thread(target=serve, args=(context, raw, peer, args.backend), daemon=True).start()
    except SystemExit:
        pass
    finally:
        listener.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
