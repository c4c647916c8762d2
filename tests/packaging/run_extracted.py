#!/usr/bin/env python3
"""Runs the programs of an unpacked Debian package as an installed system would,
with nothing from the build tree: trovewick-cli --help, a crawl of a small site
served on a free loopback port, and the window program on Qt's offscreen
platform until its window is up (it asks for the sponsor feed right after
showing the window; the request goes to a stand-in proxy here), then ended
with SIGTERM, which must end it cleanly with status 0.

    run_extracted.py ROOT SITE_DIR SCRATCH_DIR

ROOT is where `dpkg-deb -x` unpacked the package; SITE_DIR is
tests/data/sites/127.0.0.1; SCRATCH_DIR an empty folder for the settings and
temporary files. Exits 0 when every step passes and 1 at the first that fails.
"""

import functools
import http.server
import os
import signal
import subprocess
import sys
import threading
import time

FEED = "http://www.trovewick.example/info2.0.xml"
# The longest a step may take before it counts as hung: far above what any
# takes on a loaded CI machine, short enough not to stall the run.
STEP_TIMEOUT = 60


def fail(message, output=None):
    print(f"FAIL: {message}", flush=True)
    if output:
        print(output.rstrip(), flush=True)
    sys.exit(1)


def clean_environment(scratch):
    """The environment of a user's shell, less anything that could make the
    programs load libraries or plugins from elsewhere or leave the machine."""
    env = {
        key: value
        for key, value in os.environ.items()
        if key not in ("LD_LIBRARY_PATH", "LD_PRELOAD", "QT_PLUGIN_PATH", "QT_QPA_PLATFORM",
                       "QT_QPA_PLATFORM_PLUGIN_PATH")
        and key.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")
    }
    for name in ("config", "data", "tmp"):
        os.makedirs(os.path.join(scratch, name), exist_ok=True)
    env.update(
        XDG_CONFIG_HOME=os.path.join(scratch, "config"),
        XDG_DATA_HOME=os.path.join(scratch, "data"),
        TMPDIR=os.path.join(scratch, "tmp"),
        LC_ALL="C.UTF-8",
        LANG="C.UTF-8",
        TZ="UTC",
    )
    return env


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):
        pass


def serve(handler):
    """Starts an HTTP server on a free loopback port in a thread."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def check_help(cli, env):
    result = subprocess.run([cli, "--help"], env=env, capture_output=True, text=True,
                            timeout=STEP_TIMEOUT)
    if result.returncode != 0 or "Usage:" not in result.stdout or "--max-pages" not in result.stdout:
        fail(f"trovewick-cli --help exited {result.returncode}", result.stdout + result.stderr)
    print("ok: trovewick-cli --help", flush=True)


def check_crawl(cli, site, env):
    server = serve(functools.partial(QuietHandler, directory=site))
    try:
        base = f"http://127.0.0.1:{server.server_address[1]}"
        result = subprocess.run([cli, "--interval", "0", "--quiet", base + "/index.htm"], env=env,
                                capture_output=True, text=True, timeout=STEP_TIMEOUT)
    finally:
        server.shutdown()
        server.server_close()
    found = sorted(result.stdout.split())
    expected = sorted(base + path for path in ("/pic.gif", "/c.jpg", "/d.mp3"))
    if result.returncode != 0 or found != expected:
        fail(f"the crawl of {base}/index.htm exited {result.returncode} and found {found}, "
             f"not {expected}", result.stderr)
    print(f"ok: trovewick-cli crawled {base}/index.htm and found {len(found)} files", flush=True)


def check_window(program, env, scratch):
    requested = []
    seen = threading.Event()

    class ProxyHandler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            requested.append(self.path)
            seen.set()
            self.send_error(404)

        def log_message(self, format, *args):
            pass

    proxy = serve(ProxyHandler)
    env = dict(env, QT_QPA_PLATFORM="offscreen",
               http_proxy=f"http://127.0.0.1:{proxy.server_address[1]}")
    log_path = os.path.join(scratch, "trovewick.log")
    try:
        with open(log_path, "w+") as log:
            window = subprocess.Popen([program], env=env, stdout=log, stderr=subprocess.STDOUT)
            deadline = time.monotonic() + STEP_TIMEOUT
            # Whichever comes first: the feed request, the program ending, the deadline.
            while not seen.wait(0.05):
                if window.poll() is not None or time.monotonic() > deadline:
                    break
            running = window.poll() is None
            if running:
                window.send_signal(signal.SIGTERM)
                try:
                    status = window.wait(timeout=STEP_TIMEOUT)
                except subprocess.TimeoutExpired:
                    window.kill()
                    window.wait()
                    status = "none: it did not end within the time allowed"
            else:
                status = window.returncode
            log.seek(0)
            output = log.read()
    finally:
        proxy.shutdown()
        proxy.server_close()

    if not running:
        fail(f"trovewick ended by itself with status {status} before its window was up", output)
    if not requested or requested[0] != FEED:
        fail(f"trovewick did not ask for the sponsor feed within {STEP_TIMEOUT} s "
             f"(requests: {requested})", output)
    if status != 0:
        fail(f"trovewick ended with status {status} on SIGTERM, not 0", output)
    print(f"ok: trovewick showed its window, asked for {FEED} and ended with 0 on SIGTERM", flush=True)


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    root, site, scratch = (os.path.abspath(arg) for arg in sys.argv[1:])
    cli = os.path.join(root, "usr/bin/trovewick-cli")
    program = os.path.join(root, "usr/bin/trovewick")
    env = clean_environment(scratch)
    check_help(cli, env)
    check_crawl(cli, site, env)
    check_window(program, env, scratch)
    return 0


if __name__ == "__main__":
    sys.exit(main())
