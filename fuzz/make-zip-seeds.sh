#!/bin/sh
# Makes the ZIP reader's seed archives with three producers (zip, Python's
# zipfile, bsdtar): stored, deflated, data-descriptor, empty and folder
# entries. Run once by hand; the archives are kept in corpus/zip_archive.
set -eu
out=$(cd "$(dirname "$0")" && pwd)/corpus/zip_archive
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p pkg/bin
printf 'MZ program bytes %s\n' 1 2 3 4 5 6 7 8 > pkg/bin/app.exe
printf '[app]\r\nVERSION=1.2\r\n' > pkg/VERSION.INI
: > pkg/empty.txt

(cd pkg && zip -q -r -X "$out/infozip-deflated.zip" .)
(cd pkg && zip -q -r -X -0 "$out/infozip-stored.zip" .)
# Written to a pipe, zip cannot seek back and adds data descriptors.
(cd pkg && zip -q -X - VERSION.INI | cat > "$out/infozip-streamed.zip")
(cd pkg && bsdtar --format zip -cf "$out/bsdtar-deflated.zip" .)
(cd pkg && bsdtar --format zip --options zip:compression=store -cf "$out/bsdtar-stored.zip" .)
python3 - "$out" <<'PY'
import io, sys, zipfile
out = sys.argv[1]
def write(name, method, stream=False):
    buffer = io.BytesIO()
    class Unseekable(io.RawIOBase):
        def writable(self): return True
        def write(self, b): return buffer.write(b)
    target = Unseekable() if stream else buffer
    with zipfile.ZipFile(target, "w", method) as archive:
        archive.writestr("bin/", b"")
        archive.writestr("empty.txt", b"")
        archive.writestr("VERSION.INI", b"[app]\r\nVERSION=1.2\r\n" * 4)
        archive.writestr("\ub4f1\ub85d.MG", "release notes".encode())
    open(f"{out}/{name}", "wb").write(buffer.getvalue())
write("python-deflated.zip", zipfile.ZIP_DEFLATED)
write("python-stored.zip", zipfile.ZIP_STORED)
write("python-descriptor.zip", zipfile.ZIP_DEFLATED, stream=True)
zipfile.ZipFile(f"{out}/python-empty.zip", "w").close()
PY
