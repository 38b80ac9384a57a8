"""The benchmark's outputs: results.json (exactly the agreed keys), report.md (the tables, the
ratios, the targets, the machine and the versions) and extract.png (gnuplot)."""

import json
import os
import platform
import statistics
import subprocess
from pathlib import Path

KEYS = [
    "extract.loader_s", "extract.limit_wine_s", "extract.limit_native_s", "extract.nsis_s",
    "extract.unzipsfx_s", "extract.sevenzip_s",
    "stub.win32_bytes", "stub.win64_bytes", "stub.nsis_x86_ansi_zlib_bytes",
    "stub.nsis_amd64_unicode_zlib_bytes",
    "pack.veltrane_s", "pack.veltrane_bytes", "pack.zip9_s", "pack.zip9_bytes",
    "pack.sevenzip_zip_mx9_s", "pack.sevenzip_zip_mx9_bytes", "pack.pigz9_s", "pack.pigz9_bytes",
]

EXTRACT_LABELS = {
    "loader": "our loader, Wine, *QUIET",
    "limit_wine": "the limit, Wine",
    "limit_native": "the limit, native",
    "nsis": "NSIS, Wine",
    "unzipsfx": "unzipsfx, native",
    "sevenzip": "7-Zip (7zz x), native",
}
CHART_LABELS = {
    "loader": "our loader\\n(Wine)", "limit_wine": "limit\\n(Wine)",
    "limit_native": "limit\\n(native)", "nsis": "NSIS\\n(Wine)",
    "unzipsfx": "unzipsfx\\n(native)", "sevenzip": "7zz x\\n(native)",
}
PACK_LABELS = {
    "veltrane": "veltrane-pack archive (default level, all cores)",
    "zip9": "zip -9",
    "sevenzip_zip_mx9": "7zz a -tzip -mx=9",
    "pigz9": "pigz -9 -z",
}
PACKAGES = ["wine", "libz-mingw-w64-dev", "zlib1g", "g++-mingw-w64-x86-64-win32", "g++", "nsis",
            "7zip", "zip", "unzip", "pigz", "gnuplot-nox"]


def _output(command):
    try:
        return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              text=True).stdout.strip()
    except OSError:
        return ""


def machine():
    cpu = next((line.split(":", 1)[1].strip() for line in
                Path("/proc/cpuinfo").read_text().splitlines() if line.startswith("model name")), "?")
    memory = next((line.split()[1] for line in Path("/proc/meminfo").read_text().splitlines()
                   if line.startswith("MemTotal")), "0")
    versions = {package: _output(["dpkg-query", "-W", "-f=${Version}", package]) or "not installed"
                for package in PACKAGES}
    commit = _output(["git", "-C", str(Path(__file__).resolve().parent), "describe", "--always",
                      "--dirty"])
    return {
        "cpu": cpu, "cores": os.cpu_count(), "memory_gib": round(int(memory) / 2**20, 1),
        "kernel": platform.release(), "debian": _output(["cat", "/etc/debian_version"]),
        "python": platform.python_version(), "versions": versions, "commit": commit,
        "load_before": os.getloadavg(),
    }


def _ratio(numerator, denominator):
    if numerator is None or denominator in (None, 0):
        return None
    return numerator / denominator


def _fmt_ratio(value):
    return "—" if value is None else f"{value:.2f}×"


def _fmt_s(value):
    return "FAILED" if value is None else f"{value:.3f}"


def _target(met):
    return "—" if met is None else ("met" if met else "**missed**")


def write_all(out: Path, results: dict, details: dict, runs: int):
    values = {key: results.get(key) for key in KEYS}
    (out / "results.json").write_text(json.dumps(values, indent=2) + "\n")
    chart = write_chart(out, values, details)
    (out / "report.md").write_text(report_text(values, details, runs, chart))


def extraction_table(values, details):
    loader = values["extract.loader_s"]
    lines = ["| Extraction of the payload | median s | runs (s) | ours ÷ this |",
             "|---|---:|---|---:|"]
    for name, label in EXTRACT_LABELS.items():
        value = values[f"extract.{name}_s"]
        runs = ", ".join(f"{run:.3f}" for run in details["extract_runs"].get(name, []))
        ratio = "" if name == "loader" else _fmt_ratio(_ratio(loader, value))
        lines.append(f"| {label} | {_fmt_s(value)} | {runs} | {ratio} |")
    return lines


def stub_table(values):
    ours32, ours64 = values["stub.win32_bytes"], values["stub.win64_bytes"]
    rows = [("our loader, win32 (the product)", ours32), ("our loader, win64", ours64),
            ("NSIS zlib-x86-ansi", values["stub.nsis_x86_ansi_zlib_bytes"]),
            ("NSIS zlib-amd64-unicode", values["stub.nsis_amd64_unicode_zlib_bytes"])]
    lines = ["| Stub | bytes | KiB | win32 ÷ this | win64 ÷ this |", "|---|---:|---:|---:|---:|"]
    for label, size in rows:
        lines.append(f"| {label} | {size} | {size / 1024:.1f} | {_fmt_ratio(_ratio(ours32, size))} | "
                     f"{_fmt_ratio(_ratio(ours64, size))} |")
    return lines


def pack_table(values, details):
    ours_s, ours_b = values["pack.veltrane_s"], values["pack.veltrane_bytes"]
    lines = ["| Building | s | bytes | ours ÷ this, time | ours ÷ this, bytes |",
             "|---|---:|---:|---:|---:|"]
    for key, label in PACK_LABELS.items():
        seconds, size = values[f"pack.{key}_s"], values[f"pack.{key}_bytes"]
        time_ratio = "" if key == "veltrane" else _fmt_ratio(_ratio(ours_s, seconds))
        size_ratio = "" if key == "veltrane" else _fmt_ratio(_ratio(ours_b, size))
        lines.append(f"| {label} | {seconds:.2f} | {size} | {time_ratio} | {size_ratio} |")
    nsis = details.get("nsis_build")
    if nsis:
        lines.append(f"| (for reference: makensis, zlib, the whole installer) | {nsis['seconds']:.2f} "
                     f"| {nsis['bytes']} | | |")
    return lines


def targets_table(values):
    loader, limit = values["extract.loader_s"], values["extract.limit_wine_s"]
    nsis = values["extract.nsis_s"]
    over_limit = _ratio(loader, limit)
    over_nsis = _ratio(loader, nsis)
    stub = values["stub.win32_bytes"]
    size = _ratio(values["pack.veltrane_bytes"], values["pack.sevenzip_zip_mx9_bytes"])
    speed = _ratio(values["pack.veltrane_s"], values["pack.sevenzip_zip_mx9_s"])
    # (target, measure, value, bound, whether the value must stay strictly below the bound)
    rows = [
        ("extraction within 1.10× the Wine limit", "ours ÷ limit (Wine)", over_limit, 1.10, False),
        ("extraction faster than NSIS under Wine", "ours ÷ NSIS", over_nsis, 1.0, True),
        ("32-bit stub at most 128 KiB", "win32 stub ÷ 131072 bytes", stub / 131072, 1.0, False),
        ("archive no larger than 7-Zip's -tzip -mx=9", "ours ÷ 7-Zip, bytes", size, 1.0, False),
        ("built in less than half 7-Zip's time", "ours ÷ 7-Zip, time", speed, 0.5, True),
    ]
    lines = ["| Target | measure | value | bound | |", "|---|---|---:|---:|---|"]
    for target, measure, value, bound, strict in rows:
        met = None if value is None else (value < bound if strict else value <= bound)
        lines.append(f"| {target} | {measure} | {_fmt_ratio(value)} | {'<' if strict else '≤'} "
                     f"{bound:.2f}× | {_target(met)} |")
    return lines


def start_up_lines(values, details):
    """How much of the loader's time is starting rather than extracting."""
    start_up = details.get("start_up")
    loader, limit = values["extract.loader_s"], values["extract.limit_wine_s"]
    if not start_up or loader is None or limit is None:
        return []
    fixed = start_up["loader"] - start_up["limit_wine"]
    return [f"Start-up alone, on an installer that holds only the installation program (median "
            f"of as many runs): our loader {start_up['loader']:.3f} s until the installation "
            f"program has started, the limit {start_up['limit_wine']:.3f} s. The difference, "
            f"{fixed:.3f} s, is what the loader costs whatever the payload (loading user32 and "
            f"comctl32, and starting the installation program with WinExec); without it the "
            f"loader would take {_fmt_ratio(_ratio(loader - fixed, limit))} the limit's time "
            f"here.", ""]


def report_text(values, details, runs, chart):
    m = details["machine"]
    lines = ["# Benchmark: the Veltrane loader, its limit and its peers", ""]
    lines += [f"Payload: {details['payload_files']} files, {details['payload_bytes']} bytes, "
              "made from a seed by bench/payload.py "
              f"(sha256 of names, sizes and contents: `{details['payload_digest']}`). "
              f"Extraction: median of {runs} runs after one warm-up; the contestants take turns "
              "round by round. Every extraction was compared byte for byte with the payload.", ""]
    lines += ["Our loader is timed from its start until the installation program (a trivial one "
              "that notes the time) has started; the others until they end. Wine runs with a "
              "persistent wineserver on its own prefix, so Wine's start-up is not what is "
              "measured. The limit is bench/programs/inflate-limit.cpp: the same zlib inflating "
              "the same streams from the same installer file with reads of at most 65536 bytes "
              "and 4096-byte writes, and nothing else.", ""]
    if details["failures"]:
        lines += ["## Failures", ""]
        lines += [f"- **{name}**: {text}" for name, text in details["failures"].items()]
        lines.append("")
    lines += ["## Targets", ""] + targets_table(values) + [""]
    lines += ["## Extraction", ""] + extraction_table(values, details) + [""]
    lines += start_up_lines(values, details)
    if chart:
        lines += ["![extraction times](extract.png)", ""]
    lines += ["## Stub size", ""] + stub_table(values) + [""]
    lines += ["## Building (one run each, on the same payload)", ""] + pack_table(values, details)
    lines += ["", f"Our self-extracting installer of the benchmark (win64 loader, installation "
              f"program and payload): {details.get('sfx_bytes')} bytes.", ""]
    lines += ["## Machine", "",
              f"- CPU: {m['cpu']}, {m['cores']} cores, {m['memory_gib']} GiB",
              f"- Debian {m['debian']}, kernel {m['kernel']}, Python {m['python']}",
              f"- load average (1, 5, 15 min) before: {_load(m['load_before'])}, after: "
              f"{_load(m.get('load_after'))}",
              f"- source: {m['commit']}",
              f"- the whole benchmark took {details.get('bench_seconds', 0):.0f} s", "",
              "## Versions (Debian packages)", ""]
    lines += [f"- {package}: {version}" for package, version in m["versions"].items()]
    lines.append("")
    return "\n".join(lines)


def _load(values):
    return "?" if not values else ", ".join(f"{v:.2f}" for v in values)


def write_chart(out: Path, values, details):
    """Bars of the medians, with each run as a point; returns whether the chart was drawn."""
    data = out / "extract.dat"
    rows = []
    for index, name in enumerate(EXTRACT_LABELS):
        median = values[f"extract.{name}_s"]
        runs = details["extract_runs"].get(name) or []
        low, high = (min(runs), max(runs)) if runs else (0, 0)
        colour = 1 if name == "loader" else (2 if name.startswith("limit") else 3)
        rows.append(f'{index} "{CHART_LABELS[name]}" {median if median is not None else 0} '
                    f"{low} {high} {colour}")
    data.write_text("\n".join(rows) + "\n")
    script = f"""
set terminal pngcairo size 900,560 font "sans,11" noenhanced
set output "{out / 'extract.png'}"
set title "Extracting the 200 MB payload: median of the runs; the whiskers span the fastest to the slowest"
set bmargin 4
set ylabel "seconds"
set yrange [0:*]
set style fill solid 0.8 border -1
set boxwidth 0.6
set grid ytics
unset key
set xtics nomirror
set linetype 1 lc rgb "#2b6cb0"
set linetype 2 lc rgb "#9aa5b1"
set linetype 3 lc rgb "#dd8a3c"
plot "{data}" using 1:3:6:xtic(2) with boxes lc variable, \\
     "" using 1:3:4:5 with yerrorbars lc rgb "black" ps 0, \\
     "" using 1:5:(sprintf("%.2f s", $3)) with labels offset 0,0.9
"""
    done = subprocess.run(["gnuplot"], input=script, text=True, stderr=subprocess.PIPE)
    if done.returncode != 0:
        print(f"bench: gnuplot failed: {done.stderr.strip()}")
    return done.returncode == 0
