#!/usr/bin/python3
"""Packs a built Tastovolant.exe and its GFX/ folder for release.

    make_release.py PROGRAM_DIR OUT_DIR VERSION [--no-installer]

PROGRAM_DIR is where the build put the program (Tastovolant.exe, GFX/*.png). Into OUT_DIR go:
  Tastovolant-VERSION/              the release folder: the program, GFX/, LIESMICH.txt, README.txt
  Tastovolant-VERSION-win64.zip     that folder, zipped
  Tastovolant-VERSION-setup.exe     the installer (packaging/installer.nsi, makensis)
  Tastovolant-VERSION-update.txt    the update manifest of the release folder, which the maker's
                                    server answers at /update.php?p=Tastovolant
Standard library only; makensis comes from Debian's nsis package.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(ROOT, "tools"))
import make_update_manifest  # noqa: E402

PROGRAM = "Tastovolant.exe"
READMES = ("LIESMICH.txt", "README.txt")
ICON = os.path.join(ROOT, "src", "assets", "icon", "tastovolant.ico")


class ReleaseError(Exception):
    pass


def windows_text(path):
    """A read-me's bytes as Windows editors want them: CR LF line ends, ISO-8859-1. A checkout
    that turned the line ends into LF is mended; text in another encoding is refused."""
    data = open(path, "rb").read()
    if any(0x80 <= b < 0xA0 for b in data):
        raise ReleaseError(f"{path} is not ISO-8859-1 (it has bytes of UTF-8 or Windows-1252)")
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def stage(program_dir, folder):
    """Fills the release folder; returns its files as paths relative to it, sorted."""
    exe = os.path.join(program_dir, PROGRAM)
    gfx = os.path.join(program_dir, "GFX")
    if not os.path.isfile(exe):
        raise ReleaseError(f"{exe} is missing: build the program first")
    pictures = sorted(n for n in os.listdir(gfx) if n.lower().endswith(".png")) if os.path.isdir(gfx) else []
    if not pictures:
        raise ReleaseError(f"{gfx} holds no pictures")
    if os.path.exists(folder):
        shutil.rmtree(folder)
    os.makedirs(os.path.join(folder, "GFX"))
    shutil.copy2(exe, os.path.join(folder, PROGRAM))
    for name in pictures:
        shutil.copy2(os.path.join(gfx, name), os.path.join(folder, "GFX", name))
    for name in READMES:
        with open(os.path.join(folder, name), "wb") as file:
            file.write(windows_text(os.path.join(HERE, name)))
        shutil.copystat(os.path.join(HERE, name), os.path.join(folder, name))
    return sorted([PROGRAM, *READMES, *(f"GFX/{name}" for name in pictures)])


def write_zip(folder, files, path):
    """The release folder as one top folder of the zip, so that unpacking makes a folder."""
    top = os.path.basename(folder)
    with zipfile.ZipFile(path + ".part", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for name in files:
            archive.write(os.path.join(folder, name), f"{top}/{name}")
    os.replace(path + ".part", path)


def nsis_text(text):
    return text.replace("$", "$$").replace('"', '$\\"')


def write_file_list(folder, files, path):
    """The installer's include: one File line per file to install, one Delete line per file to
    remove on uninstall, so the uninstaller removes exactly what the installer added."""
    lines = ["; Written by make_release.py for installer.nsi.", "!macro InstallReleaseFiles"]
    current = None
    for name in files:
        subfolder, _, base = name.rpartition("/")
        if subfolder != current:
            target = "$INSTDIR" + ("\\" + subfolder.replace("/", "\\") if subfolder else "")
            lines.append(f'  SetOutPath "{target}"')
            current = subfolder
        lines.append(f'  File "{nsis_text(os.path.join(folder, name))}"')
    lines += ["!macroend", "!macro RemoveReleaseFiles"]
    lines += [f'  Delete "$INSTDIR\\{nsis_text(name.replace("/", chr(92)))}"' for name in files]
    lines.append("!macroend")
    with open(path, "w", encoding="utf-8") as file:
        file.write("\n".join(lines) + "\n")


def write_installer(folder, files, version, path):
    makensis = shutil.which("makensis")
    if not makensis:
        raise ReleaseError("makensis is missing (Debian's nsis package; scripts/setup.sh installs it)")
    size_kb = (sum(os.path.getsize(os.path.join(folder, name)) for name in files) + 1023) // 1024
    with tempfile.TemporaryDirectory(prefix="tastovolant_nsis_") as scratch:
        file_list = os.path.join(scratch, "release_files.nsh")
        write_file_list(folder, files, file_list)
        command = [makensis, "-V2", "-INPUTCHARSET", "UTF8", f"-DVERSION={version}", f"-DFILES={file_list}",
                   f"-DICON={ICON}", f"-DOUTFILE={path}", f"-DSIZE_KB={size_kb}", os.path.join(HERE, "installer.nsi")]
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0 or not os.path.isfile(path):
        raise ReleaseError("makensis failed:\n" + result.stdout)


def main(argv):
    parser = argparse.ArgumentParser(description="Packs Tastovolant for release.")
    parser.add_argument("program_dir", help="the build's program folder: Tastovolant.exe and GFX/")
    parser.add_argument("out_dir", help="where the release folder, zip, installer and manifest go")
    parser.add_argument("version", help="the program's version, e.g. 2.0.0")
    parser.add_argument("--no-installer", action="store_true", help="leave out the installer")
    arguments = parser.parse_args(argv)
    out_dir = os.path.abspath(arguments.out_dir)
    base = f"Tastovolant-{arguments.version}"
    folder = os.path.join(out_dir, base)
    try:
        os.makedirs(out_dir, exist_ok=True)
        files = stage(arguments.program_dir, folder)
        written = [os.path.join(out_dir, f"{base}-win64.zip")]
        write_zip(folder, files, written[-1])
        if not arguments.no_installer:
            written.append(os.path.join(out_dir, f"{base}-setup.exe"))
            write_installer(folder, files, arguments.version, written[-1])
        written.append(os.path.join(out_dir, f"{base}-update.txt"))
        with open(written[-1], "wb") as file:
            file.write(make_update_manifest.make_manifest(folder, arguments.version))
    except (ReleaseError, make_update_manifest.ManifestError, OSError) as error:
        print(f"make_release: {error}", file=sys.stderr)
        return 1
    for path in written:
        print(f"make_release: {os.path.relpath(path)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
