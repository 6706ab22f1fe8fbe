#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Orvane
# SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
"""Orvane on a real Wayland desktop, headless: sway on a virtual output with XWayland, PipeWire,
xdg-desktop-portal with its wlroots and GTK back ends, orvane-backend and Orvane, all started
here and stopped at the end.

It signs in through the development identity provider, puts a native Wayland window of one
colour behind the panel, has Orvane take a screenshot (through the Screenshot portal, as on any
Wayland desktop) and checks the picture shows that window where the panel is, and not the
panel; shares the whole screen as a call does, through the ScreenCast portal, and checks that
the panel leaves, that no frame of the share shows it and that it comes back when the share
ends; then raises a second window over the panel and checks the panel is still on top. The
desktop's screenshots (grim) and the one Orvane took are saved in a folder.

    orvane_wayland.py --build BUILD_DIR --out DIR

sway refuses to run as root; run as root, this creates the unprivileged user "orvane-test" and
runs the whole desktop as that user, with its own runtime directory and session bus.
"""
import argparse
import json
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import orvane_demo
from orvane_demo import Failed, say, wait_for
from png_pixels import read_png

HERE = os.path.dirname(os.path.abspath(__file__))
TEST_USER = "orvane-test"
WIDTH, HEIGHT = 1280, 800
BEHIND = ("Orvane test window", (0x1E, 0x90, 0xFF))
OVER = ("Orvane raised window", (0xFF, 0x8C, 0x00))
# Changes in a corner away from the panel while the screen is shared: a screencast sends a frame
# when the screen changes.
CORNER = ("Orvane changing corner", (0x00, 0xC0, 0x40))
SHIM_SOCKET = "wayland-screencopy-shim"

SWAY_CONFIG = """
output HEADLESS-1 resolution {width}x{height} position 0 0
xwayland force
default_border none
for_window [title="^Orvane test window$"] floating enable, move position 0 0
for_window [title="^Orvane raised window$"] floating enable, move position 0 0
for_window [title="^Orvane changing corner$"] floating enable, resize set 48 48, move position 0 0
exec env > "$XDG_RUNTIME_DIR/sway-session.env"
"""


def close_to(pixel, colour, tolerance=12):
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, colour))


class WaylandDesktop(orvane_demo.Demo):
    """The demo's backend, browser and Orvane, on sway instead of Xvfb."""

    def __init__(self, build, out):
        super().__init__(build, out, [])
        self.test_window = os.path.join(self.build, "tests", "wayland", "orvane-test-window")

    def _environment(self):
        env = {name: os.environ[name] for name in ("PATH", "DBUS_SESSION_BUS_ADDRESS", "LANG")
               if name in os.environ}
        for name in ("run", "config", "data", "home"):
            os.makedirs(os.path.join(self.tmp, name), mode=0o700)
        env.update({
            "HOME": os.path.join(self.tmp, "home"),
            "XDG_RUNTIME_DIR": os.path.join(self.tmp, "run"),
            "XDG_CONFIG_HOME": os.path.join(self.tmp, "config"),
            "XDG_DATA_HOME": os.path.join(self.tmp, "data"),
            "XDG_CURRENT_DESKTOP": "sway",
            "XDG_SESSION_TYPE": "wayland",
            "WLR_BACKENDS": "headless",
            "WLR_RENDERER": "pixman",
            "WLR_LIBINPUT_NO_DEVICES": "1",
            "BROWSER": os.path.join(HERE, "scripted_browser.py"),
        })
        return env

    def start_desktop(self):
        config = os.path.join(self.tmp, "sway.config")
        with open(config, "w") as out:
            out.write(SWAY_CONFIG.format(width=WIDTH, height=HEIGHT))
        self.start("sway", ["sway", "--config", config])
        session_env = os.path.join(self.env["XDG_RUNTIME_DIR"], "sway-session.env")

        def ready():
            if not os.path.exists(session_env):
                return None
            with open(session_env) as lines:
                found = dict(line.rstrip("\n").split("=", 1) for line in lines if "=" in line)
            return found if "DISPLAY" in found and "WAYLAND_DISPLAY" in found else None

        found = wait_for("sway and XWayland", ready, 30, 0.1)
        for name in ("WAYLAND_DISPLAY", "DISPLAY", "SWAYSOCK"):
            self.env[name] = found[name]
        say("sway on %s, XWayland on %s" % (self.env["WAYLAND_DISPLAY"], self.env["DISPLAY"]))

        # The wlroots portal needs PipeWire, with a session manager to link a share's stream to
        # its viewer, and finds the compositor through the activation environment of the session
        # bus: here the shim that lets it screencast without a GPU (screencopy_shim.py).
        self.start("pipewire", ["pipewire"])
        self.start("wireplumber", ["wireplumber"])
        self.start("screencopy-shim", [sys.executable, os.path.join(HERE, "screencopy_shim.py"),
                                       SHIM_SOCKET])
        wait_for("the screencopy shim", lambda: os.path.exists(
            os.path.join(self.env["XDG_RUNTIME_DIR"], SHIM_SOCKET)), 10, 0.05)
        portal_config = os.path.join(self.env["XDG_CONFIG_HOME"], "xdg-desktop-portal-wlr")
        os.makedirs(portal_config)
        with open(os.path.join(portal_config, "config"), "w") as out:
            out.write("[screencast]\nchooser_type=none\noutput_name=HEADLESS-1\n")
        self.run(["dbus-update-activation-environment", "WAYLAND_DISPLAY=" + SHIM_SOCKET,
                  "DISPLAY", "SWAYSOCK", "XDG_RUNTIME_DIR", "XDG_CURRENT_DESKTOP",
                  "XDG_SESSION_TYPE", "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"])
        # wlroots desktops answer the portal's permission question with what the permission
        # store says; a desktop with a dialog asks the user once, as this records.
        self.run(["gdbus", "call", "--session", "--dest",
                  "org.freedesktop.impl.portal.PermissionStore", "--object-path",
                  "/org/freedesktop/impl/portal/PermissionStore", "--method",
                  "org.freedesktop.impl.portal.PermissionStore.SetPermission", "screenshot",
                  "true", "screenshot", "", "['yes']"])

    def windows(self):
        tree = json.loads(self.run(["swaymsg", "-t", "get_tree", "--raw"]).stdout)
        found = {}

        def walk(node):
            if node.get("name") and node.get("pid"):
                found[node["name"]] = node
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)

        walk(tree)
        return found

    def window(self, title):
        return wait_for("the window " + title, lambda: self.windows().get(title), 30, 0.1)

    def show_window(self, title, colour):
        env = dict(self.env)
        env.pop("DISPLAY")
        env["QT_QPA_PLATFORM"] = "wayland"
        log = open(os.path.join(self.tmp, "window.log"), "a")
        process = subprocess.Popen(
            [self.test_window, title, "#%02x%02x%02x" % colour, str(WIDTH), str(HEIGHT)],
            env=env, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        self.processes.append((title, process))
        node = self.window(title)
        say('a native Wayland window "%s" is shown (%s)' % (title, node.get("shell")))
        time.sleep(0.5)
        return process

    def grim(self, name):
        path = os.path.join(self.out, name + ".png")
        self.run(["grim", path])
        say("screenshot " + path)
        return read_png(path)

    def panel_rect(self):
        """Where the panel is, asked of XWayland: where the compositor leaves it unmanaged, as
        sway does, it is not in the compositor's window tree."""
        def geometry():
            found = self.run(["xdotool", "search", "--onlyvisible", "--name", "^Orvane$"],
                             check=False).stdout.split()
            if not found:
                return None
            shell = self.run(["xdotool", "getwindowgeometry", "--shell", found[0]]).stdout
            values = dict(line.split("=", 1) for line in shell.split())
            return {"x": int(values["X"]), "y": int(values["Y"]),
                    "width": int(values["WIDTH"]), "height": int(values["HEIGHT"])}
        return wait_for("the panel", geometry, 30, 0.1)

    def panel_points(self):
        rect = self.panel_rect()
        if rect["width"] < 100 or rect["height"] < 100:
            raise Failed("the panel is not on screen: %r" % rect)
        x, y, w, h = rect["x"], rect["y"], rect["width"], rect["height"]
        # Inside the panel, away from its rounded corners and edges.
        return [(x + w * i // 5, y + h * j // 5) for i in (1, 2, 3, 4) for j in (1, 2, 3, 4)]

    # The checks.

    def screenshot_through_the_portal(self, after):
        index, path = self.take_screenshot("02-orvane-screenshot", after)
        picture = read_png(path)
        if (picture.width, picture.height) != (WIDTH, HEIGHT):
            raise Failed("the screenshot is %dx%d, not the output's %dx%d" %
                         (picture.width, picture.height, WIDTH, HEIGHT))
        title, colour = BEHIND
        wrong = [p for p in self.panel_points() if not close_to(picture.pixel(*p), colour)]
        if wrong:
            raise Failed("where the panel is, the screenshot shows %r, not %s: the panel was "
                         "in the picture" % (picture.pixel(*wrong[0]), title))
        say("the screenshot shows %s where the panel is, and not the panel" % title)
        return index

    def panel_over_the_window(self):
        before = self.grim("01-panel-over-a-window")
        title, colour = BEHIND
        if any(close_to(before.pixel(*p), colour) for p in self.panel_points()):
            raise Failed("the panel is not drawn over " + title)
        if not all(close_to(before.pixel(*p), colour) for p in ((20, 20), (WIDTH - 20, 20))):
            raise Failed(title + " is not on screen")

    def panel_is_shown(self):
        return bool(self.run(["xdotool", "search", "--onlyvisible", "--name", "^Orvane$"],
                             check=False).stdout.split())

    def share_the_screen(self):
        """A call shares the whole screen: the panel leaves before the share's first frame, no
        frame the call receives shows it, and it comes back when the share ends."""
        import screen_share  # the system's GObject bindings: run inside the desktop only
        points = self.panel_points()
        if any(x < 64 and y < 64 for x, y in points):
            raise Failed("the panel is where the changing corner would be: %r" % points)
        title, colour = BEHIND
        share = screen_share.ScreenShare()
        node, fd = share.start()
        say("the screen is shared through the ScreenCast portal: PipeWire node %d" % node)
        frames_path = os.path.join(self.tmp, "share.rgbx")
        seen = {}

        def note(what, happened):
            if what not in seen and happened():
                seen[what] = time.monotonic() - started
            return what in seen

        def while_shared():
            # Both looked for every few milliseconds: the panel's leaving, the first frame's bytes.
            screen_share.wait_until(lambda: all([
                note("hidden", lambda: not self.panel_is_shown()),
                note("first frame", lambda: os.path.exists(frames_path) and
                     os.path.getsize(frames_path) > 0)]), 10, 0.005)
            if "hidden" not in seen:
                raise Failed("the panel stayed on screen while the screen was shared")
            for _ in range(3):
                corner = self.show_window(*CORNER)
                corner.kill()
                corner.wait()
                time.sleep(0.3)

        started = time.monotonic()
        with open(os.path.join(self.tmp, "share-viewer.log"), "w") as log:
            screen_share.take_frames(self.env, node, fd, frames_path, log, while_shared)
        frames = screen_share.frames_in(frames_path, WIDTH, HEIGHT)
        if not frames:
            raise Failed("the share's viewer received no frame")
        for number, frame in enumerate(frames):
            shown = [p for p in points if not close_to(frame(*p), colour)]
            if shown:
                raise Failed("frame %d of %d of the share shows %r where the panel is, not %s" %
                             (number + 1, len(frames), frame(*shown[0]), title))
        say("the panel left %.3f s into the share, the first frame came %.3f s into it; none "
            "of the %d frames received shows the panel" %
            (seen["hidden"], seen.get("first frame", float("nan")), len(frames)))
        share.close()
        if not screen_share.wait_until(self.panel_is_shown, 10):
            raise Failed("the panel did not come back when the share ended")
        say("the panel came back when the share ended")

    def panel_stays_on_top(self):
        points = self.panel_points()
        title, colour = OVER
        self.show_window(title, colour)
        if not self.windows()[title].get("focused"):
            raise Failed(title + " did not get the focus")
        after = self.grim("03-panel-over-a-raised-window")
        covered = [p for p in points if close_to(after.pixel(*p), colour)]
        if covered:
            raise Failed("%s, raised, covers the panel at %r" % (title, covered[0]))
        say("the panel stays above %s, which has the focus" % title)

    def stop(self):
        runtime = self.env["XDG_RUNTIME_DIR"]
        super().stop()
        # What the session bus activated (portals, the permission store), and anything else
        # started for this desktop, goes with it: each carries the desktop's runtime directory.
        marker = ("XDG_RUNTIME_DIR=%s" % runtime).encode()
        for _ in range(50):
            strays = []
            for pid in filter(str.isdigit, os.listdir("/proc")):
                try:
                    with open("/proc/%s/environ" % pid, "rb") as environ:
                        if marker in environ.read().split(b"\0") and int(pid) != os.getpid():
                            strays.append(int(pid))
                except OSError:
                    pass
            if not strays:
                return
            for pid in strays:
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass
            time.sleep(0.1)

    def run_all(self, check=True):
        self.start_desktop()
        self.start_backend()
        self.register_handlers()
        self.show_window(*BEHIND)
        self.launch()
        signed_in = self.sign_in()
        self.panel_rect()
        time.sleep(1.0)
        self.panel_over_the_window()
        self.screenshot_through_the_portal(signed_in)
        self.share_the_screen()
        self.panel_stays_on_top()


def run_inside(arguments):
    """Runs in the test user's own session bus (dbus-run-session)."""
    tempfile.tempdir = arguments.tmp
    demo = WaylandDesktop(arguments.build, arguments.out)
    return orvane_demo.run_to_the_end(demo, demo.run_all, "screenshots and logs")


def test_user():
    try:
        return pwd.getpwnam(TEST_USER)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent",
                        "--shell", "/usr/sbin/nologin", TEST_USER], check=True)
        return pwd.getpwnam(TEST_USER)


# What the desktop runs of the build, relative to the build directory.
PROGRAMS = ["src/orvane", "backend/orvane-backend", "tests/wayland/orvane-test-window"]


def reachable_by(user, script, build):
    paths = [script] + [os.path.join(build, program) for program in PROGRAMS]
    probe = ["runuser", "-u", user.pw_name, "--", "test", "-x", os.path.dirname(script)]
    for path in paths:
        probe += ["-a", "-r", path]
    return subprocess.run(probe).returncode == 0


def copy_for(user, tmp, build, command):
    """A checkout the test user cannot read (under root's home, say) is copied: the programs,
    the desktop entry pointing at the copy and its icon, and these scripts. What the run writes
    goes into the copy too, for the caller to bring back."""
    tree = os.path.join(tmp, "tree")
    for program in PROGRAMS:
        os.makedirs(os.path.dirname(os.path.join(tree, "build", program)), exist_ok=True)
        shutil.copy2(os.path.join(build, program), os.path.join(tree, "build", program))
    # The speech model, where an installed program looks for it beside itself.
    shutil.copytree(os.path.join(build, "speech"),
                    os.path.join(tree, "build", "share", "orvane", "speech"))
    entry = os.path.join(build, "desktop", "dev", "orvane.desktop")
    os.makedirs(os.path.join(tree, "build", "desktop", "dev"))
    with open(entry) as source, open(os.path.join(tree, "build", "desktop", "dev",
                                                  "orvane.desktop"), "w") as copy:
        copy.write(source.read().replace(os.path.join(os.path.abspath(build), "src", "orvane"),
                                         os.path.join(tree, "build", "src", "orvane")))
    shutil.copytree(HERE, os.path.join(tree, "tools", "demo"))
    shutil.copytree(os.path.join(orvane_demo.ROOT, "resources", "icons"),
                    os.path.join(tree, "resources", "icons"))
    os.makedirs(os.path.join(tree, "scripts"))
    shutil.copy2(os.path.join(orvane_demo.ROOT, "scripts", "register-desktop-entry.sh"),
                 os.path.join(tree, "scripts"))
    subprocess.run(["chown", "-R", "%d:%d" % (user.pw_uid, user.pw_gid), tree], check=True)
    build_at = command.index("--build") + 1
    out_at = command.index("--out") + 1
    command = list(command)
    command[1] = os.path.join(tree, "tools", "demo", os.path.basename(command[1]))
    command[build_at] = os.path.join(tree, "build")
    command[out_at] = os.path.join(tree, "out")
    say("the build is out of %s's reach: running a copy" % user.pw_name)
    return command


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(orvane_demo.ROOT, "build"))
    parser.add_argument("--out", default=os.path.join(orvane_demo.ROOT, "wayland-output"))
    parser.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--tmp", help=argparse.SUPPRESS)
    arguments = parser.parse_args()
    if arguments.inside:
        return run_inside(arguments)

    for program in ("sway", "Xwayland", "pipewire", "wireplumber", "grim", "dbus-run-session",
                    "gdbus", "gst-launch-1.0"):
        if not shutil.which(program):
            say("FAILED: %s is not installed (scripts/setup.sh installs it)" % program)
            return 1
    out = os.path.abspath(arguments.out)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    tmp = tempfile.mkdtemp(prefix="orvane-wayland-")
    # The system's Python: the test user may not reach one installed in a home directory.
    python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
    command = [python, os.path.abspath(__file__), "--inside",
               "--build", os.path.abspath(arguments.build), "--out", out, "--tmp", tmp]
    env = {"PATH": "/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin", "LANG": "C.UTF-8"}
    try:
        if os.geteuid() == 0:
            user = test_user()
            build = os.path.realpath(arguments.build)
            if not reachable_by(user, command[1], build):
                command = copy_for(user, tmp, build, command)
            written = command[command.index("--out") + 1]
            os.makedirs(written, exist_ok=True)
            for path in (written, tmp):
                os.chown(path, user.pw_uid, user.pw_gid)
            os.chmod(tmp, 0o700)
            command = ["runuser", "-u", TEST_USER, "--", "env", "-i"] + \
                ["%s=%s" % item for item in env.items()] + ["dbus-run-session", "--"] + command
            status = subprocess.run(command).returncode
            if written != out:
                shutil.copytree(written, out, dirs_exist_ok=True)
            return status
        return subprocess.run(["dbus-run-session", "--"] + command, env=env).returncode
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
