"""The double's OAuth 2.0 token endpoint: authorization codes minted by tests through the
control API, exchanged for bearer tokens the REST API accepts, and refresh tokens.

Every host serves the endpoint; the client secret it expects is the one of the host's
environment. Errors are OAuth error objects with HTTP status 400."""
import secrets
import threading
from urllib.parse import parse_qsl

TOKEN_PATH = "/trustedx-authserver/oauth/murako/token"
CLIENT_ID = "lumetra"
PRODUCTION_SECRET = "5k82nw7_p3ahz9_tq4m"
DEVELOPMENT_SECRET = "8rw3mc5_x2fdk7"
DEFAULT_REDIRECT_URI = "oauth-swift://oauth-callback"
ACCESS_TOKEN_LIFETIME = 3600


class OAuthError(Exception):
    def __init__(self, error, description):
        super().__init__(description)
        self.error = error
        self.description = description

    def body(self):
        return {"error": self.error, "error_description": self.description}


def secret_for_host(host_label):
    return PRODUCTION_SECRET if "production" in host_label else DEVELOPMENT_SECRET


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


class AuthorizationServer:
    def __init__(self, account_store):
        self._store = account_store
        self._lock = threading.Lock()
        self._codes = {}
        self._refresh_tokens = {}

    def mint_code(self, account, redirect_uri=DEFAULT_REDIRECT_URI, rotate_refresh=True,
                  issue_refresh=True):
        """A single-use code for the account. rotate_refresh False: refresh answers carry no
        new refresh token and the old one stays valid. issue_refresh False: no refresh token
        at all."""
        if account not in self._store.accounts:
            return None
        code = "code-" + secrets.token_urlsafe(18)
        with self._lock:
            self._codes[code] = {"account": account, "redirect_uri": redirect_uri,
                                 "rotate_refresh": bool(rotate_refresh),
                                 "issue_refresh": bool(issue_refresh), "used": False}
        return code

    def token(self, host_label, raw_body, content_type):
        """The JSON answer of one token request; raises OAuthError."""
        if not (content_type or "").startswith("application/x-www-form-urlencoded"):
            raise OAuthError("invalid_request", "body must be application/x-www-form-urlencoded")
        form = parse_form(raw_body)
        self._check_client(host_label, form)
        grant = form.get("grant_type")
        if grant == "authorization_code":
            return self._exchange_code(form)
        if grant == "refresh_token":
            return self._refresh(form)
        raise OAuthError("unsupported_grant_type", "unsupported grant_type: " + str(grant))

    def _check_client(self, host_label, form):
        if form.get("client_id") != CLIENT_ID:
            raise OAuthError("invalid_client", "unknown client_id")
        if form.get("client_secret") != secret_for_host(host_label):
            raise OAuthError("invalid_client", "wrong client_secret for this environment")

    def _exchange_code(self, form):
        code, redirect_uri = form.get("code"), form.get("redirect_uri")
        if not code or redirect_uri is None:
            raise OAuthError("invalid_request", "code and redirect_uri are required")
        with self._lock:
            grant = self._codes.get(code)
            if grant is None:
                raise OAuthError("invalid_grant", "unknown authorization code")
            if grant["used"]:
                raise OAuthError("invalid_grant", "authorization code already used")
            if grant["redirect_uri"] != redirect_uri:
                raise OAuthError("invalid_grant", "redirect_uri does not match the code's")
            grant["used"] = True
        return self._answer(grant, new_refresh=grant["issue_refresh"])

    def _refresh(self, form):
        refresh_token = form.get("refresh_token")
        if not refresh_token:
            raise OAuthError("invalid_request", "refresh_token is required")
        with self._lock:
            grant = self._refresh_tokens.get(refresh_token)
            if grant is None:
                raise OAuthError("invalid_grant", "unknown or revoked refresh token")
            if grant["rotate_refresh"]:
                del self._refresh_tokens[refresh_token]
        return self._answer(grant, new_refresh=grant["rotate_refresh"])

    def _answer(self, grant, new_refresh):
        answer = {"access_token": self._store.issue_token(grant["account"]),
                  "token_type": "Bearer", "expires_in": ACCESS_TOKEN_LIFETIME}
        if new_refresh:
            refresh_token = "refresh-" + secrets.token_urlsafe(24)
            with self._lock:
                self._refresh_tokens[refresh_token] = grant
            answer["refresh_token"] = refresh_token
        return answer
