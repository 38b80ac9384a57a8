"""Windows programs under Wine, set up so that Wine's own start-up is not what is measured: an
Xvfb display of our own, a private prefix made once with wineboot and kept, and one persistent
wineserver for the whole benchmark (the approach of the e2e tests' WineRunner)."""

import os
import shutil
import signal
import subprocess
import threading
import time
from pathlib import Path

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"


class WineError(RuntimeError):
    pass


class WineSession:
    def __init__(self, work_directory: Path):
        self.work = work_directory
        self.prefix = work_directory / "wineprefix"
        self.work.mkdir(parents=True, exist_ok=True)
        self._xvfb = None
        self._server = None
        self.display = None
        self.env = None

    def __enter__(self):
        try:
            self._start_display()
            self.env = self._environment()
            fresh = not (self.prefix / "system.reg").exists()
            if fresh:
                shutil.rmtree(self.prefix, ignore_errors=True)
                self.prefix.mkdir(parents=True)
            self._start_server()
            if fresh:
                self._tool([WINE, "wineboot", "--init"], timeout=300)
            # The first program of a server starts Wine's services (rpcss, plugplay, ...).
            self.temp_directory = self._tool([WINE, "cmd", "/c", "echo %TEMP%"]).strip()
            if len(self.temp_directory) < 3:
                raise WineError("cannot learn %TEMP% of the prefix")
            return self
        except BaseException:
            self.close()
            raise

    def __exit__(self, *exc):
        self.close()

    def close(self):
        if self._server is not None:
            subprocess.run([WINESERVER, "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
            _await_end(self._server, 10)
            self._server = None
        if self._xvfb is not None:
            self._xvfb.terminate()
            _await_end(self._xvfb, 5)
            self._xvfb = None

    def _environment(self):
        env = dict(os.environ)
        env.update({
            "DISPLAY": f":{self.display}",
            "WINEPREFIX": str(self.prefix),
            "WINEDLLOVERRIDES": "mscoree,mshtml=",  # no offers to install Mono and Gecko
            "WINEDEBUG": "-all",
        })
        return env

    def _start_display(self):
        # Xvfb picks a free display number itself and writes it into the pipe.
        read_end, write_end = os.pipe()
        log = open(self.work / "xvfb.log", "wb")
        self._xvfb = subprocess.Popen(
            ["/usr/bin/Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24",
             "-nolisten", "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=log)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            raise WineError(f"Xvfb did not start; see {self.work / 'xvfb.log'}")
        self.display = int(number)

    def _server_socket(self):
        # server-<device>-<inode>/socket under /tmp/.wine-<uid>, or, in Debian's Wine, under
        # the directory of /tmp that the prefix's file "wineserver" names.
        info = self.prefix.stat()
        parent = f".wine-{os.getuid()}"
        named = self.prefix / "wineserver"
        if named.exists():
            parent = named.read_text().strip()
        return Path("/tmp") / parent / f"server-{info.st_dev:x}-{info.st_ino:x}" / "socket"

    def _start_server(self):
        # A server left behind by a run that was killed would refuse ours.
        subprocess.run([WINESERVER, "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)
        self._server_socket().unlink(missing_ok=True)
        log = open(self.work / "wineserver.log", "wb")
        self._server = subprocess.Popen([WINESERVER, "--foreground", "--persistent"],
                                        env=self.env, stdout=subprocess.DEVNULL, stderr=log)
        deadline = time.monotonic() + 10
        while not self._server_socket().exists():
            if self._server.poll() is not None or time.monotonic() > deadline:
                raise WineError(f"the wineserver did not start; see {self.work / 'wineserver.log'}")
            time.sleep(0.02)

    def _tool(self, command, timeout=120):
        # Into a file, not a pipe: the services Wine starts keep a pipe open after the tool ends.
        output = self.work / "tool.out"
        with open(output, "wb") as stream:
            process = subprocess.Popen(command, env=self.env, stdin=subprocess.DEVNULL,
                                       stdout=stream, stderr=subprocess.DEVNULL,
                                       start_new_session=True)
        code = finish(process, timeout)
        if code != 0:
            raise WineError(f"{' '.join(command)} failed with exit code {code}")
        return output.read_bytes().decode(errors="replace")

    def linux_path(self, windows_path: str) -> Path:
        """C:\\x\\y -> <prefix>/drive_c/x/y; Z: is the Linux root."""
        drive, rest = windows_path[0].upper(), windows_path[2:].replace("\\", "/").lstrip("/")
        if windows_path[1:2] != ":" or drive not in "CZ":
            raise WineError(f"not a path on drive C: or Z: {windows_path}")
        return (self.prefix / "drive_c" / rest) if drive == "C" else Path("/") / rest

    def spawn(self, program: Path, arguments=(), extra_env=None, log: Path = None):
        """Starts a Windows program in its own directory and process group, Wine's messages
        into `log`; the caller waits for it with finish()."""
        env = dict(self.env)
        env.update(extra_env or {})
        with open(log or os.devnull, "wb") as errors:
            return subprocess.Popen([WINE, str(program), *arguments], env=env, cwd=program.parent,
                                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=errors, start_new_session=True)


def _await_end(process, seconds):
    """Gives a process that was asked to end `seconds` to do so, then kills it."""
    try:
        process.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def finish(process, timeout):
    """Waits for a spawned program and returns its exit code the moment it ends, or None when
    it was killed at the timeout. (Popen.wait with a timeout polls in steps of up to 50 ms,
    too coarse for a benchmark: a watchdog kills instead, and the wait blocks.)"""
    killed = threading.Event()

    def kill():
        killed.set()
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass

    watchdog = threading.Timer(timeout, kill)
    watchdog.start()
    try:
        code = process.wait()
    finally:
        watchdog.cancel()
    return None if killed.is_set() else code
