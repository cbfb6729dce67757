#!/usr/bin/python3
"""A disk that writes slower than the line, for bench/run.sh.

    slowfs.py ROOT MOUNT MIB_PER_SECOND

Mounts ROOT at MOUNT through FUSE and holds every write back so that the
file system takes at most MIB_PER_SECOND. Returns once the file system is
mounted; it runs in the background until unmounted (fusermount -u MOUNT).
Needs Debian's python3-fusepy (run it with /usr/bin/python3).
"""
import errno
import os
import sys
import threading
import time

from fusepy import FUSE, FuseOSError, Operations


class SlowDisk(Operations):
    def __init__(self, root, rate):
        self.root = root
        self.rate = rate * 1024 * 1024
        self.gate = threading.Lock()
        self.free_at = time.monotonic()

    def _path(self, path):
        return os.path.join(self.root, path.lstrip("/"))

    def __call__(self, op, path, *args):
        try:
            return super().__call__(op, path, *args)
        except OSError as error:
            raise FuseOSError(error.errno or errno.EIO)

    def getattr(self, path, fh=None):
        st = os.lstat(self._path(path))
        return {key: getattr(st, key) for key in (
            "st_atime", "st_ctime", "st_gid", "st_mode", "st_mtime", "st_nlink", "st_size",
            "st_uid")}

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self._path(path))

    def access(self, path, mode):
        if not os.access(self._path(path), mode):
            raise FuseOSError(errno.EACCES)

    def chmod(self, path, mode):
        os.chmod(self._path(path), mode)

    def chown(self, path, uid, gid):
        os.chown(self._path(path), uid, gid)

    def mkdir(self, path, mode):
        os.mkdir(self._path(path), mode)

    def rmdir(self, path):
        os.rmdir(self._path(path))

    def unlink(self, path):
        os.unlink(self._path(path))

    def rename(self, old, new):
        # The program asks for a rename that never replaces; FUSE 2 passes
        # no flags, so the check is made here.
        if os.path.lexists(self._path(new)):
            raise FuseOSError(errno.EEXIST)
        os.rename(self._path(old), self._path(new))

    def truncate(self, path, length, fh=None):
        os.truncate(self._path(path), length)

    def utimens(self, path, times=None):
        os.utime(self._path(path), times)

    def statfs(self, path):
        st = os.statvfs(self._path(path))
        return {key: getattr(st, key) for key in (
            "f_bavail", "f_bfree", "f_blocks", "f_bsize", "f_favail", "f_ffree", "f_files",
            "f_flag", "f_frsize", "f_namemax")}

    def open(self, path, flags):
        return os.open(self._path(path), flags)

    def create(self, path, mode, fi=None):
        return os.open(self._path(path), os.O_WRONLY | os.O_CREAT | os.O_EXCL, mode)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        with self.gate:
            now = time.monotonic()
            self.free_at = max(self.free_at, now) + len(data) / self.rate
            wait = self.free_at - now
        if wait > 0:
            time.sleep(wait)
        return os.pwrite(fh, data, offset)

    def flush(self, path, fh):
        return 0

    def fsync(self, path, datasync, fh):
        os.fsync(fh)
        return 0

    def fsyncdir(self, path, datasync, fh):
        return 0

    def release(self, path, fh):
        os.close(fh)
        return 0


def main():
    if len(sys.argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    root, mount, rate = sys.argv[1], sys.argv[2], float(sys.argv[3])
    if os.fork() == 0:
        os.setsid()
        quiet = os.open(os.devnull, os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(quiet, fd)
        FUSE(SlowDisk(root, rate), mount, foreground=True, nothreads=False)
        os._exit(0)
    for _ in range(500):
        if os.path.ismount(mount):
            return 0
        time.sleep(0.01)
    return 1


if __name__ == "__main__":
    sys.exit(main())
