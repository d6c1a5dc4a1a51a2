"""The double's OAuth 2.0 authorization server, on Authlib: the client, the authorization-code
and refresh-token grants, and the state behind them (codes, refresh tokens, server sessions,
lifetimes), shared by every host and reached by the control API. The HTTP side is in
authorization_endpoints.py.

The client secret each host expects is the one of its environment; the acr_values it expects
are those of its user type."""
import hmac
import secrets
import threading
import time
from urllib.parse import parse_qsl

from authlib.oauth2.rfc6749 import grants
from authlib.oauth2.rfc6749.errors import InvalidGrantError, InvalidRequestError, InvalidScopeError

AUTHORIZATION_PATH = "/trustedx-authserver/oauth/murako"
TOKEN_PATH = AUTHORIZATION_PATH + "/token"
CANCEL_PATH = AUTHORIZATION_PATH + "/cancel"
SESSION_COOKIE = "TXAUTHSESSION"
SESSION_COOKIE_PATH = "/trustedx-authserver"
CLIENT_ID = "lumetra"
PRODUCTION_SECRET = "5k82nw7_p3ahz9_tq4m"
DEVELOPMENT_SECRET = "8rw3mc5_x2fdk7"
DEFAULT_REDIRECT_URI = "oauth-swift://oauth-callback"
SCOPES = ("urn:murako:identity:global", "urn:safelayer:eidas:sign:identity:profile",
          "urn:safelayer:eidas:sign:identity:register")
ACR_VALUES = {
    "ciudadano": "urn:safelayer:tws:policies:authentication:flow:vexo"
                 "|urn:safelayer:tws:policies:authentication:flow:kovaid:citizen",
    "profesional": "urn:murako:authentication:flow:vex_otp"
                   "|urn:safelayer:tws:policies:authentication:flow:kovaid:prof",
}
DEFAULT_LIFETIMES = {"access_token": 3600, "session": 8 * 3600, "code": 600}


class OAuthError(Exception):
    """A token request refused before it reaches Authlib (its body is not a usable form)."""

    def __init__(self, error, description):
        super().__init__(description)
        self.error = error
        self.description = description

    def body(self):
        return {"error": self.error, "error_description": self.description}


def secret_for_host(host_label):
    return PRODUCTION_SECRET if "production" in host_label else DEVELOPMENT_SECRET


def user_type_of_host(host_label):
    return "profesional" if host_label.startswith("professional") else "ciudadano"


def parse_form(raw_body):
    """The fields of an application/x-www-form-urlencoded body; a repeated field is refused,
    as RFC 6749 requires."""
    try:
        pairs = parse_qsl(raw_body.decode("utf-8"), keep_blank_values=True, strict_parsing=False)
    except UnicodeDecodeError:
        raise OAuthError("invalid_request", "body is not UTF-8")
    form = {}
    for name, value in pairs:
        if name in form:
            raise OAuthError("invalid_request", "repeated parameter: " + name)
        form[name] = value
    return form


def form_subject(raw_body):
    """The credential a token request carries (its code or refresh token): what faults and
    recorded requests of the token endpoint are bound to, as bearer tokens are elsewhere."""
    try:
        form = parse_form(raw_body)
    except OAuthError:
        return None
    return form.get("code") or form.get("refresh_token")


class Client:
    """The one registered client, "lumetra", as one host sees it (its environment's secret)."""

    def __init__(self, secret):
        self.secret = secret

    def get_client_id(self):
        return CLIENT_ID

    def get_default_redirect_uri(self):
        return DEFAULT_REDIRECT_URI

    def get_allowed_scope(self, scope):
        return scope

    def check_redirect_uri(self, redirect_uri):
        return redirect_uri == DEFAULT_REDIRECT_URI

    def check_client_secret(self, client_secret):
        return hmac.compare_digest(client_secret.encode(), self.secret.encode())

    def check_endpoint_auth_method(self, method, endpoint):
        return method == "client_secret_post"

    def check_response_type(self, response_type):
        return response_type == "code"

    def check_grant_type(self, grant_type):
        return grant_type in ("authorization_code", "refresh_token")


class IssuedCode:
    def __init__(self, account, redirect_uri, scope, rotate_refresh, issue_refresh, lifetime):
        self.account = account
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
        self.lifetimes = dict(DEFAULT_LIFETIMES)

    # ---- codes ----
    def save_code(self, code, issued):
        with self._lock:
            self._codes[code] = issued

    def mint_code(self, account, redirect_uri=DEFAULT_REDIRECT_URI, rotate_refresh=True,
                  issue_refresh=True):
        """A single-use code for the account, without a browser. rotate_refresh False: refresh
        answers carry no new refresh token and the old one stays valid. issue_refresh False:
        no refresh token at all."""
        if account not in self.accounts.accounts:
            return None
        code = new_code()
        self.save_code(code, IssuedCode(account, redirect_uri, " ".join(SCOPES), rotate_refresh,
                                        issue_refresh, self.lifetimes["code"]))
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

    # ---- refresh tokens ----
    def save_refresh_token(self, value, account, scope, rotate_refresh):
        with self._lock:
            self._refresh_tokens[value] = IssuedRefreshToken(value, account, scope, rotate_refresh)

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


def new_code():
    return "code-" + secrets.token_urlsafe(18)


class CodeGrant(grants.AuthorizationCodeGrant):
    TOKEN_ENDPOINT_AUTH_METHODS = ["client_secret_post"]

    def validate_authorization_request(self):
        redirect_uri = super().validate_authorization_request()
        host = self.server.host
        requested = set((self.request.scope or "").split())
        if requested != set(SCOPES):
            raise InvalidScopeError("scope must be exactly: " + " ".join(SCOPES),
                                    redirect_uri=redirect_uri)
        if self.request.data.get("acr_values") != ACR_VALUES[user_type_of_host(host.label)]:
            raise InvalidRequestError("acr_values are not those of this host's user type",
                                      redirect_uri=redirect_uri)
        return redirect_uri

    def generate_authorization_code(self):
        return new_code()

    def save_authorization_code(self, code, request):
        state = self.server.host.state
        state.save_code(code, IssuedCode(request.user, request.redirect_uri or DEFAULT_REDIRECT_URI,
                                         request.scope, True, True, state.lifetimes["code"]))

    def query_authorization_code(self, code, client):
        return self.server.host.state.code(code)

    def validate_token_request(self):
        super().validate_token_request()
        # Spent only once the whole request is valid, and atomically, so two concurrent
        # exchanges cannot both get tokens; a spent code is kept to answer its reuse.
        self.server.host.state.claim_code(self.request.credential)

    def delete_authorization_code(self, authorization_code):
        pass

    def authenticate_user(self, authorization_code):
        return authorization_code.account

    def generate_token(self, user=None, scope=None, grant_type=None, expires_in=None,
                       include_refresh_token=True):
        include_refresh_token = include_refresh_token and self.request.credential.issue_refresh
        return super().generate_token(user, scope, grant_type, expires_in, include_refresh_token)


class RefreshGrant(grants.RefreshTokenGrant):
    TOKEN_ENDPOINT_AUTH_METHODS = ["client_secret_post"]

    def authenticate_refresh_token(self, refresh_token):
        return self.server.host.state.refresh_token(refresh_token)

    def authenticate_user(self, credential):
        return credential.account

    def issue_token(self, user, credential):
        return self.generate_token(user=user, scope=credential.get_scope(),
                                   include_refresh_token=credential.rotate_refresh)

    def validate_token_request(self):
        super().validate_token_request()
        self.server.host.state.claim_refresh_token(self.request.credential)

    def revoke_old_credential(self, credential):
        pass
