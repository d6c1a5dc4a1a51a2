"""The double's own test PKI: one CA, a TLS certificate per host, and a key pair with a
certificate per sign identity. Everything is generated at start-up and lives in memory."""
import datetime
import ipaddress

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID


def _now():
    return datetime.datetime.now(datetime.timezone.utc)


def new_key(bits):
    return rsa.generate_private_key(public_exponent=65537, key_size=bits)


class TestAuthority:
    def __init__(self, common_name="Service Double Test CA"):
        self.key = new_key(2048)
        name = x509.Name([
            x509.NameAttribute(NameOID.COUNTRY_NAME, "ES"),
            x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Sendaro Test Doubles"),
            x509.NameAttribute(NameOID.COMMON_NAME, common_name),
        ])
        self.name = name
        self.certificate = (
            x509.CertificateBuilder()
            .subject_name(name).issuer_name(name)
            .public_key(self.key.public_key())
            .serial_number(x509.random_serial_number())
            .not_valid_before(_now() - datetime.timedelta(days=1))
            .not_valid_after(_now() + datetime.timedelta(days=3650))
            .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
            .add_extension(x509.KeyUsage(
                digital_signature=True, content_commitment=False, key_encipherment=False,
                data_encipherment=False, key_agreement=False, key_cert_sign=True,
                crl_sign=True, encipher_only=False, decipher_only=False), critical=True)
            .add_extension(x509.SubjectKeyIdentifier.from_public_key(self.key.public_key()),
                           critical=False)
            .sign(self.key, hashes.SHA256())
        )

    def issue(self, subject, public_key, extensions):
        builder = (
            x509.CertificateBuilder()
            .subject_name(subject).issuer_name(self.name)
            .public_key(public_key)
            .serial_number(x509.random_serial_number())
            .not_valid_before(_now() - datetime.timedelta(days=1))
            .not_valid_after(_now() + datetime.timedelta(days=730))
            .add_extension(x509.AuthorityKeyIdentifier.from_issuer_public_key(
                self.key.public_key()), critical=False)
        )
        for extension, critical in extensions:
            builder = builder.add_extension(extension, critical=critical)
        return builder.sign(self.key, hashes.SHA256())

    def issue_tls_server(self, host):
        key = new_key(2048)
        names = [x509.DNSName(host)]
        try:
            names.append(x509.IPAddress(ipaddress.ip_address(host)))
        except ValueError:
            pass
        certificate = self.issue(
            x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, host)]), key.public_key(), [
                (x509.SubjectAlternativeName(names), False),
                (x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), False),
                (x509.BasicConstraints(ca=False, path_length=None), True),
            ])
        return key, certificate

    def issue_signing(self, subject_attributes, key):
        subject = x509.Name([x509.NameAttribute(oid, value) for oid, value in subject_attributes])
        return self.issue(subject, key.public_key(), [
            (x509.KeyUsage(
                digital_signature=True, content_commitment=True, key_encipherment=False,
                data_encipherment=False, key_agreement=False, key_cert_sign=False,
                crl_sign=False, encipher_only=False, decipher_only=False), True),
            (x509.ExtendedKeyUsage([ExtendedKeyUsageOID.CLIENT_AUTH,
                                    ExtendedKeyUsageOID.EMAIL_PROTECTION]), False),
            (x509.BasicConstraints(ca=False, path_length=None), True),
        ])


def pem_certificate(certificate):
    return certificate.public_bytes(serialization.Encoding.PEM)


def der_certificate(certificate):
    return certificate.public_bytes(serialization.Encoding.DER)


def pem_private_key(key):
    return key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                             serialization.NoEncryption())
