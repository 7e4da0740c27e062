#!/usr/bin/env python3
"""A TCP relay on 127.0.0.1 that can play a broker host that is gone.

    blackhole_relay.py LISTEN_PORT TARGET_PORT

Forwards every connection to TARGET_PORT. SIGUSR1: every relayed connection is reset and the
port turns into a black hole (it listens with the smallest backlog, never accepts, and a few
connections fill its accept queue, so the kernel drops every new SYN). SIGUSR2: relaying
again on the same port. Used by bench/outage.sh; no root needed.
"""
import selectors
import signal
import socket
import struct
import sys

listen_port, target_port = int(sys.argv[1]), int(sys.argv[2])
sel = selectors.DefaultSelector()
links = {}  # socket -> peer socket
listener = None
queued = []
mode = ["relay"]
wanted = ["relay"]


def open_listener(backlog):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", listen_port))
    s.listen(backlog)
    return s


def drop(sock, hard=False):
    peer = links.pop(sock, None)
    for s in (sock, peer):
        if s is None:
            continue
        links.pop(s, None)
        try:
            sel.unregister(s)
        except (KeyError, ValueError):
            pass
        if hard:
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        s.close()


def to_relay():
    global listener
    for q in queued:
        q.close()
    queued.clear()
    if listener is not None:
        try:
            sel.unregister(listener)
        except (KeyError, ValueError):
            pass
        listener.close()
    listener = open_listener(16)
    listener.setblocking(False)
    sel.register(listener, selectors.EVENT_READ)


def to_blackhole():
    global listener
    for s in list(links):
        if s in links:
            drop(s, hard=True)
    sel.unregister(listener)
    listener.close()
    listener = open_listener(0)
    for _ in range(3):
        q = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        q.setblocking(False)
        try:
            q.connect(("127.0.0.1", listen_port))
        except BlockingIOError:
            pass
        queued.append(q)


signal.signal(signal.SIGUSR1, lambda *_: wanted.__setitem__(0, "blackhole"))
signal.signal(signal.SIGUSR2, lambda *_: wanted.__setitem__(0, "relay"))
to_relay()
while True:
    if wanted[0] != mode[0]:
        mode[0] = wanted[0]
        to_blackhole() if mode[0] == "blackhole" else to_relay()
    for key, _ in sel.select(timeout=0.05):
        s = key.fileobj
        if s is listener:
            try:
                client, _ = listener.accept()
            except OSError:
                continue
            server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            try:
                server.connect(("127.0.0.1", target_port))
            except OSError:
                client.close()
                server.close()
                continue
            links[client], links[server] = server, client
            sel.register(client, selectors.EVENT_READ)
            sel.register(server, selectors.EVENT_READ)
            continue
        if s not in links:
            continue
        try:
            data = s.recv(65536)
        except OSError:
            data = b""
        if not data:
            drop(s)
            continue
        try:
            links[s].sendall(data)
        except OSError:
            drop(s)
