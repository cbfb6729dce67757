#!/usr/bin/env python3
"""Real serial drivers for the tests: a QEMU guest with 16550 UARTs and a USB
serial adapter that can be unplugged.

The guest runs Debian 12's own kernel (the package is fetched with
`apt-get download` and unpacked, not installed) and a tiny busybox initramfs.
It mounts the host's root read-only over 9p and runs the program's test
binaries straight from the build tree, then powers off. The host side of the
lines is played here: a reader paced at the line's 1920 bytes a second, a
telnet BREAK, QMP to unplug and plug the adapter.

Guest serial ports:
  ttyS0  console (the guest's output comes back here, line by line)
  ttyS1  the host's line (a socket this script connects to), or cabled to
         the USB adapter
  ttyS2  cabled to ttyS3 as a null modem
  ttyUSB0 an FTDI-like adapter on an xHCI controller

Usage:
  rig.py setup BUILD_DIR            fetch and prepare kernel and initramfs
  rig.py run BUILD_DIR SCENARIO     boot a guest for one scenario
Exit status: 0 passed, 1 failed, 77 the rig cannot run here (and CI is not
set), 2 bad usage.
"""
import hashlib
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
KERNEL_META = "linux-image-amd64"
MODULES = ["9p", "9pnet_virtio", "virtio_pci", "xhci_pci", "ftdi_sio",
           # disks whose writes are logged, for the power-cut scenarios
           "virtio_blk", "dm_log_writes", "crc32c_generic", "ext4", "vfat", "nls_cp437",
           "nls_ascii"]
XZ_MAGIC = b"\xfd7zXZ\x00"


def log(*args):
    print("rig:", *args, flush=True)


def rig_dir(build):
    return os.path.join(os.path.abspath(build), "rig")


# ---------------------------------------------------------------- setup

def run(cmd, **kw):
    return subprocess.run(cmd, check=True, **kw)


def kernel_package():
    out = subprocess.run(["apt-cache", "depends", KERNEL_META], capture_output=True,
                         text=True).stdout
    for line in out.splitlines():
        line = line.strip()
        if line.startswith("Depends: linux-image-"):
            return line.split()[1]
    return None


def download(cache, packages):
    os.makedirs(cache, exist_ok=True)
    # apt's sandbox user must be able to write where it downloads to.
    os.chmod(cache, 0o777)
    result = subprocess.run(["apt-get", "download"] + packages, cwd=cache)
    if result.returncode != 0:
        run(["apt-get", "update"])
        run(["apt-get", "download"] + packages, cwd=cache)


def module_depends(path):
    data = open(path, "rb").read()
    at = data.find(b"depends=")
    if at < 0:
        return []
    end = data.find(b"\0", at)
    value = data[at + len(b"depends="):end].decode()
    return [m for m in value.split(",") if m]


def norm(name):
    return name.replace("-", "_")


def resolve_modules(moddir, wanted):
    files = {}
    for top, _, names in os.walk(moddir):
        for name in names:
            if name.endswith(".ko"):
                files[norm(name[:-3])] = os.path.join(top, name)
    order, seen = [], set()

    def visit(name):
        name = norm(name)
        if name in seen:
            return
        seen.add(name)
        if name not in files:
            raise SystemExit("kernel module %s not found" % name)
        for dep in module_depends(files[name]):
            visit(dep)
        order.append(name)

    for name in wanted:
        visit(name)
    return [(name, files[name]) for name in order]


class Cpio:
    """An uncompressed newc archive, as the kernel unpacks it."""

    def __init__(self):
        self.out = bytearray()
        self.ino = 1

    def _entry(self, name, mode, data=b"", rdev=(0, 0)):
        name_bytes = name.encode() + b"\0"
        fields = [self.ino, mode, 0, 0, 1, 0, len(data), 0, 0, rdev[0], rdev[1],
                  len(name_bytes), 0]
        self.ino += 1
        self.out += b"070701" + b"".join(b"%08X" % f for f in fields) + name_bytes
        self.out += b"\0" * (-len(self.out) % 4)
        self.out += data
        self.out += b"\0" * (-len(self.out) % 4)

    def dir(self, name):
        self._entry(name, 0o40755)

    def file(self, name, data, mode=0o644):
        self._entry(name, 0o100000 | mode, data)

    def chardev(self, name, major, minor):
        self._entry(name, 0o20600, rdev=(major, minor))

    def finish(self):
        self._entry("TRAILER!!!", 0)
        return bytes(self.out)


INIT = r"""#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in $(cat /modules/order); do
  insmod /modules/$m.ko || echo "ZO-RIG: module $m did not load"
done
if ! mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144 host /host; then
  echo "ZO-RIG-EXIT 125"; poweroff -f
fi
mount -t proc proc /host/proc
mount -t sysfs sys /host/sys
mount -t devtmpfs dev /host/dev
mkdir -p /host/dev/pts && mount -t devpts devpts /host/dev/pts
# The guest writes only below /run: the host's /tmp stays visible, since the
# build tree may live there.
mount -t tmpfs run /host/run && mkdir -p /host/run/lock /host/run/zo-rig/runtime
chmod 700 /host/run/zo-rig/runtime
script=$(sed -n 's/.*zo\.script=\([^ ]*\).*/\1/p' /proc/cmdline)
chroot /host /usr/bin/env -i HOME=/run/zo-rig TMPDIR=/run/zo-rig \
  XDG_RUNTIME_DIR=/run/zo-rig/runtime PATH=/usr/sbin:/usr/bin:/sbin:/bin \
  QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 /bin/sh "$script"
echo "ZO-RIG-EXIT $?"
poweroff -f
"""


def setup(build):
    d = rig_dir(build)
    vmlinux, initrd = os.path.join(d, "vmlinux"), os.path.join(d, "initramfs.cpio")
    if shutil.which("qemu-system-x86_64") is None:
        raise SystemExit("qemu-system-x86_64 is missing (Debian package qemu-system-x86)")
    # What the prepared files were made from: remade when this script changes.
    stamp_path = os.path.join(d, "stamp")
    stamp = hashlib.sha256((INIT + " ".join(MODULES)).encode()).hexdigest()
    if os.path.exists(vmlinux) and os.path.exists(initrd) and os.path.exists(stamp_path) \
            and open(stamp_path).read() == stamp:
        return vmlinux, initrd
    package = kernel_package()
    if package is None:
        run(["apt-get", "update"])
        package = kernel_package()
    if package is None:
        raise SystemExit("cannot tell which kernel package %s stands for" % KERNEL_META)
    cache = os.path.join(d, "cache")
    debs = [f for f in os.listdir(cache)] if os.path.isdir(cache) else []
    if not any(f.startswith(package + "_") for f in debs) or \
            not any(f.startswith("busybox-static_") for f in debs):
        download(cache, [package, "busybox-static"])
    root = os.path.join(d, "root")
    shutil.rmtree(root, ignore_errors=True)
    for deb in sorted(os.listdir(cache)):
        if deb.endswith(".deb"):
            run(["dpkg-deb", "-x", os.path.join(cache, deb), root])
    version = package[len("linux-image-"):]

    # QEMU boots the uncompressed ELF through its PVH note, much faster than
    # the compressed image: cut it out of the bzImage.
    image = open(os.path.join(root, "boot", "vmlinuz-" + version), "rb").read()
    at = image.find(XZ_MAGIC)
    if at < 0:
        raise SystemExit("no xz stream in the kernel image")
    elf = subprocess.run(["xz", "-dc", "--single-stream"], input=image[at:],
                         capture_output=True, check=True).stdout

    archive = Cpio()
    for name in ["bin", "dev", "proc", "sys", "host", "tmp", "modules"]:
        archive.dir(name)
    archive.chardev("dev/console", 5, 1)
    archive.file("init", INIT.encode(), 0o755)
    archive.file("bin/busybox", open(os.path.join(root, "bin", "busybox"), "rb").read(), 0o755)
    moddir = os.path.join(root, "lib", "modules", version, "kernel")
    order = resolve_modules(moddir, MODULES)
    for name, path in order:
        archive.file("modules/%s.ko" % name, open(path, "rb").read())
    archive.file("modules/order", "\n".join(name for name, _ in order).encode() + b"\n")

    with open(vmlinux + ".new", "wb") as f:
        f.write(elf)
    with open(initrd + ".new", "wb") as f:
        f.write(archive.finish())
    os.replace(vmlinux + ".new", vmlinux)
    os.replace(initrd + ".new", initrd)
    with open(stamp_path, "w") as f:
        f.write(stamp)
    shutil.rmtree(root, ignore_errors=True)
    log("kernel %s, modules %s" % (version, " ".join(n for n, _ in order)))
    return vmlinux, initrd


# ---------------------------------------------------------------- the guest

class Guest:
    def __init__(self, build, script, host_line=None, telnet=False, usb=False, disks=()):
        self.build = os.path.abspath(build)
        # Inside the build tree, which the guest sees as the host does.
        self.dir = tempfile.mkdtemp(prefix="run-", dir=rig_dir(build))
        self.script = os.path.join(self.dir, "scenario.sh")
        with open(self.script, "w") as f:
            f.write("set -e\n" + script)
        self.qmp_path = os.path.join(self.dir, "qmp")
        self.line_path = os.path.join(self.dir, "line")
        self.host_line, self.telnet, self.usb = host_line, telnet, usb
        self.disks = list(disks)  # raw images, the guest's vda, vdb, ... in order
        self.proc = None
        self.qmp = None
        self.exit_code = None
        self.lines = []

    def command(self, vmlinux, initrd):
        d = self.dir
        cmd = ["qemu-system-x86_64", "-nodefaults", "-no-user-config", "-no-reboot",
               "-machine", "pc,accel=tcg", "-m", "512", "-smp", "1", "-display", "none",
               "-kernel", vmlinux, "-initrd", initrd,
               "-append", "console=ttyS0 no_timer_check panic=-1 loglevel=4 "
                          "zo.script=" + self.script,
               "-virtfs", "local,path=/,mount_tag=host,security_model=none,readonly=on,"
                          "multidevs=remap",
               "-qmp", "unix:%s,server=on,wait=off" % self.qmp_path,
               "-chardev", "stdio,id=con", "-device", "isa-serial,chardev=con,index=0"]
        if self.host_line:
            telnet = ",telnet=on" if self.telnet else ""
            cmd += ["-chardev", "socket,id=line,path=%s,server=on,wait=off%s"
                    % (self.line_path, telnet),
                    "-device", "isa-serial,chardev=line,index=1"]
        # ttyS2 and ttyS3: a null modem inside the guest.
        cmd += ["-chardev", "socket,id=s2,path=%s/s2,server=on,wait=off" % d,
                "-device", "isa-serial,chardev=s2,index=2",
                "-chardev", "socket,id=s3,path=%s/s2" % d,
                "-device", "isa-serial,chardev=s3,index=3"]
        for disk in self.disks:
            cmd += ["-drive", "file=%s,format=raw,if=virtio,cache=writeback" % disk]
        if self.usb:
            # ttyUSB0 cabled to ttyS1.
            cmd += ["-chardev", "socket,id=usbline,path=%s/usb,server=on,wait=off" % d,
                    "-chardev", "socket,id=s1,path=%s/usb" % d,
                    "-device", "isa-serial,chardev=s1,index=1",
                    "-device", "qemu-xhci,id=xhci",
                    "-device", "usb-serial,chardev=usbline,id=adapter,bus=xhci.0"]
        return cmd

    def start(self, vmlinux, initrd):
        self.proc = subprocess.Popen(self.command(vmlinux, initrd), stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.started = time.monotonic()

    def connect(self, path, limit=10):
        deadline = time.monotonic() + limit
        while True:
            s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            try:
                s.connect(path)
                return s
            except OSError:
                s.close()
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)

    def line_to_write(self):
        """The host's end of ttyS1, for writing: what comes back (QEMU's
        telnet negotiation, anything else) is read and dropped."""
        sock = self.connect(self.line_path)
        threading.Thread(target=lambda: [None for _ in iter(lambda: sock.recv(4096), b"")],
                         daemon=True).start()
        return sock

    def qmp_command(self, execute, **arguments):
        if self.qmp is None:
            self.qmp = self.connect(self.qmp_path).makefile("rw")
            json.loads(self.qmp.readline())  # greeting
            self.qmp.write(json.dumps({"execute": "qmp_capabilities"}) + "\n")
            self.qmp.flush()
            self._qmp_reply()
        self.qmp.write(json.dumps({"execute": execute, "arguments": arguments}) + "\n")
        self.qmp.flush()
        return self._qmp_reply()

    def _qmp_reply(self):
        while True:
            reply = json.loads(self.qmp.readline())
            if "return" in reply or "error" in reply:
                return reply

    def unplug(self):
        log("unplugging the adapter", self.qmp_command("device_del", id="adapter"))

    def replug(self):
        # QEMU lets go of the adapter's line only once the guest has seen it
        # go; until then the new adapter cannot take it.
        deadline = time.monotonic() + 10
        while True:
            reply = self.qmp_command("device_add", driver="usb-serial", chardev="usbline",
                                     id="adapter", bus="xhci.0")
            if "error" not in reply or time.monotonic() > deadline:
                break
            time.sleep(0.1)
        log("plugging the adapter back in", reply)

    def follow(self, on_line, limit):
        """Reads the console until the scenario's exit line; returns its code."""
        timer = threading.Timer(limit, self.proc.kill)
        timer.start()
        try:
            for raw in self.proc.stdout:
                line = raw.decode(errors="replace").rstrip("\r\n")
                print(line, flush=True)
                self.lines.append(line)
                if line.startswith("ZO-RIG-EXIT "):
                    self.exit_code = int(line.split()[1])
                elif line.startswith("ZO-RIG: "):
                    on_line(line[len("ZO-RIG: "):])
        finally:
            timer.cancel()
            self.proc.wait()
        if self.exit_code is None:
            log("the guest ended without a result (time limit %d s)" % limit)
            return 1
        return self.exit_code

    def cleanup(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


# ---------------------------------------------------------------- scenarios

def binary(build, name):
    return os.path.join(os.path.abspath(build), "bin", name)


def serial_tests(program_side, far_side, usb, repeat):
    def make(build, guest_args):
        # The network line's tests need no driver (and the guest no network).
        return Guest(build, "ZO_TEST_LINE=%s:%s %s --gtest_repeat=%d --gtest_brief=1 "
                     "--gtest_filter=-Network*\n"
                     % (program_side, far_side, binary(build, "serial_tests"), repeat), usb=usb)
    return make


def pattern(size):
    return bytes((i * 7 + i // 251) & 0xFF for i in range(size))


def scenario_script(build, env, test):
    assignments = " ".join("%s=%s" % item for item in env.items())
    # A scenario is a test or every row of a table of them.
    return "%s %s --gtest_filter=RigScenario.%s:*.%s/* --gtest_brief=1\n" % (
        assignments, binary(build, "rig_scenarios"), test, test)


class PacedSend(Guest):
    """The host reads the guest's ttyS1 at 1920 bytes a second; the line's
    utilisation is the ideal time for the bytes over the time from the first
    to the last byte at the host."""

    SIZE = 12 * 1024
    RATE = 1920
    BURST = 16  # what the reader takes at once before the pace applies

    def __init__(self, build, guest_args):
        super().__init__(build, scenario_script(
            build, {"ZO_RIG_DEVICE": "/dev/ttyS1", "ZO_RIG_SEND_SIZE": self.SIZE}, "PacedSend"),
            host_line=True)
        self.data = bytearray()
        self.first = self.last = None

    def reader(self, sock):
        sock.settimeout(0.05)
        while self.exit_code is None and self.proc.poll() is None:
            if self.first is None:
                allowed = self.BURST
            else:
                allowed = int((time.monotonic() - self.first) * self.RATE) + self.BURST \
                    - len(self.data)
            if allowed <= 0:
                time.sleep(0.002)
                continue
            try:
                got = sock.recv(min(allowed, 256))
            except socket.timeout:
                continue
            if not got:
                break
            now = time.monotonic()
            if self.first is None:
                self.first = now
            self.last = now
            self.data += got

    def execute(self, vmlinux, initrd):
        self.start(vmlinux, initrd)
        sock = self.connect(self.line_path)
        thread = threading.Thread(target=self.reader, args=(sock,), daemon=True)
        thread.start()
        code = self.follow(lambda line: None, 180)
        thread.join(2)
        sock.close()
        expected = pattern(self.SIZE)
        if bytes(self.data) != expected:
            log("the host got %d bytes, %s" % (len(self.data), "different from the file"
                                                if len(self.data) == self.SIZE else
                                                "not %d" % self.SIZE))
            return 1
        ideal = (self.SIZE - self.BURST) / self.RATE
        utilisation = ideal / (self.last - self.first)
        log("line utilisation %.3f (%d bytes at %d B/s in %.2f s)"
            % (utilisation, self.SIZE, self.RATE, self.last - self.first))
        return 0 if code == 0 else 1


class BreakDuringReceive(Guest):
    """Part of a backup, then a telnet BREAK on the guest's ttyS1."""

    def __init__(self, build, guest_args):
        super().__init__(build, scenario_script(build, {"ZO_RIG_DEVICE": "/dev/ttyS1"},
                                                "BreakDuringReceive"),
                         host_line=True, telnet=True)

    def execute(self, vmlinux, initrd):
        self.start(vmlinux, initrd)
        sock = self.line_to_write()

        def on_line(line):
            if line == "ready":
                stream = b"GLOW ARRANGER" + pattern(3000)
                sock.sendall(stream.replace(b"\xff", b"\xff\xff"))
                time.sleep(0.5)
                sock.sendall(b"\xff\xf3")  # IAC BREAK
                log("sent %d bytes and a BREAK" % len(stream))

        code = self.follow(on_line, 180)
        sock.close()
        return 0 if code == 0 else 1


class AdapterUnplugged(Guest):
    """The USB adapter pulled and plugged back in when the guest asks."""
    test = "AdapterUnpluggedAndPluggedBackIn"

    def __init__(self, build, guest_args):
        super().__init__(build, scenario_script(
            build, {"ZO_RIG_DEVICE": "/dev/ttyUSB0", "ZO_RIG_FAR_END": "/dev/ttyS1"},
            self.test), usb=True)

    def execute(self, vmlinux, initrd):
        self.start(vmlinux, initrd)

        def on_line(line):
            if line == "unplug":
                self.unplug()
            elif line == "replug":
                self.replug()

        code = self.follow(on_line, 240)
        return 0 if code == 0 else 1


class AdapterUnpluggedAfterDump(AdapterUnplugged):
    """The adapter pulled right after complete dumps, at several offsets."""
    test = "AdapterUnpluggedRightAfterADump"


class TerminalTransfers(AdapterUnplugged):
    """A send and a receive from the terminal through the adapter."""
    test = "TransfersFromATerminal"


# ---------------------------------------------------------------- power cuts

LOG_MAGIC = 0x6A736677736872
LOG_FLUSH, LOG_FUA, LOG_DISCARD, LOG_MARK = 1, 2, 4, 8


def log_entries(path):
    """The entries of a dm-log-writes log, in the order they reached the
    disk: (flags, byte offset, data, mark name). The kernel's
    Documentation/admin-guide/device-mapper/log-writes.rst describes it: a
    super block in the first sector, then per entry one sector (sector,
    sectors, flags, data length, then a mark's name) and its data."""
    with open(path, "rb") as f:
        magic, version, count, sectorsize = struct.unpack("<QQQI", f.read(28))
        if magic != LOG_MAGIC or version != 1:
            raise ValueError("%s is not a dm-log-writes log" % path)
        position = sectorsize
        for _ in range(count):
            f.seek(position)
            head = f.read(sectorsize)
            sector, sectors, flags, data_len = struct.unpack("<QQQQ", head[:32])
            mark = head[32:32 + data_len].rstrip(b"\0").decode() if flags & LOG_MARK else None
            position += sectorsize
            data = b""
            if sectors and not flags & LOG_DISCARD:
                data = f.read(sectors * sectorsize)
                position += sectors * sectorsize
            elif flags & LOG_DISCARD:
                data = bytes(sectors * sectorsize)
            yield flags, sector * sectorsize, data, mark


def crash_states(base, log):
    """The disk as a cut would leave it after each write, flush, FUA and
    mark, as a disk that writes in the logged order and stops anywhere would
    leave it (the flush and FUA points among them); and at each mark, as a
    disk whose cache loses every write since the last flush would: only what
    a flush or FUA made durable. (what, mark seen last, image)."""
    image = bytearray(open(base, "rb").read())
    durable = bytearray(image)
    last_mark = None
    for number, (flags, offset, data, mark) in enumerate(log_entries(log)):
        if data:
            image[offset:offset + len(data)] = data
        if flags & LOG_FLUSH:
            durable = bytearray(image)
        elif flags & LOG_FUA and data:
            durable[offset:offset + len(data)] = data
        if mark:
            last_mark = mark
            yield "entry %d mark %s, unflushed writes lost" % (number, mark), last_mark, durable
        yield "entry %d%s" % (number, " mark " + mark if mark else ""), last_mark, image


def files_in(image_path, fstype, work):
    """The file system's own check (repairing what it may), then the files
    at its top: {name: content}. None when the check fails."""
    if fstype.startswith("ext4"):
        if subprocess.run(["e2fsck", "-fy", image_path], capture_output=True).returncode > 1:
            return None
        listing = subprocess.run(["debugfs", "-R", "ls -p /", image_path], capture_output=True,
                                 text=True).stdout
        names = [line.split("/")[5] for line in listing.splitlines() if line.count("/") >= 6]
        names = [n for n in names if n not in (".", "..", "lost+found")]
        out = {}
        for name in names:
            dump = os.path.join(work, "dump")
            subprocess.run(["debugfs", "-R", "dump /%s %s" % (name, dump), image_path],
                           capture_output=True)
            out[name] = open(dump, "rb").read() if os.path.exists(dump) else b""
            if os.path.exists(dump):
                os.remove(dump)
        return out
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1", MTOOLS_NO_VFAT="0")
    if subprocess.run(["fsck.fat", "-a", "-w", image_path], capture_output=True).returncode > 1:
        return None
    listing = subprocess.run(["mdir", "-b", "-i", image_path, "::/"], capture_output=True,
                             text=True, env=env).stdout
    out = {}
    for line in listing.splitlines():
        name = line.strip()[len("::/"):]
        if not name:
            continue
        got = subprocess.run(["mcopy", "-n", "-i", image_path, "::/" + name, "-"],
                             capture_output=True, env=env)
        out[name] = got.stdout
    return out


class PowerCut(Guest):
    """Backups received onto disks whose writes are logged, one disk with an
    earlier backup and one without; then every crash point is replayed here
    and checked: the chosen name holds the earlier backup or the new one
    whole (on FAT the earlier one may stand under its kept name instead),
    never a cut file, never neither, and the new one from the moment the
    window said "File has been saved."."""

    EARLIER = b"earlier backup, must survive\n" * 40
    SIZE = 6000
    CASES = [("earlier", True), ("new", False)]
    MIB = 64

    def __init__(self, build, fstype):
        # ext4-nojournal: ext4 without its journal, where a file's own sync
        # does not carry its folder's new entry: the folder sync must.
        self.fstype = fstype
        mount_type = "ext4" if fstype.startswith("ext4") else fstype
        work = tempfile.mkdtemp(prefix="power-cut-", dir=rig_dir(build))
        self.work = work
        disks, lines, targets, logs = [], [], [], []
        for index, (case, earlier) in enumerate(self.CASES):
            data, log = os.path.join(work, case + ".img"), os.path.join(work, case + ".log")
            for path, mib in ((data, self.MIB), (log, 4 * self.MIB)):
                with open(path, "wb") as f:
                    f.truncate(mib << 20)
            if fstype == "ext4":
                run(["mkfs.ext4", "-q", "-F", data])
            elif fstype == "ext4-nojournal":
                run(["mkfs.ext4", "-q", "-F", "-O", "^has_journal", data])
            else:
                run(["mkfs.vfat", "-F", "32", data], stdout=subprocess.DEVNULL)
            shutil.copy(data, data + ".base")
            disks += [data, log]
            name, mnt = "zo-log-" + case, "/run/zo-rig/" + case
            vd = "/dev/vd" + "abcdefgh"[2 * index]
            vl = "/dev/vd" + "abcdefgh"[2 * index + 1]
            lines += ['dmsetup create %s --table "0 $(blockdev --getsz %s) log-writes %s %s"'
                      % (name, vd, vd, vl),
                      "mkdir -p %s" % mnt,
                      "mount -t %s /dev/mapper/%s %s" % (mount_type, name, mnt)]
            if earlier:
                lines.append("printf '%s' > %s/show.txt" % (
                    self.EARLIER.decode().replace("\n", "\\n"), mnt))
            # sync with names fsyncs them: FAT's sync alone never flushes the
            # disk, and the log holds only what a flush has made durable.
            lines += ["sync %s %s" % ("%s/show.txt" % mnt if earlier else "", mnt),
                      "dmsetup message %s 0 mark start" % name]
            targets.append(mnt + "/show.txt")
            logs.append(name)
        lines.append('ZO_RIG_DEVICE=/dev/ttyS1 ZO_RIG_TARGETS="%s" ZO_RIG_LOGS="%s" %s '
                     "--gtest_filter=RigScenario.ReceiveOntoALoggedDisk --gtest_brief=1"
                     % (" ".join(targets), " ".join(logs), binary(build, "rig_scenarios")))
        for case, _ in self.CASES:
            lines += ["umount /run/zo-rig/" + case, "dmsetup remove zo-log-" + case]
        lines.append("sync")
        super().__init__(build, "export DM_DISABLE_UDEV=1\n" + "\n".join(lines) + "\n",
                         host_line=True, disks=disks)
        data = bytearray(b"GLOW ARRANGER" + pattern(self.SIZE - 13))
        data[-7] = ord(":")
        self.dump = bytes(data)

    def execute(self, vmlinux, initrd):
        self.start(vmlinux, initrd)
        sock = self.line_to_write()

        def on_line(line):
            if line == "ready":
                # A desk's pace: 1920 bytes a second, in small pieces.
                for at in range(0, len(self.dump), 64):
                    sock.sendall(self.dump[at:at + 64])
                    time.sleep(64 / 1920)

        code = self.follow(on_line, 240)
        sock.close()
        if code != 0:
            return 1
        bad = 0
        for case, earlier in self.CASES:
            states, wrong = self.check(case, earlier)
            log("%s, %s: %d crash states, %d bad" % (
                self.fstype, "earlier backup" if earlier else "no earlier backup", states,
                wrong))
            bad += wrong
        return 0 if bad == 0 else 1

    def check(self, case, earlier):
        base = os.path.join(self.work, case + ".img.base")
        state_path = os.path.join(self.work, "state.img")
        kept = "show.txt.zo-vovere-earlier"
        states = wrong = 0
        started = saved = False
        for what, last_mark, image in crash_states(base, os.path.join(self.work, case + ".log")):
            started = started or last_mark == "start"
            saved = saved or last_mark == "saved"
            if not started:
                continue
            with open(state_path, "wb") as f:
                f.write(image)
            files = files_in(state_path, self.fstype, self.work)
            states += 1
            if files is None:
                problem = "the file system's check failed"
            else:
                chosen, aside = files.get("show.txt"), files.get(kept)
                problem = None
                if saved and chosen != self.dump:
                    problem = "saved, but the new backup is not there whole"
                elif chosen not in (self.dump, self.EARLIER if earlier else None):
                    if chosen is not None:
                        problem = "a cut or foreign file under the chosen name"
                    elif not (earlier and aside == self.EARLIER):
                        problem = "neither backup"
            if problem:
                wrong += 1
                log("%s %s: %s (files: %s)" % (case, what, problem, {
                    n: len(c) for n, c in (files or {}).items()}))
        return states, wrong

    def cleanup(self):
        super().cleanup()
        shutil.rmtree(self.work, ignore_errors=True)


SCENARIOS = {
    # The serial component's own tests with a real tty as the far end.
    "serial-16550": serial_tests("/dev/ttyS2", "/dev/ttyS3", False, 3),
    "serial-usb": serial_tests("/dev/ttyUSB0", "/dev/ttyS1", True, 3),
    "paced-send": PacedSend,
    "break": BreakDuringReceive,
    "usb-unplug": AdapterUnplugged,
    "usb-unplug-after-dump": AdapterUnpluggedAfterDump,
    "terminal": TerminalTransfers,
    "power-cut-ext4": lambda build, args: PowerCut(build, "ext4"),
    "power-cut-vfat": lambda build, args: PowerCut(build, "vfat"),
    "power-cut-ext4-nojournal": lambda build, args: PowerCut(build, "ext4-nojournal"),
}


def main(argv):
    if len(argv) < 3 or argv[1] not in ("setup", "run"):
        print(__doc__, file=sys.stderr)
        return 2
    build = argv[2]
    try:
        vmlinux, initrd = setup(build)
    except (SystemExit, subprocess.CalledProcessError, OSError) as error:
        log("cannot set up the rig:", error)
        if os.environ.get("CI"):
            return 1
        return SKIP
    if argv[1] == "setup":
        return 0
    if len(argv) < 4 or argv[3] not in SCENARIOS:
        print("rig: scenarios: " + ", ".join(SCENARIOS), file=sys.stderr)
        return 2
    guest = SCENARIOS[argv[3]](build, argv[4:])
    try:
        return guest.execute(vmlinux, initrd) if hasattr(guest, "execute") else \
            run_simple(guest, vmlinux, initrd)
    finally:
        guest.cleanup()


def run_simple(guest, vmlinux, initrd, limit=120):
    guest.start(vmlinux, initrd)
    code = guest.follow(lambda line: None, limit)
    log("guest ran %.1f s, exit %d" % (time.monotonic() - guest.started, code))
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
