#!/usr/bin/env python3
"""A stand-in for the video site, for the download tests.

    fake_site.py CONFIG.json

Serves on 127.0.0.1 on a free port, prints the port on the first line of
standard output and runs until standard input closes. The configuration:

    {"videos": {"ID": {
        "title": "T",              # the title tag's content, as it stands
        "title_tag": true,         # false: the page has no title tag
        "id_link": true,           # false: the page has no watch link
        "info_raw": "...",         # replaces the whole video-info text
        "streams": [{"itag": 18,
                     "mode": "ok" | "404" | "slow" | "drop" | "trickle",  # trickle: a byte a second
                     "size": 4096,        # body bytes (generated)
                     "file": "/path",     # or the body from this file
                     "chunk": 65536, "delay": 0.05,   # for "slow"
                     "url": "..."}],      # replaces the stream address
        "video_tag": "NAME"        # the watch page also holds <video src=/media/NAME>
    }},
     "pages": {"/PATH": {          # other pages: HTML5 video pages, for yt-dlp
        "title": "T",
        "status": 200,             # 404: a "not found" page
        "sources": ["NAME", ...],  # one <source> each, with its height
        "src": "NAME"}},           # or the <video> tag's own src
     "media": {"NAME": {"file": "/path", "height": 240,
                        "mode": "ok" | "slow" | "stall",   # stall: some bytes, then silence
                        "chunk": 16384, "delay": 0.05}}}

Pages:
    /watch?v=ID                   watch page
    /get_video_info?video_id=ID   form-encoded info text with the stream map
    /videoplayback?id=ID&itag=N&signature=S   the stream body
    /_log                         the requests so far, one JSON object each
    /PATH                         a page of "pages"
    /media/NAME                   a body of "media"
"""
import html
import json
import os
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CONFIG = {}
STOP = threading.Event()
LOG = []
LOG_LOCK = threading.Lock()


def signature(video_id, itag):
    return "SIG%s%s" % (itag, video_id)


PATTERN = bytes(range(256))


class Body:
    """A stream body: a file's bytes, or bytes 0..255 repeated, made chunk by
    chunk so that large bodies take no memory."""

    def __init__(self, stream):
        self.path = stream.get("file")
        if self.path:
            self.size = os.path.getsize(self.path)
        else:
            self.size = int(stream.get("size", 4096))

    def chunk(self, offset, length):
        length = max(0, min(length, self.size - offset))
        if self.path:
            with open(self.path, "rb") as f:
                f.seek(offset)
                return f.read(length)
        start = offset % 256
        return (PATTERN * (length // 256 + 2))[start:start + length]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def host(self):
        return "127.0.0.1:%d" % self.server.server_address[1]

    def send_text(self, code, text, content_type="text/html; charset=utf-8"):
        data = text.encode("utf-8") if isinstance(text, str) else text
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        with LOG_LOCK:
            LOG.append({"path": self.path, "agent": self.headers.get("User-Agent", ""),
                        "accept": self.headers.get("Accept", ""),
                        "connection": self.headers.get("Connection", "")})
        videos = CONFIG.get("videos", {})
        if url.path == "/_log":
            with LOG_LOCK:
                self.send_text(200, json.dumps(LOG), "application/json")
            return
        if url.path == "/watch":
            video_id = query.get("v", [""])[0]
            video = videos.get(video_id)
            if video is None:
                self.send_text(404, "no such video")
                return
            self.send_text(200, self.watch_page(video_id, video))
            return
        if url.path == "/get_video_info":
            video_id = query.get("video_id", [""])[0]
            video = videos.get(video_id)
            if video is None:
                self.send_text(200, "status=fail&errorcode=150&reason=Invalid+parameters.", "text/plain")
                return
            self.send_text(200, video.get("info_raw") or self.info_text(video_id, video), "text/plain")
            return
        if url.path == "/videoplayback":
            self.stream(query)
            return
        page = CONFIG.get("pages", {}).get(url.path)
        if page is not None:
            self.send_text(int(page.get("status", 200)), self.html5_page(page))
            return
        if url.path.startswith("/media/"):
            self.media(url.path[len("/media/"):])
            return
        self.send_text(404, "not found")

    def html5_page(self, page):
        media = CONFIG.get("media", {})
        if page.get("src"):
            video = '<video controls src="/media/%s"></video>' % page["src"]
        else:
            sources = "".join(
                '<source src="/media/%s" type="video/mp4" res="%d" label="%dp">' % (
                    name, media[name].get("height", 0), media[name].get("height", 0))
                for name in page.get("sources", []))
            video = "<video controls>%s</video>" % sources
        return "<html><head><title>%s</title></head><body>\n%s\n</body></html>\n" % (
            html.escape(page.get("title", "")), video)

    def media(self, name):
        item = CONFIG.get("media", {}).get(name)
        if item is None:
            self.send_text(404, "not found")
            return
        self.send_body(Body(item), "video/mp4", item)

    def watch_page(self, video_id, video):
        head = ""
        if video.get("title_tag", True):
            head = '<meta name="title" content="%s">\n' % video.get("title", "")
        if video.get("video_tag"):
            head += '<title>%s</title>\n' % html.escape(video.get("title", ""))
        body = '<p>A video page</p>\n'
        if video.get("id_link", True):
            body += '<link rel="canonical" href="http://%s/watch?v=%s">\n' % (self.host(), video_id)
        if video.get("video_tag"):
            body += '<video controls src="/media/%s"></video>\n' % video["video_tag"]
        return "<html>\n<head>\n%s</head>\n<body>\n%s</body>\n</html>\n" % (head, body)

    def info_text(self, video_id, video):
        items = []
        for stream in video.get("streams", []):
            itag = stream["itag"]
            address = stream.get("url") or "http://%s/videoplayback?id=%s&itag=%s&ipbits=8" % (
                self.host(), video_id, itag)
            fields = ["itag=%s" % itag,
                      "url=" + urllib.parse.quote(address, safe=""),
                      "sig=" + signature(video_id, itag),
                      "type=" + urllib.parse.quote('video/x-flv; codecs="a"', safe="")]
            items.append("&".join(fields))
        stream_map = urllib.parse.quote(",".join(items), safe="")
        return "status=ok&author=tester&url_encoded_fmt_stream_map=%s&title=%s" % (
            stream_map, urllib.parse.quote(video.get("title", "")))

    def stream(self, query):
        video_id = query.get("id", [""])[0]
        itag = query.get("itag", [""])[0]
        video = CONFIG.get("videos", {}).get(video_id, {})
        streams = [s for s in video.get("streams", []) if str(s["itag"]) == itag]
        if not streams or query.get("signature", [""])[0] != signature(video_id, itag):
            self.send_text(403, "forbidden")
            return
        stream = streams[0]
        mode = stream.get("mode", "ok")
        if mode == "404":
            self.send_text(404, "gone")
            return
        self.send_body(Body(stream), "video/x-flv", stream)

    def send_body(self, body, content_type, stream):
        mode = stream.get("mode", "ok")
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(body.size))
        self.end_headers()
        if mode == "stall":
            # Some bytes, then nothing until the client goes or the test ends.
            try:
                self.wfile.write(body.chunk(0, min(body.size // 4, 65536)))
                self.wfile.flush()
                STOP.wait(600)
            except (BrokenPipeError, ConnectionResetError):
                pass
            self.close_connection = True
            return
        if mode == "drop":
            self.wfile.write(body.chunk(0, body.size // 2))
            self.wfile.flush()
            self.close_connection = True
            return
        if mode == "trickle":
            stream = dict(stream, chunk=1, delay=1.0)
        chunk = int(stream.get("chunk", 65536))
        delay = float(stream.get("delay", 0.05)) if mode in ("slow", "trickle") else 0.0
        try:
            if body.path and not delay:
                # Large files for the benchmark: the kernel copies them.
                self.wfile.flush()
                with open(body.path, "rb") as f:
                    self.connection.sendfile(f)
                return
            for i in range(0, body.size, chunk):
                self.wfile.write(body.chunk(i, chunk))
                if delay:
                    self.wfile.flush()
                    time.sleep(delay)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True


def main():
    global CONFIG
    with open(sys.argv[1], encoding="utf-8") as f:
        CONFIG = json.load(f)
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    # Ends when the test closes our standard input (or dies).
    sys.stdin.read()
    STOP.set()
    server.shutdown()


if __name__ == "__main__":
    main()
