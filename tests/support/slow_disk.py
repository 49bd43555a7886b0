#!/usr/bin/env python3
"""A slow disk for tests: mirrors BACKING (the calls a save makes) at MOUNTPOINT through FUSE, and makes every fsync of a
file take as many seconds as CONTROL holds (none, or 0, while it is missing or empty), as a
network home or a USB stick under load does. Runs in the foreground until unmounted.

Usage: slow_disk.py BACKING MOUNTPOINT CONTROL
"""
import errno
import os
import sys
import time

try:
    from fusepy import FUSE, FuseOSError, Operations  # Debian's python3-fusepy
except ImportError:
    from fuse import FUSE, FuseOSError, Operations


class SlowDisk(Operations):
    def __init__(self, backing, control):
        self.backing = backing
        self.control = control

    def _path(self, path):
        return os.path.join(self.backing, path.lstrip("/"))

    def _delay(self):
        try:
            with open(self.control) as control:
                return float(control.read().strip() or 0)
        except (OSError, ValueError):
            return 0

    def __call__(self, operation, path, *arguments):
        try:
            return super().__call__(operation, path, *arguments)
        except OSError as error:
            raise FuseOSError(error.errno or errno.EIO)

    def access(self, path, mode):
        if not os.access(self._path(path), mode):
            raise FuseOSError(errno.EACCES)

    def getattr(self, path, fh=None):
        status = os.lstat(self._path(path))
        return {key: getattr(status, key) for key in ("st_mode", "st_nlink", "st_uid", "st_gid", "st_size",
                                                      "st_atime", "st_mtime", "st_ctime", "st_ino")}

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self._path(path))

    def chmod(self, path, mode):
        os.chmod(self._path(path), mode)

    def mkdir(self, path, mode):
        os.mkdir(self._path(path), mode)

    def unlink(self, path):
        os.unlink(self._path(path))

    def link(self, target, source):
        os.link(self._path(source), self._path(target))

    def rename(self, old, new):
        os.rename(self._path(old), self._path(new))

    def open(self, path, flags):
        return os.open(self._path(path), flags)

    def create(self, path, mode, fi=None):
        return os.open(self._path(path), os.O_WRONLY | os.O_CREAT | os.O_EXCL, mode)

    def read(self, path, length, offset, fh):
        return os.pread(fh, length, offset)

    def write(self, path, data, offset, fh):
        return os.pwrite(fh, data, offset)

    def truncate(self, path, length, fh=None):
        if fh is None:
            os.truncate(self._path(path), length)
        else:
            os.ftruncate(fh, length)

    def flush(self, path, fh):
        return 0

    def release(self, path, fh):
        os.close(fh)

    def fsync(self, path, datasync, fh):
        time.sleep(self._delay())
        os.fsync(fh)


def main():
    backing, mountpoint, control = sys.argv[1:4]
    FUSE(SlowDisk(os.path.abspath(backing), os.path.abspath(control)), mountpoint, foreground=True,
         nothreads=False, default_permissions=True, allow_other=False)


if __name__ == "__main__":
    main()
