#!/usr/bin/python3
"""Packs this build's program as a release is packed (packaging/make_release.py) and checks what a
user gets: the zip and what it unpacks to, and the installer under Wine, from a silent install to
a silent uninstall. Run by packaging_test.sh, which gives it a display and a fresh Wine prefix.

    packaging_test.py PROGRAM_DIR WORK_DIR VERSION CHECK_EXE NETSH_RECORDER_EXE

CHECK_EXE is packaged_program_test.exe, which starts the packaged program from its folder or from
its shortcut; NETSH_RECORDER_EXE stands in for netsh.exe to show what the installer asks of the
firewall.
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUTTONS = ("bw", "fw", "pp", "st", "vd", "vm", "vu")
PICTURES = [f"GFX/{button}_{state}.png" for button in BUTTONS for state in (0, 1)]
RELEASE_FILES = sorted(PICTURES + ["LIESMICH.txt", "README.txt", "Tastovolant.exe"])
INSTALL_DIR = r"C:\Program Files\Tastovolant"
SHORTCUT = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Tastovolant.lnk"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tastovolant"
UNINSTALL_KEY_32 = r"HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Tastovolant"
FIREWALL_DELETE = (r'advfirewall firewall delete rule name="Tastovolant" '
                   r'program="C:\Program Files\Tastovolant\Tastovolant.exe"')
FIREWALL_ADD = (r'advfirewall firewall add rule name="Tastovolant" dir=in action=allow '
                r'program="C:\Program Files\Tastovolant\Tastovolant.exe" profile=private enable=yes')

failures = []


def check(condition, what):
    print(("ok      " if condition else "FAILED  ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def windows_path(path):
    """A Linux path as Wine's programs see it: drive Z: is the Linux file system."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def drive_c(windows):
    """A C: path of the Wine prefix as a Linux path."""
    assert windows[:3].upper() == "C:\\"
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", *windows[3:].split("\\"))


def run(command, timeout, environment=None, quiet=False):
    """Runs a command, bounded in time; its exit code, or None when it ran out of time."""
    started = time.monotonic()
    try:
        result = subprocess.run(command, timeout=timeout, env={**os.environ, **(environment or {})},
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                errors="replace")
    except subprocess.TimeoutExpired as expired:
        print(f"  {os.path.basename(command[1] if command[0] == 'wine' else command[0])} ran out of its "
              f"{timeout} s:\n{expired.stdout or ''}", flush=True)
        return None
    lines = [line for line in result.stdout.splitlines() if line.strip()]
    if lines and (result.returncode != 0 or not quiet):
        print("\n".join("  | " + line for line in lines), flush=True)
    print(f"  ({time.monotonic() - started:.1f} s)", flush=True)
    return result.returncode


def wait_for_wine(timeout=60):
    """Waits until every program of the prefix has ended (an NSIS uninstaller runs on from a copy
    of itself after the one started returns)."""
    return run(["wineserver", "-w"], timeout, quiet=True) == 0


def files_under(folder):
    found = []
    for directory, _, names in os.walk(folder):
        found += [os.path.relpath(os.path.join(directory, n), folder).replace(os.sep, "/") for n in names]
    return sorted(found)


def same_bytes(a, b):
    with open(a, "rb") as x, open(b, "rb") as y:
        return x.read() == y.read()


def registry_values(key):
    """The values of a registry key (name -> data), or None when there is no such key."""
    result = subprocess.run(["wine", "reg", "query", key], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True, errors="replace", timeout=60)
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.splitlines():
        match = re.match(r"^\s+(\S+)\s+(REG_\w+)\s+(.*?)\s*$", line)
        if match:
            values[match.group(1)] = match.group(3)
    return values


def read_shortcut(path):
    """The target, working directory and icon of a shell link (.lnk) file."""
    data = open(path, "rb").read()
    if len(data) < 0x4C or struct.unpack_from("<I", data, 0)[0] != 0x4C:
        raise ValueError(f"{path} is no shell link")
    flags = struct.unpack_from("<I", data, 0x14)[0]
    position = 0x4C
    if flags & 0x01:  # a target ID list
        position += 2 + struct.unpack_from("<H", data, position)[0]
    link = {}
    if flags & 0x02:  # link info, with the target's local path
        size, header_size, info_flags, _, local_path_offset = struct.unpack_from("<5I", data, position)
        if info_flags & 0x01:
            if header_size >= 0x24:
                offset = struct.unpack_from("<I", data, position + 0x1C)[0]
                end = offset
                while data[position + end:position + end + 2] != b"\0\0":
                    end += 2
                link["target"] = data[position + offset:position + end].decode("utf-16-le")
            else:
                end = data.index(b"\0", position + local_path_offset)
                link["target"] = data[position + local_path_offset:end].decode("latin-1")
        position += size
    unicode = bool(flags & 0x80)
    for flag, name in ((0x04, "description"), (0x08, "relative_path"), (0x10, "working_directory"),
                       (0x20, "arguments"), (0x40, "icon")):
        if flags & flag:
            count = struct.unpack_from("<H", data, position)[0]
            position += 2
            width = 2 if unicode else 1
            text = data[position:position + count * width].decode("utf-16-le" if unicode else "latin-1")
            position += count * width
            link[name] = text.rstrip("\0")  # Wine counts the terminating NUL
    return link


# ---- the artefacts --------------------------------------------------------------------------

def check_readme(name, data):
    check(b"\n" not in data.replace(b"\r\n", b"") and b"\r" not in data.replace(b"\r\n", b""),
          f"{name}: every line ends in CR LF")
    if name == "README.txt":
        check(all(b < 0x80 for b in data), f"{name}: plain ASCII")
    else:
        check(not any(0x80 <= b < 0xA0 for b in data), f"{name}: ISO-8859-1, no bytes of Windows-1252 or UTF-8")
        try:
            is_utf8 = any(b >= 0x80 for b in data) and bool(data.decode("utf-8"))
        except UnicodeDecodeError:
            is_utf8 = False
        check(not is_utf8, f"{name}: its umlauts are ISO-8859-1, not UTF-8")
    text = data.decode("latin-1")
    topics = {
        "LIESMICH.txt": ["http://", ":8080", "Port", "Firewall", "Privat", "WLAN", "Server starten."],
        "README.txt": ["http://", ":8080", "port", "Firewall", "Private", "Wi-Fi", "Server starten."],
    }[name]
    missing = [topic for topic in topics if topic not in text]
    check(not missing, f"{name}: tells how to connect and what to do when the phone can't " + (
        f"(missing {missing})" if missing else ""))


def check_zip(zip_path, program_dir, version):
    top = f"Tastovolant-{version}/"
    with zipfile.ZipFile(zip_path) as archive:
        names = archive.namelist()
        check(sorted(names) == [top + name for name in RELEASE_FILES],
              f"the zip holds exactly {len(RELEASE_FILES)} files under {top}: the program, GFX/, the read-mes"
              + ("" if sorted(names) == [top + n for n in RELEASE_FILES] else f" (it holds {names})"))
        check(archive.testzip() is None, "every file of the zip reads back with its checksum")
        contents = {name[len(top):]: archive.read(name) for name in names if name.startswith(top)}
    check(contents.get("Tastovolant.exe") == open(os.path.join(program_dir, "Tastovolant.exe"), "rb").read(),
          "the zip's Tastovolant.exe is the built program")
    changed = [p for p in PICTURES if contents.get(p) != open(os.path.join(ROOT, "src", "assets", "gfx",
                                                                             os.path.basename(p)), "rb").read()]
    check(not changed, "the zip's GFX pictures are the program's button pictures" + (f" ({changed})" if changed else ""))
    for name in ("LIESMICH.txt", "README.txt"):
        if check(name in contents, f"the zip has {name}"):
            check_readme(name, contents[name])


def check_manifest(manifest_path, release_folder, version):
    """The release's update manifest lists the release folder, in the program's names."""
    data = open(manifest_path, "rb").read()
    head = f"ok|{version}|".encode()
    names = [entry.split(b"|")[0].decode("latin-1") for entry in data[len(head):].split(b"||")[:-1]]
    check(data.startswith(f"ok|{version}|".encode()), "the update manifest reads ok and the version")
    check(names == sorted(name.replace("/", "\\") for name in files_under(release_folder)),
          "the update manifest lists every file of the release folder with Windows separators")


def start_unpacked(zip_path, check_exe, version):
    unpacked = tempfile.mkdtemp(prefix="tastovolant_zip_")
    try:
        with zipfile.ZipFile(zip_path) as archive:
            archive.extractall(unpacked)
        folder = os.path.join(unpacked, f"Tastovolant-{version}")
        print("the unpacked program, started in its folder:", flush=True)
        code = run(["wine", check_exe, "--gtest_filter=PackagedProgram.StartsInItsFolderAndClosesWithExitCode200"],
                   120, {"TASTOVOLANT_DIR": windows_path(folder)})
        check(code == 0, "the unpacked program starts in its folder, shows its window and closes with exit code 200")
    finally:
        shutil.rmtree(unpacked, ignore_errors=True)


# ---- the installer --------------------------------------------------------------------------

def check_installed(release_folder, version):
    installed = files_under(drive_c(INSTALL_DIR))
    check(installed == sorted(RELEASE_FILES + ["Uninstall.exe"]),
          rf"{INSTALL_DIR} holds the release's files and Uninstall.exe" + (
              "" if installed == sorted(RELEASE_FILES + ["Uninstall.exe"]) else f" (it holds {installed})"))
    differing = [n for n in RELEASE_FILES if n in installed and
                 not same_bytes(os.path.join(release_folder, n), os.path.join(drive_c(INSTALL_DIR), n))]
    check(not differing, "every installed file is the release's" + (f" ({differing})" if differing else ""))
    check(not os.path.exists(drive_c(r"C:\Program Files (x86)\Tastovolant")), "nothing went to Program Files (x86)")

    if check(os.path.isfile(drive_c(SHORTCUT)), "the Start menu shortcut is there"):
        link = read_shortcut(drive_c(SHORTCUT))
        check(link.get("working_directory") == INSTALL_DIR,
              f"the shortcut's working directory is the install folder ({link.get('working_directory')!r})")
        check(link.get("target") == INSTALL_DIR + r"\Tastovolant.exe", f"the shortcut starts the installed program "
              f"({link.get('target')!r})")

    values = registry_values(UNINSTALL_KEY)
    expected = {
        "DisplayName": "Tastovolant",
        "DisplayVersion": version,
        "Publisher": "Zorvane",
        "UninstallString": f'"{INSTALL_DIR}\\Uninstall.exe"',
        "DisplayIcon": INSTALL_DIR + r"\Tastovolant.exe,0",
    }
    if check(values is not None, "Apps & features knows the program (its Uninstall key in the 64-bit view)"):
        wrong = {k: values.get(k) for k, v in expected.items() if values.get(k) != v}
        check(not wrong, "the Uninstall key names, versions, publishes and uninstalls it" + (
            f" (differs: {wrong})" if wrong else ""))
    check(registry_values(UNINSTALL_KEY_32) is None, "no Uninstall key in the 32-bit view")


def check_uninstalled(left_behind):
    remaining = files_under(drive_c(INSTALL_DIR)) if os.path.isdir(drive_c(INSTALL_DIR)) else None
    check(remaining == (sorted(left_behind) if left_behind else None),
          "the uninstaller removed every file it added, and the folder once empty" + (
              f" (left: {remaining})" if remaining else ""))
    check(not os.path.exists(drive_c(SHORTCUT)), "the Start menu shortcut is gone")
    check(registry_values(UNINSTALL_KEY) is None, "the Uninstall key is gone")


def install(setup_exe, environment=None):
    print("silent install:", flush=True)
    code = run(["wine", setup_exe, "/S"], 120, environment)
    check(code == 0, "the installer runs silently to its end (exit code 0)")
    return check(wait_for_wine(), "every program of the install has ended")


def uninstall(environment=None):
    print("silent uninstall:", flush=True)
    code = run(["wine", INSTALL_DIR + r"\Uninstall.exe", "/S"], 120, environment)
    check(code == 0, "the uninstaller starts silently (exit code 0)")
    return check(wait_for_wine(), "the uninstaller has ended")


def check_installer_with_wines_netsh(setup_exe, release_folder, version, check_exe):
    """Wine's netsh answers without a firewall behind it: the install goes through."""
    if not install(setup_exe):
        return
    check_installed(release_folder, version)
    print("the installed program, started from its shortcut:", flush=True)
    code = run(["wine", check_exe, "--gtest_filter=PackagedProgram.StartsFromItsShortcutInTheInstallFolder"], 120,
               {"TASTOVOLANT_DIR": INSTALL_DIR, "TASTOVOLANT_SHORTCUT": SHORTCUT})
    check(code == 0, "the installed program starts from its shortcut in the install folder and closes with 200")
    if uninstall():
        check_uninstalled([])


def check_installer_with_a_refusing_firewall(setup_exe, recorder_exe, work):
    """A netsh that records what it is asked and fails: the install must not fail with it, and the
    rule it asks for lets the program in on private networks only."""
    shutil.copyfile(recorder_exe, drive_c(r"C:\windows\system32\netsh.exe"))
    log = os.path.join(work, "netsh.log")
    environment = {"TASTOVOLANT_RECORDER_LOG": windows_path(log), "TASTOVOLANT_RECORDER_EXIT": "1",
                   "WINEDLLOVERRIDES": os.environ.get("WINEDLLOVERRIDES", "") + ";netsh.exe=n"}
    if not install(setup_exe, environment):
        return
    calls = open(log, encoding="utf-8").read().splitlines() if os.path.exists(log) else []
    check(calls == [FIREWALL_DELETE, FIREWALL_ADD],
          "the installer replaces any earlier rule and allows the program in on private networks only"
          + ("" if calls == [FIREWALL_DELETE, FIREWALL_ADD] else f" (netsh was asked {calls})"))
    check(os.path.isfile(drive_c(INSTALL_DIR + r"\Tastovolant.exe")) and registry_values(UNINSTALL_KEY) is not None,
          "a refusing firewall does not stop the install")
    # What the user put into the folder is not the uninstaller's to remove.
    with open(drive_c(INSTALL_DIR + r"\notes.txt"), "w") as notes:
        notes.write("mine\n")
    if uninstall(environment):
        calls = open(log, encoding="utf-8").read().splitlines()
        check(calls[2:] == [FIREWALL_DELETE], f"the uninstaller removes the rule ({calls[2:]})")
        check_uninstalled(["notes.txt"])


def main(argv):
    program_dir, work, version, check_exe, recorder_exe = argv
    started = time.monotonic()
    out = os.path.join(work, "release")
    print("packing:", flush=True)
    check(run(["/usr/bin/python3", os.path.join(ROOT, "packaging", "make_release.py"), program_dir, out, version],
              120) == 0, "make_release.py packs the program")
    base = os.path.join(out, f"Tastovolant-{version}")
    zip_path, setup_exe, manifest = base + "-win64.zip", base + "-setup.exe", base + "-update.txt"
    if not all(check(os.path.isfile(p), f"{os.path.basename(p)} is written") for p in (zip_path, setup_exe, manifest)):
        return 1
    check_zip(zip_path, program_dir, version)
    check_manifest(manifest, base, version)
    start_unpacked(zip_path, check_exe, version)
    check_installer_with_wines_netsh(setup_exe, base, version, check_exe)
    check_installer_with_a_refusing_firewall(setup_exe, recorder_exe, work)
    print(f"packaging: {len(failures)} failed, {time.monotonic() - started:.0f} s", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
