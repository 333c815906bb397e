#!/usr/bin/env python3
"""Starts and stops the Linux stand-in account server for the suites under Wine, which get no
process handle for a host program they start. Listens on 127.0.0.1 at a free port (printed):
  POST /start  body: JSON list of arguments -> a fresh server on --port 0; answers its port
  POST /stop   body: a port -> that server ended by its pid
Runs only the executable named on its command line; ends every server it started on exit."""
import http.server, json, re, signal, subprocess, sys, threading

server_exe = sys.argv[1]
servers = {}  # port -> Popen
lock = threading.Lock()


def drain(stream):
    for _ in stream:
        pass


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        try:
            status, answer = 200, getattr(self, "handle_" + self.path.strip("/"))(body)
        except Exception as error:  # the test shows the reason
            status, answer = 400, repr(error)
        self.send_response(status)
        self.send_header("Content-Length", str(len(answer.encode())))
        self.end_headers()
        self.wfile.write(answer.encode())

    def handle_start(self, body):
        arguments = json.loads(body)
        if not all(isinstance(a, str) for a in arguments):
            raise ValueError("arguments must be strings")
        process = subprocess.Popen([server_exe, *arguments, "--port", "0"],
                                   stdout=subprocess.PIPE, text=True)
        line = process.stdout.readline()
        found = re.fullmatch(r"listening 127\.0\.0\.1:(\d+)\s*", line)
        if not found:
            process.kill()
            process.wait()
            raise RuntimeError("no listening line: " + line)
        threading.Thread(target=drain, args=(process.stdout,), daemon=True).start()
        with lock:
            servers[found[1]] = process
        return found[1]

    def handle_stop(self, body):
        with lock:
            process = servers.pop(body.decode().strip())
        process.kill()
        process.wait()
        return "stopped"

    def log_message(self, *args):
        pass


def stop_all(*_):
    raise SystemExit(0)


signal.signal(signal.SIGTERM, stop_all)
spawner = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(spawner.server_address[1], flush=True)
try:
    spawner.serve_forever()
finally:
    with lock:
        for process in servers.values():
            process.kill()
            process.wait()
