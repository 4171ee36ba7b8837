#!/bin/sh
# A fix executable signed as release engineers sign what they ship: zfixbuild builds it from two
# trees of the sample product, osslsigncode signs it with a test certificate made here with
# openssl, and then
#   - the signature verifies, and stops verifying when a byte of the fix changes;
#   - zfixbuild inspect says that the fix is signed (and that the unsigned one is not);
#   - the signed fix still runs under Wine: contents lists its files, extract unpacks them, and
#     it upgrades a sample installation unattended;
#   - zfixbuild refuses to build from a signed stub, with a message that says why.
# Each check is one step below.
# usage: signing_test.sh WORKDIR WINE_RUN BIN_DIR PRODUCT_DIR
set -u
W=$1 RUN=$2 BIN=$3 PRODUCT=$4
rm -rf "$W" && mkdir -p "$W" && cd "$W" || exit 1
fail=0
bad() { echo "FAIL: $*"; fail=1; }
for tool in osslsigncode openssl; do
  command -v $tool >/dev/null || { echo "FAIL: $tool is not installed (scripts/install-deps.sh installs it)"; exit 1; }
done
win() { "$RUN" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# Two trees of the sample product: pomvi.dll patched, tessra.dll carrying the fix's label, a
# new file.
for t in base fix; do
  mkdir -p $t/program/sig $t/data
  for f in tessra.dll pomvi.dll nzorel.dll sig/nzorel.sf tdx.exe HOSTRK.EXE zorelreg.bat ZOREL.INI; do
    cp "$PRODUCT/$f" "$t/program/$f"
  done
done
printf 'inserted bytes' | dd of=fix/program/pomvi.dll bs=1 seek=3000 conv=notrunc 2>/dev/null
"$RUN" "$BIN/UpdateVersion.exe" "$(win "$W/fix/program")" "Release 14.5.1FP1 HF21|September 21, 2026" write \
  > label.txt 2>&1 || { bad "UpdateVersion.exe: $(cat label.txt)"; exit 1; }
printf 'new signature file\r\n' > fix/program/sig/pomvi.sf
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

# Build, make the test certificate, sign.
"$RUN" "$BIN/zfixbuild.exe" build "$(win "$W/hf.ini")" -o "$(win "$W/HF21.exe")" > build.txt 2>&1 ||
  { bad "zfixbuild build: $(cat build.txt)"; exit 1; }
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 30 \
  -subj "/CN=Zfix Test Release Engineering" > openssl.txt 2>&1 || { bad "openssl: $(cat openssl.txt)"; exit 1; }
osslsigncode sign -certs cert.pem -key key.pem -n "Release 14.5.1FP1 HF21" -in HF21.exe -out HF21s.exe > sign.txt 2>&1 ||
  { bad "osslsigncode sign: $(cat sign.txt)"; exit 1; }

# The signature verifies; a changed byte breaks it.
osslsigncode verify -CAfile cert.pem -in HF21s.exe > verify.txt 2>&1 || bad "the signed fix does not verify: $(cat verify.txt)"
cp HF21s.exe tampered.exe
# The byte written must differ from the one there ("Z" is the first letter of many texts in it).
at=$(($(stat -c %s HF21.exe) / 2))
byte=Z
[ "$(dd if=tampered.exe bs=1 skip=$at count=1 2>/dev/null)" = Z ] && byte=Y
printf '%s' "$byte" | dd of=tampered.exe bs=1 seek=$at conv=notrunc 2>/dev/null
osslsigncode verify -CAfile cert.pem -in tampered.exe > tampered.txt 2>&1 && bad "a changed signed fix still verifies"

# inspect tells a signed fix from an unsigned one.
"$RUN" "$BIN/zfixbuild.exe" inspect "$(win "$W/HF21s.exe")" > inspect-signed.txt 2>&1 || bad "inspect of the signed fix failed"
"$RUN" "$BIN/zfixbuild.exe" inspect "$(win "$W/HF21.exe")" > inspect-plain.txt 2>&1 || bad "inspect of the unsigned fix failed"
grep -q "signed: yes" inspect-signed.txt || bad "inspect does not say that the signed fix is signed"
grep -q "certificateTableSize: [1-9]" inspect-signed.txt || bad "inspect shows no certificate table"
grep -q "signed: no" inspect-plain.txt || bad "inspect does not say that the unsigned fix is unsigned"
"$RUN" "$BIN/zfixbuild.exe" inspect "$(win "$W/HF21s.exe")" --json > inspect.json 2>&1
grep -q '"signature": {"signed": true' inspect.json || bad "inspect --json: no signature object"

# The signed fix runs: contents lists its files.
cp HF21s.exe "$BIN/signed_fix_test.exe"
( cd "$BIN" && "$RUN" zrobot.exe "signed_fix_test.exe contents" box=ok ) > contents.txt 2>&1
rc=$?
[ $rc = 0 ] || bad "contents of the signed fix: exit $rc: $(cat contents.txt)"
grep -q "This fix contains:" contents.txt || bad "contents of the signed fix: no list: $(cat contents.txt)"
grep -q "pomvi.dll" contents.txt || bad "contents of the signed fix does not name pomvi.dll"

# extract unpacks every payload (into a folder without '-', '/' or blanks: the command line is
# cut there): the new file comes out as it is in the fix tree.
TEMPW=$("$RUN" cmd /c "echo %TEMP%" 2>/dev/null | tr -d '\r')
OUTW="$TEMPW\\signedout"
OUT=$("$RUN" winepath -u "$OUTW" 2>/dev/null | tr -d '\r')
rm -rf "$OUT" && mkdir -p "$OUT"
( cd "$BIN" && "$RUN" zrobot.exe "signed_fix_test.exe extract $OUTW" ) > extract.txt 2>&1
rc=$?
[ $rc = 0 ] || bad "extract of the signed fix: exit $rc: $(cat extract.txt)"
cmp -s "$OUT/pomvi.sf" fix/program/sig/pomvi.sf || bad "extract of the signed fix: pomvi.sf differs or is missing"
cmp -s "$OUT/tessra.dll" fix/program/tessra.dll || bad "extract of the signed fix: tessra.dll differs or is missing"
[ -s "$OUT/pomvi.dll" ] || bad "extract of the signed fix: no pomvi.dll payload"
rm -rf "$OUT"

# The signed fix upgrades a sample installation of the base release, unattended: exit code 0,
# and the installation's changed files are the fix tree's.
( cd "$BIN" && "$RUN" zsetup.exe install "$(win "$W/inst")" ) > setup.txt 2>&1 || bad "zsetup install: $(cat setup.txt)"
( cd "$BIN" && "$RUN" zrobot.exe --dir "$(win "$W")" "signed_fix_test.exe nouser" ) > upgrade.txt 2>&1
rc=$?
( cd "$BIN" && "$RUN" zsetup.exe remove ) > remove.txt 2>&1 || bad "zsetup remove: $(cat remove.txt)"
[ $rc = 0 ] || bad "the signed fix's unattended upgrade: exit $rc: $(cat upgrade.txt)"
for f in pomvi.dll sig/pomvi.sf; do
  cmp -s "inst/PROGRAM/$f" "fix/program/$f" || bad "after the signed fix's upgrade, PROGRAM/$f is not the fix's"
done
grep -q "successfully upgraded" inst/PROGRAM/UPGRADE.LOG 2>/dev/null || bad "UPGRADE.LOG does not report the upgrade"
rm -f "$BIN/signed_fix_test.exe"

# A signed stub is refused: its signature would break without a word.
osslsigncode sign -certs cert.pem -key key.pem -in "$BIN/zfix.exe" -out zfix-signed.exe > sign-stub.txt 2>&1 ||
  bad "osslsigncode sign of the stub: $(cat sign-stub.txt)"
"$RUN" "$BIN/zfixbuild.exe" build "$(win "$W/hf.ini")" -o "$(win "$W/fromsigned.exe")" \
  --stub "$(win "$W/zfix-signed.exe")" > refused.txt 2>&1 && bad "a build from a signed stub succeeded"
grep -q "is signed" refused.txt || bad "no clear message for a signed stub: $(cat refused.txt)"
[ ! -e fromsigned.exe ] || bad "a build from a signed stub left an executable"

[ $fail = 0 ] && echo "signing: all checks passed"
exit $fail
