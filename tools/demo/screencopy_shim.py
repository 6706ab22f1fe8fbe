#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Orvane
# SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
"""A Wayland socket for xdg-desktop-portal-wlr on a machine without a GPU: everything passes
through to the compositor's, and each wlr-screencopy frame the compositor describes in shared
memory alone is also described as a DMA-BUF of the same size and layout.

xdg-desktop-portal-wlr 0.7 refuses to start a screencast when a frame comes without a DMA-BUF
description, which wlroots' software renderer never gives. It only reads that description to
allow the cast; without a GPU of its own it offers the consumer shared memory and copies every
frame that way, which the software renderer serves. So its screencasts work through this socket:

    screencopy_shim.py SOCKET_NAME

Runs until killed. Creates $XDG_RUNTIME_DIR/SOCKET_NAME; the compositor is $WAYLAND_DISPLAY.
"""
import array
import os
import socket
import struct
import sys
import threading

DISPLAY_ID = 1
GET_REGISTRY, DELETE_ID = 1, 1  # wl_display's request and event
BIND, GLOBAL = 0, 0  # wl_registry's request and event
CAPTURE_OUTPUT, CAPTURE_OUTPUT_REGION = 0, 1  # zwlr_screencopy_manager_v1's requests
BUFFER, LINUX_DMABUF = 0, 5  # zwlr_screencopy_frame_v1's events
MANAGER = "zwlr_screencopy_manager_v1"
MAX_FDS = 28
# wl_shm's two formats that are not numbered as DRM's fourcc codes are.
DRM_OF_SHM = {0: 0x34325241, 1: 0x34325258}  # ARGB8888, XRGB8888


def receive(sock):
    fds = array.array("i")
    try:
        data, ancillary, _, _ = sock.recvmsg(65536, socket.CMSG_SPACE(MAX_FDS * fds.itemsize))
    except OSError:
        return b"", []
    for level, kind, payload in ancillary:
        if level == socket.SOL_SOCKET and kind == socket.SCM_RIGHTS:
            fds.frombytes(payload[:len(payload) - len(payload) % fds.itemsize])
    return data, list(fds)


def send(sock, data, fds):
    ancillary = [(socket.SOL_SOCKET, socket.SCM_RIGHTS, array.array("i", fds))] if fds else []
    try:
        sock.sendmsg([data], ancillary)
    finally:
        for fd in fds:
            os.close(fd)


def split(buffer):
    """The whole messages at the front of buffer, as (object, opcode, message), and the rest."""
    found = []
    while len(buffer) >= 8:
        sender, word = struct.unpack_from("=II", buffer)
        size = word >> 16
        if size < 8 or len(buffer) < size:
            break
        found.append((sender, word & 0xFFFF, buffer[:size]))
        buffer = buffer[size:]
    return found, buffer


def string_at(message, at):
    """A string argument and where the next argument starts."""
    length = struct.unpack_from("=I", message, at)[0]
    text = message[at + 4:at + 4 + max(length - 1, 0)].decode("ascii", "replace")
    return text, at + 4 + (length + 3) // 4 * 4


class Connection:
    """One client's connection, and what it has of the objects that matter here."""

    def __init__(self, client, compositor):
        self.client, self.compositor = client, compositor
        self.lock = threading.Lock()
        self.registries, self.managers, self.frames = set(), set(), set()
        self.globals = {}  # the registry's name -> interface
        self.described = set()  # frames the compositor gave a DMA-BUF description itself

    def requests(self):
        pending = b""
        while True:
            data, fds = receive(self.client)
            if not data:
                break
            found, pending = split(pending + data)
            with self.lock:
                for target, opcode, message in found:
                    self.request(target, opcode, message)
            send(self.compositor, data, fds)
        self.compositor.close()

    def request(self, target, opcode, message):
        if target == DISPLAY_ID and opcode == GET_REGISTRY:
            self.registries.add(struct.unpack_from("=I", message, 8)[0])
        elif target in self.registries and opcode == BIND:
            name = struct.unpack_from("=I", message, 8)[0]
            interface, at = string_at(message, 12)
            version, new_id = struct.unpack_from("=II", message, at)
            # The DMA-BUF description is version 3's; a client bound to an older one knows none.
            if self.globals.get(name) == MANAGER == interface and version >= 3:
                self.managers.add(new_id)
        elif target in self.managers and opcode in (CAPTURE_OUTPUT, CAPTURE_OUTPUT_REGION):
            self.frames.add(struct.unpack_from("=I", message, 8)[0])

    def events(self):
        pending, fds_waiting = b"", []
        while True:
            data, fds = receive(self.compositor)
            if not data:
                break
            fds_waiting += fds
            found, pending = split(pending + data)
            with self.lock:
                out = b"".join(self.event(source, opcode, m) for source, opcode, m in found)
            # A message not yet whole waits; descriptors go with the first bytes sent after them.
            if out:
                send(self.client, out, fds_waiting)
                fds_waiting = []
        self.client.close()

    def event(self, source, opcode, message):
        if source in self.registries and opcode == GLOBAL:
            self.globals[struct.unpack_from("=I", message, 8)[0]] = string_at(message, 12)[0]
        elif source == DISPLAY_ID and opcode == DELETE_ID:
            gone = struct.unpack_from("=I", message, 8)[0]
            for ids in (self.registries, self.managers, self.frames, self.described):
                ids.discard(gone)
        elif source in self.frames and opcode == LINUX_DMABUF:
            self.described.add(source)
        elif source in self.frames and opcode == BUFFER and source not in self.described:
            shm_format, width, height = struct.unpack_from("=III", message, 8)
            fourcc = DRM_OF_SHM.get(shm_format, shm_format)
            return message + struct.pack("=IIIII", source, 20 << 16 | LINUX_DMABUF, fourcc,
                                         width, height)
        return message


def main():
    runtime = os.environ["XDG_RUNTIME_DIR"]
    target = os.path.join(runtime, os.environ["WAYLAND_DISPLAY"])
    path = os.path.join(runtime, sys.argv[1])
    if os.path.exists(path):
        os.unlink(path)
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    listener.bind(path)
    listener.listen(16)
    while True:
        client, _ = listener.accept()
        compositor = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        compositor.connect(target)
        connection = Connection(client, compositor)
        for work in (connection.requests, connection.events):
            threading.Thread(target=work, daemon=True).start()


if __name__ == "__main__":
    main()
