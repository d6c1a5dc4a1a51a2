"""The authorization server's HTTP side on one host (authorization endpoint, login form,
cancel link, token endpoint) and its part of the control API for tests.

A test may make the authorization endpoint answer another page than its usual one
(POST /oauth/page_mode, {} to end it), to meet the browser with what real sign-in pages do:
  "meta_refresh", "auto_submit": with a live server session, a page that reaches the redirect
      through a second navigation (a meta refresh, a form submitted by its script) to
      .../murako/continue;
  "foreign_code": a hostile page whose script navigates to the redirect URI with a code minted
      for another account ("account"), and the request's state ("state": "keep"), none
      ("drop") or another one ("other"); with "then": "continue" the page also refreshes itself
      after a second to .../murako/continue, which goes on as the request would have; with
      "error", the redirect carries that error instead of a code;
  "blank_frames": the login page as usual, with an about:blank frame and a srcdoc frame;
  "basic_auth": the answer is 401 with a Basic challenge;
  "frames": a page with frames at a plain http address, at an external scheme and at the help
      page;
  "new_window": a page whose script opens a non-https window and whose help link opens in a new
      window (target=_blank) at .../murako/help;
  "plain_http": a page that refreshes itself to a plain http address;
  "download": the answer is an attachment."""
import secrets

from authlib.common.urls import add_params_to_uri
from authlib.integrations.flask_oauth2 import AuthorizationServer
from authlib.oauth2 import OAuth2Error
from flask import Response, jsonify, request

import login_pages
from oauth_state import DEFAULT_ACCESS_TOKEN_POLICY, DEFAULT_LIFETIMES
from authorization_server import (AUTHORIZATION_PATH, CANCEL_PATH, CLIENT_ID, CONTINUE_PATH,
                                  DEFAULT_REDIRECT_URI, HELP_PATH, SESSION_COOKIE,
                                  SESSION_COOKIE_PATH, TOKEN_PATH, Client, CodeGrant, OAuthError,
                                  RefreshGrant, S256CodeChallenge, parse_form, secret_for_host)


class AuthorizationHost:
    """One host's authorization server: an Authlib server over the shared state."""

    def __init__(self, app, label, state):
        self.label = label
        self.state = state
        self.client = Client(secret_for_host(label))
        self.server = AuthorizationServer(app, query_client=self._query_client,
                                          save_token=self._save_token)
        self.server.host = self
        self.server.register_token_generator("default", self._bearer_token)
        self.server.register_grant(CodeGrant, [S256CodeChallenge(required=True)])
        self.server.register_grant(RefreshGrant)
        app.add_url_rule(AUTHORIZATION_PATH, "authorize", self.authorize, methods=["GET"])
        app.add_url_rule(AUTHORIZATION_PATH, "log_in", self.log_in, methods=["POST"])
        app.add_url_rule(CANCEL_PATH, "cancel", self.cancel, methods=["GET"])
        app.add_url_rule(CONTINUE_PATH, "continue", self.continue_with_session,
                         methods=["GET", "POST"])
        app.add_url_rule(HELP_PATH, "help", self.help_page, methods=["GET"])
        app.add_url_rule(TOKEN_PATH, "token", self.token, methods=["POST"])

    # ---- Authlib's callbacks ----
    def _query_client(self, client_id):
        return self.client if client_id == CLIENT_ID else None

    def _save_token(self, token, oauth_request):
        self.state.record_issued("access_tokens", token["access_token"])
        if "refresh_token" in token:
            self.state.save_refresh_token(token["refresh_token"], oauth_request.user,
                                          oauth_request.credential.get_scope(),
                                          oauth_request.credential.rotate_refresh)

    def _bearer_token(self, grant_type, client, user=None, scope=None, expires_in=None,
                      include_refresh_token=True):
        token = {"access_token": self.state.issue_access_token(user, self.label),
                 "token_type": "Bearer",
                 "expires_in": self.state.lifetimes["access_token"]}
        if include_refresh_token:
            token["refresh_token"] = "refresh-" + secrets.token_urlsafe(24)
        return token

    # ---- the browser's side ----
    def authorize(self):
        grant, refusal = self._validated_request()
        if refusal is not None:
            return refusal
        mode = self.state.page_mode.get("mode")
        if mode in ("foreign_code", "new_window", "plain_http", "download", "frames",
                    "basic_auth"):
            return self._special_page(mode)
        session = self.state.live_session(request.cookies.get(SESSION_COOKIE), self.label)
        if session is not None and mode in ("meta_refresh", "auto_submit"):
            return self._html(login_pages.second_navigation_page(
                mode, CONTINUE_PATH + "?" + request.query_string.decode("ascii", "replace")))
        if session is not None:
            return self.server.create_authorization_response(grant_user=session.account)
        return self._login_page(failed=False)

    def continue_with_session(self):
        grant, refusal = self._validated_request()
        if refusal is not None:
            return refusal
        session = self.state.live_session(request.cookies.get(SESSION_COOKIE), self.label)
        if session is None:
            return self._login_page(failed=False)
        return self.server.create_authorization_response(grant_user=session.account)

    def help_page(self):
        return self._html(login_pages.help_page())

    def _special_page(self, mode):
        if mode == "basic_auth":
            return Response(login_pages.error_page("es", "unauthorized", "credentials needed"),
                            status=401, content_type="text/html; charset=utf-8",
                            headers={"WWW-Authenticate": 'Basic realm="murako"'})
        if mode == "download":
            return Response(b"not a sign-in page", status=200,
                            content_type="application/octet-stream",
                            headers={"Content-Disposition": 'attachment; filename="sign-in.bin"'})
        if mode == "foreign_code":
            then = None
            if self.state.page_mode.get("then") == "continue":
                then = CONTINUE_PATH + "?" + request.query_string.decode("ascii", "replace")
            return self._html(login_pages.navigating_page(self._foreign_redirect(), then))
        if mode == "frames":
            return self._html(login_pages.frames_page(
                ["http://%s%s" % (request.host, HELP_PATH), "ms-settings:privacy", HELP_PATH]))
        if mode == "new_window":
            return self._html(login_pages.new_window_page(HELP_PATH))
        return self._html(login_pages.refreshing_page(
            "http://%s%s" % (request.host, HELP_PATH)))

    def _foreign_redirect(self):
        error = self.state.page_mode.get("error")
        answer = (("error", error) if error is not None else
                  ("code", self.state.mint_code(self.state.page_mode.get("account",
                                                                         "profesional"))))
        state = {"keep": request.args.get("state", ""), "drop": None,
                 "other": "forged-state"}[self.state.page_mode.get("state", "keep")]
        params = [answer] + ([("state", state)] if state is not None else [])
        return add_params_to_uri(DEFAULT_REDIRECT_URI, params)

    @staticmethod
    def _html(page):
        return Response(page, status=200, content_type="text/html; charset=utf-8",
                        headers={"Cache-Control": "no-store"})

    def log_in(self):
        grant, refusal = self._validated_request()
        if refusal is not None:
            return refusal
        account = self.state.accounts.authenticate(request.form.get("username", ""),
                                                   request.form.get("password", ""))
        if account is None:
            return self._login_page(failed=True)
        session = self.state.open_session(account, self.label)
        response = self.server.create_authorization_response(grant_user=account)
        response.set_cookie(SESSION_COOKIE, session.id, max_age=session.lifetime,
                            expires=int(session.expires_at), path=SESSION_COOKIE_PATH,
                            secure=True, httponly=True)
        return response

    def cancel(self):
        grant, refusal = self._validated_request()
        if refusal is not None:
            return refusal
        return self.server.create_authorization_response(grant_user=None)

    def _validated_request(self):
        """(grant, None) for a request worth a login page; (None, response) otherwise: an error
        page when the client or redirect URI cannot be trusted with a redirect, else a redirect
        carrying error=."""
        language = login_pages.language_of(request.args.get("ui_locales"))
        redirect_uri = request.args.get("redirect_uri")
        if request.args.get("client_id") != CLIENT_ID:
            return None, self._error_page(language, "invalid_client", "unknown client_id")
        if redirect_uri is not None and redirect_uri != DEFAULT_REDIRECT_URI:
            return None, self._error_page(language, "invalid_request",
                                          "redirect_uri is not registered for this client")
        try:
            return self.server.get_consent_grant(end_user=None), None
        except OAuth2Error as error:
            body = error.get_body()
            return None, Response(status=302, headers={
                "Location": add_params_to_uri(redirect_uri or DEFAULT_REDIRECT_URI, body)})
        except ValueError as problem:  # a query string Authlib cannot decode
            return None, self._error_page(language, "invalid_request", str(problem))

    def _login_page(self, failed):
        language = login_pages.language_of(request.args.get("ui_locales"))
        query = request.query_string.decode("ascii", "replace")
        page = login_pages.login_page(language, AUTHORIZATION_PATH + "?" + query,
                                      CANCEL_PATH + "?" + query,
                                      request.form.get("username") or
                                      request.args.get("login_hint", ""), failed,
                                      self.state.page_mode.get("mode") == "blank_frames")
        return Response(page, status=200, content_type="text/html; charset=utf-8",
                        headers={"Cache-Control": "no-store"})

    @staticmethod
    def _error_page(language, error, description):
        return Response(login_pages.error_page(language, error, description), status=400,
                        content_type="text/html; charset=utf-8")

    # ---- the client's side ----
    def token(self):
        try:
            if not (request.content_type or "").startswith("application/x-www-form-urlencoded"):
                raise OAuthError("invalid_request",
                                 "body must be application/x-www-form-urlencoded")
            parse_form(request.get_data())
        except OAuthError as problem:
            return jsonify(problem.body()), 400
        return self.server.create_token_response()


def install_oauth_control_routes(app, state):
    """Control API: codes without a browser, server sessions, lifetimes, refresh tokens."""

    def json_body():
        return request.get_json(force=True, silent=True) or {}

    @app.post("/oauth/codes")
    def new_code():
        body = json_body()
        code = state.mint_code(body.get("account"), body.get("redirect_uri", DEFAULT_REDIRECT_URI),
                               rotate_refresh=body.get("rotate_refresh", True),
                               issue_refresh=body.get("issue_refresh", True))
        if code is None:
            return jsonify({"error": "unknown account"}), 404
        return jsonify({"code": code})

    @app.get("/oauth/sessions")
    def sessions():
        return jsonify(state.sessions())

    @app.post("/oauth/sessions/expire")
    def expire_sessions():
        body = json_body()
        return jsonify({"expired": state.expire_sessions(body.get("session"), body.get("account"))})

    @app.post("/oauth/sessions/revoke")
    def revoke_sessions():
        body = json_body()
        return jsonify({"revoked": state.revoke_sessions(body.get("session"), body.get("account"))})

    @app.post("/oauth/refresh_tokens/revoke")
    def revoke_refresh_tokens():
        body = json_body()
        return jsonify({"revoked": state.revoke_refresh_tokens(body.get("refresh_token"),
                                                               body.get("account"))})

    @app.get("/oauth/issued")
    def issued():
        return jsonify(state.issued())

    @app.post("/oauth/page_mode")
    def set_page_mode():
        state.page_mode = json_body()
        return jsonify(state.page_mode)

    @app.get("/oauth/lifetimes")
    def lifetimes():
        return jsonify(state.lifetimes)

    @app.post("/oauth/lifetimes")
    def set_lifetimes():
        body = json_body()
        if body.get("reset"):
            state.lifetimes.update(DEFAULT_LIFETIMES)
        for name in DEFAULT_LIFETIMES:
            if name in body:
                try:
                    seconds = int(body[name])
                except (TypeError, ValueError):
                    return jsonify({"error": name + " must be a number of seconds"}), 400
                state.lifetimes[name] = seconds
        return jsonify(state.lifetimes)

    @app.get("/oauth/access_tokens")
    def access_token_policy():
        return jsonify(state.access_token_policy)

    @app.post("/oauth/access_tokens")
    def set_access_token_policy():
        body = json_body()
        if body.get("reset"):
            state.set_access_token_policy(DEFAULT_ACCESS_TOKEN_POLICY)
        length = body.get("length")
        if length is not None and (type(length) is not int or length < 400):
            return jsonify({"error": "length must be null or a number from 400"}), 400
        changes = {name: body[name] for name in DEFAULT_ACCESS_TOKEN_POLICY if name in body}
        if "revoke_previous" in changes:
            changes["revoke_previous"] = bool(changes["revoke_previous"])
        state.set_access_token_policy(changes)
        return jsonify(state.access_token_policy)

    return app

