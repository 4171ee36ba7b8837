#!/bin/sh
# smoke-i686.sh [TEST-REGEX]
# Runs the product itself (build/win: the i686 programs) on a host that runs no 32-bit x86 code,
# in an emulated guest whose kernel does: qemu-system-x86_64 with software emulation, booting a
# Debian 12 made with debootstrap that has Wine's 32-bit half. It runs the demo on build/win and
# the Windows tests that TEST-REGEX picks (a chosen handful by default: unattended runs, since the
# tests' 15 s waits for windows are too short for the emulated guest on a loaded host), and prints
# their results.
# Not part of the test command: the whole suite would take about an hour in the guest.
#
# The guest is made once (about 15-25 minutes, 2.6 GB) and kept outside the work tree, in
# $ZFIX_SMOKE_DIR (default /var/tmp/zfix-smoke-i686); later runs boot it again. Builds build/win
# first when it is missing. Run as root.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
G=${ZFIX_SMOKE_DIR:-/var/tmp/zfix-smoke-i686}
TESTS=${1:-'^(wine_env_up|wine_env_down|EngineTest\.HotfixInstallsUnattended|EngineTest\.PatchesThatOnlyInsertOrOnlyDeleteInstallAndRevert|EngineTest\.ReleaseTextIsWrittenByTheCarriedToolItself|Rows/HostileEngine\.UpgradeAndRevertEndClearlyAndChangeNothing/(PayloadWhoseBytesDifferFromItsChecksumAndSumTo0|PatchRecordCopyingPastTheOutputSize))$'}
# Emulated time is slow: the whole job may take this long before the guest is stopped.
LIMIT=${ZFIX_SMOKE_LIMIT:-10800}

need=""
for p in qemu-system-x86 debootstrap; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need="$need $p"
done
if [ -n "$need" ]; then
  echo "smoke: installing:$need"
  apt-get -o DPkg::Lock::Timeout=600 update >/dev/null || echo "smoke: apt-get update failed; trying the install all the same" >&2
  # shellcheck disable=SC2086
  apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends $need
fi
[ -x "$ROOT/build/win/bin/zfix.exe" ] || sh "$ROOT/scripts/build.sh"

R="$G/root" IMG="$G/rootfs.img" SHARE="$G/share"
mkdir -p "$G" "$SHARE"

# One boot of the guest: runs $SHARE/job.sh as its only process, then powers off.
boot() {
  kernel=$(ls "$R"/boot/vmlinuz-* | tail -n 1) initrd=$(ls "$R"/boot/initrd.img-* | tail -n 1)
  # SMAP off: with it on, QEMU 7.2's emulation oopses the guest kernel in every Windows process.
  timeout "$LIMIT" qemu-system-x86_64 -machine pc -m 6144 -smp 2 -accel tcg,thread=multi -cpu max,smap=off \
    -kernel "$kernel" -initrd "$initrd" -append "root=/dev/vda rw console=ttyS0 init=/smoke-init quiet panic=1" \
    -drive file="$IMG",if=virtio,format=raw \
    -virtfs local,path="$ROOT",mount_tag=zfix,security_model=none,readonly=on \
    -virtfs local,path="$SHARE",mount_tag=out,security_model=none \
    -nic user,model=virtio-net-pci -display none -monitor none -serial file:"$G/console.log" -no-reboot
}

if [ ! -f "$G/ready" ]; then
  echo "smoke: making the guest in $G (once)"
  rm -f "$IMG"
  URI=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  [ -n "$URI" ] || URI=http://deb.debian.org/debian
  if [ ! -f "$G/bootstrapped" ]; then
    rm -rf "$R"
    debootstrap --arch=amd64 --include=linux-image-amd64,iproute2,ca-certificates,xz-utils bookworm "$R" "$URI"
    touch "$G/bootstrapped"
  fi
  printf 'deb %s bookworm main\ndeb %s bookworm-updates main\ndeb http://deb.debian.org/debian-security bookworm-security main\n' \
    "$URI" "$URI" > "$R/etc/apt/sources.list"
  # PID 1 of the guest: what Wine needs mounted, loopback, a host name, the two shares, the job.
  cat > "$R/smoke-init" <<'INIT'
#!/bin/sh
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm; mount -t devpts devpts /dev/pts; mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run; mount -t tmpfs tmpfs /tmp
ip link set lo up; hostname smoke
# QEMU's user network; the archive's address as the host resolves it (the host's resolver may
# not answer the guest).
modprobe virtio_net; sleep 1
nic=$(ls /sys/class/net | grep -vx lo | head -n 1)   # eth0 or ens3, by the kernel's naming
ip link set "$nic" up && ip addr add 10.0.2.15/24 dev "$nic" && ip route add default via 10.0.2.2
echo "nameserver 10.0.2.3" > /etc/resolv.conf
modprobe 9pnet_virtio; modprobe 9p
mkdir -p /mnt/zfix /mnt/out
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 zfix /mnt/zfix
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 out /mnt/out
{ echo "127.0.0.1 localhost smoke"; cat /mnt/out/hosts 2>/dev/null; } > /etc/hosts
# Wine's leftover processes keep pipes open for ever: everything goes to files.
sh /mnt/out/job.sh > /mnt/out/job.log 2>&1 </dev/null
echo "job exit $?" >> /mnt/out/job.log
sync; echo 1 > /proc/sys/kernel/sysrq; echo o > /proc/sysrq-trigger
sleep 60   # PID 1 must not end before the power goes off
INIT
  chmod +x "$R/smoke-init"
  mkfs.ext4 -q -F -L smoke -d "$R" "$IMG" 8G
  cat > "$SHARE/job.sh" <<'JOB'
set -eu
export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
apt-get update
apt-get install -y --no-install-recommends wine wine64 wine32:i386 xvfb xauth cmake python3 procps
/usr/lib/wine/wine --version
JOB
  getent hosts "$(echo "$URI" | sed -E 's|^[a-z]+://([^/:]+).*|\1|')" deb.debian.org > "$SHARE/hosts" || true
  rm -f "$SHARE/job.log"
  boot || true
  grep -q '^job exit 0$' "$SHARE/job.log" 2>/dev/null || { echo "smoke: the guest's packages could not be installed:"; tail -n 20 "$SHARE/job.log" 2>/dev/null; exit 1; }
  touch "$G/ready"
  echo "smoke: guest made"
fi

# The job: the tree at the same path as here (ctest's files hold absolute paths) on the guest's
# own disk, where the Wine prefix made on the first run is kept; the demo; the chosen tests.
cat > "$SHARE/job.sh" <<JOB
set -u
/usr/lib/wine/wine --version
mkdir -p "$ROOT"
cd /mnt/zfix && tar --exclude=./.git --exclude=./build/host --exclude=./build/asan --exclude=./build/win64 \
  --exclude=./build/win/wineprefix --exclude=./build/win/wine-home --exclude=./build/win/wine-tmp -cf - . | tar -C "$ROOT" -xf -
cd "$ROOT"
start=\$(date +%s)
sh scripts/wine-env.sh up build/win > /mnt/out/wine-env.log 2>&1
echo "smoke: Wine up in \$((\$(date +%s) - start)) s"
start=\$(date +%s)
ZROBOT_WAIT_MS=180000 ZFIX_DEMO_TREE=build/win sh scripts/demo.sh > /mnt/out/demo.log 2>&1
echo "smoke: demo exit \$? in \$((\$(date +%s) - start)) s"
start=\$(date +%s)
ctest --test-dir build/win -R '$TESTS' --output-on-failure > /mnt/out/ctest.log 2>&1
echo "smoke: tests exit \$? in \$((\$(date +%s) - start)) s"
sh scripts/wine-env.sh down build/win
JOB
rm -f "$SHARE/job.log" "$SHARE/demo.log" "$SHARE/ctest.log"
t0=$(date +%s)
boot || echo "smoke: the guest did not power off within $LIMIT s" >&2
echo "smoke: guest ran $(( $(date +%s) - t0 )) s"
grep '^smoke:\|^wine-\|^job exit' "$SHARE/job.log" 2>/dev/null || { echo "smoke: no job log; console:"; tail -n 30 "$G/console.log"; exit 1; }
echo "== demo (tail)"; tail -n 25 "$SHARE/demo.log" 2>/dev/null || true
echo "== tests"; grep -E 'Test +#|tests passed|FAILED|Failed' "$SHARE/ctest.log" 2>/dev/null || true
grep -q '^smoke: demo exit 0' "$SHARE/job.log" && grep -q '^100% tests passed' "$SHARE/ctest.log"
