#!/usr/bin/env python3
"""A test web server for several sites at once, on 127.0.0.1.

Serves ROOT/<host>/<path>, the host taken from the request: the absolute address
a client sends to a proxy, else the Host header. So with http_proxy pointing at
this server, names such as site-a.test need no name service. Prints the port it
listens on as its first line, then serves until it is killed or its standard
input closes.
"""
import http.server
import os
import posixpath
import sys
import threading
import urllib.parse


class SiteHandler(http.server.SimpleHTTPRequestHandler):
    root = "."

    def translate_path(self, path):
        parsed = urllib.parse.urlsplit(path)
        host = parsed.hostname or (self.headers.get("Host") or "").split(":")[0]
        folder = os.path.join(self.root, host or "127.0.0.1")
        clean = posixpath.normpath(urllib.parse.unquote(parsed.path or "/"))
        parts = [p for p in clean.split("/") if p not in ("", ".", "..")]
        return os.path.join(folder, *parts)

    def log_message(self, *args):
        pass


def main():
    SiteHandler.root = os.path.abspath(sys.argv[1])
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), SiteHandler)
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()  # the test closes our input (or dies) when it is done


if __name__ == "__main__":
    main()
