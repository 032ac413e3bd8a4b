#!/usr/bin/python3
"""Plays a page's first <audio> element in headless chromium.

Usage: chromiumplay.py URL SECONDS TIMEOUT

Loads URL, starts the first audio element and waits until its currentTime
passes SECONDS (or TIMEOUT seconds go by), then prints one JSON object:
the element's currentTime, its media error code (0 for none), the result
of play() and the text of every <h2>.  Chromium is driven through its
DevTools protocol over a WebSocket, with the standard library only.
"""
import base64
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request


class DevTools:
    def __init__(self, port, path):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=30)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n"
                           f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        head = b""
        while b"\r\n\r\n" not in head:
            head += self.sock.recv(1)
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise RuntimeError(head.decode(errors="replace"))
        self.next_id = 0

    def _recv_exact(self, n):
        data = b""
        while len(data) < n:
            piece = self.sock.recv(n - len(data))
            if not piece:
                raise RuntimeError("DevTools connection closed")
            data += piece
        return data

    def _send(self, text):
        payload = text.encode()
        mask = os.urandom(4)
        n = len(payload)
        if n < 126:
            header = struct.pack("!BB", 0x81, 0x80 | n)
        elif n < 65536:
            header = struct.pack("!BBH", 0x81, 0x80 | 126, n)
        else:
            header = struct.pack("!BBQ", 0x81, 0x80 | 127, n)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(header + mask + masked)

    def _recv(self):
        message = b""
        while True:
            first, second = self._recv_exact(2)
            n = second & 0x7F
            if n == 126:
                n = struct.unpack("!H", self._recv_exact(2))[0]
            elif n == 127:
                n = struct.unpack("!Q", self._recv_exact(8))[0]
            message += self._recv_exact(n)
            if first & 0x80:
                return message.decode()

    def call(self, method, **params):
        self.next_id += 1
        self._send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            reply = json.loads(self._recv())
            if reply.get("id") == self.next_id:
                return reply.get("result", {})

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, awaitPromise=True, returnByValue=True)
        return result.get("result", {}).get("value")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    url, mark, timeout = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
    profile = tempfile.mkdtemp()
    port = free_port()
    browser = subprocess.Popen(
        ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--autoplay-policy=no-user-gesture-required",
         "--disable-background-networking", "--disable-component-update", "--disable-sync", "--no-first-run",
         f"--user-data-dir={profile}", f"--remote-debugging-port={port}", "about:blank"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + timeout
        page = None
        while page is None:
            if time.monotonic() > deadline:
                raise RuntimeError("chromium did not offer a page")
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=5) as answer:
                    page = next((t for t in json.load(answer) if t.get("type") == "page"), None)
            except OSError:
                time.sleep(0.2)
        tools = DevTools(port, "/devtools/page/" + page["id"])
        tools.call("Page.enable")
        tools.call("Page.navigate", url=url)
        while tools.evaluate("document.readyState + ':' + location.href") != "complete:" + url:
            if time.monotonic() > deadline:
                raise RuntimeError("the page did not load")
            time.sleep(0.2)
        played = tools.evaluate("document.querySelector('audio').play().then(() => 'ok', e => String(e))")
        state = {}
        while time.monotonic() < deadline:
            state = json.loads(tools.evaluate(
                "(a => JSON.stringify({t: a.currentTime, error: a.error ? a.error.code : 0}))"
                "(document.querySelector('audio'))"))
            if state["t"] > mark or state["error"]:
                break
            time.sleep(0.2)
        state["play"] = played
        state["titles"] = tools.evaluate("[...document.querySelectorAll('h2')].map(h => h.textContent)")
        print(json.dumps(state))
    finally:
        browser.kill()
        browser.wait()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    main()
