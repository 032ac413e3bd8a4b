#!/usr/bin/python3
"""chromiumplay.py URL SECONDS TIMEOUT: loads URL in headless chromium, plays
its first <audio> until currentTime passes SECONDS (or TIMEOUT seconds go by)
and prints JSON: currentTime, media error code, play()'s result and the text
of every <h2>.  Driven over the DevTools WebSocket with the standard library."""
import base64, json, os, shutil, socket, struct, subprocess, sys, tempfile, time, urllib.request


class DevTools:
    def __init__(self, port, path):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=30)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall(f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                          f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n".encode())
        head = b""
        while b"\r\n\r\n" not in head:
            head += self.sock.recv(1)
        assert b" 101 " in head.split(b"\r\n")[0], head
        self.id = 0

    def read(self, n):
        data = b""
        while len(data) < n:
            piece = self.sock.recv(n - len(data))
            assert piece, "DevTools closed"
            data += piece
        return data

    def evaluate(self, expression):
        self.id += 1
        payload = json.dumps({"id": self.id, "method": "Runtime.evaluate", "params": {
            "expression": expression, "awaitPromise": True, "returnByValue": True}}).encode()
        mask = os.urandom(4)
        size = struct.pack("!BH", 0xFE, len(payload)) if len(payload) > 125 else struct.pack("!B", 0x80 | len(payload))
        self.sock.sendall(b"\x81" + size + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))
        while True:
            message, final = b"", False
            while not final:
                first, second = self.read(2)
                n = second & 0x7F
                n = struct.unpack("!H", self.read(2))[0] if n == 126 else struct.unpack("!Q", self.read(8))[0] if n == 127 else n
                message += self.read(n)
                final = first & 0x80
            reply = json.loads(message)
            if reply.get("id") == self.id:
                return reply["result"]["result"].get("value")


def main():
    url, mark, timeout = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
    deadline = time.monotonic() + timeout
    profile = tempfile.mkdtemp()
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    browser = subprocess.Popen(
        ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--autoplay-policy=no-user-gesture-required",
         "--disable-background-networking", "--disable-component-update", "--disable-sync", "--no-first-run",
         f"--user-data-dir={profile}", f"--remote-debugging-port={port}", url],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        page = None
        while page is None and time.monotonic() < deadline:
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=5) as answer:
                    page = next((t for t in json.load(answer) if t.get("url") == url), None)
            except OSError:
                pass
            time.sleep(0.2)
        tools = DevTools(port, "/devtools/page/" + page["id"])
        while tools.evaluate("location.href + document.readyState") != url + "complete" and time.monotonic() < deadline:
            time.sleep(0.2)
        state = {"play": tools.evaluate("document.querySelector('audio').play().then(() => 'ok', e => String(e))")}
        while time.monotonic() < deadline:
            state.update(json.loads(tools.evaluate("(a => JSON.stringify({t: a.currentTime, error: a.error ? "
                                                   "a.error.code : 0}))(document.querySelector('audio'))")))
            if state["t"] > mark or state["error"]:
                break
            time.sleep(0.2)
        state["titles"] = tools.evaluate("[...document.querySelectorAll('h2')].map(h => h.textContent)")
        print(json.dumps(state))
    finally:
        browser.kill()
        browser.wait()
        shutil.rmtree(profile, ignore_errors=True)


main()
