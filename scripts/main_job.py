#!/usr/bin/python3
"""The main job's run of Sendaro.exe: the whole road through the program's method channels, as
the interface drives it, against the signing service double. Prints a short summary and keeps
the script, the transcript, the product's logs and screenshots in OUTPUT_DIR.
Usage: main_job.py BUILD_DIR OUTPUT_DIR   (inside a Wine session with an X display)"""
import base64
import hashlib
import json
import os
import re
import shutil
import ssl
import subprocess
import sys
import threading
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "application"))
from sendaro_driver import (Application, Wine, browser_environment, call, error_of,  # noqa: E402
                            plugin, result_of)

DATA = "Documento de prueba firmado por Sendaro"
IDENTITY = "cit-rsa2048"
ALGORITHM = "rsa-sha256"
# The user in front of the sign-in window: fills in the citizen's login form after a pause
# (long enough for a screenshot) and submits it.
SIGN_IN_USER = {"pages": [{"path": "/trustedx-authserver/*", "title": "", "action": "submit",
                           "fields": {"username": "12345678Z", "password": "Lucia-2026"},
                           "delay_ms": 6000}]}

# The citizen of the double also holds a disabled identity; linking installs its certificate
# too, and the service refuses to sign with it. The user removes that one before the self-test,
# which signs with the first key the provider lists.
DISABLED_IDENTITY = "cit-disabled"


def steps(disabled_thumbprint):
    return [
        call("setEnvironment", {"environment": "desa"}),
        call("registerKspHKLM"),
        call("vincularCertificadoCiudadano", {"locale": "es"}),
        {"await": "all"},
        call("listInstalledCertificates"),
        call("removeCertificate", {"thumbprint": disabled_thumbprint}),
        call("testKspDummy"),
        call("signData", {"data": DATA, "signIdentityId": IDENTITY, "algorithm": ALGORITHM,
                          "userType": "ciudadano"}),
        plugin("obtenerCertificadoCiudadano"),
        plugin("refreshTokenWithCookies", {"userType": "ciudadano"}),
        {"await": "all"},
        plugin("getCookiesInfo"),
        {"await": "all"},
        {"wait_ms": 4000},
        {"window": "destroy"},
    ]


LINK, LIST, REMOVE, SELF_TEST, SIGN, STATUS, REFRESH, COOKIES = 2, 4, 5, 6, 7, 8, 9, 11


def cached(build, name):
    with open(os.path.join(build, "CMakeCache.txt")) as cache:
        found = re.search(r"^%s:[A-Z]*=(.*)$" % name, cache.read(), re.MULTILINE)
    return found.group(1) if found else None


def identity_thumbprint(build, identity):
    """The thumbprint of an identity's certificate as the double serves it to the citizen."""
    answer = json.loads(urllib.request.urlopen("http://%s/ca" % CONTROL, timeout=10).read())
    context = ssl.create_default_context(cadata=answer["pem"])
    context.check_hostname = False  # the double's hosts are loopback addresses
    token = json.loads(urllib.request.urlopen(urllib.request.Request(
        "http://%s/tokens" % CONTROL, data=b'{"account": "ciudadano"}',
        headers={"Content-Type": "application/json"}), timeout=10).read())["token"]
    url = "https://%s:8082/trustedx-resources/esigp/v1/sign_identities/%s" % (
        cached(build, "SENDARO_CITIZEN_DEVELOPMENT_HOST"), identity)
    request = urllib.request.Request(url, headers={"Authorization": "Bearer " + token})
    details = json.loads(urllib.request.urlopen(request, context=context, timeout=10).read())
    der = base64.b64decode(details["details"]["certificate"])
    return hashlib.sha1(der).hexdigest().upper()


def wait_for_login_page(browser_log, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            with open(browser_log, encoding="utf-8", errors="replace") as log:
                if any(line.startswith("page 200:") and " title: " in line for line in log):
                    return
        except FileNotFoundError:
            pass
        time.sleep(0.2)


def screenshot(path):
    subprocess.run(["import", "-window", "root", path], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30)


CONTROL = os.environ.get("SENDARO_SERVICE_DOUBLE_CONTROL_ADDRESS", "127.0.0.40:8090")


def verified_at_double(signature_b64):
    control = CONTROL
    body = json.dumps({"identity": IDENTITY, "algorithm": ALGORITHM,
                       "digest": base64.b64encode(hashlib.sha256(DATA.encode()).digest()).decode(),
                       "signature": signature_b64}).encode()
    request = urllib.request.Request("http://%s/verify" % control, data=body,
                                     headers={"Content-Type": "application/json"})
    return json.loads(urllib.request.urlopen(request, timeout=10).read()).get("valid") is True


LOGS = ("murako_windows.log", "murako_ksp_debug.log", "browser.log")
CLIENT_SECRETS = ("5k82nw7_p3ahz9_tq4m", "8rw3mc5_x2fdk7")


def leaked_secrets(output):
    """The tokens, codes and refresh tokens the double's authorization server issued, and the
    client secrets, that any log of the run holds whole: (how many were looked for, found)."""
    issued = json.loads(urllib.request.urlopen("http://%s/oauth/issued" % CONTROL,
                                               timeout=10).read())
    secrets = [value for values in issued.values() for value in values] + list(CLIENT_SECRETS)
    found = []
    for name in LOGS:
        path = os.path.join(output, name)
        if not os.path.exists(path):
            continue
        with open(path, encoding="utf-8", errors="replace") as log:
            text = log.read()
        found += ["%s in %s" % (secret[:6] + "...", name) for secret in secrets if secret in text]
    return len(secrets), found


def describe(entry):
    if entry is None:
        return "no answer"
    if "error" in entry:
        return "error %s: %s" % tuple(error_of(entry))
    if entry.get("not_implemented"):
        return "not implemented"
    return json.dumps(entry.get("result"), ensure_ascii=False)[:160]


def summary(run, state, verified, leaks):
    lines = []
    link = result_of(run.reply(LINK)) or {}
    lines.append("link the citizen account in the sign-in window: %s (%s)"
                 % ("ok" if link.get("success") else "FAILED", link.get("message", describe(run.reply(LINK)))))
    certificates = result_of(run.reply(LIST)) or []
    lines.append("certificates installed and bound to the provider: %d" % len(certificates))
    for certificate in certificates:
        lines.append("    %s  %s  (identity %s)" % (certificate.get("thumbprint"),
                                                   certificate.get("subjectCn"),
                                                   certificate.get("signIdentityId")))
    lines.append("removeCertificate of the disabled identity's certificate: "
                 + describe(run.reply(REMOVE)))
    test = result_of(run.reply(SELF_TEST)) or {}
    signed = [line.strip() for line in test.get("logs", []) if "Signature generated" in line]
    lines.append("testKspDummy (CNG -> provider inside Sendaro.exe -> bridge -> service): %s, "
                 "key %s bits, %s" % ("ALL TESTS PASSED" if test.get("success") else "FAILED",
                                      test.get("keyLength"), signed[0] if signed else "no signature"))
    signature = (result_of(run.reply(SIGN)) or {}).get("$bytes")
    lines.append("signData with %s: %s" % (IDENTITY, "%d-byte signature, verified at the double: %s"
                 % (len(base64.b64decode(signature)), "valid" if verified else "INVALID")
                 if signature else describe(run.reply(SIGN))))
    lines.append("obtenerCertificadoCiudadano: " + describe(run.reply(STATUS)))
    refresh = result_of(run.reply(REFRESH)) or {}
    lines.append("refreshTokenWithCookies (hidden browser): %s (%s)"
                 % ("ok" if refresh.get("success") else "FAILED", refresh.get("message")))
    cookies = result_of(run.reply(COOKIES)) or {}
    lines.append("getCookiesInfo: %s cookie(s)" % cookies.get("count"))
    lines.append("window destroyed, Sendaro.exe exit code %s" % run.exit_code)
    lines.append("left after destroy: %d certificate(s), session keys %s, thumbprint mappings %s"
                 % (len(state.get("certificates", [])), state.get("session_keys"),
                    state.get("mappings")))
    searched, found = leaks
    lines.append("logs searched for the %d tokens, codes, refresh tokens and client secrets "
                 "issued: %s" % (searched, "none found" if not found else
                                 "FOUND " + ", ".join(found)))
    return lines


def passed(run, state, verified, leaks):
    link = result_of(run.reply(LINK)) or {}
    test = result_of(run.reply(SELF_TEST)) or {}
    refresh = result_of(run.reply(REFRESH)) or {}
    return (link.get("success") is True and test.get("success") is True and verified
            and refresh.get("success") is True and run.exit_code == 0
            and not state.get("certificates") and not state.get("session_keys")
            and not leaks[1])


def main():
    build, output = sys.argv[1], sys.argv[2]
    shutil.rmtree(output, ignore_errors=True)
    os.makedirs(output)
    wine = Wine(build)
    wine.probe("reset")
    app = Application(wine, "main")
    run = app.start(steps(identity_thumbprint(build, DISABLED_IDENTITY)),
                    environment=browser_environment(output, CONTROL, SIGN_IN_USER))
    # The sign-in window is up while the user pauses before submitting the form: the picture is
    # taken once the browser has shown the login page.
    wait_for_login_page(os.path.join(output, "browser.log"), timeout=60)
    screenshot(os.path.join(output, "sign_in_window.png"))
    run.wait_for_reply(SIGN, timeout=120)
    screenshot(os.path.join(output, "main_window.png"))
    run.wait(300)

    state = wine.probe("state")
    signature = (result_of(run.reply(SIGN)) or {}).get("$bytes")
    verified = bool(signature) and verified_at_double(signature)
    for name in ("script.jsonl", "transcript.jsonl"):
        source = os.path.join(app.folder, "run1." + name)
        if os.path.exists(source):
            shutil.copy(source, os.path.join(output, name))
    for name in ("murako_windows.log", "murako_ksp_debug.log"):
        source = wine.temp_file(name)
        if source and os.path.exists(source):
            shutil.copy(source, os.path.join(output, name))

    leaks = leaked_secrets(output)
    print("main: Sendaro.exe driven through its method channels (script and transcript in %s)"
          % output)
    for line in summary(run, state, verified, leaks):
        print("  " + line)
    ok = passed(run, state, verified, leaks)
    print("main: %s" % ("the whole road works" if ok else "FAILED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
