#!/usr/bin/env python3
"""Starts and stops the Linux stand-in account server for the suites under Wine, which get no
process handle for a host program they start. Listens on 127.0.0.1 at a free port (printed):
  POST /start  body: JSON list of arguments -> a fresh server on --port 0; answers its port
  POST /stop   body: a port -> that server ended by its pid
Runs only the executable named on its command line; ends every server it started on exit."""
import collections, http.server, json, re, signal, subprocess, sys, threading

servers, lock = {}, threading.Lock()  # port -> Popen


def end(process):
    process.kill()
    process.wait()


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        try:
            status, answer = 200, getattr(self, "handle_" + self.path.strip("/"))(body).encode()
        except Exception as error:  # the test shows the reason
            status, answer = 400, repr(error).encode()
        self.send_response(status)
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

    def handle_start(self, body):
        arguments = json.loads(body)
        if not all(isinstance(a, str) for a in arguments):
            raise ValueError("arguments must be strings")
        process = subprocess.Popen([sys.argv[1], *arguments, "--port", "0"],
                                   stdout=subprocess.PIPE, text=True)
        line = process.stdout.readline()
        if not (found := re.fullmatch(r"listening 127\.0\.0\.1:(\d+)\s*", line)):
            end(process)
            raise RuntimeError("no listening line: " + line)
        # Drained, so that a server that prints never blocks on a full pipe.
        threading.Thread(target=collections.deque, args=(process.stdout, 0), daemon=True).start()
        with lock:
            servers[found[1]] = process
        return found[1]

    def handle_stop(self, body):
        with lock:
            end(servers.pop(body.decode().strip()))
        return "stopped"

    def log_message(self, *args):
        pass


signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
spawner = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(spawner.server_address[1], flush=True)
try:
    spawner.serve_forever()
finally:
    with lock:
        for process in servers.values():
            end(process)
