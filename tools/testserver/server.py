#!/usr/bin/env python3
"""Fault-injecting HTTPS server for Setup's tests and the demo (Python standard library only).

Serves the files of a release folder over TLS on localhost: URL path /plannix/app/x is the
file RELEASE_DIR/plannix/app/x. GET and HEAD only. It stops by itself after --lifetime seconds.

  server.py --root RELEASE_DIR --cert server.pem --key server.key [--port 8443]
            [--log FILE] [--lifetime 300] [--ready-file FILE] [--parent PID]
            [--fault PATH SPEC]... [--faults-file FILE]

A fault applies to one URL path (exact match, without the query). SPEC is a comma-separated list:
  status=N     answer status N with a short text body instead of the file
  drop=N       send the headers (full Content-Length) and the first N bytes of the body, then
               close the connection without a TLS close_notify
  reset        with drop: end the connection with a TCP reset instead of a plain close
  torn         with drop: send the start of a TLS record that never ends before closing
  chunked      send the body with chunked transfer coding (with drop: no final chunk)
  slow=N/S     send the body N bytes at a time with S seconds of sleep before each piece
A faults file holds lines "PATH SPEC" (blank lines and "#" comments allowed) and is read again
on every request, so a running test can change the faults; its lines win over --fault.

The log (truncated at start) gets one line per request, "METHOD PATH STATUS", written and flushed
before the response is sent, so a client that has seen the status also finds the line.
"""
import argparse
import http.server
import os
import posixpath
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse


class Fault:
    def __init__(self, spec):
        self.status = None
        self.drop = None
        self.piece = None
        self.delay = 0.0
        self.reset = False
        self.torn = False
        self.chunked = False
        for item in filter(None, (s.strip() for s in spec.split(','))):
            name, _, value = item.partition('=')
            if name == 'status':
                self.status = int(value)
            elif name == 'drop':
                self.drop = int(value)
            elif name == 'reset' and not value:
                self.reset = True
            elif name == 'torn' and not value:
                self.torn = True
            elif name == 'chunked' and not value:
                self.chunked = True
            elif name == 'slow':
                piece, _, delay = value.partition('/')
                self.piece, self.delay = int(piece), float(delay or 0)
                if self.piece <= 0:
                    raise ValueError('slow needs a positive piece size: %r' % spec)
            else:
                raise ValueError('unknown fault %r' % item)


def read_faults_file(path):
    faults = {}
    try:
        with open(path, encoding='utf-8') as f:
            for line in f:
                line = line.strip()
                if line and not line.startswith('#'):
                    url, _, spec = line.partition(' ')
                    faults[url] = Fault(spec)
    except FileNotFoundError:
        pass
    return faults


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'
    # TCP_NODELAY, as real web servers set it: on a reused keep-alive connection each small
    # response would otherwise wait about 40 ms for the client's delayed ACK.
    disable_nagle_algorithm = True
    server_version = 'plannix-testserver'
    sys_version = ''

    def log_message(self, format, *args):  # the request log replaces the console noise
        pass

    def do_HEAD(self):
        self.answer(send_body=False)

    def do_GET(self):
        self.answer(send_body=True)

    def answer(self, send_body):
        cfg = self.server.cfg
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        fault = cfg.fault_for(path)
        body, status = None, 200
        if fault and fault.status is not None:
            status = fault.status
            body = ('status %d\n' % status).encode()
        else:
            body = self.read_release_file(path)
            if body is None:
                status, body = 404, b'not found\n'
        cfg.log_request(self.command, path, status)

        chunked = bool(fault and fault.chunked)
        dropped = fault is not None and fault.drop is not None
        self.send_response(status)
        self.send_header('Content-Type', 'application/octet-stream')
        if chunked:
            self.send_header('Transfer-Encoding', 'chunked')
        else:
            self.send_header('Content-Length', str(len(body)))
        if dropped:
            self.send_header('Connection', 'close')
        self.end_headers()
        if not send_body:
            return
        if dropped:
            body = body[:fault.drop]
        piece = fault.piece if fault and fault.piece else max(len(body), 1)
        try:
            for at in range(0, len(body), piece):
                if fault and fault.delay:
                    time.sleep(fault.delay)
                data = body[at:at + piece]
                self.wfile.write(b'%x\r\n%s\r\n' % (len(data), data) if chunked else data)
            if chunked and not dropped:
                self.wfile.write(b'0\r\n\r\n')
        except (ConnectionError, ssl.SSLError, OSError):
            self.close_connection = True  # the client went away (a cancelled download)
            return
        if dropped:
            self.close_connection = True
            if fault.torn:
                # Below TLS: a record header announcing 64 bytes, then only 16 of them.
                os.write(self.connection.fileno(), b'\x17\x03\x03\x00\x40' + bytes(16))
            if fault.reset:
                # Linger with a zero timeout: close() then sends RST instead of FIN.
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                           struct.pack('ii', 1, 0))
                self.connection.plannix_reset = True

    def read_release_file(self, path):
        clean = posixpath.normpath(path)
        if not clean.startswith('/') or '..' in clean.split('/'):
            return None
        full = os.path.join(self.server.cfg.root, clean.lstrip('/'))
        if not os.path.isfile(full):
            return None
        with open(full, 'rb') as f:
            return f.read()


class Config:
    def __init__(self, a):
        self.root = os.path.abspath(a.root)
        self.faults = {path: Fault(spec) for path, spec in a.fault}
        self.faults_file = a.faults_file
        self.lock = threading.Lock()
        self.log = open(a.log, 'w', encoding='utf-8') if a.log else None

    def fault_for(self, path):
        faults = dict(self.faults)
        if self.faults_file:
            faults.update(read_faults_file(self.faults_file))
        return faults.get(path)

    def log_request(self, method, path, status):
        if self.log:
            with self.lock:
                self.log.write('%s %s %d\n' % (method, path, status))
                self.log.flush()


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def shutdown_request(self, request):
        # A shutdown would send FIN ahead of the reset.
        if getattr(request, 'plannix_reset', False):
            self.close_request(request)
        else:
            super().shutdown_request(request)

    def handle_error(self, request, client_address):
        # Handshakes refused by a client that does not trust the CA, and cancelled downloads,
        # are part of the tests; one line is enough.
        print('testserver: %s' % sys.exc_info()[1], file=sys.stderr)


def watch(httpd, lifetime, parent):
    deadline = time.monotonic() + lifetime
    while time.monotonic() < deadline:
        if parent:
            try:
                os.kill(parent, 0)
            except ProcessLookupError:
                break
        time.sleep(0.2)
    httpd.shutdown()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--root', required=True, help='release folder')
    ap.add_argument('--cert', required=True, help='server certificate chain, PEM')
    ap.add_argument('--key', required=True, help='server private key, PEM')
    ap.add_argument('--port', type=int, default=8443)
    ap.add_argument('--log', help='request log file')
    ap.add_argument('--lifetime', type=float, default=300, help='seconds before it stops')
    ap.add_argument('--ready-file', help='written with the port once the server listens')
    ap.add_argument('--parent', type=int, help='stop as soon as this process is gone')
    ap.add_argument('--fault', nargs=2, action='append', default=[], metavar=('PATH', 'SPEC'))
    ap.add_argument('--faults-file')
    a = ap.parse_args()

    cfg = Config(a)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(a.cert, a.key)
    # Loopback only: the tests never reach any other address.
    httpd = Server(('127.0.0.1', a.port), Handler)
    httpd.cfg = cfg
    # The handshake runs in the request's thread, so a stalled client cannot block accept().
    httpd.socket = context.wrap_socket(httpd.socket, server_side=True,
                                       do_handshake_on_connect=False)
    # A test killed on its time limit cannot stop us, so the port is freed by these instead.
    threading.Thread(target=watch, args=(httpd, a.lifetime, a.parent), daemon=True).start()
    if a.ready_file:
        with open(a.ready_file + '.tmp', 'w') as f:
            f.write('%d\n' % a.port)
        os.replace(a.ready_file + '.tmp', a.ready_file)
    try:
        httpd.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    finally:
        httpd.server_close()


if __name__ == '__main__':
    main()
