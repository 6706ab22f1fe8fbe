#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Orvane
# SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
"""How soon an answer starts after the interviewer stops speaking.

Runs the real app on a virtual display and sound card; it starts its own backend, which relays to
a model stand-in whose first token comes after a set delay. Interview questions are spoken into the
sound card with natural pauses, one of them with a pause of 0.8 s in its middle, which must not
split it. For each delay, with questions sent ahead (the app's default) and without
(ORVANE_PREFETCH_DELAY=0; --prefetch-delays tries others), it reports end of speech to the first answer text, p50 and p90, and
questions sent ahead per question asked.

    bench/answer_latency.py --build build [--delays 0.25 0.8] [--rounds 2]
"""
import argparse
import os
import statistics
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "demo"))
import orvane_demo  # noqa: E402

QUESTIONS = ["What is the difference between a process and a thread",
             "How do you optimize a slow SQL query",
             "What is your greatest weakness",
             ("Tell me about a time", "you disagreed with your manager")]


def spoken(demo, name, question):
    """A WAV of the question, with 0.8 s of silence where it is given in two parts."""
    parts = question if isinstance(question, tuple) else (question,)
    files = []
    for index, words in enumerate(parts):
        path = os.path.join(demo.tmp, "%s-%d.wav" % (name, index))
        demo.run(["espeak-ng", "-v", "en-us", "-s", "150", "-w", path, words])
        files.append(path)
        if index + 1 < len(parts):
            pause = os.path.join(demo.tmp, "%s-pause.wav" % name)
            demo.run(["sox", "-n", "-r", "22050", "-c", "1", pause, "trim", "0", "0.8"])
            files.append(pause)
    out = os.path.join(demo.tmp, name + ".wav")
    demo.run(["sox"] + files + [out])
    return out, " ".join(parts)


def measure(build, delay, prefetch, rounds):
    demo = orvane_demo.Demo(build, os.path.join(build, "answer-latency"), [])
    stand_in = orvane_demo.ModelStandIn(first_token_delay=delay)
    latencies, asked = [], 0
    try:
        demo.start_display()
        demo.start_sound()
        demo.origin = "http://127.0.0.1:%d" % orvane_demo.free_port()
        demo.env.update({"OPENAI_BASE_URL": stand_in.origin + "/v1",
                         "ORVANE_MODEL": "stand-in", "ORVANE_PREFETCH_DELAY": prefetch})
        demo.register_handlers()
        demo.launch()
        demo.wait_for_backend()
        after = demo.start_listening(demo.sign_in())
        for round_ in range(rounds):
            for number, question in enumerate(QUESTIONS):
                wav, words = spoken(demo, "q%d-%d" % (round_, number), question)
                demo.run(["paplay", wav])
                ended = time.monotonic()
                index, first = demo.wait_event(
                    "the first answer text",
                    lambda e: e["event"] == "answer" and e["text"].strip(), 60, after)
                latencies.append(first["_seen"] - ended)
                recorded_at, recorded = demo.wait_event(
                    "the answer recorded", lambda e: e["event"] == "recorded", 60, index)
                after, _ = demo.wait_event(
                    "listening again",
                    lambda e: e["event"] == "state" and e["state"] == "listening", 30, recorded_at)
                asked += 1
                if isinstance(question, tuple) and len(recorded["question"].split()) < 8:
                    raise orvane_demo.Failed("the paused question was split: %r" %
                                             recorded["question"])
                time.sleep(1.0)
        with urllib.request.urlopen(demo.origin + "/metrics", timeout=2) as reply:
            metrics = reply.read().decode()
        sent_ahead = int(metrics.split("\norvane_prefetches_total ")[1].split()[0])
    finally:
        demo.stop()
    latencies.sort()
    return {"p50": statistics.median(latencies),
            "p90": latencies[min(len(latencies) - 1, int(0.9 * len(latencies)))],
            "ahead_per_question": sent_ahead / max(asked, 1), "asked": asked}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--delays", type=float, nargs="+", default=[0.25, 0.8])
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--prefetch-delays", nargs="+", default=["0", "0.7"],
                        help="seconds of settled transcript before a question goes ahead; 0: never")
    arguments = parser.parse_args()
    print("first token | sent ahead | end of speech to first text p50 / p90 | ahead per question")
    for delay in arguments.delays:
        for prefetch in arguments.prefetch_delays:
            label = "no" if float(prefetch) == 0 else "after %s s" % prefetch
            result = measure(os.path.abspath(arguments.build), delay, prefetch, arguments.rounds)
            print("%10.2f s | %10s | %13.2f s / %.2f s | %.2f (%d asked)" % (
                delay, label, result["p50"], result["p90"], result["ahead_per_question"],
                result["asked"]), flush=True)


if __name__ == "__main__":
    main()
