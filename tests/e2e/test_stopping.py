#!/usr/bin/env python3
"""Stop requests reach the saver whenever they come: in its first
milliseconds, while frames run late, and after a repeatable start."""
import os
import re
import resource
import signal
import subprocess
import time

from xharness import EXIT_LIMIT, HACK, PROBE, Process, Xvfb, run_cases

DELAYS_MS = [0, 0.1, 0.5, 1, 2, 5, 10, 50]
STARTS_PER_DELAY = 20
# Address-space limits mean nothing to AddressSanitizer, which reserves terabytes.
SANITIZED = os.environ.get("QUILLMOOR_SANITIZER_SUITE") == "1"


def start_timed(env, args):
    """Starts the saver and returns it once its main has begun."""
    read_end, write_end = os.pipe()
    proc = subprocess.Popen([HACK] + args, env=dict(env, QUILLMOOR_START_FD=str(write_end)),
                            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as marker:
        assert marker.readline() == "main\n", "no start marker"
    return proc


def test_sigterm_at_any_moment_after_main_begins_exits_cleanly():
    with Xvfb("640x480") as x:
        statuses = {}
        for delay in DELAYS_MS:
            for _ in range(STARTS_PER_DELAY):
                proc = start_timed(x.env, ["-window"])
                if delay:
                    time.sleep(delay / 1000)
                proc.send_signal(signal.SIGTERM)
                status = proc.wait(10)
                statuses.setdefault(status, []).append(delay)
        assert list(statuses) == [0], f"exit statuses by delay (ms): {statuses}"


def test_stop_signals_are_prompt_while_frames_run_late():
    # Every frame takes 100 ms, three times the frame interval.
    env_extra = {"QUILLMOOR_FRAME_DELAY_MS": "100"}
    with Xvfb("800x600") as x:
        for signo in (signal.SIGTERM, signal.SIGINT):
            for target in (["-window"], ["-root"]):
                hack = Process([HACK, "-verbose"] + target, dict(x.env, **env_extra))
                try:
                    hack.expect("canvas ")
                    time.sleep(0.5)
                    status, seconds = hack.signal_and_time(signo)
                    assert status == 0, f"{signo.name} {target}: exit {status}"
                    assert seconds < EXIT_LIMIT + 0.1, f"{signo.name} {target}: {seconds * 1000:.0f} ms to exit"
                finally:
                    hack.kill()


def test_verbose_reports_the_seed_that_repeats_the_run():
    with Xvfb("640x480") as x:
        first = Process([HACK, "-root", "-verbose"], x.env)
        try:
            line = first.expect("canvas 640x480")
            seed = re.search(r"seed (0x[0-9a-f]{16})", line).group(1)
            first.signal_and_time(signal.SIGTERM)
        finally:
            first.kill()
        again = Process([HACK, "-root", "-verbose", "-seed", seed], x.env)
        try:
            assert f"seed {seed}" in again.expect("canvas 640x480")
            again.signal_and_time(signal.SIGTERM)
        finally:
            again.kill()


def test_a_screen_too_big_for_memory_is_one_line_and_status_1():
    def limit_memory():
        resource.setrlimit(resource.RLIMIT_AS, (200 << 20, 200 << 20))

    with Xvfb("8192x8192") as x:
        proc = subprocess.run([HACK, "-root"], env=x.env, preexec_fn=limit_memory, capture_output=True, text=True,
                              timeout=20)
        lines = proc.stderr.splitlines()
        assert proc.returncode == 1, f"exit {proc.returncode}: {proc.stderr}"
        assert len(lines) == 1 and "not enough memory" in lines[0], proc.stderr


def test_stale_virtual_root_falls_back_to_the_root():
    with Xvfb("640x480") as x:
        holder = subprocess.Popen([PROBE, "window", "50x50"], env=x.env, stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, text=True)
        try:
            window = holder.stdout.readline().strip()
            subprocess.run([PROBE, "vroot", window, "0x3fffff0"], env=x.env, check=True)
            hack = Process([HACK, "-root", "-verbose"], x.env)
            try:
                line = hack.expect(" 640x480 (")
                root = subprocess.run(["xwininfo", "-root"], env=x.env, capture_output=True, text=True).stdout
                root_id = re.search(r"Window id: (0x[0-9a-f]+)", root).group(1)
                assert f"window {root_id} " in line, line
                assert hack.signal_and_time(signal.SIGTERM)[0] == 0
            finally:
                hack.kill()
        finally:
            holder.stdin.write("quit\n")
            holder.stdin.close()
            holder.wait(5)


if __name__ == "__main__":
    run_cases([
        test_sigterm_at_any_moment_after_main_begins_exits_cleanly,
        test_stop_signals_are_prompt_while_frames_run_late,
        test_verbose_reports_the_seed_that_repeats_the_run,
        test_stale_virtual_root_falls_back_to_the_root,
    ] + ([] if SANITIZED else [test_a_screen_too_big_for_memory_is_one_line_and_status_1]))
