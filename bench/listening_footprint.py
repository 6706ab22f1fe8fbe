#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Orvane
# SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
"""What listening costs: the real Orvane on a virtual display and sound card, signed in to the
bundled backend, hearing 60 s of interview speech (questions with the pauses between them, each
answered), while its memory (RSS) and processor time are sampled.

    bench/listening_footprint.py --build BUILD_DIR [--seconds 60] [--out DIR]
                                 [--whisper tiny.en|base.en]

With --whisper, a Whisper model of that size (random weights: the cost does not depend on them)
is installed first, and it hears everything (PocketSphinx lets go of its decoders).

Prints the peak and mean RSS in MiB and the processor use in % of one core over the speech, and
writes them to DIR/footprint.json.
"""
import argparse
import json
import os
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tools", "demo"))
import orvane_demo  # noqa: E402

# Asked in turn, each followed by the pause in which the question is sent and answered.
QUESTIONS = [
    "What is the difference between a process and a thread",
    "How would you design a rate limiter for a public API",
    "What is your greatest weakness",
    "How do you detect a cycle in a linked list",
    "Tell me about a time you had a conflict with a coworker",
    "What is the CAP theorem",
    "How does garbage collection work",
    "Explain transaction isolation levels",
]
PAUSE_SECONDS = 4.0
TICKS = os.sysconf("SC_CLK_TCK")


def sample(pid):
    with open("/proc/%d/status" % pid) as status:
        rss = next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return rss / 1024.0, (int(fields[11]) + int(fields[12])) / TICKS


def speech(demo, seconds):
    """One WAV of the questions, with pauses, at least `seconds` long."""
    parts = []
    for number, question in enumerate(QUESTIONS):
        wav = os.path.join(demo.tmp, "q%d.wav" % number)
        demo.run(["espeak-ng", "-v", "en-us", "-s", "150", "-w", wav, question])
        padded = os.path.join(demo.tmp, "p%d.wav" % number)
        demo.run(["sox", wav, padded, "pad", "0", str(PAUSE_SECONDS)])
        parts.append(padded)
    whole = os.path.join(demo.tmp, "interview.wav")
    demo.run(["sox"] + parts + [whole])
    length = float(demo.run(["soxi", "-D", whole]).stdout)
    if length < seconds:
        repeats = int(seconds / length)
        demo.run(["sox", whole, whole + ".long.wav", "repeat", str(repeats)])
        whole += ".long.wav"
    return whole


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(os.path.dirname(HERE), "build"))
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--out", default=tempfile.mkdtemp(prefix="orvane-footprint-"))
    parser.add_argument("--whisper", choices=["tiny.en", "base.en"])
    arguments = parser.parse_args()
    demo = orvane_demo.Demo(arguments.build, arguments.out, QUESTIONS)
    result = {}

    def steps():
        demo.start_display()
        demo.start_sound()
        demo.start_backend()
        demo.register_handlers()
        if arguments.whisper:
            models = os.path.join(demo.env["XDG_DATA_HOME"], "orvane", "models")
            os.makedirs(models, exist_ok=True)
            demo.run([os.path.join(arguments.build, "src", "orvane-whisper-model"), "--size",
                      arguments.whisper, os.path.join(models, "ggml-%s.bin" % arguments.whisper)])
        demo.launch()
        signed_in = demo.sign_in()
        demo.start_listening(signed_in)
        wav = speech(demo, arguments.seconds)
        pid = next(p.pid for n, p in demo.processes if n == "orvane")
        player = threading.Thread(target=lambda: demo.run(["paplay", wav]))
        samples = []
        rss0, cpu0 = sample(pid)
        start = time.monotonic()
        player.start()
        while time.monotonic() - start < arguments.seconds:
            time.sleep(0.25)
            samples.append(sample(pid)[0])
        rss1, cpu1 = sample(pid)
        elapsed = time.monotonic() - start
        answered = sum(1 for e in demo.trace.poll() if e["event"] == "recorded")
        result.update({
            "seconds": round(elapsed, 1),
            "rss_before_speech_mib": round(rss0, 1),
            "rss_peak_mib": round(max(samples + [rss1]), 1),
            "rss_mean_mib": round(sum(samples) / len(samples), 1),
            "cpu_percent_of_one_core": round(100.0 * (cpu1 - cpu0) / elapsed, 1),
            "questions_answered": answered,
        })
        player.join(timeout=max(0.0, 120 - elapsed))

    status = orvane_demo.run_to_the_end(demo, steps, "logs")
    if status == 0:
        with open(os.path.join(arguments.out, "footprint.json"), "w") as out:
            json.dump(result, out, indent=2)
        engines = "Whisper " + arguments.whisper if arguments.whisper else \
            "PocketSphinx"
        print("%s, " % engines, end="")
        print("listening %.0f s: RSS peak %.1f MiB, mean %.1f MiB; CPU %.1f %% of a core; "
              "%d questions answered" % (result["seconds"], result["rss_peak_mib"],
                                         result["rss_mean_mib"],
                                         result["cpu_percent_of_one_core"],
                                         result["questions_answered"]))
    return status


if __name__ == "__main__":
    sys.exit(main())
