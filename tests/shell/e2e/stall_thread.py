#!/usr/bin/python3
# Stalls one thread of a running process, the others running on, as a thread that is busy
# for that long would: stall_thread.py TID SECONDS. The thread is stopped under ptrace (the
# main thread's id is the process's); "stalled" is printed once it stands, and it goes on
# after SECONDS.
import ctypes
import os
import sys
import time

PTRACE_DETACH, PTRACE_SEIZE, PTRACE_INTERRUPT, WALL = 17, 0x4206, 0x4207, 0x40000000
libc = ctypes.CDLL(None, use_errno=True)
libc.ptrace.argtypes = [ctypes.c_long, ctypes.c_long, ctypes.c_void_p, ctypes.c_void_p]
libc.ptrace.restype = ctypes.c_long

tid, seconds = int(sys.argv[1]), float(sys.argv[2])
if libc.ptrace(PTRACE_SEIZE, tid, None, None) != 0 or libc.ptrace(PTRACE_INTERRUPT, tid, None, None) != 0:
    sys.exit("cannot stop thread %d: %s" % (tid, os.strerror(ctypes.get_errno())))
os.waitpid(tid, WALL)
print("stalled", flush=True)
time.sleep(seconds)
libc.ptrace(PTRACE_DETACH, tid, None, None)
