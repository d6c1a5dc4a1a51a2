"""What the double's authorization server issued, shared by every host: authorization codes,
refresh tokens, server sessions (behind the login cookie) and the lifetimes of each. Every
method is safe from the server's request threads."""
import secrets
import threading
import time

from authlib.oauth2.rfc6749.errors import InvalidGrantError

from authorization_server import DEFAULT_REDIRECT_URI, SCOPES, new_code

DEFAULT_LIFETIMES = {"access_token": 3600, "session": 8 * 3600, "code": 600}
# How the token endpoint issues access tokens: "length" None gives short opaque tokens, a number
# signed-token-like text of that many characters; "revoke_previous" makes each new access token
# of an account at a host revoke the one issued there before it while the setting is on.
DEFAULT_ACCESS_TOKEN_POLICY = {"length": None, "revoke_previous": False}


class IssuedCode:
    def __init__(self, account, redirect_uri, scope, rotate_refresh, issue_refresh, lifetime,
                 code_challenge=None, code_challenge_method=None):
        self.account = account
        self.code_challenge = code_challenge
        self.code_challenge_method = code_challenge_method
        self.redirect_uri = redirect_uri
        self.scope = scope
        self.rotate_refresh = bool(rotate_refresh)
        self.issue_refresh = bool(issue_refresh)
        self.expires_at = time.time() + lifetime
        self.used = False

    def get_redirect_uri(self):
        return self.redirect_uri

    def get_scope(self):
        return self.scope


class IssuedRefreshToken:
    def __init__(self, value, account, scope, rotate_refresh):
        self.value = value
        self.account = account
        self.scope = scope
        self.rotate_refresh = rotate_refresh

    def check_client(self, client):
        return True

    def get_scope(self):
        return self.scope

    def get_expires_in(self):
        return None


class ServerSession:
    def __init__(self, account, host_label, lifetime):
        self.id = secrets.token_urlsafe(24)
        self.account = account
        self.host = host_label
        self.lifetime = lifetime
        self.expires_at = time.time() + lifetime

    def describe(self):
        return {"session": self.id, "account": self.account, "host": self.host,
                "expires_at": int(self.expires_at), "live": self.expires_at > time.time()}


class OAuthServerState:
    """Codes, refresh tokens, server sessions and lifetimes, shared by every host."""

    def __init__(self, account_store):
        self.accounts = account_store
        self._lock = threading.Lock()
        self._codes = {}
        self._refresh_tokens = {}
        self._sessions = {}
        self._issued = {"codes": [], "access_tokens": [], "refresh_tokens": []}
        self.lifetimes = dict(DEFAULT_LIFETIMES)
        self.access_token_policy = dict(DEFAULT_ACCESS_TOKEN_POLICY)
        self._latest_access_tokens = {}
        # What the authorization endpoint answers instead of its usual page (set by tests
        # through the control API): see authorization_endpoints.py.
        self.page_mode = {}

    # ---- every secret issued, for tests that look for them where they must not be ----
    def record_issued(self, kind, value):
        with self._lock:
            self._issued[kind].append(value)

    def issued(self):
        with self._lock:
            return {kind: list(values) for kind, values in self._issued.items()}

    # ---- codes ----
    def save_code(self, code, account, redirect_uri, scope, rotate_refresh=True,
                  issue_refresh=True, code_challenge=None, code_challenge_method=None):
        issued = IssuedCode(account, redirect_uri, scope, rotate_refresh, issue_refresh,
                            self.lifetimes["code"], code_challenge, code_challenge_method)
        with self._lock:
            self._codes[code] = issued
            self._issued["codes"].append(code)

    def mint_code(self, account, redirect_uri=DEFAULT_REDIRECT_URI, rotate_refresh=True,
                  issue_refresh=True):
        """A single-use code for the account, without a browser. rotate_refresh False: refresh
        answers carry no new refresh token and the old one stays valid. issue_refresh False:
        no refresh token at all."""
        if account not in self.accounts.accounts:
            return None
        code = new_code()
        self.save_code(code, account, redirect_uri, " ".join(SCOPES), rotate_refresh,
                       issue_refresh)
        return code

    def code(self, code):
        with self._lock:
            issued = self._codes.get(code)
        if issued is None:
            raise InvalidGrantError("unknown authorization code")
        if issued.used:
            raise InvalidGrantError("authorization code already used")
        if issued.expires_at <= time.time():
            raise InvalidGrantError("authorization code expired")
        return issued

    def claim_code(self, issued):
        with self._lock:
            if issued.used:
                raise InvalidGrantError("authorization code already used")
            issued.used = True

    # ---- access tokens ----
    def issue_access_token(self, account, host_label):
        """A new access token of the account with the current lifetime and policy; with
        "revoke_previous", the account's previous token from this host stops working now."""
        token = self.accounts.issue_token(account, self.lifetimes["access_token"],
                                          self.access_token_policy["length"])
        if not self.access_token_policy["revoke_previous"]:
            return token
        with self._lock:
            previous = self._latest_access_tokens.get((host_label, account))
            self._latest_access_tokens[(host_label, account)] = token
        if previous is not None:
            self.accounts.supersede_token(previous)
        return token

    def set_access_token_policy(self, changes):
        """Applies the "length" and "revoke_previous" of `changes`; turning "revoke_previous" on
        starts afresh, so no token issued before counts as a previous one."""
        with self._lock:
            if changes.get("revoke_previous") and not self.access_token_policy["revoke_previous"]:
                self._latest_access_tokens.clear()
            for name in DEFAULT_ACCESS_TOKEN_POLICY:
                if name in changes:
                    self.access_token_policy[name] = changes[name]

    # ---- refresh tokens ----
    def save_refresh_token(self, value, account, scope, rotate_refresh):
        with self._lock:
            self._refresh_tokens[value] = IssuedRefreshToken(value, account, scope, rotate_refresh)
            self._issued["refresh_tokens"].append(value)

    def refresh_token(self, value):
        with self._lock:
            issued = self._refresh_tokens.get(value)
        if issued is None:
            raise InvalidGrantError("unknown or revoked refresh token")
        return issued

    def claim_refresh_token(self, issued):
        """A rotating refresh token is good for one refresh."""
        if not issued.rotate_refresh:
            return
        with self._lock:
            if self._refresh_tokens.pop(issued.value, None) is None:
                raise InvalidGrantError("unknown or revoked refresh token")

    def revoke_refresh_tokens(self, value=None, account=None):
        with self._lock:
            doomed = [k for k, v in self._refresh_tokens.items()
                      if k == value or (value is None and account in (None, v.account))]
            for key in doomed:
                del self._refresh_tokens[key]
        return len(doomed)

    # ---- server sessions ----
    def open_session(self, account, host_label):
        session = ServerSession(account, host_label, self.lifetimes["session"])
        with self._lock:
            self._sessions[session.id] = session
        return session

    def live_session(self, session_id, host_label):
        with self._lock:
            session = self._sessions.get(session_id or "")
        if session and session.host == host_label and session.expires_at > time.time():
            return session
        return None

    def _matching_sessions(self, session_id, account):
        return [s for s in self._sessions.values()
                if s.id == session_id or (session_id is None and account in (None, s.account))]

    def expire_sessions(self, session_id=None, account=None):
        """The server forgets nothing: the browser still sends the cookie, the server treats it
        as a session that timed out."""
        with self._lock:
            matching = self._matching_sessions(session_id, account)
            for session in matching:
                session.expires_at = time.time() - 1
        return len(matching)

    def revoke_sessions(self, session_id=None, account=None):
        with self._lock:
            matching = self._matching_sessions(session_id, account)
            for session in matching:
                del self._sessions[session.id]
        return len(matching)

    def sessions(self):
        with self._lock:
            return [s.describe() for s in self._sessions.values()]
