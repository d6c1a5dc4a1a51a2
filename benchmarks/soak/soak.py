#!/usr/bin/python3
"""The soak benchmark's run (a benchmark, not a test): Sendaro.exe signed in through the
sign-in window and renewing its session every couple of seconds as the interface would, with
access tokens of a few seconds and several kilobytes that each renewal revokes, while separate
signing programs sign through CNG (provider, bridge, service double) without a pause and the
program's own "signData" signs after each renewal. Every signature is verified. Prints the
figures and one last line:
  soak: S signatures (A x64, B x86, C signData), F failed, R renewals, handles Sendaro X->Y,
  signer X->Y, private bytes Sendaro +N KiB
The run goes on until at least SOAK_RENEWALS renewals (default 25) and SOAK_SIGNATURES CNG
signatures (default 1,000) are done, then stops the signers, counts Sendaro's handles and
memory once more and ends it.
Usage: soak.py BUILD_DIR   (inside a Wine session with an X display and the double running)
Environment: SOAK_RENEWALS, SOAK_SIGNATURES, SOAK_SIGNER_THREADS (default 3),
SOAK_X86_SIGNER=PATH of a 32-bit soak_signer.exe (next to the x86 build's stand-in ncrypt.dll)
and SOAK_X86_LAUNCHER, the Wine loader that runs it, once 32-bit programs can run."""
import base64
import hashlib
import json
import os
import shutil
import subprocess
import sys
import threading
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests",
                                "application"))
from sendaro_driver import (Application, Wine, browser_environment, call, plugin,  # noqa: E402
                            result_of, windows_path)

CONTROL = os.environ.get("SENDARO_SERVICE_DOUBLE_CONTROL_ADDRESS", "127.0.0.40:8090")
IDENTITY = "cit-rsa2048"
DISABLED_IDENTITY = "cit-disabled"
ALGORITHM = "rsa-sha256"
RENEWALS = int(os.environ.get("SOAK_RENEWALS", "25"))
SIGNATURES = int(os.environ.get("SOAK_SIGNATURES", "1000"))
SIGNER_THREADS = int(os.environ.get("SOAK_SIGNER_THREADS", "3"))
MAX_RENEWALS = 200  # the script's length; the run ends once both targets are met
ACCESS_TOKEN_SECONDS = 6
ACCESS_TOKEN_LENGTH = 6000  # three credential parts
RENEWAL_PAUSE_MS = 2000  # Sendaro idles here after each renewal and signData: counted then
SIGN_IN_USER = {"pages": [{"path": "/trustedx-authserver/*", "title": "", "action": "submit",
                           "fields": {"username": "12345678Z", "password": "Lucia-2026"}}]}


def control(method, path, body=None):
    request = urllib.request.Request("http://%s%s" % (CONTROL, path), method=method,
                                     data=None if body is None else json.dumps(body).encode(),
                                     headers={"Content-Type": "application/json"})
    return json.loads(urllib.request.urlopen(request, timeout=30).read())


def data_of(renewal):
    return "Documento %d firmado durante la prueba de resistencia" % renewal


class Script:
    """Sendaro's script, remembering the step index of each renewal and signData."""

    def __init__(self):
        self.steps, self.renewals, self.sign_data = [], [], []

    def add(self, step):
        self.steps.append(step)
        return len(self.steps) - 1


def soak_script(disabled_thumbprint):
    script = Script()
    script.add(call("setEnvironment", {"environment": "desa"}))
    script.add(call("registerKspHKLM"))
    script.link = script.add(call("vincularCertificadoCiudadano", {"locale": "es"}))
    script.add({"await": "all"})
    script.add(call("removeCertificate", {"thumbprint": disabled_thumbprint}))
    for renewal in range(MAX_RENEWALS):
        script.renewals.append(script.add(plugin("refreshTokenWithCookies",
                                                 {"userType": "ciudadano"})))
        script.add({"await": "all"})
        script.sign_data.append(script.add(call("signData", {
            "data": data_of(renewal), "signIdentityId": IDENTITY, "algorithm": ALGORITHM,
            "userType": "ciudadano"})))
        script.add({"await": "all"})
        script.add({"wait_ms": RENEWAL_PAUSE_MS})
    script.add({"window": "destroy"})
    return script


class Signer:
    """One signing program in a private folder next to the CNG router stand-in."""

    def __init__(self, wine, label, executable, thumbprint, stop_file, launcher=None):
        self.label = label
        folder = os.path.join(wine.build, "soak", "signer_" + label)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        shutil.copy(executable, folder)
        stand_in = os.path.join(os.path.dirname(executable), "cng_router_stand_in", "ncrypt.dll")
        shutil.copy(stand_in, folder)
        self.process = subprocess.Popen(
            [launcher or wine.run_wrapper, os.path.join(folder, os.path.basename(executable)), "sign",
             thumbprint, windows_path(stop_file), str(SIGNER_THREADS)],
            cwd=folder, env=dict(os.environ, WINEDLLOVERRIDES="ncrypt=n,b"),
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.verified, self.lines = 0, []
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            if line.startswith("verified "):
                self.verified = int(line.split()[1])
            self.lines.append(line)

    def result(self, timeout=300):
        self.process.wait(timeout)
        self.reader.join(30)
        answers = [line for line in self.lines if line.startswith("{")]
        return json.loads(answers[-1]) if answers else {"error": "".join(self.lines)[-500:]}


def footprint(wine):
    out = subprocess.run([wine.run_wrapper, os.path.join(wine.bin, "soak_signer.exe"),
                          "footprint"], capture_output=True, text=True, timeout=120).stdout
    lines = [line for line in out.splitlines() if line.startswith("{")]
    return json.loads(lines[-1]) if lines else {}


def identity_thumbprint(accounts, identity):
    return accounts["identities"][identity]["thumbprint"]


def verified_at_double(renewal, signature_b64):
    digest = hashlib.sha256(data_of(renewal).encode()).digest()
    return control("POST", "/verify", {
        "identity": IDENTITY, "algorithm": ALGORITHM,
        "digest": base64.b64encode(digest).decode(), "signature": signature_b64}).get("valid") is True


def main():
    build = sys.argv[1]
    wine = Wine(build)
    output = os.path.join(wine.build, "soak")
    os.makedirs(output, exist_ok=True)
    stop_file = os.path.join(output, "stop")
    if os.path.exists(stop_file):
        os.remove(stop_file)
    accounts = control("GET", "/accounts")
    wine.probe("reset")
    control("POST", "/oauth/lifetimes", {"access_token": ACCESS_TOKEN_SECONDS})
    control("POST", "/oauth/access_tokens", {"length": ACCESS_TOKEN_LENGTH, "revoke_previous": True})
    try:
        return soak(wine, accounts, output, stop_file)
    finally:
        open(stop_file, "w").close()
        control("POST", "/oauth/lifetimes", {"reset": True})
        control("POST", "/oauth/access_tokens", {"reset": True})


def soak(wine, accounts, output, stop_file):
    script = soak_script(identity_thumbprint(accounts, DISABLED_IDENTITY))
    app = Application(wine, "soak")
    started = time.monotonic()
    run = app.start(script.steps, environment=browser_environment(output, CONTROL, SIGN_IN_USER))
    link = result_of(run.wait_for_reply(script.link, timeout=180)) or {}
    if not link.get("success"):
        print("soak: the sign-in failed: %s" % link)
        run.wait(60)
        return 1
    thumbprint = identity_thumbprint(accounts, IDENTITY)
    signers = [Signer(wine, "x64", os.path.join(wine.bin, "soak_signer.exe"), thumbprint, stop_file)]
    launcher = os.environ.get("SOAK_X86_LAUNCHER")
    if launcher and not os.access(launcher, os.X_OK):
        print("soak: x86 signer NOT RUN: its loader %s is missing" % launcher)
    elif os.environ.get("SOAK_X86_SIGNER"):
        # A 32-bit program finds the provider and the bridge in the 32-bit system folder, where
        # the installer puts the x86 builds; they sit next to the x86 signer in its build.
        x86_bin = os.path.dirname(os.environ["SOAK_X86_SIGNER"])
        syswow64 = os.path.join(wine.prefix, "drive_c", "windows", "syswow64")
        for library in ("murako_ksp.dll", "murako_sign_bridge.dll"):
            shutil.copy(os.path.join(x86_bin, library), syswow64)
        signers.append(Signer(wine, "x86", os.environ["SOAK_X86_SIGNER"], thumbprint, stop_file,
                              launcher))
    # Sendaro is counted while it idles after a renewal and its signData: after the second
    # renewal, and after the first renewal once the signers have stopped.
    sendaro, done = {}, None
    for renewal, step in enumerate(script.sign_data):
        if run.wait_for_reply(step, timeout=300) is None:
            print("soak: Sendaro gave no answer to renewal %d" % (renewal + 1))
            break
        if renewal == 1:
            sendaro["first"] = footprint(wine)
        if done is not None:
            sendaro["last"] = footprint(wine)
            break
        if renewal + 1 >= RENEWALS and sum(signer.verified for signer in signers) >= SIGNATURES:
            open(stop_file, "w").close()
            results = {signer.label: signer.result() for signer in signers}
            done = renewal + 1
    open(stop_file, "w").close()
    if done is None:
        results = {signer.label: signer.result() for signer in signers}
        done = len(script.renewals)
    run.process.kill()
    run.wait(60)
    wine.probe("reset")
    elapsed = time.monotonic() - started
    return report(run, script, results, sendaro, done, elapsed)


def report(run, script, results, sendaro, renewals_done, elapsed):
    renewals = [result_of(run.reply(step)) or {} for step in script.renewals[:renewals_done]]
    renewed = sum(1 for answer in renewals if answer.get("success") is True)
    sign_data = [(result_of(run.reply(step)) or {}).get("$bytes")
                 for step in script.sign_data[:renewals_done]]
    sign_data_ok = sum(1 for renewal, signature in enumerate(sign_data)
                       if signature and verified_at_double(renewal, signature))
    counts = {label: r.get("verified", 0) for label, r in results.items()}
    failed = sum(r.get("failed", 0) + (1 if "error" in r else 0) for r in results.values())
    failed += len(sign_data) - sign_data_ok
    for label, r in results.items():
        print("soak: %s signer (%d threads): %s" % (label, SIGNER_THREADS, json.dumps(r)))
    print("soak: %d renewals answered, %d successful; signData %d/%d verified at the double; "
          "%.0f s; Sendaro after renewal 2: %s, at the end: %s"
          % (len(renewals), renewed, sign_data_ok, len(sign_data), elapsed,
             sendaro.get("first"), sendaro.get("last")))
    for renewal, answer in enumerate(renewals):
        if answer.get("success") is not True:
            print("soak: renewal %d: %s" % (renewal + 1, answer.get("message", answer)))
    x64 = results.get("x64", {})
    first, last = sendaro.get("first", {}), sendaro.get("last", {})
    print("soak: %d signatures (%d x64, %d x86, %d signData), %d failed, %d renewals, handles "
          "Sendaro %s->%s, signer %s->%s, private bytes Sendaro %+d KiB"
          % (sum(counts.values()) + sign_data_ok, counts.get("x64", 0), counts.get("x86", 0),
             sign_data_ok, failed, renewed, first.get("handles"), last.get("handles"),
             (x64.get("warm") or {}).get("handles"), (x64.get("end") or {}).get("handles"),
             (last.get("private_bytes", 0) - first.get("private_bytes", 0)) // 1024))
    return 0 if failed == 0 and renewed == len(renewals) else 1


if __name__ == "__main__":
    sys.exit(main())
