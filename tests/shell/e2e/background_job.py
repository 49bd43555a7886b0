#!/usr/bin/python3
"""Runs a command as a background job of a terminal of its own, as `COMMAND &` in a shell whose
terminal has `stty tostop`: a job that writes to the terminal is then stopped with SIGTTOU.

    background_job.py [--foreground] FOLDER COMMAND...

This process is the terminal's session leader (as the shell is); the command runs in a process
group of its own, which the terminal neither reads from nor lets write unless it is in the
foreground (with --foreground, until it is put in the background). FOLDER/job.pid holds its
process id once it runs, FOLDER/job.log what it wrote to the terminal. SIGUSR1 brings the job to
the foreground and continues it, as `fg` does; SIGUSR2 puts it in the background and continues
it, as Ctrl+Z and `bg` do; SIGTERM ends it (brought to the foreground and continued first, so
that nothing it writes stops it again; killed when it has not ended 10 s later) and this. Exits
with the command's status.
"""
import fcntl
import os
import select
import signal
import sys
import termios


def main(folder, command, foreground):
    leader = os.fork()
    if leader:
        # The caller's child stays the one it signals and waits for; the session leader (a
        # process group leader cannot make a session) is below it and gets its signals.
        for number in (signal.SIGUSR1, signal.SIGUSR2, signal.SIGTERM):
            signal.signal(number, lambda number, _frame: os.kill(leader, number))
        while True:
            try:
                _, status = os.waitpid(leader, 0)
                return os.waitstatus_to_exitcode(status)
            except InterruptedError:
                continue
    os.setsid()
    master, slave = os.openpty()
    fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
    attributes = termios.tcgetattr(slave)
    attributes[3] |= termios.TOSTOP
    termios.tcsetattr(slave, termios.TCSANOW, attributes)
    # The job control signals a shell ignores, so that giving the terminal away stops nothing here.
    for number in (signal.SIGTTOU, signal.SIGTTIN, signal.SIGTSTP):
        signal.signal(number, signal.SIG_IGN)

    job = os.fork()
    if job == 0:
        os.setpgid(0, 0)
        if foreground:
            os.tcsetpgrp(slave, os.getpgrp())
        for number in (signal.SIGTTOU, signal.SIGTTIN, signal.SIGTSTP):
            signal.signal(number, signal.SIG_DFL)
        for descriptor in (0, 1, 2):
            os.dup2(slave, descriptor)
        os.close(master)
        os.close(slave)
        os.execvp(command[0], command)
    os.setpgid(job, job)
    with open(os.path.join(folder, "job.pid.new"), "w") as file:
        file.write("%d\n" % job)
    os.rename(os.path.join(folder, "job.pid.new"), os.path.join(folder, "job.pid"))

    wake_read, wake_write = os.pipe()
    os.set_blocking(wake_write, False)
    orders = []

    def order(number, _frame):
        orders.append(number)
        try:
            os.write(wake_write, b"x")
        except BlockingIOError:
            pass

    signal.signal(signal.SIGUSR1, order)
    signal.signal(signal.SIGUSR2, order)
    signal.signal(signal.SIGTERM, order)
    signal.signal(signal.SIGCHLD, order)
    signal.signal(signal.SIGALRM, order)
    log = open(os.path.join(folder, "job.log"), "ab", buffering=0)
    status = None
    while status is None:
        try:
            readable, _, _ = select.select([master, wake_read], [], [])
        except InterruptedError:
            readable = []
        if master in readable:
            try:
                log.write(os.read(master, 65536))
            except OSError:
                pass
        if wake_read in readable:
            os.read(wake_read, 4096)
        while orders:
            number = orders.pop(0)
            try:
                if number in (signal.SIGUSR1, signal.SIGUSR2):
                    os.tcsetpgrp(slave, job if number == signal.SIGUSR1 else os.getpgrp())
                    os.killpg(job, signal.SIGCONT)
                elif number == signal.SIGTERM:
                    os.tcsetpgrp(slave, job)
                    os.killpg(job, signal.SIGCONT)
                    os.killpg(job, signal.SIGTERM)
                    signal.alarm(10)
                elif number == signal.SIGALRM:
                    os.killpg(job, signal.SIGKILL)
            except OSError:
                pass  # the job has ended
        ended, result = os.waitpid(job, os.WNOHANG)
        if ended == job:
            status = result
    os._exit(os.waitstatus_to_exitcode(status) & 0xFF)


if __name__ == "__main__":
    arguments = sys.argv[1:]
    foreground = arguments[:1] == ["--foreground"]
    arguments = arguments[1:] if foreground else arguments
    if len(arguments) < 2:
        sys.exit(__doc__)
    sys.exit(main(arguments[0], arguments[1:], foreground))
