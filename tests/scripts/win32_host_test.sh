#!/bin/sh
# win32_host_test.sh SCRIPT SCRATCH: scripts/win32-host.sh, which the test command and the demo ask
# whether the product's Windows programs can run here, against a 32-bit loader that answers as a
# host that runs 32-bit code does, as one that runs 64-bit user code only does, and as one that
# fails otherwise; and with no 32-bit loader at all while a `wine` on PATH answers (Debian's `wine`
# then runs the 64-bit loader).
set -u
script=$1 scratch=$2
rm -rf "$scratch"; mkdir -p "$scratch"
fails=0 passes=0
check() {  # NAME WINE-BODY EXPECTED-EXIT EXPECTED-OUTPUT (a prefix; "" for none)
  mkdir -p "$scratch/$1"
  printf '#!/bin/sh\n%s\n' "$2" > "$scratch/$1/loader"; chmod +x "$scratch/$1/loader"
  printf '#!/bin/sh\necho wine-8.0\n' > "$scratch/$1/wine"; chmod +x "$scratch/$1/wine"
  [ "$1" = absent ] && rm "$scratch/$1/loader"
  out=$(PATH="$scratch/$1:$PATH" ZFIX_WINE32_LOADER="$scratch/$1/loader" ZFIX_BINFMT_DIR="${BINFMT:-$scratch/binfmt-none}" sh "$script" "the native tests run" 2>&1); rc=$?
  lines=$(printf '%s' "$out" | grep -c '')
  case "$out" in
  "$4"*) ok=yes ;;
  *) ok=no ;;
  esac
  if [ "$rc" = "$3" ] && [ "$ok" = yes ] && { [ -z "$4" ] || [ "$lines" = 1 ]; } && { [ -n "$4" ] || [ -z "$out" ]; }; then
    passes=$((passes + 1))
  else
    echo "FAIL $1: exit $rc (want $3), output: $out"
    fails=$((fails + 1))
  fi
}
check runs32 'echo wine-8.0; exit 0' 0 ''
check no32 'echo "/usr/bin/wine: 40: exec: /usr/lib/wine/wine: Exec format error" >&2; exit 126' 1 \
  "win32: this host runs no 32-bit x86 code (Wine's 32-bit loader: Exec format error), so no 32-bit Windows program can run: the native tests run"
check broken 'echo "wine: could not load kernel32.dll" >&2; exit 1' 1 \
  "win32: Wine's 32-bit loader does not start here (wine: could not load kernel32.dll)"
check absent 'exit 0' 1 \
  "win32: Wine's 32-bit loader is not installed here ($scratch/absent/loader, from wine32:i386), so no 32-bit Windows program can run: the native tests run"
# A host whose 32-bit programs run through qemu-i386 registered in binfmt_misc.
mkdir -p "$scratch/binfmt"
printf 'enabled\ninterpreter /usr/bin/qemu-i386-static\nflags: OCF\n' > "$scratch/binfmt/qemu-i386"
BINFMT="$scratch/binfmt" check emulated 'echo wine-8.0; exit 0' 1 \
  "win32: this host runs 32-bit x86 code only through an emulator (qemu-i386 in binfmt_misc)"
printf 'disabled\ninterpreter /usr/bin/qemu-i386-static\n' > "$scratch/binfmt/qemu-i386"
BINFMT="$scratch/binfmt" check emulator-disabled 'echo wine-8.0; exit 0' 0 ''
echo "$passes passed, $fails failed"
[ "$fails" = 0 ]
