#!/usr/bin/env python3
"""The service double's authorization server as a browser and the OAuth client meet it:
request checks, the login page, the server session cookie, cancel, the control API for
sessions, lifetimes and refresh tokens, and its access tokens at the REST API.

    authorization_server_test.py CONTROL_ADDRESS CITIZEN_DEVELOPMENT_HOST PROFESSIONAL_DEVELOPMENT_HOST
"""
import http.client
import base64
import json
import ssl
import sys
import time
import unittest
from http.cookies import SimpleCookie
from urllib.parse import parse_qs, quote, urlencode, urlsplit

CONTROL, CITIZEN_HOST, PROFESSIONAL_HOST = sys.argv[1:4] if len(sys.argv) >= 4 else (
    "127.0.0.40:8090", "127.0.0.41", "127.0.0.42")
PATH = "/trustedx-authserver/oauth/murako"
REDIRECT = "oauth-swift://oauth-callback"
SCOPE = ("urn%3Amurako%3Aidentity%3Aglobal+urn%3Asafelayer%3Aeidas%3Asign%3Aidentity%3Aprofile"
         "+urn%3Asafelayer%3Aeidas%3Asign%3Aidentity%3Aregister")
ACR = {
    CITIZEN_HOST: "urn%3Asafelayer%3Atws%3Apolicies%3Aauthentication%3Aflow%3Avexo%7Curn%3A"
                  "safelayer%3Atws%3Apolicies%3Aauthentication%3Aflow%3Akovaid%3Acitizen",
    PROFESSIONAL_HOST: "urn%3Amurako%3Aauthentication%3Aflow%3Avex_otp%7Curn%3Asafelayer%3Atws"
                       "%3Apolicies%3Aauthentication%3Aflow%3Akovaid%3Aprof",
}
SECRET = "8rw3mc5_x2fdk7"


def control(method, path, body=None):
    connection = http.client.HTTPConnection(CONTROL, timeout=10)
    connection.request(method, path, json.dumps(body) if body is not None else None,
                       {"Content-Type": "application/json"})
    answer = connection.getresponse()
    return json.loads(answer.read() or b"null")


def service(host, method, path, body=None, headers=None):
    connection = http.client.HTTPSConnection(host, 8082, timeout=10,
                                             context=ssl._create_unverified_context())
    connection.request(method, path, body, headers or {})
    answer = connection.getresponse()
    return answer.status, dict(answer.getheaders()), answer.read().decode("utf-8", "replace")


def authorization_query(host, client="lumetra", redirect=REDIRECT, locale="es", hint="",
                        response_type="code", acr=None):
    return (f"?client_id={client}&response_type={response_type}"
            f"&redirect_uri={quote(redirect, safe='')}&scope={SCOPE}"
            f"&acr_values={ACR[host] if acr is None else acr}&state=&ui_locales={locale}"
            f"&login_hint={quote(hint, safe='')}")


def redirect_query(headers):
    location = headers.get("Location", "")
    return location, parse_qs(urlsplit(location).query)


class AuthorizationServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.accounts = control("GET", "/accounts")["accounts"]

    def log_in(self, host, account, password=None, locale="es", extra=""):
        query = authorization_query(host, locale=locale) + extra
        form = urlencode({"username": self.accounts[account]["dni"],
                          "password": password or self.accounts[account]["password"]})
        return service(host, "POST", PATH + query, form,
                       {"Content-Type": "application/x-www-form-urlencoded"})

    def exchange(self, host, code, verifier=None):
        fields = {"grant_type": "authorization_code", "code": code, "redirect_uri": REDIRECT,
                  "client_id": "lumetra", "client_secret": SECRET}
        if verifier is not None:
            fields["code_verifier"] = verifier
        body = urlencode(fields)
        status, _, text = service(host, "POST", PATH + "/token", body,
                                  {"Content-Type": "application/x-www-form-urlencoded"})
        return status, json.loads(text)

    def test_requests_that_cannot_be_trusted_with_a_redirect_get_an_error_page(self):
        for query in (authorization_query(CITIZEN_HOST, client="other"),
                      authorization_query(CITIZEN_HOST, redirect="https://evil.example/cb")):
            status, headers, page = service(CITIZEN_HOST, "GET", PATH + query)
            self.assertEqual(status, 400)
            self.assertNotIn("Location", headers)
            self.assertIn("<title>Solicitud no válida</title>", page)

    def test_other_request_errors_redirect_with_error(self):
        cases = [(authorization_query(CITIZEN_HOST, response_type="token"),
                  "unsupported_response_type"),
                 (authorization_query(CITIZEN_HOST, acr=ACR[PROFESSIONAL_HOST]),
                  "invalid_request"),
                 (authorization_query(CITIZEN_HOST).replace(SCOPE, "urn%3Amurako%3Aidentity%3Aglobal"),
                  "invalid_scope")]
        for query, error in cases:
            status, headers, _ = service(CITIZEN_HOST, "GET", PATH + query)
            self.assertEqual(status, 302, query)
            location, params = redirect_query(headers)
            self.assertTrue(location.startswith(REDIRECT + "?"), location)
            self.assertEqual(params["error"], [error])

    def test_login_page_language_hint_and_wrong_password(self):
        status, _, page = service(PROFESSIONAL_HOST, "GET",
                                  PATH + authorization_query(PROFESSIONAL_HOST, locale="eu",
                                                             hint="87654321X"))
        self.assertEqual(status, 200)
        self.assertIn("<title>Sinadura-zerbitzurako sarbidea</title>", page)
        self.assertIn('name="username" value="87654321X"', page)
        self.assertIn('id="cancel"', page)
        status, headers, page = self.log_in(CITIZEN_HOST, "ciudadano", password="wrong")
        self.assertEqual(status, 200)
        self.assertNotIn("Location", headers)
        self.assertIn("<title>Acceso al servicio de firma</title>", page)
        self.assertIn("Usuario o contraseña incorrectos", page)

    def test_login_sets_the_session_cookie_and_a_live_session_skips_the_page(self):
        status, headers, _ = self.log_in(CITIZEN_HOST, "ciudadano")
        self.assertEqual(status, 302)
        location, params = redirect_query(headers)
        self.assertTrue(location.startswith(REDIRECT + "?code="), location)
        cookie_header = headers["Set-Cookie"]
        for attribute in ("HttpOnly", "Secure", "Path=/trustedx-authserver", "Max-Age=28800"):
            self.assertIn(attribute, cookie_header)
        cookie = SimpleCookie(cookie_header)
        name = next(iter(cookie))
        sent = {"Cookie": f"{name}={cookie[name].value}"}

        status, token = self.exchange(CITIZEN_HOST, params["code"][0])
        self.assertEqual(status, 200)
        self.assertEqual(token["expires_in"], 3600)
        self.assertEqual(self.exchange(CITIZEN_HOST, params["code"][0])[1]["error_description"],
                         "authorization code already used")

        query = authorization_query(CITIZEN_HOST) + "&_t=1"
        status, headers, _ = service(CITIZEN_HOST, "GET", PATH + query, headers=sent)
        self.assertEqual(status, 302)
        self.assertIn("code=", redirect_query(headers)[0])
        # The session belongs to its host only.
        self.assertEqual(service(PROFESSIONAL_HOST, "GET",
                                 PATH + authorization_query(PROFESSIONAL_HOST), headers=sent)[0], 200)

        session = cookie[name].value
        self.assertEqual(control("POST", "/oauth/sessions/expire", {"session": session}),
                         {"expired": 1})
        self.assertEqual(service(CITIZEN_HOST, "GET", PATH + query, headers=sent)[0], 200)
        self.assertEqual(control("POST", "/oauth/sessions/revoke", {"session": session}),
                         {"revoked": 1})
        self.assertNotIn(session, [s["session"] for s in control("GET", "/oauth/sessions")])

    def test_pkce_binds_a_code_to_its_s256_verifier(self):
        verifier = "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"  # RFC 7636, appendix B
        challenge = "&code_challenge=E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"
        _, headers, _ = self.log_in(CITIZEN_HOST, "ciudadano", extra=challenge)
        self.assertEqual(redirect_query(headers)[1]["error"], ["invalid_request"], "no S256")
        _, headers, _ = self.log_in(CITIZEN_HOST, "ciudadano",
                                    extra=challenge + "&code_challenge_method=S256")
        code = redirect_query(headers)[1]["code"][0]
        self.assertIn(code, control("GET", "/oauth/issued")["codes"])
        for wrong in (None, verifier[::-1]):
            self.assertEqual(self.exchange(CITIZEN_HOST, code, wrong)[0], 400)
        status, token = self.exchange(CITIZEN_HOST, code, verifier)
        self.assertEqual(status, 200)
        issued = control("GET", "/oauth/issued")
        self.assertIn(token["access_token"], issued["access_tokens"])
        self.assertIn(token["refresh_token"], issued["refresh_tokens"])
        # A code issued without a challenge does not take a verifier either.
        plain = control("POST", "/oauth/codes", {"account": "ciudadano"})["code"]
        self.assertEqual(self.exchange(CITIZEN_HOST, plain, verifier)[0], 400)

    def test_cancel_link_redirects_with_access_denied(self):
        status, headers, _ = service(CITIZEN_HOST, "GET",
                                     PATH + "/cancel" + authorization_query(CITIZEN_HOST))
        self.assertEqual(status, 302)
        self.assertEqual(redirect_query(headers)[1]["error"], ["access_denied"])

    def test_lifetimes_and_refresh_token_revocation(self):
        try:
            control("POST", "/oauth/lifetimes", {"access_token": 120, "session": 60})
            status, headers, _ = self.log_in(PROFESSIONAL_HOST, "profesional")
            self.assertIn("Max-Age=60", headers["Set-Cookie"])
            status, token = self.exchange(PROFESSIONAL_HOST,
                                          redirect_query(headers)[1]["code"][0])
            self.assertEqual(token["expires_in"], 120)
        finally:
            control("POST", "/oauth/lifetimes", {"reset": True})
        self.assertEqual(control("POST", "/oauth/refresh_tokens/revoke",
                                 {"refresh_token": token["refresh_token"]}), {"revoked": 1})
        body = urlencode({"grant_type": "refresh_token", "refresh_token": token["refresh_token"],
                          "client_id": "lumetra", "client_secret": SECRET})
        status, _, text = service(PROFESSIONAL_HOST, "POST", PATH + "/token", body,
                                  {"Content-Type": "application/x-www-form-urlencoded"})
        self.assertEqual((status, json.loads(text)["error"]), (400, "invalid_grant"))

    def renew(self, host, refresh_token):
        body = urlencode({"grant_type": "refresh_token", "refresh_token": refresh_token,
                          "client_id": "lumetra", "client_secret": SECRET})
        status, _, text = service(host, "POST", PATH + "/token", body,
                                  {"Content-Type": "application/x-www-form-urlencoded"})
        return status, json.loads(text)

    def rest_answer(self, token):
        status, headers, text = service(CITIZEN_HOST, "GET", "/trustedx-resources/openid/v1/users/me",
                                        headers={"Authorization": "Bearer " + token})
        return status, json.loads(text), headers.get("WWW-Authenticate", "")

    def test_access_tokens_expire_at_the_rest_api_and_a_renewal_can_revoke_the_previous(self):
        code = control("POST", "/oauth/codes", {"account": "ciudadano"})["code"]
        _, kept = self.exchange(CITIZEN_HOST, code)
        _, renewed = self.renew(CITIZEN_HOST, kept["refresh_token"])
        self.assertEqual(self.rest_answer(kept["access_token"])[0], 200, "revoked only when asked")
        try:
            control("POST", "/oauth/lifetimes", {"access_token": 3})
            self.assertEqual(control("POST", "/oauth/access_tokens",
                                     {"length": 6000, "revoke_previous": True}),
                             {"length": 6000, "revoke_previous": True})
            code = control("POST", "/oauth/codes", {"account": "ciudadano"})["code"]
            _, first = self.exchange(CITIZEN_HOST, code)
            _, second = self.renew(CITIZEN_HOST, first["refresh_token"])
        finally:
            control("POST", "/oauth/lifetimes", {"reset": True})
            control("POST", "/oauth/access_tokens", {"reset": True})
        header, claims, signature = second["access_token"].split(".")
        self.assertEqual((len(second["access_token"]), len(signature)), (6000, 342))
        self.assertEqual(json.loads(base64.urlsafe_b64decode(claims + "=" * (-len(claims) % 4)))
                         ["sub"], "ciudadano")
        self.assertEqual(self.rest_answer(second["access_token"])[0], 200)
        self.assertEqual(self.rest_answer(first["access_token"]),
                         (401, {"error": "invalid_token", "error_description": "access token revoked"},
                          'Bearer error="invalid_token", error_description="access token revoked"'))
        time.sleep(3.2)
        self.assertEqual(self.rest_answer(second["access_token"])[:2],
                         (401, {"error": "invalid_token", "error_description": "access token expired"}))
        self.assertEqual(self.rest_answer(renewed["access_token"])[0], 200, "issued before the change")
        self.assertEqual(self.rest_answer("no-such-token")[:2],
                         (401, {"error": "invalid or missing bearer token"}))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
