#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Orvane
# SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
"""Orvane's headless demo: the whole application on a virtual display, hearing a question played
on a virtual sound card, answered by the bundled backend.

It starts Xvfb, a private PulseAudio server whose default output is a null sink, orvane-backend
(offline answers, development sign-in) and Orvane; signs in through the development identity
provider with a scripted browser that hands the redirect back through Orvane's URL-scheme handler;
starts a session; speaks three interview questions into the sink with espeak-ng, the backend's
access tokens running out between them; waits for each answer; asks a question while an answer
still streams and checks that each question keeps its own answer; says a line of small talk and
checks that the panel keeps the answer it showed; pages back through the answers
with the arrow keys; has Orvane take a screenshot for the next question; signs out and in again;
and saves screenshots (the display's and the one Orvane took), the event trace and the logs
in a folder.

    orvane_demo.py --build BUILD_DIR --out DIR [--check] [--question TEXT]...

With --check every step is asserted and the exit status says whether all held (the end-to-end
test). Nothing outside its own temporary directory is touched: the desktop entries it registers
live in a private XDG data and config home.
"""
import argparse
import base64
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
# Questions the offline answer set knows and the on-device recogniser hears in espeak-ng's voice
# whatever the audio's timing (tests/backend/OfflineAnswersTest checks that each way it hears
# them is answered): the demo checks Orvane, not the recogniser's luck. ("Tell me about
# yourself" is heard as "Duly about yourself" one time in three, which is rightly skipped.) The
# last is a coding question, answered with a code block, so the panel shows one.
DEFAULT_QUESTIONS = ["What is the difference between a process and a thread",
                     "What is your greatest weakness", "How do you optimize a slow SQL query"]
# Short enough that the second and third questions find the first access token expired.
ACCESS_TOKEN_SECONDS = 5
# Slow enough that a question spoken after an answer's first words arrives while it streams.
OFFLINE_MS_PER_WORD = 200
SMALL_TALK = "Okay, great, sounds good."
CUT_SHORT_MARK = "*(Cut short. A new question was asked.)*"


class Failed(Exception):
    pass


def say(message):
    print("demo: " + message, flush=True)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for(what, predicate, timeout, interval=0.02):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    raise Failed("timed out after %g s waiting for %s" % (timeout, what))


class Trace:
    """Orvane's --trace-events file, read as it grows; each event gets the time it was seen."""

    def __init__(self, path):
        self.path = path
        self.events = []
        self._offset = 0
        self._partial = ""

    def poll(self):
        if not os.path.exists(self.path):
            return self.events
        with open(self.path, encoding="utf-8") as stream:
            stream.seek(self._offset)
            chunk = stream.read()
            self._offset = stream.tell()
        seen = time.monotonic()
        lines = (self._partial + chunk).split("\n")
        self._partial = lines.pop()
        for line in lines:
            if line.strip():
                event = json.loads(line)
                event["_seen"] = seen
                self.events.append(event)
        return self.events

    def find(self, predicate, after=0):
        for index, event in enumerate(self.poll()):
            if index >= after and predicate(event):
                return index, event
        return None


class Demo:
    def __init__(self, build, out, questions):
        self.build = os.path.abspath(build)
        self.out = os.path.abspath(out)
        self.questions = questions
        self.tmp = tempfile.mkdtemp(prefix="orvane-demo-")
        self.processes = []
        self.env = self._environment()
        self.orvane = os.path.join(self.build, "src", "orvane")
        self.trace = Trace(os.path.join(self.tmp, "trace.jsonl"))
        self.measured = {}
        os.makedirs(self.out, exist_ok=True)

    def _environment(self):
        env = dict(os.environ)
        for name in ("XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                     "GNOME_DESKTOP_SESSION_ID", "WAYLAND_DISPLAY", "SESSION_MANAGER"):
            env.pop(name, None)
        for name in ("run", "config", "data", "pulse"):
            os.makedirs(os.path.join(self.tmp, name), mode=0o700)
        env.update({
            "XDG_RUNTIME_DIR": os.path.join(self.tmp, "run"),
            "XDG_CONFIG_HOME": os.path.join(self.tmp, "config"),
            "XDG_DATA_HOME": os.path.join(self.tmp, "data"),
            "PULSE_SERVER": "unix:" + os.path.join(self.tmp, "pulse", "native"),
            "BROWSER": os.path.join(HERE, "scripted_browser.py"),
            "QT_QPA_PLATFORM": "xcb",
            # No session bus: the status icon must not appear in the real desktop's tray.
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(self.tmp, "no-bus"),
        })
        return env

    def start(self, name, command, **kwargs):
        log = open(os.path.join(self.tmp, name + ".log"), "w")
        process = subprocess.Popen(command, env=self.env, stdout=log, stderr=subprocess.STDOUT,
                                   start_new_session=True, **kwargs)
        self.processes.append((name, process))
        return process

    def run(self, command, check=True, **kwargs):
        result = subprocess.run(command, env=self.env, check=False, capture_output=True,
                                text=True, **kwargs)
        if check and result.returncode != 0:
            raise Failed("%s exited with %d: %s" % (" ".join(command), result.returncode,
                                                    result.stderr.strip()))
        return result

    # The machine around Orvane.

    def start_display(self):
        read_end, write_end = os.pipe()
        self.start("xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24",
                            "-nolisten", "tcp"], pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise Failed("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number
        say("virtual display " + self.env["DISPLAY"])

    def start_sound(self):
        pulse_env = {"HOME": os.path.join(self.tmp, "pulse"),
                     "PULSE_RUNTIME_PATH": os.path.join(self.tmp, "pulse", "runtime")}
        socket_path = self.env["PULSE_SERVER"][len("unix:"):]
        saved = dict(self.env)
        self.env.update(pulse_env)
        self.start("pulseaudio", [
            "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
            "--load=module-null-sink sink_name=orvane_demo rate=48000",
            "--load=module-null-source source_name=orvane_demo_mic rate=48000",
            "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket_path])
        self.env = saved
        wait_for("PulseAudio", lambda: self.run(["pactl", "info"], check=False).returncode == 0,
                 15, 0.05)
        self.run(["pactl", "set-default-sink", "orvane_demo"])
        self.run(["pactl", "set-default-source", "orvane_demo_mic"])
        say("virtual sound card: output orvane_demo (a null sink)")

    def start_backend(self):
        port = free_port()
        self.origin = "http://127.0.0.1:%d" % port
        self.backend_log = os.path.join(self.tmp, "backend.log")
        self.start("backend", [os.path.join(self.build, "backend", "orvane-backend"),
                               "--listen", "127.0.0.1:%d" % port,
                               "--data", os.path.join(self.tmp, "backend-data"),
                               "--dev-identity-provider", "--tier", "all=offline",
                               "--access-token-ttl", str(ACCESS_TOKEN_SECONDS),
                               "--offline-pace", str(OFFLINE_MS_PER_WORD)])

        self.wait_for_backend()
        say("orvane-backend on " + self.origin)

    def wait_for_backend(self):
        def healthy():
            try:
                with urllib.request.urlopen(self.origin + "/healthz", timeout=1) as reply:
                    return reply.status == 200
            except OSError:
                return False

        wait_for("orvane-backend", healthy, 30, 0.05)

    def register_handlers(self):
        # Orvane's own entry, as the run script installs it for the user.
        entry = os.path.join(self.build, "desktop", "dev", "orvane.desktop")
        self.run([os.path.join(ROOT, "scripts", "register-desktop-entry.sh"), entry])
        # The scripted browser takes web pages, as a desktop browser would.
        applications = os.path.join(self.env["XDG_DATA_HOME"], "applications")
        with open(os.path.join(applications, "orvane-demo-browser.desktop"), "w") as desktop:
            desktop.write("[Desktop Entry]\nType=Application\nName=Scripted browser\n"
                          "Exec=%s %%u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n"
                          "NoDisplay=true\n" % self.env["BROWSER"])
        for scheme in ("http", "https"):
            self.run(["xdg-mime", "default", "orvane-demo-browser.desktop",
                      "x-scheme-handler/" + scheme])

    # Orvane.

    def launch(self):
        self.start("orvane", [self.orvane, "--api-base", self.origin,
                              "--trace-events", self.trace.path])

        # Signed out, --toggle-session changes nothing; it answers once Orvane listens for it.
        wait_for("Orvane to start", lambda: self.forward(["--toggle-session"]), 30, 0.1)
        say("Orvane is running")

    def forward(self, arguments):
        result = self.run([self.orvane] + arguments, check=False, timeout=30)
        return result.returncode == 0 and self.alive("orvane")

    def alive(self, name):
        return any(n == name and p.poll() is None for n, p in self.processes)

    def screenshot(self, name):
        path = os.path.join(self.out, name + ".png")
        self.run([os.path.join(self.build, "src", "orvane-screenshot"), path])
        say("screenshot " + path)

    def wait_event(self, what, predicate, timeout, after=0):
        def found():
            if not self.alive("orvane"):
                raise Failed("Orvane exited while waiting for " + what)
            return self.trace.find(predicate, after)
        return wait_for(what, found, timeout)

    def sign_in(self, after=0):
        if not self.forward(["--sign-in"]):
            raise Failed("the running Orvane did not take --sign-in")
        index, _ = self.wait_event("sign-in", lambda e: e["event"] == "signed-in", 60, after)
        say("signed in through the browser and the URL-scheme hand-over")
        return index

    def start_listening(self, after):
        if not self.forward(["--toggle-session"]):
            raise Failed("the running Orvane did not take --toggle-session")
        index, _ = self.wait_event("listening",
                                   lambda e: e["event"] == "state" and e["state"] == "listening",
                                   30, after)
        time.sleep(1.0)
        self.screenshot("02-listening")
        return index

    def speak(self, name, words):
        wav = os.path.join(self.tmp, name + ".wav")
        self.run(["espeak-ng", "-v", "en-us", "-s", "150", "-w", wav, words])
        say('playing "%s" into the virtual sound card' % words)
        self.run(["paplay", wav])

    def ask(self, number, question, after):
        self.speak("question%d" % number, question)
        spoken_end = time.monotonic()
        _, first = self.wait_event("the first answer text",
                                   lambda e: e["event"] == "answer" and e["text"].strip(), 60,
                                   after)
        latency = round(first["_seen"] - spoken_end, 3)
        self.measured.setdefault("end_of_question_to_first_answer_s", []).append(latency)
        say("first answer text %.2f s after the question ended" % latency)
        recorded_index, recorded = self.wait_event(
            "the answer to be recorded", lambda e: e["event"] == "recorded", 90, after)
        listening_index, _ = self.wait_event(
            "listening again", lambda e: e["event"] == "state" and e["state"] == "listening", 30,
            recorded_index)
        self.measured.setdefault("questions_heard", []).append(recorded["question"])
        if "```" in recorded["answer"]:
            self.measured["answers_with_code"] = self.measured.get("answers_with_code", 0) + 1
        say('heard "%s"; answered in %d words' % (recorded["question"],
                                                 len(recorded["answer"].split())))
        time.sleep(0.5)
        self.screenshot("03-answer-%d" % number)
        return listening_index

    def ask_while_streaming(self, first, second, after):
        """Asks the second question while the first one's answer still streams: the first
        answer stops where it was, marked as cut short, and each question keeps its own."""
        self.speak("overtaken", first)
        streaming, _ = self.wait_event("the first words of the answer",
                                       lambda e: e["event"] == "answer" and e["text"].strip(),
                                       60, after)
        self.speak("overtaking", second)
        first_index, cut = self.wait_event("the cut answer to be recorded",
                                           lambda e: e["event"] == "recorded", 90, streaming)
        second_index, whole = self.wait_event("the second answer to be recorded",
                                              lambda e: e["event"] == "recorded", 90,
                                              first_index + 1)
        if not cut["answer"].endswith(CUT_SHORT_MARK) or CUT_SHORT_MARK in whole["answer"]:
            raise Failed("the overlapping answers were not kept apart: %r then %r" %
                         (cut["answer"], whole["answer"]))
        self.measured["overlapping_questions"] = [cut["question"], whole["question"]]
        say('"%s" was cut short by "%s", which has its own answer' %
            (cut["question"], whole["question"]))
        index, _ = self.wait_event(
            "listening again", lambda e: e["event"] == "state" and e["state"] == "listening", 30,
            second_index)
        return index

    def small_talk(self, after):
        """Says a line of small talk: the model declines it and the panel keeps its answer."""
        shown = [e for e in self.trace.poll()[:after] if e["event"] == "recorded"][-1]["answer"]
        self.speak("small-talk", SMALL_TALK)
        index, skipped = self.wait_event("the small talk to be declined",
                                         lambda e: e["event"] == "skipped", 60, after)
        shown_after = skipped.get("shown")
        if shown_after != shown:
            raise Failed("small talk changed the panel's answer to %r" % shown_after)
        if self.trace.find(lambda e: e["event"] == "answer" and "[S" in e["text"], after):
            raise Failed("the panel was shown the small-talk marker")
        self.measured["small_talk_kept_the_answer"] = True
        say("small talk was declined and the panel kept the answer it showed")
        time.sleep(0.5)
        self.screenshot("03-after-small-talk")
        return index

    def page_back(self, after):
        """Presses the left arrow on the panel as a user would: the panel has the keyboard."""
        found = self.run(["xdotool", "search", "--onlyvisible", "--name", "^Orvane$"])
        window = found.stdout.split()[0]
        self.run(["xdotool", "windowfocus", "--sync", window])
        count = sum(1 for e in self.trace.poll() if e["event"] == "recorded")
        for position in range(count - 1, 0, -1):
            self.run(["xdotool", "key", "Left"])
            after, _ = self.wait_event(
                "the panel to show answer %d of %d" % (position, count),
                lambda e, p=position: e["event"] == "shown" and e["position"] == p, 10, after)
        say("paged back to the first answer with the arrow keys")
        time.sleep(0.5)
        self.screenshot("04-history")
        return after

    def take_screenshot(self, name, after):
        """Has Orvane take a screenshot for the next question, as its shortcut or a desktop's
        key binding does, and saves the picture it queued."""
        if not self.forward(["--screenshot"]):
            raise Failed("the running Orvane did not take --screenshot")
        index, event = self.wait_event("Orvane's screenshot",
                                       lambda e: e["event"] in ("screenshot", "error"), 60, after)
        if event["event"] == "error":
            raise Failed("the screenshot failed: " + event["message"])
        path = os.path.join(self.out, name + ".png")
        with open(path, "wb") as out:
            out.write(base64.b64decode(event["png"]))
        say("Orvane's screenshot " + path)
        return index, path

    def check(self):
        events = self.trace.poll()
        heard = self.measured.get("questions_heard", [])
        if len(heard) != len(self.questions) or any(len(q.split()) < 2 for q in heard):
            raise Failed("not every question was heard as two words or more: %r" % heard)
        errors = [e["message"] for e in events if e["event"] == "error"]
        if errors:
            raise Failed("the session reported errors: %s" % errors)
        with open(self.backend_log, encoding="utf-8") as log:
            lines = log.readlines()
        chat = [line for line in lines if "POST /api/v1/ai/chat 200" in line]
        if len(chat) < len(self.questions):
            raise Failed("the backend answered %d chat requests, not %d" %
                         (len(chat), len(self.questions)))
        if not any("POST /api/v1/ai/chat 401" in line for line in lines):
            raise Failed("no question found its access token expired")
        if not any("POST /api/v1/auth/refresh 200" in line for line in lines):
            raise Failed("the expired access token was not renewed")
        if self.questions == DEFAULT_QUESTIONS and not self.measured.get("answers_with_code"):
            raise Failed("the coding question was not answered with a code block")
        if sum(1 for e in events if e["event"] == "signed-in") != 2:
            raise Failed("Orvane did not sign in twice")
        say("checked: %d questions reached the backend and were recorded, an expired access "
            "token was renewed without a word to the user, a code block was answered, a question "
            "asked while an answer streamed kept its own answer, small talk left the panel as "
            "it was, the arrow keys paged the history, and signing in again worked" % len(heard))

    def stop(self):
        for name, process in reversed(self.processes):
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGTERM)
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()
        for name in os.listdir(self.tmp):
            if name.endswith(".log") or name == "trace.jsonl":
                shutil.copy(os.path.join(self.tmp, name), self.out)
        with open(os.path.join(self.out, "measured.json"), "w") as summary:
            json.dump(self.measured, summary, indent=2)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def run_all(self, check):
        self.start_display()
        self.start_sound()
        self.start_backend()
        self.register_handlers()
        self.launch()
        time.sleep(1.0)
        self.screenshot("01-login")
        signed_in = self.sign_in()
        after = self.start_listening(signed_in)
        for number, question in enumerate(self.questions, 1):
            after = self.ask(number, question, after)
        after = self.ask_while_streaming(DEFAULT_QUESTIONS[0], DEFAULT_QUESTIONS[1], after)
        after = self.small_talk(after)
        recorded = self.page_back(after)
        recorded, _ = self.take_screenshot("05-orvane-screenshot", recorded)
        if not self.forward(["--sign-out"]):
            raise Failed("the running Orvane did not take --sign-out")
        self.wait_event("sign-out", lambda e: e["event"] == "signed-out", 30, recorded)
        say("signed out")
        self.sign_in(recorded + 1)
        time.sleep(0.5)
        self.screenshot("06-signed-in-again")
        if check:
            self.check()


class ModelStandIn:
    """An OpenAI-compatible model server on loopback, answering every question with the same words
    in Chat Completions chunks, and remembering the keys it was sent."""

    ANSWER = "The stand-in model says: put a queue between them."

    def __init__(self, first_token_delay=0.0):
        import http.server
        import threading
        stand_in = self
        self.keys = []
        self.models = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                stand_in.keys.append(self.headers.get("Authorization", ""))
                stand_in.models.append(json.loads(body or b"{}").get("model"))
                self.send_response(200)
                self.send_header("Content-Type", "text/event-stream")
                self.end_headers()
                time.sleep(first_token_delay)
                chunks = [{"role": "assistant"}] + [{"content": word + " "}
                                                     for word in stand_in.ANSWER.split()]
                try:
                    for delta in chunks:
                        body = {"choices": [{"index": 0, "delta": delta, "finish_reason": None}]}
                        self.wfile.write(b"data: " + json.dumps(body).encode() + b"\n\n")
                        self.wfile.flush()
                        time.sleep(0.02)
                    self.wfile.write(b"data: [DONE]\n\n")
                except OSError:
                    pass  # the backend let the question go

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.origin = "http://127.0.0.1:%d" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()


KEY = "sk-demo-never-written-anywhere-7f3a"


def run_own_backend(demo, check):
    """Orvane with no backend running: it starts its own, relaying to a model server the run
    names (as `OPENAI_BASE_URL=... ./scripts/run.sh` does), and answers a spoken question from it.
    The key reaches the model server and nothing else: no process's arguments, no file."""
    stand_in = ModelStandIn()
    demo.start_display()
    demo.start_sound()
    demo.origin = "http://127.0.0.1:%d" % free_port()
    demo.env.update({"OPENAI_BASE_URL": stand_in.origin + "/v1", "OPENAI_API_KEY": KEY,
                     "ORVANE_MODEL": "stand-in-model"})
    demo.register_handlers()
    demo.launch()
    demo.wait_for_backend()
    say("Orvane started its own backend on " + demo.origin)
    signed_in = demo.sign_in()
    after = demo.start_listening(signed_in)
    demo.speak("question", DEFAULT_QUESTIONS[0])
    _, recorded = demo.wait_event("the model server's answer to be recorded",
                                  lambda e: e["event"] == "recorded", 90, after)
    demo.screenshot("03-answer-from-the-model-server")
    if not check:
        return
    if recorded["answer"] != ModelStandIn.ANSWER:
        raise Failed("the answer did not come from the model server: %r" % recorded["answer"])
    if not stand_in.keys or any(key != "Bearer " + KEY for key in stand_in.keys):
        raise Failed("the model server was not sent the key: %r" % stand_in.keys)
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as arguments:
                    if KEY.encode() in arguments.read():
                        raise Failed("the key is on the command line of process %s" % entry)
            except OSError:
                pass
    for name in ("data", "config"):
        for folder, _, files in os.walk(os.path.join(demo.tmp, name)):
            for file in files:
                with open(os.path.join(folder, file), "rb") as stored:
                    if KEY.encode() in stored.read():
                        raise Failed("the key was written to %s" % os.path.join(folder, file))
    demo.measured["own_backend_answered_from_model_server"] = True
    say("checked: Orvane started its own backend, which answered from the model server; the key "
        "reached the model server and no process's arguments and no file")
    end_and_relaunch(demo, stand_in)


def port_is_free(origin):
    with socket.socket() as probe:
        return probe.connect_ex(("127.0.0.1", int(origin.rsplit(":", 1)[1]))) != 0


def end_orvane(demo, how):
    """Ends Orvane with a signal, as a logout, a task manager or a crash would, and checks that
    its backend is gone with it within 2 s."""
    process = [p for n, p in demo.processes if n == "orvane" and p.poll() is None][-1]
    ended = time.monotonic()
    os.kill(process.pid, how)
    wait_for("nothing to listen on %s after %s" % (demo.origin, signal.Signals(how).name),
             lambda: port_is_free(demo.origin), 2.0)
    demo.measured.setdefault("backend_gone_after_s", {})[signal.Signals(how).name] = round(
        time.monotonic() - ended, 3)
    process.wait(10)
    if how == signal.SIGTERM and process.returncode != 0:
        raise Failed("Orvane did not end as Quit ends it: exit status %d" % process.returncode)


def end_and_relaunch(demo, stand_in):
    """SIGTERM ends Orvane and its backend; a relaunch with other answers asks the model they
    name; SIGKILL ends the backend too."""
    end_orvane(demo, signal.SIGTERM)
    demo.env["ORVANE_MODEL"] = "stand-in-model-2"
    demo.trace = Trace(os.path.join(demo.tmp, "trace-relaunched.jsonl"))
    demo.launch()
    demo.wait_for_backend()
    after = demo.start_listening(demo.sign_in())
    demo.speak("question-relaunched", DEFAULT_QUESTIONS[0])
    demo.wait_event("the relaunched Orvane's answer", lambda e: e["event"] == "recorded", 90,
                    after)
    if stand_in.models[-1] != "stand-in-model-2":
        raise Failed("the relaunch did not use its new answers: it asked %r" % stand_in.models)
    end_orvane(demo, signal.SIGKILL)
    say("checked: SIGTERM and SIGKILL each took Orvane's backend with it within 2 s (%s), and a "
        "relaunch with new answers asked the model they name" %
        demo.measured["backend_gone_after_s"])


def run_to_the_end(demo, steps, kept):
    """Runs the steps, stops everything the demo started whatever happened, and returns the
    exit status; `kept` says what the output folder holds."""
    try:
        steps()
        status = 0
    except (Failed, subprocess.CalledProcessError, subprocess.TimeoutExpired) as failure:
        say("FAILED: %s" % failure)
        status = 1
    finally:
        demo.stop()
    say("%s in %s" % (kept, demo.out))
    return status


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--out", default=os.path.join(ROOT, "demo-output"))
    parser.add_argument("--question", action="append", dest="questions",
                        help="a question to speak; repeat for several (default: three)")
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--own-backend", action="store_true",
                        help="no backend running: Orvane starts its own, relaying to a model "
                             "server stand-in")
    arguments = parser.parse_args()
    demo = Demo(arguments.build, arguments.out, arguments.questions or DEFAULT_QUESTIONS)
    if arguments.own_backend:
        return run_to_the_end(demo, lambda: run_own_backend(demo, arguments.check),
                              "screenshots, trace and logs")
    return run_to_the_end(demo, lambda: demo.run_all(arguments.check),
                          "screenshots, trace and logs")


if __name__ == "__main__":
    sys.exit(main())
