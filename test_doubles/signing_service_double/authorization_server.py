"""The double's OAuth 2.0 authorization server, on Authlib: the protocol's fixed values, the
client and the authorization-code and refresh-token grants. What they issue lives in
oauth_state.py, shared by every host and reached by the control API; the HTTP side is in
authorization_endpoints.py.

The client secret each host expects is the one of its environment; the acr_values it expects
are those of its user type."""
import hmac
import secrets
from urllib.parse import parse_qsl

from authlib.oauth2.rfc6749 import grants
from authlib.oauth2.rfc6749.errors import InvalidRequestError, InvalidScopeError
from authlib.oauth2.rfc7636 import CodeChallenge

AUTHORIZATION_PATH = "/trustedx-authserver/oauth/murako"
TOKEN_PATH = AUTHORIZATION_PATH + "/token"
CANCEL_PATH = AUTHORIZATION_PATH + "/cancel"
CONTINUE_PATH = AUTHORIZATION_PATH + "/continue"
HELP_PATH = AUTHORIZATION_PATH + "/help"
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


def new_code():
    return "code-" + secrets.token_urlsafe(18)


class S256CodeChallenge(CodeChallenge):
    """PKCE (RFC 7636) with the S256 method only. A request without a challenge is an ordinary
    authorization-code request; a code issued with a challenge is exchanged only with the
    verifier it was made from, and a verifier sent for a code issued without one fails."""
    SUPPORTED_CODE_CHALLENGE_METHOD = ["S256"]

    def validate_code_challenge(self, grant):
        data = grant.request.data
        if data.get("code_challenge") and data.get("code_challenge_method") != "S256":
            raise InvalidRequestError('code_challenge_method must be "S256"',
                                      state=grant.request.state)
        super().validate_code_challenge(grant)

    def get_authorization_code_challenge(self, authorization_code):
        return authorization_code.code_challenge

    def get_authorization_code_challenge_method(self, authorization_code):
        return authorization_code.code_challenge_method


class CodeGrant(grants.AuthorizationCodeGrant):
    TOKEN_ENDPOINT_AUTH_METHODS = ["client_secret_post"]

    def validate_authorization_request(self):
        redirect_uri = super().validate_authorization_request()
        host = self.server.host
        state = self.request.state
        requested = set((self.request.scope or "").split())
        if requested != set(SCOPES):
            raise InvalidScopeError("scope must be exactly: " + " ".join(SCOPES),
                                    redirect_uri=redirect_uri, state=state)
        if self.request.data.get("acr_values") != ACR_VALUES[user_type_of_host(host.label)]:
            raise InvalidRequestError("acr_values are not those of this host's user type",
                                      redirect_uri=redirect_uri, state=state)
        return redirect_uri

    def generate_authorization_code(self):
        return new_code()

    def save_authorization_code(self, code, request):
        self.server.host.state.save_code(code, request.user,
                                         request.redirect_uri or DEFAULT_REDIRECT_URI, request.scope,
                                         code_challenge=request.data.get("code_challenge"),
                                         code_challenge_method=request.data.get(
                                             "code_challenge_method"))

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
