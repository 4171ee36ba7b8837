#!/bin/sh
# zfixbuild build and inspect on Linux, with the real installer stub of the Windows build:
#   - a fix built from two small trees reads back through inspect --json, and through pefile (an
#     independent reader): every resource of the fix, the stub's own resources unchanged, the
#     fix's strings merged into the stub's string blocks, a valid checksum;
#   - the same inputs give the same bytes (twice, any --jobs, with and without
#     SOURCE_DATE_EPOCH, which sets the PE time stamp; without it the stub's stays);
#   - osslsigncode signs the fix, the signature verifies, inspect says it is signed;
#   - a signed, damaged or foreign stub, or one that is already a fix, is refused with a message
#     naming what is wrong, and no executable is left behind;
#   - a symbolic link or a pipe in a tree is refused, naming it;
#   - a fix in which every component tree changes carries each as its archive (cabinets through
#     libgcab, the zip through minizip), which unpacks with cabextract, gcab and unzip into the
#     fix's tree, with the member names, order, times and attributes of the Windows builder's
#     archives; two builds are the same bytes;
#   - component trees the installer would fail on or unpack wrongly (names that are one file,
#     or a file and a folder, on Windows; a script library without templates, with files in its
#     own template folder or a version directory not named dojo-; names or member counts past
#     what the installer or a cabinet holds) are refused, naming what is wrong.
# usage: native_build_test.sh WORKDIR ZFIXBUILD WIN_BIN_DIR   (exit 77: skipped, no stub)
set -u
W=$1 ZB=$2 WIN=$3
if [ ! -f "$WIN/zfix.exe" ] || [ ! -f "$WIN/UpdateVersion.exe" ] || [ ! -f "$WIN/cabarc.exe" ]; then
  echo "SKIP: no Windows build at $WIN (zfix.exe, UpdateVersion.exe, cabarc.exe): build build/win first (scripts/build.sh does)"
  exit 77
fi
rm -rf "$W" && mkdir -p "$W" && cd "$W" || exit 1
fail=0
bad() { echo "FAIL: $*"; fail=1; }
PY=
for p in /usr/bin/python3 python3; do
  "$p" -c 'import pefile' 2>/dev/null && { PY=$p; break; }
done
[ -n "$PY" ] || { echo "FAIL: python3 with pefile is not installed (scripts/install-deps.sh installs python3-pefile)"; exit 1; }
for tool in osslsigncode openssl; do
  command -v $tool >/dev/null || { echo "FAIL: $tool is not installed (scripts/install-deps.sh installs it)"; exit 1; }
done

# Two small trees: a changed library (patched), a changed text, a new file in a new folder, a
# removed file, and a data file.
mkdir -p base/program/lib base/data fix/program/lib fix/program/sig fix/data
i=0
while [ $i -lt 400 ]; do echo "record $i of the sample library, some words that repeat"; i=$((i+1)); done > base/program/lib/pomvi.dll
{ head -c 3000 base/program/lib/pomvi.dll; printf 'inserted bytes'; tail -c +3001 base/program/lib/pomvi.dll; } > fix/program/lib/pomvi.dll
printf 'version=1\r\n' > base/program/ZOREL.INI
printf 'version=2\r\n' > fix/program/ZOREL.INI
printf 'old file\r\n' > base/program/gone.txt
printf 'new signature file\r\n' > fix/program/sig/pomvi.sf
printf 'data\r\n' > base/data/users.dat
cp base/data/users.dat fix/data/users.dat
printf 'Sample licence.\r\n' > license.txt
cat > hf.ini <<'EOF'
[Fix]
Title=Release 14.5.1FP1 -> Release 14.5.1FP1 HF21
Kind=hotfix
BaseLabel=Release 14.5.1FP1|May 21, 2026
FixLabel=Release 14.5.1FP1 HF21|September 21, 2026
StringsLibrary=tessra.dll
License=license.txt
[Base]
Program=base\program
Data=base\data
[Target]
Program=fix\program
Data=fix\data
EOF

build() {  # build OUT [options...]
  out=$1; shift
  "$ZB" build hf.ini -o "$out" --stub "$WIN/zfix.exe" --tools "$WIN" "$@" > "$out.txt" 2>&1 ||
    bad "zfixbuild build $out $*: $(cat "$out.txt")"
}
unset SOURCE_DATE_EPOCH
build HF21.exe
grep -q "wrote .*HF21.exe: 4 files" HF21.exe.txt || bad "build does not report 4 files: $(cat HF21.exe.txt)"

# inspect --json: the fix as built.
"$ZB" inspect HF21.exe --json > inspect.json 2> inspect.err || bad "inspect --json: $(cat inspect.err)"
"$PY" - inspect.json > json.txt 2>&1 <<'EOF' || bad "inspect --json: $(cat json.txt)"
import json, sys
j = json.load(open(sys.argv[1]))
text = json.dumps(j)
names = [e.get("name") for e in j["entries"]]
assert len(names) == 4, names
for n in ("lib\\pomvi.dll", "ZOREL.INI", "sig\\pomvi.sf", "gone.txt"):
    assert n in names, (n, names)
assert "Release 14.5.1FP1 HF21|September 21, 2026" in text, "no fix label"
assert '"signed": false' in text, "the unsigned fix is not reported unsigned"
for t in ("LICENSEENTRY", "UPDATE64ENTRY", "UPDATECABENTRY"):
    assert t in text, t
EOF

# pefile: every resource, the stub's unchanged, the strings, the checksum.
"$PY" - "$WIN/zfix.exe" HF21.exe > pefile.txt 2>&1 <<'EOF' || bad "pefile: $(cat pefile.txt)"
import sys, pefile
def resources(path):
    pe = pefile.PE(path)
    out = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        tn = str(t.name) if t.name is not None else t.id
        for n in t.directory.entries:
            nn = str(n.name) if n.name is not None else n.id
            for l in n.directory.entries:
                d = l.data.struct
                out[(tn, nn, l.id)] = bytes(pe.get_data(d.OffsetToData, d.Size))
    return pe, out
stub, before = resources(sys.argv[1])
fix, after = resources(sys.argv[2])
assert fix.OPTIONAL_HEADER.CheckSum == fix.generate_checksum(), "checksum %x, computed %x" % (fix.OPTIONAL_HEADER.CheckSum, fix.generate_checksum())
assert stub.OPTIONAL_HEADER.CheckSum == 0 or stub.OPTIONAL_HEADER.CheckSum == stub.generate_checksum()
for key in ["VERSION", "LICENSEENTRY", "UPDATE64ENTRY", "UPDATECABENTRY"]:
    assert (key, 1, 1033) in after, key
for n in range(1, 5):
    assert ("FILEENTRY", n, 1033) in after, n
assert ("UPDATE", 1, 1033) in after
def string(res, i):
    b = res[(6, i // 16 + 1, 1033)]
    pos = 0
    for k in range(16):
        n = b[pos] | b[pos + 1] << 8
        s = b[pos + 2: pos + 2 + 2 * n].decode("utf-16-le")
        if k == i % 16:
            return s
        pos += 2 + 2 * n
assert string(after, 0) == "Release 14.5.1FP1 -> Release 14.5.1FP1 HF21", string(after, 0)
for key, data in before.items():
    if key[0] == 6 and key[1] in (1, 3):
        for i in range(16 * (key[1] - 1), 16 * key[1]):
            if i not in (0, 1, 2, 42, 43):
                assert string(before, i) == string(after, i), ("string", i)
    else:
        assert after.get(key) == data, ("stub resource changed", key)
# The sections keep their places up to the resources; the relocations follow them.
s = {x.Name.rstrip(b"\0").decode(): x for x in fix.sections}
assert s[".reloc"].VirtualAddress >= s[".rsrc"].VirtualAddress + s[".rsrc"].Misc_VirtualSize
assert fix.OPTIONAL_HEADER.DATA_DIRECTORY[5].VirtualAddress == s[".reloc"].VirtualAddress
assert fix.OPTIONAL_HEADER.SizeOfImage == s[".reloc"].VirtualAddress + ((s[".reloc"].Misc_VirtualSize + 0xFFF) & ~0xFFF)
fix.parse_data_directories()
assert len(fix.DIRECTORY_ENTRY_BASERELOC) == len(stub.DIRECTORY_ENTRY_BASERELOC)
assert fix.FILE_HEADER.TimeDateStamp == stub.FILE_HEADER.TimeDateStamp, "time stamp is not the stub's"
EOF

# The loader's order in every resource directory table of the fix: named entries first, in the
# order of their names in uppercase UTF-16 (as the system compares them), then ids ascending; the
# table's counts split the two.
"$PY" - HF21.exe > order.txt 2>&1 <<'EOF' || bad "resource order: $(cat order.txt)"
import sys, pefile
pe = pefile.PE(sys.argv[1])
base = pe.OPTIONAL_HEADER.DATA_DIRECTORY[2].VirtualAddress
def name_of(e):
    at = base + (e.struct.Name & 0x7FFFFFFF)
    return pe.get_data(at + 2, 2 * pe.get_word_at_rva(at)).decode("utf-16-le", "surrogatepass")
def upper(s):
    return [ord(c.upper()) if len(c.upper()) == 1 and ord(c.upper()) < 0x10000 else ord(c) for c in s]
tables = 0
def check(d, where):
    global tables
    tables += 1
    named = [e for e in d.entries if e.struct.Name & 0x80000000]
    ids = [e.struct.Name for e in d.entries if not e.struct.Name & 0x80000000]
    counts = (d.struct.NumberOfNamedEntries, d.struct.NumberOfIdEntries)
    assert counts == (len(named), len(ids)), (where, "counts", counts, len(named), len(ids))
    assert all(e.struct.Name & 0x80000000 for e in d.entries[:len(named)]), (where, "an id before a name")
    keys = [upper(name_of(e)) for e in named]
    assert all(a <= b for a, b in zip(keys, keys[1:])), (where, [name_of(e) for e in named])
    assert all(a < b for a, b in zip(ids, ids[1:])), (where, ids)
    for e in d.entries:
        if e.struct.OffsetToData & 0x80000000:
            check(e.directory, where + [name_of(e) if e.struct.Name & 0x80000000 else e.struct.Name])
check(pe.DIRECTORY_ENTRY_RESOURCE, [])
assert tables > 10, tables
EOF

# Same inputs, same bytes: again, on one thread, with SOURCE_DATE_EPOCH (twice).
touch license.txt
build again.exe
build jobs1.exe --jobs 1
cmp -s HF21.exe again.exe || bad "two builds differ"
cmp -s HF21.exe jobs1.exe || bad "--jobs 1 gives other bytes"
SOURCE_DATE_EPOCH=1700000000; export SOURCE_DATE_EPOCH
build epoch1.exe
build epoch2.exe --jobs 2
unset SOURCE_DATE_EPOCH
cmp -s epoch1.exe epoch2.exe || bad "two builds with SOURCE_DATE_EPOCH differ"
"$PY" -c 'import pefile, sys; assert pefile.PE(sys.argv[1]).FILE_HEADER.TimeDateStamp == 1700000000' epoch1.exe ||
  bad "SOURCE_DATE_EPOCH is not the PE time stamp"
SOURCE_DATE_EPOCH=yesterday "$ZB" build hf.ini -o bad-epoch.exe --stub "$WIN/zfix.exe" --tools "$WIN" > bad-epoch.txt 2>&1 &&
  bad "a build with SOURCE_DATE_EPOCH=yesterday succeeded"
grep -q "SOURCE_DATE_EPOCH" bad-epoch.txt || bad "no message for a bad SOURCE_DATE_EPOCH: $(cat bad-epoch.txt)"

# Signing: osslsigncode signs the native fix, the signature verifies, inspect tells signed from
# unsigned, and a signed stub is refused.
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 30 \
  -subj "/CN=Zfix Test Release Engineering" > openssl.txt 2>&1 || { bad "openssl: $(cat openssl.txt)"; exit 1; }
osslsigncode sign -certs cert.pem -key key.pem -n "Release 14.5.1FP1 HF21" -in HF21.exe -out HF21s.exe > sign.txt 2>&1 ||
  bad "osslsigncode sign: $(cat sign.txt)"
osslsigncode verify -CAfile cert.pem -in HF21s.exe > verify.txt 2>&1 || bad "the signed fix does not verify: $(cat verify.txt)"
osslsigncode extract-signature -in HF21s.exe -out sig.der > extract-sig.txt 2>&1 || bad "osslsigncode extract-signature: $(cat extract-sig.txt)"
"$ZB" inspect HF21s.exe > inspect-signed.txt 2>&1 || bad "inspect of the signed fix: $(cat inspect-signed.txt)"
grep -q "signed: yes" inspect-signed.txt || bad "inspect does not say that the signed fix is signed"
grep -q "certificateTableSize: [1-9]" inspect-signed.txt || bad "inspect shows no certificate table"
"$ZB" inspect HF21.exe > inspect-plain.txt 2>&1 || bad "inspect of the unsigned fix: $(cat inspect-plain.txt)"
grep -q "signed: no" inspect-plain.txt || bad "inspect does not say that the unsigned fix is unsigned"
osslsigncode sign -certs cert.pem -key key.pem -in "$WIN/zfix.exe" -out zfix-signed.exe > sign-stub.txt 2>&1 ||
  bad "osslsigncode sign of the stub: $(cat sign-stub.txt)"

# Stubs that cannot be used, each with the words its message must hold.
printf 'MZ but nothing else follows here, not a PE image at all.........' > short-mz.exe
printf 'plain text, not an executable\n' > text.exe
head -c 1000 "$WIN/zfix.exe" > truncated.exe
"$PY" - "$WIN/zfix.exe" > damage.txt 2>&1 <<'EOF' || bad "making damaged stubs: $(cat damage.txt)"
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
opt = pe + 24
nsec = struct.unpack_from("<H", data, pe + 6)[0]
secs = opt + struct.unpack_from("<H", data, pe + 20)[0]
rva = struct.unpack_from("<I", data, opt + 96 + 16)[0]
def file_offset(r):
    for i in range(nsec):
        h = secs + 40 * i
        vs, va, rs, rp = struct.unpack_from("<IIII", data, h + 8)
        if va <= r < va + max(vs, rs):
            return rp + r - va, h
rsrc, header = file_offset(rva)
# No resource directory.
d = bytearray(data); struct.pack_into("<II", d, opt + 96 + 16, 0, 0); open("no-rsrc.exe", "wb").write(d)
# The first type's directory is the root itself.
d = bytearray(data); struct.pack_into("<I", d, rsrc + 16 + 4, 0x80000000); open("loop.exe", "wb").write(d)
# The resource section cut off in the middle.
open("cut-rsrc.exe", "wb").write(data[:rsrc + 600])
# A data entry that points far outside the image.
d = bytearray(data)
t = rsrc + (struct.unpack_from("<I", d, rsrc + 20)[0] & 0x7FFFFFFF)
n = rsrc + (struct.unpack_from("<I", d, t + 20)[0] & 0x7FFFFFFF)
e = rsrc + struct.unpack_from("<I", d, n + 20)[0]
struct.pack_into("<I", d, e, 0x7FFF0000); open("wild-data.exe", "wb").write(d)
# A 64-bit image: the optional header's magic says PE32+.
d = bytearray(data); struct.pack_into("<H", d, opt, 0x20B); open("pe64.exe", "wb").write(d)
# A section after the resources that is not the relocations.
d = bytearray(data); struct.pack_into("<II", d, opt + 96 + 40, 0, 0); open("no-reloc-dir.exe", "wb").write(d)
EOF
while read -r stub words; do
  "$ZB" build hf.ini -o "from-$stub" --stub "$stub" --tools "$WIN" > "refused-$stub.txt" 2>&1 &&
    bad "a build from $stub succeeded"
  grep -q "$words" "refused-$stub.txt" || bad "build from $stub: no message with \"$words\": $(cat "refused-$stub.txt")"
  [ ! -e "from-$stub" ] || bad "a build from $stub left an executable"
  case $stub in zfix-signed.exe|no-reloc-dir.exe|HF21.exe) continue ;; esac
  "$ZB" inspect "$stub" > "inspect-$stub.txt" 2>&1 && bad "inspect of $stub succeeded"
  grep -q "$words" "inspect-$stub.txt" || bad "inspect of $stub: no message with \"$words\": $(cat "inspect-$stub.txt")"
done <<'EOF'
zfix-signed.exe is signed
text.exe not a Windows executable (no MZ header)
short-mz.exe truncated: the PE header
truncated.exe truncated: section .text
pe64.exe not a 32-bit i386 image
no-rsrc.exe no resource section
cut-rsrc.exe truncated: section .rsrc
loop.exe the resource directory tree loops
wild-data.exe lies outside the file's sections
no-reloc-dir.exe section .reloc follows the resource section .rsrc and is not the base relocations
HF21.exe already carries a fix's resources (FILEENTRY/1)
EOF

# File names: UTF-8 here, Windows-1252 in the fix as the Windows builder reads them; a name
# that Windows-1252 cannot hold is refused.
mkdir -p names/base names/fix
printf 'new\r\n' > "names/fix/$(printf 'na\303\257ve.txt')"
sed -e 's/^Program=base.program/Program=names\\base/' -e 's/^Program=fix.program/Program=names\\fix/' \
    -e '/^Data=/d' hf.ini > names.ini
"$ZB" build names.ini -o names.exe --stub "$WIN/zfix.exe" --tools "$WIN" > names.txt 2>&1 || bad "build with a UTF-8 name: $(cat names.txt)"
"$ZB" inspect names.exe > names-inspect.txt 2>&1 || bad "inspect of names.exe: $(cat names-inspect.txt)"
LC_ALL=C grep -q "$(printf 'na\357ve.txt')" names-inspect.txt || bad "the name naïve.txt is not stored in Windows-1252"
printf 'x' > "names/fix/$(printf '\345\220\215.txt')"
"$ZB" build names.ini -o names2.exe --stub "$WIN/zfix.exe" --tools "$WIN" > names2.txt 2>&1 &&
  bad "a build with a name that Windows-1252 lacks succeeded"
grep -q "has characters that Windows-1252 lacks" names2.txt || bad "no clear message for a name outside Windows-1252: $(cat names2.txt)"

# Component trees: a fix in which every one changes carries each as one archive, packed as the
# Windows builder packs it (cabinets with cabarc's members in its walk order, the script
# library's templates below template\, the zip with minizip); each unpacks with cabextract,
# gcab and unzip into the fix's tree, byte for byte, and two builds are the same bytes. Member
# times are the files' local times (a zone nine hours from UTC here).
TZ=JST-9; export TZ
C=comp
mkdir -p $C/base/program/jvm/bin $C/base/program/kws $C/base/program/osgi/shared/eclipse/plugins \
         $C/base/data/halvex/html/ckeditor $C/base/data/halvex/js/dojo-1.16.5 $C/base/data/halvex/template/dojo-1.16.5
for f in program/jvm/bin/java.dll program/kws/server.xml program/osgi/shared/eclipse/plugins/core.jar \
         data/halvex/html/ckeditor/ckeditor.js data/halvex/js/dojo-1.16.5/dojo.js data/halvex/template/dojo-1.16.5/page.html; do
  echo "base $f" > $C/base/$f
done
cp -r $C/base $C/fix
F=$C/fix/program D=$C/fix/data
mkdir -p $F/jvm/lib/ext $F/kws/conf $F/kws/bin $F/osgi/shared/eclipse/plugins/com.zorel.ui \
         $D/halvex/html/ckeditor/lang $D/halvex/js/dojo-1.16.5/dijit $D/halvex/template/dojo-1.16.5/sub
head -c 100000 /dev/urandom > $F/jvm/lib/rt.jar  # several cabinet blocks, incompressible
seq 1 20000 > $F/jvm/lib/ext/numbers.txt
: > $F/jvm/lib/empty.properties
for n in Zeta.txt alpha.txt _under.txt release; do echo "$n" > $F/jvm/$n; done
echo accented > "$F/jvm/lib/$(printf 'na\303\257ve.txt')"  # UTF-8 here, Windows-1252 in the fix
echo changed >> $F/jvm/bin/java.dll
head -c 40000 /dev/urandom > $F/kws/bin/kws.exe
seq 1 3000 > $F/kws/conf/server.conf
echo changed >> $F/kws/server.xml
echo '<plugin/>' > $F/osgi/shared/eclipse/plugins/com.zorel.ui/plugin.xml
echo changed >> $F/osgi/shared/eclipse/plugins/core.jar
echo lang > $D/halvex/html/ckeditor/lang/de.js
echo changed >> $D/halvex/html/ckeditor/ckeditor.js
echo form > $D/halvex/js/dojo-1.16.5/dijit/form.js
echo sub > $D/halvex/template/dojo-1.16.5/sub/x.html
echo changed >> $D/halvex/template/dojo-1.16.5/page.html
find $C/fix -type f -exec touch -d '2026-03-01 10:20:31 UTC' {} +
touch -d '1975-06-01 12:00 UTC' $F/jvm/alpha.txt  # before 1980: 1980-01-01 00:00
touch -d '2026-07-14 23:59:59 UTC' $F/kws/bin/kws.exe  # the next day in local time
chmod a-w $F/jvm/release  # read-only in the cabinet too
sed -e 's/^Program=base.program/Program=comp\\base\\program/' -e 's/^Data=base.data/Data=comp\\base\\data/' \
    -e 's/^Program=fix.program/Program=comp\\fix\\program/' -e 's/^Data=fix.data/Data=comp\\fix\\data/' hf.ini > comp.ini
comp_build() {  # OUT [options...]
  out=$1; shift
  start=$(date +%s.%N)
  "$ZB" build comp.ini -o "$out" --stub "$WIN/zfix.exe" --tools "$WIN" "$@" > "$out.txt" 2>&1 ||
    bad "zfixbuild build $out (components): $(cat "$out.txt")"
  echo "build of $out (every component tree changed): $(awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $start }") s"
}
comp_build comp.exe
comp_build comp-again.exe --jobs 1
cmp -s comp.exe comp-again.exe || bad "two builds of a fix with components differ"
while read -r line; do
  grep -q -F -- "$line" comp.exe.txt || bad "build does not say \"$line\": $(cat comp.exe.txt)"
done <<'LINES'
component script library: 4 files in halvex\js\dojo-1.16.5\hlv-dojo.cab
component OSGi plug-ins: 2 files in osgi\shared\eclipse\plugins\osgi_plugins.cab
component web server: 3 files in kws\kwswindows.zip
component editor: 2 files in halvex\html\ckeditor\ckeditor.cab
component JVM: 9 files in jvm\jvm.cab
comp.exe: 5 files
LINES

# The archives as the installer gets them: the entries' payloads, decoded.
mkdir -p archives
"$ZB" inspect comp.exe --json > comp.json 2> comp.err || bad "inspect --json of comp.exe: $(cat comp.err)"
"$PY" - comp.exe comp.json > payloads.txt 2>&1 <<'PYTHON' || bad "the fix's entries: $(cat payloads.txt)"
import json, sys, pefile
j = json.load(open(sys.argv[2]))
want = {"halvex\\js\\dojo-1.16.5\\hlv-dojo.cab": ("script library", 2), "jvm\\jvm.cab": ("JVM", 1),
        "osgi\\shared\\eclipse\\plugins\\osgi_plugins.cab": ("OSGi plug-ins", 1), "kws\\kwswindows.zip": ("web server", 1),
        "halvex\\html\\ckeditor\\ckeditor.cab": ("editor", 2)}
got = {e["name"]: (e.get("component"), e["dwDir"]) for e in j["entries"]}
assert got == want, got
pe = pefile.PE(sys.argv[1])
for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    if str(t.name) == "UPDATE":
        for n in t.directory.entries:
            d = n.directory.entries[0].data.struct
            name = j["entries"][n.id - 1]["name"].split("\\")[-1]
            open("archives/" + name + ".payload", "wb").write(pe.get_data(d.OffsetToData, d.Size))
PYTHON
for a in jvm.cab kwswindows.zip osgi_plugins.cab ckeditor.cab hlv-dojo.cab; do
  "$ZB" explode archives/$a.payload archives/$a > explode.txt 2>&1 || bad "explode $a: $(cat explode.txt)"
done

# They unpack into the fix's trees (the script library's templates below template\).
mkdir -p expect/dojo
cp -rp $F/jvm expect/jvm && cp -rp $F/kws expect/kws && cp -rp $F/osgi/shared/eclipse/plugins expect/osgi &&
  cp -rp $D/halvex/html/ckeditor expect/ckeditor && cp -rp $D/halvex/js/dojo-1.16.5/. expect/dojo/ &&
  cp -rp $D/halvex/template/dojo-1.16.5 expect/dojo/template || bad "cannot copy the expected trees"
while read -r a tree; do
  mkdir -p out/cabextract/$tree out/gcab/$tree
  cabextract -q -d out/cabextract/$tree archives/$a > x.txt 2>&1 || bad "cabextract $a: $(cat x.txt)"
  gcab -x -C out/gcab/$tree archives/$a > x.txt 2>&1 || bad "gcab -x $a: $(cat x.txt)"
  diff -r expect/$tree out/cabextract/$tree > x.txt 2>&1 || bad "cabextract's $a differs from the fix's tree: $(cat x.txt)"
  diff -r expect/$tree out/gcab/$tree > x.txt 2>&1 || bad "gcab's $a differs from the fix's tree: $(cat x.txt)"
done <<'ARCHIVES'
jvm.cab jvm
osgi_plugins.cab osgi
ckeditor.cab ckeditor
hlv-dojo.cab dojo
ARCHIVES
mkdir -p out/unzip/kws
unzip -q archives/kwswindows.zip -d out/unzip/kws > x.txt 2>&1 || bad "unzip kwswindows.zip: $(cat x.txt)"
diff -r expect/kws out/unzip/kws > x.txt 2>&1 || bad "unzip's kwswindows.zip differs from the fix's tree: $(cat x.txt)"

# Names, order, times and attributes as the Windows builder's archives have them.
"$PY" - archives "$F" > members.txt 2>&1 <<'PYTHON' || bad "archive members: $(cat members.txt)"
import os, struct, sys, time, zipfile
A, P = sys.argv[1], sys.argv[2]
def dos(path):
    t = time.localtime(os.stat(path).st_mtime)
    if t.tm_year < 1980:
        return 0x21, 0
    return (t.tm_year - 1980) << 9 | t.tm_mon << 5 | t.tm_mday, t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec // 2
def cab(name):
    d = open(os.path.join(A, name), "rb").read()
    assert d[:4] == b"MSCF"
    nfolders, nfiles, flags, setid = struct.unpack_from("<HHHH", d, 26)
    assert flags == 0 and setid == 0, (flags, setid)
    assert struct.unpack_from("<H", d, 36 + 6)[0] == 1, "not MSZIP"
    pos, out = struct.unpack_from("<I", d, 16)[0], []
    for _ in range(nfiles):
        size, off, folder, date, tm, attr = struct.unpack_from("<IIHHHH", d, pos)
        end = d.index(b"\0", pos + 16)
        out.append((d[pos + 16:end].decode("utf-8" if attr & 0x80 else "ascii"), date, tm, attr))
        pos = end + 1
    return out
jvm = cab("jvm.cab")
# cabarc -r -p n jvm.cab * in the tree: a folder's files first, then its subfolders, each by
# upper-cased name.
names = [m[0] for m in jvm]
assert names == ["alpha.txt", "release", "Zeta.txt", "_under.txt", "bin\\java.dll", "lib\\empty.properties",
                 "lib\\na\u00efve.txt", "lib\\rt.jar", "lib\\ext\\numbers.txt"], names
for n, date, tm, attr in jvm:
    assert (date, tm) == dos(os.path.join(P, "jvm", *n.split("\\"))), (n, hex(date), hex(tm))
    want = 0x20 | (0x01 if n == "release" else 0) | (0x80 if "\u00ef" in n else 0)
    assert attr == want, (n, hex(attr))
assert [m[0] for m in cab("hlv-dojo.cab")] == ["dojo.js", "dijit\\form.js", "template\\page.html", "template\\sub\\x.html"]
assert [m[0] for m in cab("ckeditor.cab")] == ["ckeditor.js", "lang\\de.js"]
assert [m[0] for m in cab("osgi_plugins.cab")] == ["core.jar", "com.zorel.ui\\plugin.xml"]
# The zip: members by upper-cased path, deflated, '/' between folders, local DOS times.
z = zipfile.ZipFile(os.path.join(A, "kwswindows.zip"))
assert z.namelist() == ["bin/kws.exe", "conf/server.conf", "server.xml"], z.namelist()
for i in z.infolist():
    assert i.compress_type == zipfile.ZIP_DEFLATED and i.create_system == 0, i
    d, t = dos(os.path.join(P, "kws", *i.filename.split("/")))
    assert i.date_time == ((d >> 9) + 1980, d >> 5 & 15, d & 31, t >> 11, t >> 5 & 63, (t & 31) * 2), (i.filename, i.date_time)
assert z.getinfo("bin/kws.exe").date_time[:3] == (2026, 7, 15), "not local time"
PYTHON
unset TZ

# Two files that would share one name in the script library's cabinet (one in the version
# directory's template folder, one among the templates) are refused, not one of them lost: any
# file of that template folder would be moved among the templates.
mkdir -p $D/halvex/js/dojo-1.16.5/template && echo other > $D/halvex/js/dojo-1.16.5/template/PAGE.html
"$ZB" build comp.ini -o comp-clash.exe --stub "$WIN/zfix.exe" --tools "$WIN" > comp-clash.txt 2>&1 &&
  bad "a build whose script library cabinet would hold one name twice succeeded"
grep -q -F 'halvex\js\dojo-1.16.5\template\PAGE.html would be unpacked among the templates' comp-clash.txt ||
  bad "no clear message for two members of one name: $(cat comp-clash.txt)"
[ ! -e comp-clash.exe ] || bad "a refused build left an executable"
chmod -R u+w $C expect

# Component trees the installer would fail on or unpack wrongly are refused with a message, no
# executable left: each row changes a copy of the fix's trees (P its program, D its data folder).
A200=$(printf '%200s' | tr ' ' a) B60=$(printf '%60s' | tr ' ' b) B55=$(printf '%55s' | tr ' ' b)
many() { mkdir "$1" && (cd "$1" && seq 1 65536 | xargs touch); }  # FOLDER: 65,536 empty files
while IFS='@' read -r setup words; do
  rm -rf rc && cp -r $C rc && rm -r rc/fix/data/halvex/js/dojo-1.16.5/template && sed 's/comp\\/rc\\/g' comp.ini > rc.ini || bad "cannot copy $C"
  (P=rc/fix/program D=rc/fix/data; eval "$setup") || bad "cannot set up: $setup"
  "$ZB" build rc.ini -o rc.exe --stub "$WIN/zfix.exe" --tools "$WIN" > rc.txt 2>&1 && bad "a build after \"$setup\" succeeded"
  grep -q -F -- "$words" rc.txt || bad "after \"$setup\": no message with \"$words\": $(cat rc.txt)"
  [ ! -e rc.exe ] || bad "a refused build after \"$setup\" left an executable"
done <<'ROWS'
echo x > $P/kws/Server.xml@"kws\Server.xml" and "kws\server.xml" of the target tree are the same file on Windows
echo x > "$P/kws/$(printf '\303\251.txt')"; echo y > "$P/kws/$(printf '\303\211.txt')"@of the target tree are the same file on Windows
echo r > $P/kws/readme; mkdir $P/kws/README; echo x > $P/kws/README/x.txt@are a file and a folder of one name on Windows
echo r > $P/other; mkdir $P/OTHER; echo x > $P/OTHER/x.txt@program file "other" and folder "OTHER\" of the target tree are a file and a folder of one name on Windows
rm -r $D/halvex/template/dojo-1.16.5@has no file below halvex\template\dojo-1.16.5
mkdir -p $D/halvex/js/dojo-1.16.5/template/x; echo t > $D/halvex/js/dojo-1.16.5/template/x/y.html@halvex\js\dojo-1.16.5\template\x\y.html would be unpacked among the templates
echo t > $D/halvex/js/dojo-1.16.5/template@halvex\js\dojo-1.16.5\template would be unpacked among the templates
mv $D/halvex/js/dojo-1.16.5 $D/halvex/js/Dojo-1.16.5; mv $D/halvex/template/dojo-1.16.5 $D/halvex/template/Dojo-1.16.5@version directory Dojo-1.16.5 does not begin with "dojo-"
mkdir $P/jvm/$A200; echo x > $P/jvm/$A200/$B60@of jvm.cab has 261 bytes; the installer takes names of at most 255
mkdir $P/kws/$A200; echo x > $P/kws/$A200/$B55@of kwswindows.zip has 256 bytes; the installer takes names of at most 255
many $P/jvm/many@jvm.cab would hold 65545 files; a cabinet holds at most 65535
ROWS
rm -rf rc

# inspect --json of a fix with a non-ASCII name: ASCII JSON, the name escaped as its character.
"$ZB" inspect names.exe --json > names.json 2> names-json.err || bad "inspect --json of names.exe: $(cat names-json.err)"
"$PY" - names.json > names-json.txt 2>&1 <<'EOF' || bad "inspect --json with a non-ASCII name: $(cat names-json.txt)"
import json, sys
raw = open(sys.argv[1], "rb").read()
j = json.loads(raw.decode("utf-8"))
assert max(raw) < 0x80, "bytes past ASCII"
assert "na\u00efve.txt" in [e.get("name") for e in j["entries"]], [e.get("name") for e in j["entries"]]
EOF

# Names that are one file on Windows: two that differ only in case, named both; a name holding
# a '\' (a folder separator there).
mkdir -p case/base case/fix
printf 'a\r\n' > case/base/readme.txt
printf 'b\r\n' > case/fix/readme.txt
printf 'c\r\n' > case/fix/README.TXT
sed -e 's/^Program=base.program/Program=case\\base/' -e 's/^Program=fix.program/Program=case\\fix/' -e '/^Data=/d' hf.ini > case.ini
"$ZB" build case.ini -o case.exe --stub "$WIN/zfix.exe" --tools "$WIN" > case.txt 2>&1 &&
  bad "a build with readme.txt and README.TXT succeeded"
grep -q '"README.TXT" and "readme.txt" of the target tree are the same file on Windows' case.txt ||
  bad "no clear message for readme.txt and README.TXT: $(cat case.txt)"
rm case/fix/README.TXT && printf 'd\r\n' > 'case/fix/sub\x.txt'
"$ZB" build case.ini -o case.exe --stub "$WIN/zfix.exe" --tools "$WIN" > case2.txt 2>&1 &&
  bad "a build with a file named sub\\x.txt succeeded"
grep -q 'sub.x.txt is no plain file name on Windows' case2.txt || bad "no clear message for sub\\x.txt: $(cat case2.txt)"

# A symbolic link in a tree, or a pipe, is refused and named: left out, the fix would remove the
# file it stands for.
rm -rf linked && mkdir linked && cp -r fix linked/ && mv linked/fix/program/lib/pomvi.dll linked/pomvi.dll &&
  ln -s ../../../pomvi.dll linked/fix/program/lib/pomvi.dll || bad "cannot make a tree with a link"
sed 's#=fix\\#=linked\\fix\\#' hf.ini > linked.ini
for what in link pipe; do
  if [ $what = pipe ]; then
    rm linked/fix/program/lib/pomvi.dll && mv linked/pomvi.dll linked/fix/program/lib/pomvi.dll &&
      mkfifo linked/fix/data/pipe || bad "cannot make a tree with a pipe"
  fi
  "$ZB" build linked.ini -o linked.exe --stub "$WIN/zfix.exe" --tools "$WIN" > linked-$what.txt 2>&1 &&
    bad "a build from a tree with a $what succeeded: $(cat linked-$what.txt)"
  case $what in
    link) words="symbolic link, $W/linked/fix/program/lib/pomvi.dll -> ../../../pomvi.dll" ;;
    pipe) words="$W/linked/fix/data/pipe is neither a file nor a folder" ;;
  esac
  grep -qF "$words" linked-$what.txt || bad "no message naming the $what: $(cat linked-$what.txt)"
  [ ! -e linked.exe ] || bad "a build from a tree with a $what left an executable"
done

# A failed build removes an older executable at its output: it would pass for this fix.
printf 'an older build\n' > stale.exe
"$ZB" build hf.ini -o stale.exe --stub no-reloc-dir.exe --tools "$WIN" > stale.txt 2>&1 && bad "a build from no-reloc-dir.exe succeeded"
[ ! -e stale.exe ] || bad "a failed build left the older stale.exe in place: $(cat stale.txt)"

[ $fail = 0 ] && echo "native build: all checks passed"
exit $fail
