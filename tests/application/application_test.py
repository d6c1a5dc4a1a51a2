#!/usr/bin/python3
"""Tests of Sendaro.exe driven through its method channels by the stand-in engine, under Wine
with a private X display, against the signing service double.
Usage: application_test.py BUILD_DIR GROUP
  (GROUP: channels, lifecycle, signing, sign_in, session_end)"""
import base64
import hashlib
import json
import os
import sys
import threading
import time
import urllib.request

from sendaro_driver import (Application, Checks, Wine, browser_environment, call, error_of,
                            plugin, result_of, BRIDGE)

MAP = "Arguments must be a map"
STRINGS = "Arguments must be strings"
USER_TYPE = "userType must be a string"
NOT_AVAILABLE = "⚠️ OAuth WebView not available. Please login first to create a session."

# (method or (channel, method), arguments, expected code, expected message), in the order the
# checks must run: absent or non-map arguments, then presence of every key, then kinds.
VALIDATION = [
    ("getAuthorizationUrl", None, "INVALID_ARGS", MAP),
    ("getAuthorizationUrl", {"userType": "ciudadano"}, "MISSING_ARG", "Missing userType or redirectUri"),
    ("getAuthorizationUrl", {"userType": 1, "redirectUri": "x"}, "INVALID_TYPE", STRINGS),
    ("getAuthorizationUrl", {"userType": "Ciudadano", "redirectUri": "x"}, "INVALID_USER_TYPE",
     "User type must be 'ciudadano' or 'profesional'"),
    ("startOAuth", {"redirectUri": 5}, "MISSING_ARG", "Missing userType or redirectUri"),
    ("startOAuth", {"userType": "otro", "redirectUri": "x"}, "INVALID_USER_TYPE",
     "User type must be 'ciudadano' or 'profesional'"),
    ("getStoredToken", "ciudadano", "INVALID_ARGS", MAP),
    ("getStoredToken", {}, "MISSING_ARG", "Missing userType"),
    ("getStoredToken", {"userType": True}, "INVALID_TYPE", USER_TYPE),
    ("deleteStoredToken", {}, "MISSING_ARG", "Missing userType"),
    ("setEnvironment", {}, "MISSING_ARG", "Missing 'environment' argument"),
    ("setEnvironment", {"environment": 1}, "INVALID_TYPE", "environment must be a string"),
    ("setEnvironment", {"environment": "PROD"}, "INVALID_VALUE", "environment must be 'desa' or 'prod'"),
    ("signData", {"data": 1, "signIdentityId": "i", "algorithm": "a"}, "MISSING_ARG",
     "Missing required arguments"),
    ("signData", {"data": 1, "signIdentityId": "i", "algorithm": "a", "userType": "ciudadano"},
     "INVALID_TYPE", STRINGS),
    # The citizen's token of the channels run has no recorded environment: it goes nowhere.
    ("signData", {"data": "x", "signIdentityId": "i", "algorithm": "rsa-sha256",
                  "userType": "ciudadano"}, "NO_TOKEN", "No access token found. Please login first."),
    ("getUserInfo", [], "INVALID_ARGS", MAP),
    ("getUserInfo", {}, "MISSING_ARG", "Missing userType argument"),
    ("getUserInfo", {"userType": "ciudadano"}, "NO_TOKEN", "No access token found. Please login first."),
    ("getStoredSignIdentityId", {"userType": 3}, "INVALID_TYPE", USER_TYPE),
    ("getStoredIdentities", {}, "MISSING_ARG", "Missing userType argument"),
    ("getIdentityDetails", {"identityId": 7}, "INVALID_TYPE", "identityId must be a string"),
    ("getIdentityDetails", {"userType": "ciudadano"}, "MISSING_ARG", "Missing identityId argument"),
    ("getIdentityDetails", {"identityId": "x", "userType": 2}, "INVALID_TYPE", USER_TYPE),
    ("getIdentityDetails", {"identityId": "cit-rsa2048", "userType": "ciudadano"}, "NO_TOKEN",
     "No access token found. Please login first."),
    ("installCertificate", {"identityId": "a", "userType": 1}, "MISSING_ARG",
     "Missing required arguments (identityId, userType, certificateB64)"),
    ("installCertificate", {"identityId": "a", "userType": "profesional", "certificateB64": "AAAA"},
     "NO_TOKEN", "No access token found. Please login first."),
    ("addCertificateToStore", {"certificateData": "x", "signIdentityId": "i"}, "MISSING_ARG",
     "Missing required arguments"),
    ("addCertificateToStore", {"certificateData": "AAAA", "signIdentityId": "i", "oauthToken": "t"},
     "PARSE_FAILED", "Failed to parse certificate"),
    ("removeCertificate", {"thumbprint": 5}, "INVALID_TYPE", "Thumbprint must be a string"),
    ("setWindowTitle", {}, "MISSING_ARG", "Missing title argument"),
    ("setWindowTitle", {"title": 1}, "INVALID_TYPE", "Title must be a string"),
    ("setLocale", {"locale": None}, "INVALID_TYPE", "Locale must be a string"),
    ("setLocale", {"locale": "x" * 257}, "INVALID_ARGS", "locale is longer than 256 bytes"),
    ("vincularCertificadoCiudadano", {"locale": "x" * 257}, "INVALID_ARGS",
     "locale is longer than 256 bytes"),
    ("addCertificateToStore", {"certificateData": "AAAA", "signIdentityId": "i" * 257,
                               "oauthToken": "t"}, "INVALID_ARGS",
     "signIdentityId is longer than 256 bytes"),
    ("addCertificateToStore", {"certificateData": "AAAA", "signIdentityId": "i", "oauthToken": "t",
                               "userType": "ciudadanos"}, "INVALID_USER_TYPE",
     "User type must be 'ciudadano' or 'profesional'"),
    ("setWindowSize", None, "INVALID_ARGS", MAP),
    ("setWindowSize", {"width": 1}, "MISSING_ARG", "Missing width or height argument"),
    ("setWindowHeight", {}, "MISSING_ARG", "Missing showBanner argument"),
    ("setWindowHeight", {"showBanner": "yes"}, "INVALID_TYPE", "showBanner must be a bool"),
    (("plugin", "desactivarCertificado"), None, "INVALID_ARGS", MAP),
    (("plugin", "desactivarCertificado"), {}, "MISSING_ARG", "Missing tipoCertificado argument"),
    (("plugin", "desactivarCertificado"), {"tipoCertificado": 1}, "INVALID_TYPE",
     "tipoCertificado must be a string"),
    (("plugin", "desactivarCertificado"), {"tipoCertificado": "ciudadano"}, "INVALID_VALUE",
     "tipoCertificado must be CIUDADANO or PROFESIONAL"),
    (("plugin", "desvincularCertificado"), {"tipoCertificado": "X"}, "INVALID_VALUE",
     "tipoCertificado must be CIUDADANO or PROFESIONAL"),
    (("plugin", "refreshTokenWithCookies"), {}, "MISSING_ARG", "Missing userType argument"),
    (("plugin", "refreshTokenWithCookies"), {"userType": "otro"}, "INVALID_USER_TYPE",
     "User type must be 'ciudadano' or 'profesional'"),
]

# (step, expected result) of the channels run, after the validation steps.
SUCCESSES = [
    (call("getEnvironment"), "desa"),
    (call("setEnvironment", {"environment": "desa"}), True),
    (call("getStoredToken", {"userType": "foo"}), False),
    (call("getStoredSignIdentityId", {"userType": "ciudadano"}), False),
    (call("getStoredIdentities", {"userType": "ciudadano"}), False),
    (call("listInstalledCertificates"), []),
    (call("getKspLogs", {"lines": 3}), "b\nc\nd\n"),
    (call("setLocale", {"locale": "es"}), True),
    (call("setWindowTitle", {"title": "Sendaro"}), True),
    (plugin("obtenerCertificadoCiudadano"), False),
    (plugin("getCookiesInfo"), {"count": 0, "cookies": [], "message": NOT_AVAILABLE}),
    (plugin("refreshTokenWithCookies", {"userType": "ciudadano"}),
     {"success": False, "message": "WebView not available. Please login first.", "newToken": ""}),
    (call("clearOAuthSession"), True),
]


def validation_step(entry):
    method, arguments = entry[0], entry[1]
    if isinstance(method, tuple):
        return plugin(method[1], arguments)
    return call(method, arguments)


def channels(wine, checks):
    """Every method's argument checks, the success shapes, unknown methods, the window sizes."""
    wine.probe("reset")
    wine.probe("delete", "murako_environment")
    # As an earlier version left it: a token valid at the service, without its environment.
    wine.probe("delete", "oauth_token_environment_ciudadano")
    wine.probe("store", "oauth_access_token_ciudadano", "ciudadano-token-4f9c2a7e81b34d06a5c9e2f1")
    log = wine.temp_file("murako_ksp_debug.log")
    os.makedirs(os.path.dirname(log), exist_ok=True)
    # Just after a rotation: the older lines are in the rotated file.
    with open(log + ".1", "w") as file:
        file.write("a\nb\n")
    with open(log, "w") as file:
        file.write("c\nd")

    steps = [validation_step(entry) for entry in VALIDATION] + [s for s, _ in SUCCESSES]
    shapes = len(steps)
    steps += [call("checkKspRegistration"), call("checkKspStatus"), call("verifyCertutilKsp"),
              call("checkDllVersions"), call("noSuchMethod"), plugin("noSuchMethod"),
              {"channel": BRIDGE, "raw": "0300000000"}]
    steps += [{"wait_ms": 4000}]  # the first placement is looked at meanwhile
    sizes = len(steps)
    steps += [call("setWindowSize", {"width": 600.7, "height": 700}), {"wait_ms": 3000},
              call("setWindowHeight", {"showBanner": False}), {"wait_ms": 3000},
              {"await": "all"}, {"window": "destroy"}]

    app = Application(wine, "channels")
    run = app.start(steps)
    run.wait_for_reply(sizes - 2)
    windows = [wine.probe("window")]
    for step in (sizes, sizes + 2):
        run.wait_for_reply(step)
        time.sleep(0.5)
        windows.append(wine.probe("window"))
    run.wait()
    checks.equal("exit code after destroy", run.exit_code, 0)

    for index, entry in enumerate(VALIDATION):
        name = entry[0] if isinstance(entry[0], str) else entry[0][1]
        checks.equal("%s %s" % (name, json.dumps(entry[1])), error_of(run.reply(index)),
                     [entry[2], entry[3]])
    for offset, (step, expected) in enumerate(SUCCESSES):
        checks.equal("%s %s" % (step["method"], json.dumps(step.get("args"))),
                     result_of(run.reply(len(VALIDATION) + offset)), expected)

    registration = result_of(run.reply(shapes)) or {}
    checks.equal("checkKspRegistration keys", sorted(registration), ["hkcu", "hklm", "isFullyRegistered"])
    status = result_of(run.reply(shapes + 1)) or {}
    checks.true("checkKspStatus status", status.get("status") in ("ready", "not_installed"), status)
    verify = result_of(run.reply(shapes + 2)) or {}
    checks.equal("verifyCertutilKsp keys", sorted(verify),
                 ["detailsHKCU", "detailsHKLM", "found", "foundHKCU", "foundHKLM"])
    versions = result_of(run.reply(shapes + 3)) or {}
    checks.equal("checkDllVersions names the provider in the system folder",
                 versions.get("ksp_system32_path"), "C:/Windows/System32/murako_ksp.dll")
    checks.true("checkDllVersions size and time", versions.get("ksp_system32_size", 0) > 0 and
                len(versions.get("ksp_system32_timestamp", "")) == 19, versions)
    for offset, what in ((4, "unknown bridge method"), (5, "unknown plugin method"),
                         (6, "bytes that are no method call")):
        checks.equal(what + " is not implemented",
                     (run.reply(shapes + offset) or {}).get("not_implemented"), True)

    checks.equal("the main window at 96 DPI", [windows[0].get(key) for key in
                                               ("title", "left", "top", "width", "height")],
                 ["Sendaro", 10, 10, 550, 680])
    checks.equal("setWindowSize 600.7 x 700", [windows[1].get("width"), windows[1].get("height")],
                 [600, 700])
    checks.equal("setWindowHeight without banner", [windows[2].get("width"), windows[2].get("height")],
                 [550, 500])


def wait_until(condition, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.3)
    return None


def product_log(wine):
    path = wine.temp_file("murako_windows.log")
    if not path or not os.path.exists(path):
        return ""
    with open(path, encoding="utf-8", errors="replace") as file:
        return file.read()


def lifecycle(wine, checks):
    """Startup clean-up, hide on close, the single-instance handover, sign-out on destroy and
    at logoff, the end at an installer's request."""
    app = Application(wine, "lifecycle")
    # Another user's instance holds the single-instance mutex, which this user may not open.
    held = {}
    holder = threading.Thread(target=lambda: held.update(wine.probe("hold-instance-mutex", "15")))
    holder.start()
    time.sleep(3)
    checks.equal("a start beside another user's instance exits with 0",
                 app.run([], timeout=10).exit_code, 0)
    holder.join()
    checks.equal("the other user's mutex may not be opened", held.get("open_refused_with"), 5)
    wine.probe("reset")
    checks.true("citizen linked for the orphan case", wine.probe("link-citizen").get("success"))
    for user_type in ("ciudadano", "profesional"):
        wine.probe("delete", "oauth_access_token_" + user_type)
    installed = len(wine.probe("state")["certificates"])
    log_file = wine.temp_file("murako_ksp_debug.log")
    for path in (log_file, log_file + ".1") if log_file else ():
        if os.path.exists(path):
            os.remove(path)
    run = app.run([call("listInstalledCertificates"), call("getKspLogs"), {"window": "destroy"}])
    checks.equal("certificates without a session are gone at start", result_of(run.reply(0)), [])
    checks.true("startup clean-up counted them",
                "Startup cleanup: found %d orphaned certs with no active session - removing"
                % installed in product_log(wine), installed)
    checks.equal("getKspLogs without a provider log", result_of(run.reply(1)), "")

    checks.true("citizen linked", wine.probe("link-citizen").get("success"))
    wine.probe("store", "oauth_token_expiry_ciudadano", "1")  # expired: still a session
    before = wine.probe("state")
    first = app.start([call("listInstalledCertificates"), {"window": "close"}, {"wait_ms": 3000},
                       call("getStoredToken", {"userType": "ciudadano"}),
                       call("listInstalledCertificates"), {"wait_ms": 15000},
                       {"window": "destroy"}])
    first.wait_for_reply(0)
    checks.equal("an expired token keeps the certificates at start",
                 len(result_of(first.reply(0)) or []), len(before["certificates"]))
    hidden = wait_until(lambda: (lambda w: w if w.get("found") and not w.get("visible") else None)(
        wine.probe("window")))
    checks.true("close hides the window", hidden is not None)
    first.wait_for_reply(4)
    checks.true("the session survives the close", isinstance(result_of(first.reply(3)), dict))
    checks.equal("the certificates survive the close", len(result_of(first.reply(4)) or []),
                 len(before["certificates"]))

    second = app.run([], timeout=60)
    checks.equal("a second start exits with 0", second.exit_code, 0)
    shown = wine.probe("window")
    checks.true("the second start shows the first window", shown.get("visible"), shown)

    first.wait()
    checks.equal("the first instance ends with 0 after destroy", first.exit_code, 0)
    after = wine.probe("state")
    checks.equal("destroy leaves no certificate", after["certificates"], [])
    checks.equal("destroy leaves no session key", after["session_keys"], [])
    checks.equal("destroy leaves no thumbprint mapping", after["mappings"], [])

    # Logoff: Windows ends the process after WM_ENDSESSION, without WM_DESTROY.
    checks.true("citizen linked for the logoff", wine.probe("link-citizen").get("success"))
    linked = wine.probe("state")
    ending = app.start([call("listInstalledCertificates"), {"wait_ms": 20000},
                        {"window": "destroy"}])
    ending.wait_for_reply(0)
    checks.equal("a linked session before the logoff", len(result_of(ending.reply(0)) or []),
                 len(linked["certificates"]))
    logoff = wine.probe("end-session")
    checks.true("the logoff is answered at once and not held up",
                logoff.get("may_end") and logoff.get("ended") and
                logoff.get("query_ms", 5000) < 5000 and logoff.get("end_ms", 5000) < 5000, logoff)
    ended = wine.probe("state")
    checks.equal("WM_ENDSESSION leaves no certificate", ended["certificates"], [])
    checks.equal("WM_ENDSESSION leaves no session key", ended["session_keys"], [])
    checks.true("the linked session had mappings", linked["mappings"], linked)
    checks.equal("WM_ENDSESSION leaves no thumbprint mapping",
                 wine.probe("present", *linked["mappings"]).get("present"), [])
    checks.true("the program lives until Windows ends it", logoff.get("alive_until_ended"), logoff)
    ending.wait()

    # An installer's Restart Manager (ENDSESSION_CLOSEAPP): the program signs out and ends.
    checks.true("citizen linked for the installer", wine.probe("link-citizen").get("success"))
    closing = app.start([call("listInstalledCertificates"), {"wait_ms": 60000},
                         {"window": "destroy"}])
    closing.wait_for_reply(0)
    closed = wine.probe("end-session", "close-app")
    checks.true("the installer's request is answered at once",
                closed.get("may_end") and closed.get("ended"), closed)
    checks.equal("the installer's request ends the program", closing.wait(20), 0)
    checks.equal("and signs out", wine.probe("state")["certificates"], [])


PSS = "rsa-pss-mgf1-sha256"
RAW_SIGNATURE = "/trustedx-resources/esigp/v1/signatures/server/raw"


def verify_at_double(control, identity, algorithm, data, signature):
    body = json.dumps({"identity": identity, "algorithm": algorithm,
                       "digest": base64.b64encode(hashlib.sha256(data).digest()).decode(),
                       "signature": signature}).encode()
    request = urllib.request.Request("http://%s/verify" % control, data=body,
                                     headers={"Content-Type": "application/json"})
    return json.loads(urllib.request.urlopen(request, timeout=10).read()).get("valid")


def signing(wine, checks, control):
    """The self-test and signData against real remote signatures, with a linked citizen."""
    app = Application(wine, "signing")
    wine.probe("reset")
    checks.true("citizen linked", wine.probe("link-citizen").get("success"))
    # The service refuses the disabled identity; the self-test signs with the first key listed.
    disabled = [c["thumbprint"] for c in wine.probe("state")["certificates"]
                if c["signIdentityId"] == "cit-disabled"]
    for thumbprint in disabled:
        wine.probe("remove-certificate", thumbprint)
    data = "Hola, Sendaro"
    # The service may send a signature as a number, without its leading zero bytes.
    post(control, "/faults", {"kind": "short_signature", "path": RAW_SIGNATURE})
    run = app.run([call("signData", {"data": data, "signIdentityId": "cit-rsa2048",
                                     "algorithm": PSS, "userType": "ciudadano"}),
                   call("registerKspHKLM"), call("testKspDummy"),
                   call("signData", {"data": data, "signIdentityId": "cit-rsa2048",
                                     "algorithm": "rsa-sha256", "userType": "ciudadano"}),
                   call("getKspLogs", {"lines": 4}), plugin("obtenerCertificadoCiudadano"),
                   call("unregisterKsp"), call("setEnvironment", {"environment": "prod"}),
                   call("getStoredToken", {"userType": "ciudadano"}),
                   call("listInstalledCertificates"),
                   call("signData", {"data": data, "signIdentityId": "cit-rsa2048",
                                     "algorithm": "rsa-sha256", "userType": "ciudadano"}),
                   call("setEnvironment", {"environment": "desa"}), {"window": "destroy"}])
    short = base64.b64decode((result_of(run.reply(0)) or {}).get("$bytes") or "")
    checks.equal("signData pads a short signature to the key length", len(short), 256)
    checks.true("the padded signature verifies at the double",
                verify_at_double(control, "cit-rsa2048", PSS, data.encode(),
                                 base64.b64encode(short).decode()))
    checks.equal("registerKspHKLM", result_of(run.reply(1)), True)
    test = result_of(run.reply(2)) or {}
    checks.equal("testKspDummy success", test.get("success"), True)
    checks.true("testKspDummy signed remotely",
                any(line.startswith("  ✅ Signature generated: ") for line in test.get("logs", [])),
                test.get("logs"))
    checks.equal("testKspDummy last lines", test.get("logs", [])[-3:],
                 ["========================================", "✅ ALL TESTS PASSED!",
                  "========================================"])
    checks.true("testKspDummy key length", test.get("keyLength") in (2048, 3072, 4096), test)
    signature = (result_of(run.reply(3)) or {}).get("$bytes")
    checks.true("signData answers bytes", signature is not None, run.reply(3))
    if signature:
        checks.true("signData verifies at the double",
                    verify_at_double(control, "cit-rsa2048", "rsa-sha256", data.encode(), signature))
    logs = result_of(run.reply(4)) or ""
    checks.equal("getKspLogs answers the last 4 lines", logs.count("\n"), 4)
    status = result_of(run.reply(5)) or {}
    checks.equal("obtenerCertificadoCiudadano keys", sorted(status),
                 ["dni", "nombre", "organizacion", "sesionActiva"])
    checks.equal("obtenerCertificadoCiudadano session", status.get("sesionActiva"), True)
    checks.equal("unregisterKsp", result_of(run.reply(6)), True)
    # A change of environment signs both accounts out before it takes effect.
    checks.equal("setEnvironment prod", result_of(run.reply(7)), True)
    checks.equal("no token after the switch", result_of(run.reply(8)), False)
    checks.equal("no certificate after the switch", result_of(run.reply(9)), [])
    checks.equal("signData after the switch", error_of(run.reply(10)),
                 ["NO_TOKEN", "No access token found. Please login first."])


def post(control, path, body):
    request = urllib.request.Request("http://%s%s" % (control, path), data=json.dumps(body).encode(),
                                     headers={"Content-Type": "application/json"})
    return json.loads(urllib.request.urlopen(request, timeout=10).read())


def sign_in(wine, checks, control):
    """Sign-in answers come later than the calls after them: a cancelled sign-in, then one the
    user completes in the sign-in window."""
    app = Application(wine, "sign_in")
    post(control, "/oauth/sessions/revoke", {"account": "ciudadano"})  # the login page shows
    login = {"path": "/trustedx-authserver/*", "title": ""}
    user = {"pages": [dict(login, action="cancel", times=1),
                      dict(login, action="submit", times=1,
                           fields={"username": "12345678Z", "password": "Lucia-2026"})]}
    sign_in_call = call("startOAuth", {"userType": "ciudadano",
                                       "redirectUri": "oauth-swift://oauth-callback"})
    run = app.run([sign_in_call, call("getEnvironment"), {"await": "all"},
                   sign_in_call, {"await": "all"},
                   call("getStoredToken", {"userType": "ciudadano"}), {"window": "destroy"}],
                  environment=browser_environment(app.folder, control, user))
    order = [entry.get("step") for entry in run.replies()]
    checks.true("a call after startOAuth is answered first", order[:2] == [1, 0], order)
    checks.equal("the cancelled sign-in", error_of(run.reply(0)),
                 ["OAUTH_FAILED", "Failed to complete OAuth flow"])
    token = result_of(run.reply(3)) or {}
    checks.equal("startOAuth answer keys", sorted(token),
                 ["access_token", "expires_in", "refresh_token", "token_type"])
    checks.true("startOAuth token", token.get("token_type") == "Bearer" and
                isinstance(token.get("expires_in"), int) and token.get("access_token"), token)
    stored = result_of(run.reply(5)) or {}
    checks.equal("the token is stored", stored.get("access_token"), token.get("access_token"))
    checks.equal("exit code", run.exit_code, 0)


SESSION_COOKIE = "TXAUTHSESSION"


def session_end(wine, checks, control):
    """The end as Windows brings it, each time with a linked citizen whose sign-in left the
    authorization server's cookie in the browser: a logoff (the program ended right after
    WM_ENDSESSION returns) with nothing pending, during the delivery of a renewal's result (its
    session-expired notice waits on the notification area), during a pending renewal and with
    the sign-in window open; an installer's close during such a delivery. Nothing of the session
    may be left, and nothing may crash."""
    app = Application(wine, "session_end")
    login = {"path": "/trustedx-authserver/*", "title": ""}
    user = {"pages": [dict(login, action="submit", times=1,
                           fields={"username": "12345678Z", "password": "Lucia-2026"}),
                      dict(login, action="nothing", times=0)]}
    refresh = [{"wait_ms": 6000}, plugin("refreshTokenWithCookies", {"userType": "ciudadano"})]
    sign_in_call = call("startOAuth", {"userType": "ciudadano",
                                       "redirectUri": "oauth-swift://oauth-callback"})
    renewal_fails = [("/oauth/sessions/revoke", {"account": "ciudadano"}),
                     ("/oauth/refresh_tokens/revoke", {"account": "ciudadano"})]
    renewal_hangs = [("/faults", {"kind": "delay", "seconds": 12,
                                  "path": "/trustedx-authserver/oauth/murako"})]
    # (case, steps after the linking, the double's changes, seconds before the end, the end)
    cases = [("a logoff with nothing pending", [], [], 3, ["end-session"]),
             ("a logoff during a delivery", refresh, renewal_fails, 0, ["end-session-in-notice"]),
             ("a logoff during a pending renewal", refresh, renewal_hangs, 9, ["end-session"]),
             ("a logoff with the sign-in window open", [{"wait_ms": 2000}, sign_in_call],
              renewal_fails[:1], 6, ["end-session"]),
             ("an installer's close during a delivery", refresh, renewal_fails, 0,
              ["end-session-in-notice", "close-app"])]
    for name, then, changes, delay, end in cases:
        wine.probe("reset")
        run = app.start([call("vincularCertificadoCiudadano", {"locale": "es"}), {"await": "all"}]
                        + then + [{"wait_ms": 60000}, {"window": "destroy"}],
                        environment=browser_environment(app.folder, control, user))
        linked = result_of(run.wait_for_reply(0, 90)) or {}
        checks.true(name + ": linked, the sign-in cookie kept", linked.get("success") and
                    SESSION_COOKIE in wine.sign_in_cookies(), linked)
        for path, body in changes:
            post(control, path, body)
        time.sleep(delay)
        ended = wine.probe(*end)
        if "close-app" in end:
            checks.equal(name + ": the program ends by itself, with 0", run.wait(30), 0)
        else:
            checks.true(name + ": answered, alive until Windows ended it",
                        ended.get("may_end") and ended.get("ended") and
                        ended.get("alive_until_ended") and ended.get("query_ms", 5000) < 5000 and
                        ended.get("end_ms", 5000) < 5000, ended)
            run.wait(30)
        left = wine.probe("state")
        checks.equal(name + ": nothing left", [left.get("certificates"), left.get("session_keys"),
                                              left.get("mappings")], [[], [], []])
        checks.true(name + ": no sign-in cookie left", SESSION_COOKIE not in wine.sign_in_cookies())
        urllib.request.urlopen(urllib.request.Request("http://%s/faults" % control,
                                                      method="DELETE"), timeout=10)


def main():
    build, group = sys.argv[1], sys.argv[2]
    wine = Wine(build)
    checks = Checks(group)
    wine.probe("reset")  # also waits until the prefix is ready
    if group == "channels":
        channels(wine, checks)
    elif group == "lifecycle":
        lifecycle(wine, checks)
    elif group == "signing":
        signing(wine, checks, os.environ["SENDARO_SERVICE_DOUBLE_CONTROL_ADDRESS"])
    elif group == "sign_in":
        sign_in(wine, checks, os.environ["SENDARO_SERVICE_DOUBLE_CONTROL_ADDRESS"])
    elif group == "session_end":
        session_end(wine, checks, os.environ["SENDARO_SERVICE_DOUBLE_CONTROL_ADDRESS"])
    else:
        print("unknown group " + group)
        return 2
    wine.probe("reset")
    for kept in ("murako_user_info_", "murako_sign_identities_", "murako_sign_identity_id_"):
        wine.probe("delete", kept + "ciudadano")  # a sign-out keeps them; the next group not
    return checks.result()


if __name__ == "__main__":
    sys.exit(main())
