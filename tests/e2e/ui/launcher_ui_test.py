"""The launcher tried as a player would, through its windows only. Each scenario starts the
real binary from a launcher folder of its own, pointed at the stand-in world.

usage: launcher_ui_test.py LAUNCHER ENDPOINTS WORKDIR SHOTDIR [SCENARIO...]"""

import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

import pyatspi
from atspi_driver import Launcher, UiTimeout
from cuttable_proxy import CuttableProxy

PLAY = "ИГРАТЬ"
# The sign-in button reads as built at start and in capitals once the form has changed mode.
SIGN_IN = ("Войти", "ВОЙТИ")
LAUNCHED = "Игра запущена!"
COLD_PLAY_SECONDS = 180


class World:
    def __init__(self, launcher, endpoints, work, shots):
        self.launcher, self.work, self.shots = launcher, work, shots
        self.ini = {}
        for line in open(endpoints, encoding="utf-8").read().splitlines():
            key, _, value = line.partition("=")
            group, _, name = key.partition("/")
            self.ini.setdefault(group, {})[name] = value
        # The mirror serves the game, the runtime, NeoForge and the agent from one port.
        self.mirror_base = self.ini["endpoints"]["mojangMeta"]
        self.mirror_port = int(self.mirror_base.rsplit(":", 1)[1])
        self.player = f"ui{random.randrange(10**5, 10**6)}"
        self.password = "pass-word-42"

    def folder(self, name, ini_garbage=None, mirror_base=None):
        """A launcher folder with a copy of the binary and the world's INI keys, after bytes
        that break the file when given; mirror_base stands in for the mirror's address."""
        folder = os.path.join(self.work, name)
        os.makedirs(os.path.join(folder, "minecraft"), exist_ok=True)
        shutil.copy2(self.launcher, os.path.join(folder, "quellbrook-launcher"))
        ini_path = os.path.join(folder, "Quellbrook.ini")
        if ini_garbage is not None or not os.path.exists(ini_path):
            with open(ini_path, "wb") as out:
                out.write(ini_garbage or b"")
            with open(ini_path, "a", encoding="utf-8") as out:
                for group, values in self.ini.items():
                    out.write(f"[{group}]\n")
                    for key, value in values.items():
                        if mirror_base:
                            value = value.replace(self.mirror_base, mirror_base)
                        out.write(f"{key}={value}\n")
        # The stand-in game quits by itself soon after it has proved the launch.
        with open(os.path.join(folder, "minecraft", "standin-java.json"), "w") as out:
            json.dump({"gameLifetimeSeconds": 15}, out)
        return folder

    def start(self, folder, wrapper=()):
        return Launcher(folder, os.path.join(self.work, "launcher.log"), self.shots, wrapper)


def private_mounts():
    """A command prefix that runs its command with mounts of its own: as root directly, else
    as root of a new user namespace. When neither works the scenario fails; it is not skipped."""
    probe_dir = tempfile.mkdtemp()
    try:
        for prefix in (["unshare", "--mount", "--propagation", "private"],
                       ["unshare", "--user", "--map-root-user", "--mount",
                        "--propagation", "private"]):
            probe = subprocess.run(prefix + ["mount", "-t", "tmpfs", "-o", "size=1m",
                                             "qbk-probe", probe_dir], capture_output=True)
            if probe.returncode == 0:
                return prefix
    finally:
        os.rmdir(probe_dir)
    raise AssertionError("cannot mount in a namespace of its own: the folder cannot be made "
                         "read-only or full here")


def read_only(folder):
    return private_mounts() + ["sh", "-c", 'mount --bind "$0" "$0" && '
                               'mount -o remount,bind,ro "$0" && exec "$1"', folder]


# Runs the launcher in its folder on a disk of the given size, then puts back what it left,
# as a disk that has had room made on it would hold it.
FULL_DISK = """set -e
folder=$0 kib=$1 launcher=$2
real=$(mktemp -d)
mount --bind "$folder" "$real"
mount -t tmpfs -o size="$kib"k qbk-full-disk "$folder"
cp -a "$real/." "$folder/"
cd "$folder"
status=0
"$launcher" || status=$?
cp -a "$folder/." "$real/"
cd /
umount "$folder"
umount "$real"
rmdir "$real"
exit $status
"""


def full_disk(folder, kib):
    return private_mounts() + ["sh", "-c", FULL_DISK, folder, str(kib)]


def size_kib(path):
    total = 0
    for parent, _, files in os.walk(path):
        for name in files:
            file = os.path.join(parent, name)
            if not os.path.islink(file):
                total += os.path.getsize(file)
    return total // 1024


def sign_in(ui, name, password):
    ui.type_into("Никнейм", name)
    ui.type_into("Пароль", password)
    ui.press("push button", SIGN_IN)


def close_dialog(ui, marker):
    """Presses "Закрыть" until the dialog that shows the marker label is gone."""
    for _ in range(3):
        ui.press("push button", "Закрыть")
        try:
            ui.absent("label", marker, timeout=5)
            return
        except UiTimeout:
            continue
    raise AssertionError(f"the dialog with '{marker}' did not close")


def play_and_wait(ui, timeout):
    ui.press("push button", PLAY)
    ui.find("label", LAUNCHED, timeout=timeout)


def play_without_the_mod_manager(ui):
    """Presses play in a folder without the server's mods and lets the launch bring them."""
    ui.press("push button", PLAY)
    ui.find("label", contains="Открыть управление модами?", timeout=30)
    ui.press("push button", "Нет")


def first_start_creates_an_account_and_plays(world):
    folder = world.folder("Лаунчер с пробелами и кириллицей")
    with world.start(folder) as ui:
        ui.find("label", "Вход")
        ui.screenshot("main-window")
        ui.press("push button", "Нет аккаунта? Создать")
        ui.find("push button", "СОЗДАТЬ")
        ui.type_into("Никнейм", world.player)
        ui.type_into("Пароль", world.password)
        ui.type_into("Пароль ещё раз", world.password)
        ui.press("check box", "Запомнить логин и пароль")
        ui.press("push button", "СОЗДАТЬ")
        code = ui.find("text", "Код восстановления", timeout=60)
        assert code.queryText().getText(0, -1).startswith("QUELL-"), "no recovery code shown"
        ui.press("push button", "Скопировать")
        ui.find("push button", "Скопировано")
        ui.screenshot("recovery-code")
        ui.press("push button", "Запомнил")
        ui.find("label", "Ты вошёл как " + world.player, timeout=30)
        ui.screenshot("signed-in")

        # The folder holds no mod yet: the manager fetches the server's before the launch.
        ui.press("push button", PLAY)
        ui.find("label", contains="Открыть управление модами?", timeout=30)
        ui.press("push button", "Да")
        ui.press("push button", "Скачать недостающие", timeout=30)
        ui.find("label", "Всё совпадает со сборкой сервера.", timeout=60)
        ui.screenshot("mod-manager")
        close_dialog(ui, "Всё совпадает со сборкой сервера.")
        ui.find("progress bar", "Ход запуска")
        ui.screenshot("launch-running")
        ui.find("label", LAUNCHED, timeout=COLD_PLAY_SECONDS)
        ui.screenshot("launch-finished")
        report = os.path.join(folder, "minecraft", "logs", "standin-report.json")
        assert json.load(open(report)).get("username") == world.player, "the game got another name"


def second_start_is_signed_in_and_plays_warm(world):
    with world.start(world.folder("Лаунчер с пробелами и кириллицей")) as ui:
        ui.find("label", "Ты вошёл как " + world.player, timeout=30)
        started = time.monotonic()
        play_and_wait(ui, 120)
        print(f"  warm play took {time.monotonic() - started:.1f} s")


def self_check_on_installed_and_fresh_folders(world):
    with world.start(world.folder("Лаунчер с пробелами и кириллицей")) as ui:
        ui.press("push button", "Проверить лаунчер", timeout=30)
        ui.find("label", "Проверка лаунчера")
        # All nine pass here unless the disk runs low, which only makes a remark.
        summary = ui.find("label", timeout=60, test=lambda text: text.startswith(
            ("Всё в порядке", "Критических проблем нет. Замечаний: 1 ")))
        print(f"  installed folder: {summary.name}")
        ui.find("label", "neoforge-21.1.230")
        ui.screenshot("self-check")
        ui.press("push button", "Закрыть")
    with world.start(world.folder("fresh-check")) as ui:
        ui.press("push button", "Проверить лаунчер", timeout=30)
        ui.press("push button", "Нет", timeout=30)  # the server's mods are missing
        ui.find("label", contains="Критических проблем нет. Замечаний: 6", timeout=60)
        ui.find("label", "Пока не установлен.")
        ui.press("push button", "Закрыть")


def settings_survive_a_restart(world):
    folder = world.folder("settings")
    with world.start(folder) as ui:
        ui.press("push button", "Настройки")
        ui.find("label", "Выделенная память")
        ui.set_value("Память для игры, МБ", 2560)
        ui.press("check box", "Запоминать логин")  # off
        ui.screenshot("settings")
        ui.press("push button", "Сохранить")
        ui.find("label", contains="Память: 2560 МБ")
    with world.start(folder) as ui:
        ui.find("label", contains="Память: 2560 МБ")
        ui.press("push button", "Настройки")
        box = ui.find("check box", "Запоминать логин")
        assert not ui.is_set(box, pyatspi.STATE_CHECKED), "remember-login came back on"
        ui.press("push button", "Отмена")


def read_only_folder_is_named_and_a_writable_one_plays(world):
    folder = world.folder("read-only")
    before = sorted(os.listdir(folder))
    with world.start(folder, wrapper=read_only(folder)) as ui:
        ui.find("label", contains="Лаунчер не может записывать в свою папку", timeout=30)
        ui.screenshot("read-only-folder")
        ui.press("push button", "ОК")
        assert ui.wait_for_exit() == 1, "the launcher went on in a folder it cannot write"
    assert sorted(os.listdir(folder)) == before, "something was written into the folder"
    with world.start(folder) as ui:
        sign_in(ui, world.player, world.password)
        ui.find("label", "Ты вошёл как " + world.player, timeout=30)
        play_without_the_mod_manager(ui)
        ui.find("label", LAUNCHED, timeout=COLD_PLAY_SECONDS)


def full_disk_is_named_and_the_next_start_repairs(world):
    installed = world.folder("Лаунчер с пробелами и кириллицей")
    folder = world.folder("full-disk")
    # Room for the launcher, its runtime and about half of the game.
    runtime = size_kib(os.path.join(installed, "runtime"))
    game = size_kib(os.path.join(installed, "minecraft"))
    kib = size_kib(folder) + 2 * runtime + game // 2
    with world.start(folder, wrapper=full_disk(folder, kib)) as ui:
        ui.press("check box", "Запомнить логин и пароль")
        sign_in(ui, world.player, world.password)
        ui.find("label", "Ты вошёл как " + world.player, timeout=30)
        play_without_the_mod_manager(ui)
        failure = ui.find("label", contains="Недостаточно места на диске", timeout=120)
        print(f"  full disk ({kib} KiB): {failure.name[:120]}")
        ui.screenshot("full-disk")
        ui.find("push button", PLAY)
    # The session survived the full disk; the left-overs are repaired by the next play.
    with world.start(folder) as ui:
        ui.find("label", "Ты вошёл как " + world.player, timeout=30)
        play_without_the_mod_manager(ui)
        ui.find("label", LAUNCHED, timeout=COLD_PLAY_SECONDS)


def network_drop_mid_install_is_named_and_the_next_press_plays(world):
    # Slow enough per connection that the install is still fetching when the link goes.
    with CuttableProxy(world.mirror_port, bytes_per_second=2 * 1024 * 1024) as proxy:
        folder = world.folder("network-drop", mirror_base=f"http://127.0.0.1:{proxy.port}")
        with world.start(folder) as ui:
            sign_in(ui, world.player, world.password)
            ui.find("label", "Ты вошёл как " + world.player, timeout=30)
            play_without_the_mod_manager(ui)
            ui.find("label", contains="Скачивание ресурсов игры", timeout=120)
            proxy.cut()
            failure = ui.find("label", timeout=120,
                              test=lambda text: text.startswith("Ошибка загрузки"))
            print(f"  after the cut: {failure.name[:120]}")
            ui.screenshot("network-drop")
            proxy.mend()
            play_without_the_mod_manager(ui)
            ui.find("label", LAUNCHED, timeout=COLD_PLAY_SECONDS)


def wrong_passwords_end_in_a_lock_out(world):
    with world.start(world.folder("lockout")) as ui:
        sign_in(ui, "demo", "wrong-0")
        ui.find("label", "Неверный никнейм или пароль.", timeout=20)
        for attempt in range(1, 12):
            ui.find("push button", test=lambda text: text in SIGN_IN)  # answered
            time.sleep(0.5)
            sign_in(ui, "demo", f"wrong-{attempt}")
            time.sleep(1.0)
            if ui.try_find("label", 3, contains="Слишком много неверных попыток"):
                break
        else:
            raise AssertionError("no lock-out after 12 wrong passwords")
        # The panel turns to the recovery form.
        ui.find("push button", "ВОССТАНОВИТЬ")
        ui.screenshot("locked-out")


def operator_bans_and_the_banned_player_sees_it(world):
    with world.start(world.folder("operator")) as ui:
        sign_in(ui, "admin", "admin1234")
        ui.press("push button", "Админка", timeout=30)
        ui.type_into("Никнейм игрока", world.player)
        ui.type_into("Причина бана", "проверка банов")
        ui.press("push button", "Забанить")
        ui.find("label", contains=f"Забанить {world.player} навсегда?")
        ui.press("push button", "Да")
        ui.find("table cell", world.player, timeout=30)
        ui.screenshot("admin")
        ui.press("push button", "Закрыть")
    with world.start(world.folder("banned")) as ui:
        sign_in(ui, world.player, world.password)
        ui.find("label", contains="Причина: проверка банов", timeout=30)
        play = ui.find("push button", PLAY)
        assert not ui.is_set(play, pyatspi.STATE_ENABLED), "play stayed on for a banned player"


def corrupted_ini_still_starts_signs_in_and_plays(world):
    garbage = b"\x00\xff[endpoints\n=\n\xfe\x00 garbage\n[player]\nusername=\xff\xfe\n"
    with world.start(world.folder("corrupted", ini_garbage=garbage)) as ui:
        ui.find("label", "Вход", timeout=30)
        sign_in(ui, "admin", "admin1234")  # "demo" is locked out by then
        ui.find("label", "Ты вошёл как admin", timeout=30)
        play_without_the_mod_manager(ui)
        ui.find("label", LAUNCHED, timeout=COLD_PLAY_SECONDS)


SCENARIOS = [first_start_creates_an_account_and_plays, second_start_is_signed_in_and_plays_warm,
             self_check_on_installed_and_fresh_folders, settings_survive_a_restart,
             read_only_folder_is_named_and_a_writable_one_plays,
             full_disk_is_named_and_the_next_start_repairs,
             network_drop_mid_install_is_named_and_the_next_press_plays,
             wrong_passwords_end_in_a_lock_out, operator_bans_and_the_banned_player_sees_it,
             corrupted_ini_still_starts_signs_in_and_plays]


def main():
    launcher, endpoints, work, shots = sys.argv[1:5]
    wanted = set(sys.argv[5:])
    os.makedirs(shots, exist_ok=True)
    world = World(launcher, endpoints, work, shots)
    failures = 0
    for scenario in SCENARIOS:
        if wanted and scenario.__name__ not in wanted:
            continue
        started = time.monotonic()
        try:
            scenario(world)
            print(f"PASS {scenario.__name__} ({time.monotonic() - started:.1f} s)", flush=True)
        except Exception:
            failures += 1
            print(f"FAIL {scenario.__name__} ({time.monotonic() - started:.1f} s)", flush=True)
            traceback.print_exc()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
