#!/bin/sh
# cabarc.exe against Debian's cabinet tools: cabinets that cabarc writes list and extract with
# cabextract and gcab to the same bytes and paths, gcab's cabinets extract with cabarc, members
# that would land outside the destination are refused, and damaged cabinets fail.
# usage: cabarc_interop.sh BUILD_DIR
set -eu
B=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
RUN="$B/wine-run"
CABARC="$B/bin/cabarc.exe"
WORK="$B/tests/tools/cabarc_interop.work"
rm -rf "$WORK"
mkdir -p "$WORK"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
cabarc() { "$RUN" "$CABARC" "$@"; }
folders() { python3 -c "import struct,sys; print(struct.unpack('<H', open(sys.argv[1],'rb').read(36)[26:28])[0])" "$1"; }

# A tree with nested directories, blanks, an empty file, many small files and incompressible
# files that take more than one folder.
SRC="$WORK/src"
T="$SRC/plugins"
mkdir -p "$T/com.zorel.core/lib" "$T/com.zorel.ui/icons/16x16" "$T/with blanks/deeper still" "$T/empty dir"
: > "$T/com.zorel.core/empty.properties"
head -c 6000000 /dev/urandom > "$T/com.zorel.core/lib/core.jar"
head -c 5000000 /dev/urandom > "$T/com.zorel.ui/ui.jar"
seq 1 300000 > "$T/with blanks/deeper still/numbers list.txt"
i=0
while [ $i -lt 300 ]; do
  echo "icon $i" > "$T/com.zorel.ui/icons/16x16/icon$i.gif"
  i=$((i + 1))
done
printf 'Manifest-Version: 1.0\r\n' > "$T/MANIFEST.MF"
echo "accented name" > "$T/with blanks/café résumé.txt"   # stored as UTF-8 with _A_NAME_IS_UTF
rmdir "$T/empty dir"   # cabinets hold files only

# 1. cabarc packs (the updaters' form: -r -p n, pattern relative to the current directory).
(cd "$SRC" && cabarc -r -p n '..\cabarc.cab' 'plugins\*' >/dev/null) || fail "cabarc pack"
n=$(folders "$WORK/cabarc.cab")
[ "$n" -ge 2 ] || fail "expected a cabinet of several folders, got $n"
cabextract -t "$WORK/cabarc.cab" >/dev/null 2>&1 || fail "cabextract -t rejects cabarc's cabinet"
(cd "$SRC" && find plugins -type f | sort) > "$WORK/expected.list"
cabextract -l "$WORK/cabarc.cab" | awk -F' [|] ' 'NF == 3 && $3 != "Name" {print $3}' | sort > "$WORK/cabextract.list"
cmp -s "$WORK/expected.list" "$WORK/cabextract.list" || fail "cabextract -l names differ"
gcab -t "$WORK/cabarc.cab" | tr '\\' / | sort > "$WORK/gcab.list"
cmp -s "$WORK/expected.list" "$WORK/gcab.list" || fail "gcab -t names differ"
mkdir -p "$WORK/by-cabextract" "$WORK/by-gcab"
cabextract -q -d "$WORK/by-cabextract" "$WORK/cabarc.cab" || fail "cabextract extract"
diff -r "$SRC" "$WORK/by-cabextract" >/dev/null || fail "cabextract's extraction differs"
gcab -x -C "$WORK/by-gcab" "$WORK/cabarc.cab" || fail "gcab extract"
diff -r "$SRC" "$WORK/by-gcab" >/dev/null || fail "gcab's extraction differs"

# A link in the tree that leads back up is not followed.
mkdir -p "$WORK/looped/tree/sub"
echo x > "$WORK/looped/tree/sub/f.txt"
ln -s .. "$WORK/looped/tree/sub/up"
(cd "$WORK/looped" && cabarc -r -p n loop.cab 'tree\*' >/dev/null 2>&1) || fail "cabarc pack of a tree with a link loop"
[ "$(gcab -t "$WORK/looped/loop.cab" 2>/dev/null)" = 'tree\sub\f.txt' ] || fail "a link loop was followed"
rm -rf "$WORK/looped"

# 2. gcab packs (MSZIP), cabarc extracts into a directory and in place.
(cd "$SRC" && gcab -c -z "$WORK/gcab.cab" plugins) || fail "gcab pack"
mkdir -p "$WORK/by-cabarc"
(cd "$WORK" && cabarc -p -o x gcab.cab '*' 'by-cabarc\' >/dev/null) || fail "cabarc extract of gcab's cabinet"
diff -r "$SRC" "$WORK/by-cabarc" >/dev/null || fail "cabarc's extraction of gcab's cabinet differs"
mkdir -p "$WORK/in-place"
(cd "$WORK/in-place" && cabarc -p -o x ../gcab.cab >/dev/null) || fail "cabarc extract in place"
diff -r "$SRC" "$WORK/in-place" >/dev/null || fail "cabarc's extraction in place differs"

# 3. Member names that leave the destination are refused; nothing lands outside it. The
#    destination is two levels down, so that "..\.." stays inside the work area.
for name in '..\evil.txt' '..\..\evil.txt' 'a\..\..\evil.txt' 'a/../../evil.txt' '\evil.txt' '/evil.txt' \
            'C:\evil.txt' 'Z:\evil.txt' 'C:evil.txt' '.. \evil.txt' 'evil.txt:stream' 'con.txt'; do
  rm -rf "$WORK/trap"
  mkdir -p "$WORK/trap/one/two"
  python3 "$HERE/craftcab.py" "$WORK/trap/bad.cab" 'good.txt' "$name"
  if (cd "$WORK/trap/one/two" && cabarc -p -o x ../../bad.cab '*' 'dest\' >/dev/null 2>&1); then
    fail "member '$name' was accepted"
  fi
  [ -f "$WORK/trap/one/two/dest/good.txt" ] || fail "the good member beside '$name' was not extracted"
  found=$(find "$WORK/trap" "$B/wineprefix/drive_c" -maxdepth 4 -name 'evil.txt*' 2>/dev/null | head -n 1)
  [ -z "$found" ] || fail "member '$name' was written to $found"
  [ ! -e /evil.txt ] || { fail "member '$name' was written to /evil.txt"; rm -f /evil.txt; }
done

# A link that already stands in the destination does not lead a member out of it.
rm -rf "$WORK/trap"
mkdir -p "$WORK/trap/dest" "$WORK/trap/outside"
ln -s "$WORK/trap/outside" "$WORK/trap/dest/link"
python3 "$HERE/craftcab.py" "$WORK/trap/bad.cab" 'good.txt' 'link\evil.txt'
if (cd "$WORK/trap" && cabarc -p -o x bad.cab '*' 'dest\' >/dev/null 2>&1); then
  fail "a member through a link in the destination was accepted"
fi
[ -z "$(ls "$WORK/trap/outside")" ] || fail "a member was written through a link in the destination"

# 4. Damaged cabinets fail.
size=$(stat -c %s "$WORK/cabarc.cab")
head -c $((size / 2)) "$WORK/cabarc.cab" > "$WORK/cut.cab"
head -c 1000 "$WORK/cabarc.cab" > "$WORK/stub.cab"
for bad in cut.cab stub.cab; do
  if (cd "$WORK" && cabarc -p -o x "$bad" '*' 'damaged\' >/dev/null 2>&1); then fail "$bad was accepted"; fi
done

if [ $failures -eq 0 ]; then
  rm -rf "$WORK"
  echo "cabarc_interop: all passed"
fi
exit $((failures > 0))
