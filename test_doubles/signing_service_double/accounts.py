"""Accounts, sign identities and bearer tokens of the double. Every host serves the same
account database, as one service behind several front doors."""
import base64
import hashlib
import hmac
import json
import secrets
import threading
import time

from cryptography import x509
from cryptography.x509.oid import NameOID

from test_pki import der_certificate, new_key

CITIZEN = {
    "account": "ciudadano",
    "user_type": "ciudadano",
    "name": "LUCIA FERNANDEZ MORENO",
    "dni": "12345678Z",
    "cif": "",
    "organization": "",
    "token": "ciudadano-token-4f9c2a7e81b34d06a5c9e2f1",
    "password": "Lucia-2026",
}
PROFESSIONAL = {
    "account": "profesional",
    "user_type": "profesional",
    "name": "PEDRO MARTIN SANZ",
    "dni": "87654321X",
    "cif": "B12345674",
    "organization": "TALLERES EJEMPLO SL",
    "token": "profesional-token-7d1e5b3c92a04f68b1e7c3d9",
    "password": "Pedro-2026",
}
# Identity id, account, key size, status.
IDENTITIES = [
    ("cit-rsa2048", CITIZEN, 2048, "enabled"),
    ("cit-rsa3072", CITIZEN, 3072, "enabled"),
    ("cit-rsa4096", CITIZEN, 4096, "enabled"),
    ("cit-disabled", CITIZEN, 2048, "disabled"),
    ("pro-rsa2048", PROFESSIONAL, 2048, "enabled"),
    ("pro-rsa3072", PROFESSIONAL, 3072, "enabled"),
    ("pro-disabled", PROFESSIONAL, 2048, "disabled"),
]


def _subject(account, identity_id):
    if account["user_type"] == "ciudadano":
        surnames, first_name = "FERNANDEZ MORENO", "LUCIA"
        return [
            (NameOID.COUNTRY_NAME, "ES"),
            (NameOID.SERIAL_NUMBER, "IDCES-" + account["dni"]),
            (NameOID.SURNAME, surnames),
            (NameOID.GIVEN_NAME, first_name),
            (NameOID.COMMON_NAME, f"{account['dni']} {surnames} {first_name}"),
            (NameOID.ORGANIZATIONAL_UNIT_NAME, identity_id),
        ]
    return [
        (NameOID.COUNTRY_NAME, "ES"),
        (NameOID.ORGANIZATION_NAME, account["organization"]),
        (x509.ObjectIdentifier("2.5.4.97"), "VATES-" + account["cif"]),
        (NameOID.COMMON_NAME, f"{account['name']} - CIF {account['cif']}"),
        (NameOID.ORGANIZATIONAL_UNIT_NAME, identity_id),
    ]


def _labels(account):
    return ["vexo"] if account["user_type"] == "ciudadano" else ["CIF:" + account["cif"]]


def _base64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def signed_token_like(account, lifetime, length):
    """An access token of exactly `length` characters shaped like a signed JWT (header, claims,
    signature), as real services issue them; None when `length` cannot hold the claims."""
    now = int(time.time())
    header = _base64url(json.dumps({"alg": "RS256", "typ": "JWT", "kid": "double-1"}).encode())
    claims = {"iss": "signing-service-double", "sub": account, "aud": "lumetra", "iat": now,
              "exp": now + int(lifetime or 0), "jti": secrets.token_hex(16)}
    # An RS256 signature (256 bytes) when there is room, at least 32 bytes' worth otherwise.
    room = length - len(header) - 2 - (342 if length >= 1000 else 43)
    bare = len(json.dumps(claims)) + len(', "ctx": ""')
    filler = room * 3 // 4 - bare
    if filler < 0:
        return None
    claims["ctx"] = secrets.token_urlsafe(filler)[:filler]
    payload = _base64url(json.dumps(claims).encode())
    signature = secrets.token_urlsafe(length)[:length - len(header) - len(payload) - 2]
    return ".".join((header, payload, signature))


class IssuedAccessToken:
    def __init__(self, account, expires_at=None):
        self.account = account
        self.expires_at = expires_at  # None: never expires
        self.revoked = False

    def refusal(self):
        """Why the REST API refuses the token now, or None."""
        if self.revoked:
            return "access token revoked"
        if self.expires_at is not None and time.time() >= self.expires_at:
            return "access token expired"
        return None


class Identity:
    def __init__(self, identity_id, account, bits, status, authority):
        self.id = identity_id
        self.account = account["account"]
        self.bits = bits
        self.status = status
        self.labels = _labels(account)
        self.key = new_key(bits)
        self.certificate = authority.issue_signing(_subject(account, identity_id), self.key)
        der = der_certificate(self.certificate)
        self.certificate_base64 = base64.b64encode(der).decode()
        self.thumbprint = hashlib.sha1(der).hexdigest().upper()


class AccountStore:
    def __init__(self, authority):
        self._lock = threading.Lock()
        self.accounts = {a["account"]: a for a in (CITIZEN, PROFESSIONAL)}
        self.identities = {}
        for identity_id, account, bits, status in IDENTITIES:
            self.identities[identity_id] = Identity(identity_id, account, bits, status, authority)
        self._tokens = {CITIZEN["token"]: IssuedAccessToken("ciudadano"),
                        PROFESSIONAL["token"]: IssuedAccessToken("profesional")}

    def bearer_check(self, token):
        """(account, None) for a token the REST API accepts now; (None, None) for an unknown
        one; (None, reason) for one it issued that has expired or was revoked."""
        with self._lock:
            issued = self._tokens.get(token)
        if issued is None:
            return None, None
        refusal = issued.refusal()
        return (None, refusal) if refusal else (self.accounts.get(issued.account), None)

    def issue_token(self, account, lifetime=None, length=None):
        """A new bearer token; it expires `lifetime` seconds from now (None: never) and is
        `length` characters of signed-token-like text (None: a short opaque token)."""
        if account not in self.accounts:
            return None
        token = signed_token_like(account, lifetime, length) if length else None
        if token is None:
            token = f"{account}-token-{secrets.token_hex(12)}"
        expires_at = time.time() + lifetime if lifetime is not None else None
        with self._lock:
            self._tokens[token] = IssuedAccessToken(account, expires_at)
        return token

    def supersede_token(self, token):
        """Revokes a token a renewal replaced: the REST API refuses it from now on."""
        with self._lock:
            issued = self._tokens.get(token)
            if issued is not None:
                issued.revoked = True

    def authenticate(self, user_name, password):
        """The account a login form names, by identity number or account name, when the
        password is its own."""
        wanted = user_name.strip().upper()
        for name, account in self.accounts.items():
            if wanted in (account["dni"].upper(), name.upper()) and hmac.compare_digest(
                    password.encode(), account["password"].encode()):
                return name
        return None

    def revoke_token(self, token):
        with self._lock:
            return self._tokens.pop(token, None) is not None

    def identities_of(self, account):
        return [i for i in self.identities.values() if i.account == account]

    def describe(self):
        """Everything a test needs to know, with the standard tokens."""
        return {
            "accounts": {
                name: {
                    "user_type": a["user_type"], "name": a["name"], "dni": a["dni"],
                    "cif": a["cif"], "organization": a["organization"], "token": a["token"],
                    "password": a["password"],
                    "identities": [i.id for i in self.identities_of(name)],
                } for name, a in self.accounts.items()
            },
            "identities": {
                i.id: {
                    "account": i.account, "bits": i.bits, "status": i.status,
                    "labels": i.labels, "certificate": i.certificate_base64,
                    "thumbprint": i.thumbprint,
                } for i in self.identities.values()
            },
        }
