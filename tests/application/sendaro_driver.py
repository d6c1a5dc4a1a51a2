"""Runs Sendaro.exe under Wine the way the interface drives it: a JSON-lines script of channel
calls for the stand-in engine, and the transcript of the answers it writes back. Shared by the
application tests and the main job (scripts/run-main.sh)."""
import atexit
import glob
import json
import os
import shutil
import subprocess
import time
import urllib.request

BRIDGE = "com.murako.native_bridge"
PLUGIN = "flutter_murako_jce_web_authenticator"

# What Sendaro.exe loads from its own folder. It takes ncrypt.dll from the system folder by its
# full path: the stand-in that routes CNG to the provider goes there (see place_in_system32).
PROGRAM_FILES = ("Sendaro.exe", "flutter_windows.dll", "system_tray_plugin.dll",
                 "WebView2Loader.dll")
SYSTEM_LIBRARIES = ("murako_ksp.dll", "murako_sign_bridge.dll")
_restored_at_exit = set()


def call(method, args=None, channel=BRIDGE):
    step = {"channel": channel, "method": method}
    if args is not None:
        step["args"] = args
    return step


def plugin(method, args=None):
    return call(method, args, PLUGIN)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Wine:
    """The build's Wine prefix through its wine-run wrapper."""

    def __init__(self, build):
        self.build = os.path.abspath(build)
        self.run_wrapper = os.path.join(self.build, "wine-run")
        self.prefix = os.environ.get("SENDARO_WINEPREFIX", os.path.join(self.build, "wineprefix"))
        self.bin = os.path.join(self.build, "bin")

    def system32(self):
        return os.path.join(self.prefix, "drive_c", "windows", "system32")

    def temp_file(self, name):
        """The file in the Windows user's temporary folder (%TEMP%) of the prefix."""
        folders = [folder for folder in glob.glob(os.path.join(self.prefix, "drive_c", "users",
                                                               "*", "Temp"))
                   if os.path.basename(os.path.dirname(folder)).lower() != "public"]
        return os.path.join(folders[0], name) if folders else None

    def place_in_system32(self, source, name):
        """Puts `source` in the prefix's system folder as `name`; Wine's own file is put back
        when this Python process ends. Only a process started with WINEDLLOVERRIDES naming it
        takes such a file instead of Wine's own."""
        target = os.path.join(self.system32(), name)
        backup = target + ".sendaro_driver_backup"
        if target not in _restored_at_exit:
            if not os.path.exists(backup) and os.path.exists(target):
                shutil.copy(target, backup)
            atexit.register(lambda: os.path.exists(backup) and os.replace(backup, target))
            _restored_at_exit.add(target)
        shutil.copy(source, target)

    def probe(self, *arguments):
        out = subprocess.run([self.run_wrapper, os.path.join(self.bin, "session_probe.exe")]
                             + list(arguments), capture_output=True, text=True, timeout=120)
        lines = [line for line in out.stdout.splitlines() if line.startswith("{")]
        return json.loads(lines[-1]) if lines else {"error": out.stdout + out.stderr}

    def sign_in_cookies(self):
        """The sign-in browser's persisted cookies (the stand-in's Cookies.txt), as text."""
        pattern = os.path.join(self.prefix, "drive_c", "users", "*", "AppData", "Local",
                               "MurakoWebView2", "**", "Cookies.txt")
        return "".join(open(path, errors="replace").read()
                       for path in glob.glob(pattern, recursive=True))


class Application:
    """A private folder with Sendaro.exe, its engine and the Dart project folder; the provider
    and the bridge go to the prefix's system folder as an installer puts them, and the CNG
    router stand-in's ncrypt.dll too while the tests run."""

    def __init__(self, wine, name):
        self.wine = wine
        self.folder = os.path.join(wine.build, "application_runs", name)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        for file in PROGRAM_FILES:
            source = os.path.join(wine.bin, file)
            if os.path.exists(source):
                shutil.copy(source, self.folder)
        shutil.copytree(os.path.join(wine.bin, "data"), os.path.join(self.folder, "data"))
        wine.place_in_system32(os.path.join(wine.bin, "cng_router_stand_in", "ncrypt.dll"),
                               "ncrypt.dll")
        for library in SYSTEM_LIBRARIES:
            shutil.copy(os.path.join(wine.bin, library), wine.system32())
        self.runs = 0

    def start(self, steps, extra_arguments=(), environment=None):
        """Starts a run of `steps`; returns the Run."""
        self.runs += 1
        base = os.path.join(self.folder, "run%d" % self.runs)
        with open(base + ".script.jsonl", "w") as script:
            for step in steps:
                script.write(json.dumps(step) + "\n")
        arguments = [self.wine.run_wrapper, os.path.join(self.folder, "Sendaro.exe")]
        if steps:
            arguments += ["--script=" + windows_path(base + ".script.jsonl"),
                          "--transcript=" + windows_path(base + ".transcript.jsonl")]
        env = dict(os.environ, WINEDLLOVERRIDES="ncrypt=n,b")
        env.update(environment or {})
        process = subprocess.Popen(arguments + list(extra_arguments), cwd=self.folder, env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return Run(process, base + ".transcript.jsonl", steps)

    def run(self, steps, timeout=180, **options):
        run = self.start(steps, **options)
        run.wait(timeout)
        return run


class Run:
    def __init__(self, process, transcript, steps):
        self.process = process
        self.transcript_path = transcript
        self.steps = steps
        self.exit_code = None

    def replies(self):
        if not os.path.exists(self.transcript_path):
            return []
        with open(self.transcript_path) as file:
            return [json.loads(line) for line in file if line.strip().endswith("}")]

    def reply(self, step):
        """The reply to script line `step` (its index)."""
        for entry in self.replies():
            if entry.get("step") == step:
                return entry
        return None

    def wait_for_reply(self, step, timeout=60):
        deadline = time.time() + timeout
        while time.time() < deadline:
            entry = self.reply(step)
            if entry is not None:
                return entry
            time.sleep(0.2)
        return None

    def wait(self, timeout=180):
        try:
            self.exit_code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.exit_code = self.process.wait()
        return self.exit_code


def browser_environment(folder, control, user):
    """The environment of a Sendaro run whose sign-in window meets a scripted user: the stand-in
    browser trusts the service double's test CA, logs to `folder` and reads `user` (a rules
    object, see test_doubles/webview2)."""
    answer = json.loads(urllib.request.urlopen("http://%s/ca" % control, timeout=10).read())
    authority = os.path.join(folder, "test-ca.pem")
    with open(authority, "w") as file:
        file.write(answer["pem"])
    script = os.path.join(folder, "sign_in_user.json")
    with open(script, "w") as file:
        json.dump(user, file)
    return {"SENDARO_WEBVIEW_TRUSTED_CA": windows_path(authority),
            "SENDARO_WEBVIEW_USER_SCRIPT": windows_path(script),
            "SENDARO_WEBVIEW_LOG": windows_path(os.path.join(folder, "browser.log"))}


class Checks:
    """Collects failures instead of stopping at the first, and prints a line per check."""

    def __init__(self, group):
        self.group = group
        self.failures = 0

    def equal(self, what, actual, expected):
        ok = actual == expected
        print("%s %s: %s" % ("ok  " if ok else "FAIL", what,
                             json.dumps(actual) if ok else
                             "got %s, expected %s" % (json.dumps(actual), json.dumps(expected))))
        self.failures += 0 if ok else 1
        return ok

    def true(self, what, condition, detail=""):
        print("%s %s%s" % ("ok  " if condition else "FAIL", what,
                           "" if condition or not detail else ": " + str(detail)))
        self.failures += 0 if condition else 1
        return condition

    def result(self):
        print("%s: %s" % (self.group, "passed" if self.failures == 0
                          else "%d check(s) failed" % self.failures))
        return 0 if self.failures == 0 else 1


def result_of(entry):
    return None if entry is None else entry.get("result")


def error_of(entry):
    if entry is None or "error" not in entry:
        return None
    return [entry["error"].get("code"), entry["error"].get("message")]
