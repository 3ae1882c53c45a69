"""A yt-dlp release folder served slowly, for cancelling an update under way.

/slow/NAME sends the file NAME of --root in pieces of 4 KB every 50 ms.
"""
import os
import time
import urllib.parse

from http_test_server import ARGS, route


@route("/slow/")
def slow_file(req, q):
    name = os.path.basename(urllib.parse.unquote(urllib.parse.urlsplit(req.path).path[len("/slow/"):]))
    try:
        with open(os.path.join(ARGS.root, name), "rb") as f:
            data = f.read()
    except OSError:
        req.send_error(404)
        return
    req.send_response(200)
    req.send_header("Content-Type", "application/octet-stream")
    req.send_header("Content-Length", str(len(data)))
    req.end_headers()
    for i in range(0, len(data), 4096):
        req.wfile.write(data[i:i + 4096])
        req.wfile.flush()
        time.sleep(0.05)
