#!/usr/bin/env python3
"""Cold installs of the scaled 1.21.1 mirror through qbk-fault-proxy, one seed per run.

Each run installs into a fresh launcher folder with `qbk-tool install-java` and
`install-vanilla`. A run that completes must leave every file with its right SHA-1 (the Java
runtime: the same tree as a clean install); a run that fails must fail with one of the
installers' own messages, and the next run on the same folder without faults must repair
it. Every fifth run is also killed part-way through the game install, as a crash would end it,
and must be repaired the same way. In no case may a file with wrong bytes sit at its final path, where a later run would take
it as installed. Exits non-zero when any run breaks one of these rules.

  soak.py --tool QBK_TOOL --proxy QBK_FAULT_PROXY [--runs 30] [--scale 100] [--rate 0.05]
          [--first-seed 1] [--work DIR]
"""

import argparse
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request
from collections import Counter
from pathlib import Path

HERE = Path(__file__).resolve().parent
MIRROR = HERE.parent / "mirror"

# The messages a failed vanilla install may end with when the network misbehaves.
INSTALLER_MESSAGES = (
    "Не удалось получить список версий Minecraft: ",
    "Некорректный список версий: ",
    "Версия 1.21.1 не найдена у Mojang.",
    "Не удалось скачать описание версии: ",
    "Ошибка загрузки Minecraft: ",
    "Не удалось скачать индекс ресурсов: ",
    "Ошибка загрузки ресурсов: ",
)
JAVA_MESSAGE = "[Java] "
MAX_REPAIRS = 3
KILL_EVERY = 5


def sha1_of(path: Path) -> str:
    return hashlib.sha1(path.read_bytes()).hexdigest()


def expected_files(mirror: Path) -> dict:
    """Every file an install leaves below minecraft/, relative path -> SHA-1."""
    lines = [l.split("\t") for l in (mirror / "urls-windows.txt").read_text().splitlines()]
    by_url = {url: (rel, sha1) for url, rel, _size, sha1 in lines}
    manifest = json.loads((mirror / "mc/game/version_manifest_v2.json").read_text())
    entry = next(v for v in manifest["versions"] if v["id"] == "1.21.1")
    version_rel, version_sha1 = by_url[entry["url"]]
    version = json.loads((mirror / version_rel).read_text())
    files = {"versions/1.21.1/1.21.1.json": version_sha1,
             "versions/1.21.1/1.21.1.jar": version["downloads"]["client"]["sha1"]}
    for library in version["libraries"]:
        artifact = library.get("downloads", {}).get("artifact")
        if artifact and artifact.get("url") in by_url:
            files["libraries/" + artifact["path"]] = artifact["sha1"]
    index_entry = version["assetIndex"]
    files[f"assets/indexes/{index_entry['id']}.json"] = index_entry["sha1"]
    index_rel, _ = by_url[index_entry["url"]]
    for obj in json.loads((mirror / index_rel).read_text())["objects"].values():
        files[f"assets/objects/{obj['hash'][:2]}/{obj['hash']}"] = obj["hash"]
    return files


def inspect(game_dir: Path, expected: dict) -> dict:
    missing = corrupt = 0
    for rel, sha1 in expected.items():
        path = game_dir / rel
        if not path.is_file():
            missing += 1
        elif sha1_of(path) != sha1:
            corrupt += 1
            print(f"  corrupt at its final path: {rel}", file=sys.stderr)
    partial = sum(1 for _ in game_dir.rglob("*.part")) if game_dir.exists() else 0
    return {"missing": missing, "corrupt": corrupt, "partial": partial}


def tree(folder: Path) -> dict:
    """Relative path -> SHA-1 of every file below folder."""
    if not folder.is_dir():
        return {}
    return {str(p.relative_to(folder)): sha1_of(p) for p in folder.rglob("*") if p.is_file()}


def runtime_corruption(launcher: Path, reference: dict) -> int:
    """Files of an installed runtime that differ from a clean install, missing ones included."""
    installed = tree(launcher / "runtime" / "java21")
    names = set(installed) | set(reference)
    wrong = sorted(n for n in names if installed.get(n) != reference.get(n))
    for name in wrong:
        print(f"  runtime file differs from a clean install: {name}", file=sys.stderr)
    return len(wrong)


def fetch(url: str) -> bytes:
    with urllib.request.urlopen(url, timeout=10) as reply:
        return reply.read()


class Soak:
    def __init__(self, args):
        self.args = args
        self.work = Path(args.work or tempfile.mkdtemp(prefix="qbk-soak-"))
        self.mirror = self.work / "mirror"
        self.nginx_state = self.work / "nginx"
        self.proxy = None
        self.proxy_url = ""
        self.nginx_started = False

    def start(self):
        self.mirror.mkdir(parents=True, exist_ok=True)
        started = subprocess.run([str(MIRROR / "serve-nginx"), "start", str(self.mirror),
                                  str(self.nginx_state)], check=True, capture_output=True,
                                 text=True).stdout
        self.nginx_started = True
        nginx_url = started.split("url=")[1].strip()
        self.proxy = subprocess.Popen(
            [self.args.proxy, "--upstream", nginx_url, "--rate", str(self.args.rate),
             "--stall-ms", str(self.args.stall_ms), "--log", str(self.work / "faults.log")],
            stdout=subprocess.PIPE, text=True)
        self.proxy_url = self.proxy.stdout.readline().split("url=")[1].strip()
        subprocess.run([sys.executable, str(MIRROR / "generate.py"), "--out", str(self.mirror),
                        "--base-url", self.proxy_url, "--scale", str(self.args.scale),
                        ], check=True, stdout=subprocess.DEVNULL)
        self.control("off")
        reference = self.work / "reference"
        reference.mkdir(exist_ok=True)
        shutil.copy(self.mirror / "endpoints.ini", reference / "Quellbrook.ini")
        code, summary = self.install(reference, "install-java")
        if code != 0:
            raise RuntimeError(f"the clean Java install failed: {summary}")
        self.java_reference = tree(reference / "runtime" / "java21")

    def stop(self):
        if self.proxy:
            self.proxy.terminate()
            self.proxy.wait(10)
        if self.nginx_started:
            subprocess.run([str(MIRROR / "serve-nginx"), "stop", str(self.nginx_state)])

    def control(self, command: str) -> bytes:
        return fetch(f"{self.proxy_url}/.fault-proxy/{command}")

    def install(self, launcher: Path, command: str, kill_after: float = 0.0) -> tuple:
        """Exit code and summary; with kill_after, the tool is killed after that many seconds
        as a crash or a closed laptop would end it (code -9, no summary)."""
        tool = subprocess.Popen([self.args.tool, command, "--launcher-dir", str(launcher),
                                 "--target", "windows"], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True)
        try:
            out, _ = tool.communicate(timeout=kill_after or 600)
        except subprocess.TimeoutExpired:
            tool.kill()
            tool.communicate()
            return -9, {}
        lines = out.strip().splitlines()
        summary = json.loads(lines[-1]) if lines else {}
        return tool.returncode, summary

    def run_once(self, seed: int, expected: dict) -> dict:
        launcher = self.work / f"run-{seed}"
        shutil.rmtree(launcher, ignore_errors=True)
        launcher.mkdir()
        shutil.copy(self.mirror / "endpoints.ini", launcher / "Quellbrook.ini")
        self.control(f"seed/{seed}")
        java_code, java_summary = self.install(launcher, "install-java")
        # Every fifth run is also killed part-way, at a point that moves with the seed.
        kill_after = 0.5 + (seed * 7 % 10) / 4 if seed % KILL_EVERY == 0 else 0.0
        code, summary = self.install(launcher, "install-vanilla", kill_after)
        stats = json.loads(self.control("stats"))
        state = inspect(launcher / "minecraft", expected)
        java_corrupt = runtime_corruption(launcher, self.java_reference) if java_code == 0 else 0
        result = {"seed": seed, "ok": code == 0 and java_code == 0, "faults": stats["faults"],
                  "kinds": stats["kinds"], "corrupt": state["corrupt"] + java_corrupt,
                  "repairs": 0, "killed": code == -9, "problems": []}
        message = summary.get("error", "")
        java_message = java_summary.get("error", "")
        if code == 0 and (state["missing"] or state["corrupt"]):
            result["problems"].append(f"reported success with {state['missing']} missing and "
                                      f"{state['corrupt']} corrupt files")
        if java_corrupt:
            result["problems"].append(f"Java reported installed with {java_corrupt} wrong files")
        if code not in (0, -9) and not message.startswith(INSTALLER_MESSAGES):
            result["problems"].append(f"failed with an unexpected message: {message!r}")
        if java_code != 0 and not java_message.strip().startswith(JAVA_MESSAGE):
            result["problems"].append(f"Java failed with an unexpected message: {java_message!r}")
        result["message"] = "; ".join(m.strip() for m in (java_message, message) if m.strip())
        if not result["ok"]:
            self.repair(launcher, expected, result)
        shutil.rmtree(launcher, ignore_errors=True)
        return result

    def repair(self, launcher: Path, expected: dict, result: dict):
        self.control("off")
        for _ in range(MAX_REPAIRS):
            result["repairs"] += 1
            java_code, _ = self.install(launcher, "install-java")
            code, _ = self.install(launcher, "install-vanilla")
            state = inspect(launcher / "minecraft", expected)
            if code == 0 and java_code == 0:
                if state["missing"] or state["corrupt"] or runtime_corruption(
                        launcher, self.java_reference):
                    result["problems"].append("the repair run left missing or corrupt files")
                return
        result["problems"].append(f"{MAX_REPAIRS} clean runs did not repair the install")

    def soak(self) -> int:
        started = time.monotonic()
        self.start()
        try:
            expected = expected_files(self.mirror)
            results = []
            for seed in range(self.args.first_seed, self.args.first_seed + self.args.runs):
                result = self.run_once(seed, expected)
                results.append(result)
                outcome = "completed" if result["ok"] else (
                    "killed" if result["killed"] else "failed: " + result["message"])
                print(f"run seed={seed} faults={result['faults']} {outcome}"
                      f"{' repairs=' + str(result['repairs']) if result['repairs'] else ''}"
                      + "".join(f"\n  PROBLEM: {p}" for p in result["problems"]), flush=True)
        finally:
            self.stop()
        return self.report(results, time.monotonic() - started, len(expected))

    def report(self, results: list, seconds: float, file_count: int) -> int:
        kinds = Counter()
        for result in results:
            kinds.update(result["kinds"])
        broken = [r for r in results if r["problems"]]
        print(f"soak: {len(results)} runs of {file_count} files at scale {self.args.scale}, "
              f"fault rate {self.args.rate}, {seconds:.0f} s")
        killed = sum(r["killed"] for r in results)
        print(f"soak: completed {sum(r['ok'] for r in results)}, killed part-way {killed}, "
              f"failed with the installer's message "
              f"{sum(not r['ok'] for r in results) - killed}")
        print(f"soak: faults injected {sum(r['faults'] for r in results)} "
              f"({', '.join(f'{k} {v}' for k, v in sorted(kinds.items()))})")
        print(f"soak: corrupt files counted as installed {sum(r['corrupt'] for r in results)}")
        print(f"soak: repair runs needed {sum(r['repairs'] for r in results)}")
        print(f"soak: {len(results) - len(broken)} passed, {len(broken)} failed")
        if not self.args.work and not broken:
            shutil.rmtree(self.work, ignore_errors=True)
        return 1 if broken else 0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", required=True)
    parser.add_argument("--proxy", required=True)
    parser.add_argument("--runs", type=int, default=30)
    parser.add_argument("--scale", type=int, default=100)
    parser.add_argument("--rate", type=float, default=0.05)
    parser.add_argument("--stall-ms", type=int, default=1500)
    parser.add_argument("--first-seed", type=int, default=1)
    parser.add_argument("--work")
    return Soak(parser.parse_args()).soak()


if __name__ == "__main__":
    sys.exit(main())
