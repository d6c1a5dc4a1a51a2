"""Raw RSA signatures as the remote service computes them: PKCS#1 v1.5 for "rsa-sha*",
PSS with MGF1 and a salt as long as the hash for "rsa-pss-mgf1-*"."""
import base64
import binascii

from cryptography.exceptions import InvalidSignature
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import padding, utils

HASHES = {"sha256": hashes.SHA256, "sha384": hashes.SHA384, "sha512": hashes.SHA512}
DIGESTINFO_PREFIXES = {
    "sha256": bytes.fromhex("3031300d060960864801650304020105000420"),
    "sha384": bytes.fromhex("3041300d060960864801650304020205000430"),
    "sha512": bytes.fromhex("3051300d060960864801650304020305000440"),
}


class BadRequest(Exception):
    pass


def parse_algorithm(name):
    """(hash name, pss?) for a service algorithm name."""
    if not isinstance(name, str):
        raise BadRequest("signature_algorithm must be a string")
    for prefix, pss in (("rsa-pss-mgf1-", True), ("rsa-", False)):
        if name.startswith(prefix) and name[len(prefix):] in HASHES:
            return name[len(prefix):], pss
    raise BadRequest("unsupported signature_algorithm: " + name)


def _decode(text, member):
    if not isinstance(text, str) or not text:
        raise BadRequest(member + " must be a non-empty Base64 string")
    try:
        return base64.b64decode(text, validate=True)
    except (binascii.Error, ValueError):
        raise BadRequest(member + " is not valid Base64")


def requested_digest(body, hash_name):
    """The raw hash to sign, from "digest_value" or from a DigestInfo in "data"."""
    size = HASHES[hash_name].digest_size
    if "data" in body:
        info = _decode(body["data"], "data")
        prefix = DIGESTINFO_PREFIXES[hash_name]
        if len(info) != len(prefix) + size or not info.startswith(prefix):
            raise BadRequest("data is not a DigestInfo for " + hash_name)
        return info[len(prefix):]
    digest = _decode(body.get("digest_value"), "digest_value")
    if len(digest) != size:
        raise BadRequest(f"digest_value has {len(digest)} bytes, {hash_name} needs {size}")
    return digest


def _padding(hash_name, pss):
    algorithm = HASHES[hash_name]()
    if pss:
        return padding.PSS(mgf=padding.MGF1(algorithm), salt_length=algorithm.digest_size)
    return padding.PKCS1v15()


def sign(private_key, digest, hash_name, pss):
    return private_key.sign(digest, _padding(hash_name, pss),
                            utils.Prehashed(HASHES[hash_name]()))


def short_signature(private_key, digest, hash_name):
    """A PSS signature whose first byte is zero, sent without it as a service sending the
    signature as a number would: PSS signatures differ each time, about 1 in 256 starts so."""
    while True:
        signature = sign(private_key, digest, hash_name, True)
        if signature[0] == 0:
            return signature.lstrip(b"\0")


def verify(public_key, signature, digest, hash_name, pss):
    try:
        public_key.verify(signature, digest, _padding(hash_name, pss),
                          utils.Prehashed(HASHES[hash_name]()))
        return True
    except InvalidSignature:
        return False
