#!/usr/bin/env python3
"""make bench: the loader against the limit of its own extraction and against its peers, on
one seeded payload of about 200 MB, in one run.

  extraction  our self-extracting installer under Wine with *QUIET, until the installation
              program has started; the limit (bench/programs/inflate-limit.cpp: the same zlib
              inflating the same streams with the same read and write sizes, nothing else)
              under Wine and natively; NSIS under Wine; unzipsfx and 7-Zip natively
  stub        both of our loaders against the NSIS zlib stubs
  building    veltrane-pack against zip -9, 7-Zip's zip -mx=9 and pigz -9 -z

Every extraction is checked byte for byte against the payload: a wrong one is a failure, not
a time. The tools take turns round by round, so that a machine that gets busier slows all of
them alike and the ratios hold. Writes report.md, results.json and extract.png.
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))

import payload  # noqa: E402
import report  # noqa: E402
from winesession import WineSession, finish  # noqa: E402

SOURCE = Path(__file__).resolve().parent.parent
NSIS_STUBS = Path("/usr/share/nsis/Stubs")
# The installer's files are dated so that the same inputs give the same bytes.
PACK_DATE = "2024-06-01 12:00:00"
INSTALLER_NAME = "bench-installer.exe"
RUN_TIMEOUT_S = 300

# The extraction contestants, in the order of the tables and the chart.
EXTRACTORS = ["loader", "limit_wine", "limit_native", "nsis", "unzipsfx", "sevenzip"]


class Failure(Exception):
    """A contestant that did not do its job; recorded instead of a time."""


def log(text):
    print(f"bench: {text}", flush=True)


def run(command, cwd=None, stdout=subprocess.DEVNULL):
    done = subprocess.run(command, cwd=cwd, stdout=stdout, stderr=subprocess.PIPE)
    if done.returncode != 0:
        raise Failure(f"{' '.join(map(str, command))} ended with exit code {done.returncode}: "
                      f"{done.stderr.decode(errors='replace').strip()[-400:]}")
    return done


def timed(command, cwd=None, stdout=subprocess.DEVNULL):
    started = time.perf_counter()
    run(command, cwd=cwd, stdout=stdout)
    return time.perf_counter() - started


# ---------------------------------------------------------------------------------------------
# Checking what was extracted


def compare_files(expected: Path, actual: Path):
    chunk = 1 << 20
    if expected.stat().st_size != actual.stat().st_size:
        raise Failure(f"{actual} has {actual.stat().st_size} bytes, expected "
                      f"{expected.stat().st_size}")
    with open(expected, "rb") as want, open(actual, "rb") as got:
        offset = 0
        while True:
            a, b = want.read(chunk), got.read(chunk)
            if a != b:
                raise Failure(f"{actual} differs from {expected.name} in the MiB at {offset}")
            if not a:
                return
            offset += len(a)


def check_extraction(directory: Path, expected: dict):
    """`expected` maps each file name to the file it must equal; nothing else may be there."""
    if not directory.is_dir():
        raise Failure(f"no output directory {directory}")
    found = sorted(entry.name for entry in directory.iterdir())
    if found != sorted(expected):
        missing = sorted(set(expected) - set(found))
        extra = sorted(set(found) - set(expected))
        raise Failure(f"{directory}: missing {missing}, unexpected {extra}")
    for name, source in expected.items():
        compare_files(source, directory / name)


# ---------------------------------------------------------------------------------------------
# Building


class Bench:
    def __init__(self, args):
        self.args = args
        self.out = args.output.resolve()
        self.host, self.win64, self.win32 = (d.resolve() for d in (args.host, args.win64, args.win32))
        self.pack_tool = self.host / "veltrane-pack"
        self.installer = self.win64 / "bench" / "programs" / INSTALLER_NAME
        self.limit_exe = self.win64 / "bench" / "programs" / "bench-inflate-limit.exe"
        self.results = {}
        self.details = {"extract_runs": {}, "failures": {}, "notes": []}

    def check_inputs(self):
        needed = [self.pack_tool, self.installer, self.limit_exe,
                  self.win64 / "VeltraneLoadProgram.exe", self.win32 / "VeltraneLoadProgram.exe",
                  NSIS_STUBS / "zlib-x86-ansi", NSIS_STUBS / "zlib-amd64-unicode"]
        missing = [str(path) for path in needed if not path.exists()]
        for tool in ["zip", "7zz", "pigz", "unzipsfx", "makensis", "gnuplot", "c++"]:
            if shutil.which(tool) is None:
                missing.append(tool)
        if missing:
            sys.exit("bench: missing " + ", ".join(missing) +
                     " (make bench builds and installs them)")

    def make_payload(self):
        started = time.perf_counter()
        self.payload = payload.make_payload(self.out / "payload")
        self.payload_dir = self.payload[0].parent
        self.names = [path.name for path in self.payload]
        self.details["payload_digest"] = payload.digest(self.payload)
        self.details["payload_files"] = len(self.payload)
        self.details["payload_bytes"] = payload.total_size()
        log(f"payload: {len(self.payload)} files, {payload.total_size()} bytes "
            f"({time.perf_counter() - started:.1f} s)")

    def build_all(self):
        pack = self.out / "pack"
        shutil.rmtree(pack, ignore_errors=True)
        pack.mkdir(parents=True)
        self.build_veltrane(pack)
        self.build_zip(pack)
        self.build_sevenzip(pack)
        self.build_pigz(pack)
        self.build_nsis(pack)
        self.build_unzipsfx(pack)
        self.build_native_limit()
        self.measure_stubs()

    def build_veltrane(self, pack):
        # What an author builds: the archive of the payload, with the default level on all cores.
        archive = pack / "payload.setup.1"
        seconds = timed([self.pack_tool, "archive", "-q", "-o", archive, "--date", PACK_DATE,
                         "--base", self.payload_dir, *self.payload])
        self.record_pack("veltrane", seconds, archive.stat().st_size)
        # What the extraction runs: the 64-bit loader (this kernel runs no 32-bit programs)
        # with our installation program first and the payload after it.
        self.sfx = pack / "VeltraneBenchSetup.exe"
        run([self.pack_tool, "sfx", "-q", "-o", self.sfx, "--loader",
             self.win64 / "VeltraneLoadProgram.exe", "--title", "Veltrane benchmark",
             "--date", PACK_DATE, "--base", self.payload_dir,
             "--stored-name", "C:\\" + INSTALLER_NAME, self.installer, *self.payload])
        self.spans = self.spans_of(self.sfx)
        self.details["sfx_bytes"] = self.sfx.stat().st_size
        # The same with the installation program alone: what starting costs, without the payload.
        self.empty_sfx = pack / "VeltraneBenchEmpty.exe"
        run([self.pack_tool, "sfx", "-q", "-o", self.empty_sfx, "--loader",
             self.win64 / "VeltraneLoadProgram.exe", "--title", "Veltrane benchmark",
             "--date", PACK_DATE, "--stored-name", "C:\\" + INSTALLER_NAME, self.installer])
        self.empty_spans = self.spans_of(self.empty_sfx)

    def spans_of(self, sfx):
        """(offset in the file, length, staged name) of each stream the loader inflates."""
        listing = json.loads(run([self.pack_tool, "list", "--json", sfx],
                                 stdout=subprocess.PIPE).stdout)
        archive_info = listing["archives"][0]
        return [(archive_info["start"] + entry["dataStart"],
                 entry["dataLast"] - entry["dataStart"] + 1, entry["stagedName"])
                for entry in archive_info["files"]]

    def build_zip(self, pack):
        self.zip = pack / "payload.zip"
        seconds = timed(["zip", "-9", "-q", "-X", self.zip, *self.names], cwd=self.payload_dir)
        self.record_pack("zip9", seconds, self.zip.stat().st_size)

    def build_sevenzip(self, pack):
        target = pack / "payload-7z.zip"
        seconds = timed(["7zz", "a", "-tzip", "-mx=9", "-bso0", "-bsp0", target, *self.names],
                        cwd=self.payload_dir)
        self.record_pack("sevenzip_zip_mx9", seconds, target.stat().st_size)

    def build_pigz(self, pack):
        target = pack / "payload.zz"
        with open(target, "wb") as stream:
            seconds = timed(["pigz", "-9", "-z", "-c", *self.names], cwd=self.payload_dir,
                            stdout=stream)
        self.record_pack("pigz9", seconds, target.stat().st_size)

    def build_nsis(self, pack):
        # Debian's NSIS with its amd64-unicode zlib stub, silent, extracting the payload to the
        # temporary directory; everything else as NSIS has it by default.
        script = pack / "payload.nsi"
        self.nsis = pack / "NsisBenchSetup.exe"
        lines = ["Unicode true", "Target amd64-unicode", "SetCompressor zlib",
                 "SilentInstall silent", "RequestExecutionLevel user", 'Name "Veltrane benchmark"',
                 f'OutFile "{self.nsis}"', 'InstallDir "$TEMP\\veltrane-bench-nsis"',
                 "Section", '  SetOutPath "$INSTDIR"']
        lines += [f'  File "{path}"' for path in self.payload]
        lines += ["SectionEnd", ""]
        script.write_text("\n".join(lines))
        seconds = timed(["makensis", "-V2", script])
        self.details["nsis_build"] = {"seconds": seconds, "bytes": self.nsis.stat().st_size}
        log(f"makensis: {seconds:.2f} s, {self.nsis.stat().st_size} bytes")

    def build_unzipsfx(self, pack):
        self.unzipsfx = pack / "payload-unzipsfx"
        with open(self.unzipsfx, "wb") as out:
            for part in (Path(shutil.which("unzipsfx")), self.zip):
                with open(part, "rb") as source:
                    shutil.copyfileobj(source, out)
        run(["zip", "-q", "-A", self.unzipsfx])  # the offsets now count from the stub's start
        self.unzipsfx.chmod(0o755)

    def build_native_limit(self):
        self.limit_native = self.out / "native" / "bench-inflate-limit"
        self.limit_native.parent.mkdir(parents=True, exist_ok=True)
        # As the Windows build: MinSizeRel, and zlib 1.2.13 from Debian on both sides.
        run(["c++", "-std=c++20", "-Os", "-DNDEBUG", "-Wall", "-Wextra", "-Werror",
             "-I", SOURCE / "src", SOURCE / "bench" / "programs" / "inflate-limit.cpp", "-lz",
             "-o", self.limit_native])

    def record_pack(self, key, seconds, size):
        self.results[f"pack.{key}_s"] = round(seconds, 3)
        self.results[f"pack.{key}_bytes"] = size
        log(f"pack {key}: {seconds:.2f} s, {size} bytes")

    def measure_stubs(self):
        self.results["stub.win32_bytes"] = (self.win32 / "VeltraneLoadProgram.exe").stat().st_size
        self.results["stub.win64_bytes"] = (self.win64 / "VeltraneLoadProgram.exe").stat().st_size
        self.results["stub.nsis_x86_ansi_zlib_bytes"] = (NSIS_STUBS / "zlib-x86-ansi").stat().st_size
        self.results["stub.nsis_amd64_unicode_zlib_bytes"] = (
            NSIS_STUBS / "zlib-amd64-unicode").stat().st_size

    # -----------------------------------------------------------------------------------------
    # Extracting

    def extract_all(self):
        with WineSession(self.out / "wine") as wine:
            self.wine = wine
            self.place_in_prefix()
            contestants = {
                "loader": self.run_loader, "limit_wine": self.run_limit_wine,
                "limit_native": self.run_limit_native, "nsis": self.run_nsis,
                "unzipsfx": self.run_unzipsfx, "sevenzip": self.run_sevenzip,
            }
            runs = {name: [] for name in EXTRACTORS}
            for round_number in range(self.args.runs + 1):
                kind = "warm-up" if round_number == 0 else f"round {round_number}/{self.args.runs}"
                times = []
                for name in EXTRACTORS:
                    if name in self.details["failures"]:
                        continue
                    subprocess.run(["sync"])  # the last one's writes are not ours to pay for
                    try:
                        seconds = contestants[name]()
                    except Failure as failure:
                        self.details["failures"][name] = str(failure)
                        log(f"{name} FAILED: {failure}")
                        continue
                    if round_number > 0:
                        runs[name].append(seconds)
                    times.append(f"{name} {seconds:.2f}")
                log(f"{kind}: " + ", ".join(times) + f"  (load {os.getloadavg()[0]:.1f})")
            self.measure_start_up()
        for name in EXTRACTORS:
            self.details["extract_runs"][name] = runs[name]
            ok = name not in self.details["failures"] and runs[name]
            self.results[f"extract.{name}_s"] = round(statistics.median(runs[name]), 4) if ok else None

    def measure_start_up(self):
        """The loader and the limit on an installer that holds only the installation program:
        the part of the loader's time that does not depend on the payload."""
        only_installer = {INSTALLER_NAME: self.installer}
        pairs = {"loader": [], "limit_wine": []}
        try:
            for round_number in range(self.args.runs + 1):
                loader = self.run_loader(self.empty_sfx.name, only_installer)
                limit = self.run_limit_wine(self.empty_sfx.name, "spans-empty.txt", only_installer)
                if round_number > 0:
                    pairs["loader"].append(loader)
                    pairs["limit_wine"].append(limit)
        except Failure as failure:
            self.details["failures"]["start-up"] = str(failure)
            return
        self.details["start_up"] = {name: statistics.median(runs) for name, runs in pairs.items()}
        log("start-up alone: loader {loader:.3f} s, limit {limit_wine:.3f} s".format(
            **self.details["start_up"]))

    def place_in_prefix(self):
        # The installers and the limit run from C:\bench, as a user's download would.
        self.bench_c = self.wine.prefix / "drive_c" / "bench"
        shutil.rmtree(self.bench_c, ignore_errors=True)
        self.bench_c.mkdir(parents=True)
        for source in (self.sfx, self.empty_sfx, self.nsis, self.limit_exe):
            shutil.copyfile(source, self.bench_c / source.name)
        self.prefix_sfx = self.bench_c / self.sfx.name
        self.spans_file = self.bench_c / "spans.txt"
        self.spans_file.write_text("".join(f"{o} {n} {name}\n" for o, n, name in self.spans))
        (self.bench_c / "spans-empty.txt").write_text(
            "".join(f"{o} {n} {name}\n" for o, n, name in self.empty_spans))
        self.expected_staged = {INSTALLER_NAME: self.installer, **self.payload_map()}
        self.temp_dir = self.wine.linux_path(self.wine.temp_directory)
        self.native_out = self.out / "extract"

    def payload_map(self):
        return {path.name: path for path in self.payload}

    def fresh(self, directory: Path):
        shutil.rmtree(directory, ignore_errors=True)
        directory.mkdir(parents=True)
        return directory

    def windows_run(self, program: Path, arguments=(), extra_env=None):
        """Runs a program under Wine; returns (seconds until it ended, start time in ns)."""
        log_file = self.out / "wine" / f"{program.stem}.log"
        started_ns = time.time_ns()
        started = time.perf_counter()
        process = self.wine.spawn(program, arguments, extra_env, log_file)
        code = finish(process, RUN_TIMEOUT_S)
        seconds = time.perf_counter() - started
        if code is None:
            raise Failure(f"{program.name} did not end within {RUN_TIMEOUT_S} s")
        if code != 0:
            raise Failure(f"{program.name} ended with exit code {code}; see {log_file}")
        return seconds, started_ns

    def run_loader(self, sfx_name=None, expected=None):
        marker = self.out / "wine" / "installer-started.txt"
        marker.unlink(missing_ok=True)
        _, started_ns = self.windows_run(
            self.bench_c / (sfx_name or self.sfx.name), ["*QUIET"],
            {"VELTRANE_BENCH_MARKER": "Z:" + str(marker).replace("/", "\\")})
        if not marker.exists():
            raise Failure("the installation program was not started")
        when, installer_path = marker.read_text().strip().split(" ", 1)
        staging = self.wine.linux_path(installer_path).parent
        try:
            check_extraction(staging, expected or self.expected_staged)
        finally:
            if staging.parent == self.temp_dir:
                shutil.rmtree(staging, ignore_errors=True)
        return (int(when) - started_ns) / 1e9

    def run_limit_wine(self, sfx_name=None, spans="spans.txt", expected=None):
        output = self.fresh(self.bench_c / "limit-out")
        seconds, _ = self.windows_run(self.bench_c / self.limit_exe.name,
                                      ["C:\\bench\\" + (sfx_name or self.sfx.name),
                                       "C:\\bench\\limit-out", "C:\\bench\\" + spans])
        check_extraction(output, expected or self.expected_staged)
        shutil.rmtree(output)
        return seconds

    def run_limit_native(self):
        output = self.fresh(self.native_out / "limit")
        seconds = timed([self.limit_native, self.prefix_sfx, output, self.spans_file])
        check_extraction(output, self.expected_staged)
        shutil.rmtree(output)
        return seconds

    def run_nsis(self):
        output = self.temp_dir / "veltrane-bench-nsis"
        shutil.rmtree(output, ignore_errors=True)
        seconds, _ = self.windows_run(self.bench_c / self.nsis.name)
        check_extraction(output, self.payload_map())
        shutil.rmtree(output)
        return seconds

    def run_unzipsfx(self):
        output = self.fresh(self.native_out / "unzipsfx")
        seconds = timed([self.unzipsfx, "-qq", "-d", output])
        check_extraction(output, self.payload_map())
        shutil.rmtree(output)
        return seconds

    def run_sevenzip(self):
        output = self.fresh(self.native_out / "sevenzip")
        seconds = timed(["7zz", "x", "-y", "-bso0", "-bsp0", f"-o{output}", self.zip])
        check_extraction(output, self.payload_map())
        shutil.rmtree(output)
        return seconds


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    build = SOURCE / "build"
    parser.add_argument("--host", type=Path, default=build / "host", help="the host build")
    parser.add_argument("--win64", type=Path, default=build / "win64", help="the win64 build")
    parser.add_argument("--win32", type=Path, default=build / "win32", help="the win32 build")
    parser.add_argument("--output", type=Path, default=build / "bench", help="where to write")
    parser.add_argument("--runs", type=int, default=5, help="measured runs after the warm-up")
    return parser.parse_args()


def main():
    args = parse_arguments()
    if args.runs < 1:
        sys.exit("bench: --runs must be at least 1")
    bench = Bench(args)
    bench.check_inputs()
    bench.out.mkdir(parents=True, exist_ok=True)
    started = time.perf_counter()
    bench.details["machine"] = report.machine()
    bench.make_payload()
    bench.build_all()
    bench.extract_all()
    bench.details["machine"]["load_after"] = os.getloadavg()
    bench.details["bench_seconds"] = time.perf_counter() - started
    report.write_all(bench.out, bench.results, bench.details, args.runs)
    log(f"wrote {bench.out / 'report.md'}, results.json and extract.png "
        f"({bench.details['bench_seconds']:.0f} s)")
    if bench.details["failures"]:
        sys.exit("bench: some extractions failed: " + ", ".join(bench.details["failures"]))


if __name__ == "__main__":
    main()
