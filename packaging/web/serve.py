"""Serves a folder over HTTP on 127.0.0.1 and prints the address to open: the browser
build (make serve-web) or an unpacked web release. Browsers refuse to fetch the demo's
files from a file:// page, so even a local look needs a server.
Usage: serve.py FOLDER [PORT]"""
import functools
import http.server
import sys

folder = sys.argv[1]
port = int(sys.argv[2]) if len(sys.argv) > 2 else 8000


class Handler(http.server.SimpleHTTPRequestHandler):
    # Browsers compile wasm while it streams only when it is sent as wasm.
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm"}

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", port),
                                         functools.partial(Handler, directory=folder))
print(f"Norrvale is at http://127.0.0.1:{server.server_address[1]}/ (Ctrl-C stops the server)",
      flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    pass
