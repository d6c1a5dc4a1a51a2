"""Accounts, sign identities and bearer tokens of the double. Every host serves the same
account database, as one service behind several front doors."""
import base64
import hashlib
import hmac
import secrets
import threading

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
        self._tokens = {CITIZEN["token"]: "ciudadano", PROFESSIONAL["token"]: "profesional"}

    def account_for_token(self, token):
        with self._lock:
            name = self._tokens.get(token)
        return self.accounts.get(name) if name else None

    def issue_token(self, account):
        if account not in self.accounts:
            return None
        token = f"{account}-token-{secrets.token_hex(12)}"
        with self._lock:
            self._tokens[token] = account
        return token

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
