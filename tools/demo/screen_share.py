# SPDX-FileCopyrightText: 2026 Orvane
# SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
"""A share of the whole screen made as a call makes one: a session of the ScreenCast portal over
D-Bus, its stream taken from PipeWire by GStreamer's PipeWire source."""
import os
import signal
import subprocess
import time

from gi.repository import Gio, GLib

PORTAL = "org.freedesktop.portal.Desktop"
PORTAL_PATH = "/org/freedesktop/portal/desktop"
SCREENCAST = "org.freedesktop.portal.ScreenCast"
MONITOR = 1
TIMEOUT_MS = 30000


class ScreenShare:
    def __init__(self):
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        self.sender = self.bus.get_unique_name()[1:].replace(".", "_")
        self.requests = 0
        self.session = None

    def _ask(self, method, signature, arguments, options):
        """Calls a portal method whose answer comes as its request's Response signal."""
        self.requests += 1
        token = "orvane_share_%d" % self.requests
        path = "%s/request/%s/%s" % (PORTAL_PATH, self.sender, token)
        loop = GLib.MainLoop()
        answer = {}

        def answered(_bus, _sender, _path, _interface, _signal, parameters):
            answer["code"], answer["results"] = parameters.unpack()
            loop.quit()

        subscription = self.bus.signal_subscribe(
            None, "org.freedesktop.portal.Request", "Response", path, None,
            Gio.DBusSignalFlags.NONE, answered)
        timed_out = []

        def give_up():
            timed_out.append(True)
            loop.quit()
            return False

        timer = GLib.timeout_add(TIMEOUT_MS, give_up)
        try:
            options = dict(options, handle_token=GLib.Variant("s", token))
            self.bus.call_sync(PORTAL, PORTAL_PATH, SCREENCAST, method,
                               GLib.Variant(signature, tuple(arguments) + (options,)), None,
                               Gio.DBusCallFlags.NONE, TIMEOUT_MS, None)
            loop.run()
        finally:
            if not timed_out:
                GLib.source_remove(timer)
            self.bus.signal_unsubscribe(subscription)
        if answer.get("code") != 0:
            raise RuntimeError("the portal's %s answered %r" % (method, answer.get("code")))
        return answer["results"]

    def start(self):
        """Shares one monitor whole; returns its stream's PipeWire node and a descriptor of the
        PipeWire the portal opened for this share."""
        self.session = self._ask("CreateSession", "(a{sv})", [], {
            "session_handle_token": GLib.Variant("s", "orvane_share")})["session_handle"]
        self._ask("SelectSources", "(oa{sv})", [self.session], {"types": GLib.Variant("u", MONITOR)})
        streams = self._ask("Start", "(osa{sv})", [self.session, ""], {})["streams"]
        reply, fds = self.bus.call_with_unix_fd_list_sync(
            PORTAL, PORTAL_PATH, SCREENCAST, "OpenPipeWireRemote",
            GLib.Variant("(oa{sv})", (self.session, {})), None, Gio.DBusCallFlags.NONE,
            TIMEOUT_MS, None, None)
        return streams[0][0], fds.get(reply.unpack()[0])

    def close(self):
        if self.session:
            self.bus.call_sync(PORTAL, self.session, "org.freedesktop.portal.Session", "Close",
                               None, None, Gio.DBusCallFlags.NONE, TIMEOUT_MS, None)
            self.session = None


def take_frames(env, node, fd, path, log, while_taking):
    """Takes the stream's frames as RGBx into path until while_taking() returns, and ends the
    stream as a call does when it stops sharing."""
    viewer = subprocess.Popen(
        ["gst-launch-1.0", "-q", "-e", "pipewiresrc", "fd=%d" % fd, "path=%d" % node,
         "!", "videoconvert", "!", "video/x-raw,format=RGBx", "!",
         "filesink", "location=" + path],
        env=env, pass_fds=[fd], stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
    os.close(fd)
    try:
        while_taking()
    finally:
        viewer.send_signal(signal.SIGINT)
        try:
            viewer.wait(10)
        except subprocess.TimeoutExpired:
            viewer.kill()
            viewer.wait()
    return viewer.returncode


def frames_in(path, width, height):
    """The frames a take wrote, each as a function of (x, y) to (r, g, b)."""
    size = width * height * 4
    with open(path, "rb") as taken:
        data = taken.read()
    frames = []
    for start in range(0, len(data) - size + 1, size):
        frame = data[start:start + size]
        frames.append(lambda x, y, f=frame: tuple(f[(y * width + x) * 4:(y * width + x) * 4 + 3]))
    return frames


def wait_until(condition, seconds, step=0.02):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(step)
    return condition()
