#!/usr/bin/env python3
"""The far side of the COM ports that the Windows tests open under Wine.

Makes three pseudo-terminals and links their slave sides into LINKDIR as `a`, `b`
and `control`. Whatever the program under test writes to `a` arrives on `b` and the
other way round, like two ports joined by a null-modem cable. On `control` the test
steers the cable: "P" holds what is written to `a` (the writer on `a` soon finds
the line blocked), "R" lets it go on; each is answered with its lower-case letter
once it has taken effect. LINKDIR/ready appears when all is set. Runs until
SIGTERM.
"""
import errno
import os
import select
import signal
import sys
import tty

# What may wait for a side that is not being read before the other side is held too.
MAX_PENDING = 1 << 20


def make_pty():
    master, slave = os.openpty()
    tty.setraw(slave)  # the line discipline must neither echo nor translate
    os.set_blocking(master, False)
    return master, slave, os.ttyname(slave)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: wine-pty-peer.py LINKDIR")
    linkdir = sys.argv[1]
    os.makedirs(linkdir, exist_ok=True)
    ends = {}
    for name in ("a", "b", "control"):
        master, slave, path = make_pty()
        # The slave stays open here too, so that the pair lives on while the port is
        # closed and reopened by the tests.
        ends[name] = {"master": master, "slave": slave, "pending": b""}
        link = os.path.join(linkdir, name)
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(path, link)
    with open(os.path.join(linkdir, "ready"), "w") as f:
        f.write("%d\n" % os.getpid())

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    held = False
    peer = {"a": "b", "b": "a"}

    while True:
        readers = []
        for name in ("a", "b"):
            if name == "a" and held:
                continue
            if len(ends[peer[name]]["pending"]) < MAX_PENDING:
                readers.append(ends[name]["master"])
        readers.append(ends["control"]["master"])
        writers = [e["master"] for e in ends.values() if e["pending"]]
        ready_r, ready_w, _ = select.select(readers, writers, [], 1.0)

        for name in ("a", "b"):
            if ends[name]["master"] in ready_r:
                data = read_some(ends[name]["master"])
                ends[peer[name]]["pending"] += data
        if ends["control"]["master"] in ready_r:
            for command in read_some(ends["control"]["master"]):
                if command == ord("P"):
                    held = True
                    ends["control"]["pending"] += b"p"
                elif command == ord("R"):
                    held = False
                    ends["control"]["pending"] += b"r"
        for end in ends.values():
            if end["pending"] and end["master"] in ready_w:
                try:
                    put = os.write(end["master"], end["pending"])
                    end["pending"] = end["pending"][put:]
                except OSError as e:
                    if e.errno not in (errno.EAGAIN, errno.EIO):
                        raise


def read_some(fd):
    try:
        return os.read(fd, 65536)
    except OSError as e:
        if e.errno in (errno.EAGAIN, errno.EIO):
            return b""
        raise


if __name__ == "__main__":
    main()
