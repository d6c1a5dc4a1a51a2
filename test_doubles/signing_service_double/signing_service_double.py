#!/usr/bin/env python3
"""Service double of the remote signing service for tests: the REST API over TLS on the four
deployment hosts, plus a plain-HTTP control API on loopback for the tests (accounts, test CA,
recorded requests, fault injection, signature verification).

    signing_service_double.py --state-dir DIR --control 127.0.0.40:8090 \
        --host citizen-development=127.0.0.41:8082 --host ...
"""
import argparse
import base64
import json
import logging
import os
import socket
import ssl
import struct
import sys
import threading
import time

from flask import Flask, Response, g, jsonify, request
from werkzeug.serving import WSGIRequestHandler, make_server

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from accounts import AccountStore  # noqa: E402
from authorization_endpoints import AuthorizationHost, install_oauth_control_routes  # noqa: E402
from authorization_server import TOKEN_PATH, form_subject  # noqa: E402
from oauth_state import OAuthServerState  # noqa: E402
from request_journal import FaultQueue, RequestJournal  # noqa: E402
import hostile_answers  # noqa: E402
import signing_operations as ops  # noqa: E402
from test_pki import TestAuthority, der_certificate, pem_certificate, pem_private_key  # noqa: E402

USERS_ME = "/trustedx-resources/openid/v1/users/me"
IDENTITY_PREFIX = "/trustedx-resources/esigp/v1/sign_identities/"
RAW_SIGNATURE = "/trustedx-resources/esigp/v1/signatures/server/raw"


class NoDelayHandler(WSGIRequestHandler):
    """Answers without Nagle's delay (~40 ms per request otherwise) and quietly."""

    def setup(self):
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        super().setup()

    def log_request(self, *args, **kwargs):
        pass


def reset_connection():
    """Drops the client's connection with a TCP reset instead of an answer."""
    connection = request.environ.get("werkzeug.socket")
    if connection is not None:
        connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        # Putting /dev/null in the socket's descriptor slot drops the last reference to the
        # socket (a reset, given the zero linger) while the descriptor number stays valid for
        # the server's own clean-up, so no other connection can be hit by it.
        null = os.open(os.devnull, os.O_RDWR)
        os.dup2(null, connection.fileno())
        os.close(null)


def bearer_token():
    header = request.headers.get("Authorization", "")
    return header[len("Bearer "):] if header.startswith("Bearer ") else None


def error(status, message):
    return jsonify({"error": message}), status


class ServiceDouble:
    def __init__(self):
        self.authority = TestAuthority()
        self.store = AccountStore(self.authority)
        self.journal = RequestJournal()
        self.faults = FaultQueue()
        self.authorization = OAuthServerState(self.store)

    # ---- the REST API -------------------------------------------------------------------
    def service_app(self, host_label):
        app = Flask("service-" + host_label)

        @app.before_request
        def record_and_inject():
            # Token requests carry no bearer token: their code or refresh token stands in for
            # it, so tests can select their recorded requests and bind faults to them.
            subject = form_subject(request.get_data()) if request.path == TOKEN_PATH else None
            self.journal.record(host_label, request.method, request.full_path.rstrip("?"),
                                dict(request.headers), request.get_data(), subject)
            fault = self.faults.take(subject if subject is not None else bearer_token(),
                                     request.path)
            if fault is None:
                return None
            kind = fault["kind"]
            if kind == "short_signature":
                g.short_signature = True
                return None
            if kind == "delay":
                time.sleep(float(fault.get("seconds", 35)))
                return None
            if kind == "reset":
                reset_connection()
                return Response(b"", status=500)
            if kind == "empty":
                return Response(b"", status=200, content_type="application/octet-stream")
            if kind == "redirect":
                return hostile_answers.redirect(fault, self.listener, request.path)
            if kind == "oversize":
                return hostile_answers.oversize(fault)
            if kind == "drip":
                return hostile_answers.drip(fault)
            return Response(fault.get("body", "injected failure").encode(),
                            status=int(fault.get("status", 500)), content_type="text/plain")

        def account_or_401():
            """(account, None), or (None, the 401 answer): an unknown or missing token gets the
            plain error, an expired or revoked one the bearer-token error of RFC 6750."""
            account, refusal = self.store.bearer_check(bearer_token())
            if account is not None:
                return account, None
            if refusal is None:
                return None, error(401, "invalid or missing bearer token")
            answer = jsonify({"error": "invalid_token", "error_description": refusal})
            answer.status_code = 401
            answer.headers["WWW-Authenticate"] = (
                f'Bearer error="invalid_token", error_description="{refusal}"')
            return None, answer

        def identity_for(account, identity_id):
            identity = self.store.identities.get(identity_id)
            if identity is None:
                return None, error(404, "unknown sign identity: " + identity_id)
            if identity.account != account["account"]:
                return None, error(403, "sign identity belongs to another account")
            return identity, None

        @app.get(USERS_ME)
        def users_me():
            account, refusal = account_or_401()
            if refusal is not None:
                return refusal
            base = request.host_url.rstrip("/")
            return jsonify({
                "name": account["name"], "dni": account["dni"], "cif": account["cif"],
                "organization": account["organization"],
                "sign_identities": [
                    {"id": i.id, "self": base + IDENTITY_PREFIX + i.id, "labels": i.labels,
                     "status": i.status}
                    for i in self.store.identities_of(account["account"])],
            })

        @app.get(IDENTITY_PREFIX + "<identity_id>")
        def identity_details(identity_id):
            account, refusal = account_or_401()
            if refusal is not None:
                return refusal
            identity, failure = identity_for(account, identity_id)
            if failure:
                return failure
            return jsonify({"id": identity.id, "status": identity.status,
                            "labels": identity.labels,
                            "details": {"certificate": identity.certificate_base64}})

        @app.post(RAW_SIGNATURE)
        def raw_signature():
            account, refusal = account_or_401()
            if refusal is not None:
                return refusal
            try:
                body = json.loads(request.get_data())
                if not isinstance(body, dict):
                    raise ops.BadRequest("body must be a JSON object")
                identity_id = body.get("sign_identity_id")
                if not isinstance(identity_id, str) or not identity_id:
                    raise ops.BadRequest("sign_identity_id is required")
                hash_name, pss = ops.parse_algorithm(body.get("signature_algorithm"))
                digest = ops.requested_digest(body, hash_name)
            except (ValueError, ops.BadRequest) as problem:
                return error(400, str(problem))
            identity, failure = identity_for(account, identity_id)
            if failure:
                return failure
            if identity.status != "enabled":
                return error(403, "sign identity is not enabled")
            if g.get("short_signature"):
                if not pss:
                    return error(400, "short_signature needs a PSS request")
                signature = ops.short_signature(identity.key, digest, hash_name)
            else:
                signature = ops.sign(identity.key, digest, hash_name, pss)
            return Response(signature, status=200, content_type="application/octet-stream")

        AuthorizationHost(app, host_label, self.authorization)

        return app

    # ---- the control API for tests ------------------------------------------------------
    def control_app(self, hosts):
        app = Flask("control")

        @app.get("/health")
        def health():
            return jsonify({"ok": True, "pid": os.getpid(), "hosts": hosts})

        @app.get("/ca")
        def ca():
            return jsonify({
                "certificate": base64.b64encode(der_certificate(self.authority.certificate)).decode(),
                "pem": pem_certificate(self.authority.certificate).decode()})

        @app.get("/accounts")
        def accounts():
            return jsonify(self.store.describe())

        @app.post("/tokens")
        def new_token():
            body = request.get_json(force=True) or {}
            try:
                lifetime = None if body.get("lifetime") is None else float(body["lifetime"])
                length = None if body.get("length") is None else int(body["length"])
            except (TypeError, ValueError):
                return error(400, "lifetime and length must be numbers")
            token = self.store.issue_token(body.get("account"), lifetime, length)
            return (jsonify({"token": token}), 200) if token else error(404, "unknown account")

        @app.post("/tokens/revoke")
        def revoke_token():
            revoked = self.store.revoke_token((request.get_json(force=True) or {}).get("token"))
            return jsonify({"revoked": revoked})

        install_oauth_control_routes(app, self.authorization)

        @app.get("/listener")
        def listener():
            return jsonify(self.listener.describe())

        @app.post("/faults")
        def add_fault():
            try:
                self.faults.add(request.get_json(force=True))
            except (ValueError, TypeError, AttributeError) as problem:
                return error(400, str(problem))
            return jsonify({"queued": True})

        @app.delete("/faults")
        def clear_faults():
            self.faults.clear(request.args.get("token"))
            return jsonify({"cleared": True})

        @app.get("/requests")
        def requests_seen():
            return jsonify(self.journal.select(request.args.get("token"),
                                               int(request.args.get("since", 0))))

        @app.delete("/requests")
        def clear_requests():
            self.journal.clear()
            return jsonify({"cleared": True})

        @app.post("/verify")
        def verify():
            body = request.get_json(force=True)
            identity = self.store.identities.get(body.get("identity"))
            if identity is None:
                return error(404, "unknown sign identity")
            try:
                hash_name, pss = ops.parse_algorithm(body.get("algorithm"))
                digest = base64.b64decode(body["digest"], validate=True)
                signature = base64.b64decode(body["signature"], validate=True)
            except (KeyError, ValueError, ops.BadRequest) as problem:
                return error(400, str(problem))
            valid = ops.verify(identity.key.public_key(), signature, digest, hash_name, pss)
            return jsonify({"valid": valid})

        return app


def tls_context(authority, host, state_dir, label):
    key, certificate = authority.issue_tls_server(host)
    cert_path = os.path.join(state_dir, label + ".crt")
    key_path = os.path.join(state_dir, label + ".key")
    with open(cert_path, "wb") as f:
        f.write(pem_certificate(certificate) + pem_certificate(authority.certificate))
    with open(key_path, "wb") as f:
        f.write(pem_private_key(key))
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert_path, key_path)
    return context


def split_address(text):
    host, _, port = text.rpartition(":")
    return host, int(port)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--state-dir", required=True)
    parser.add_argument("--control", default="127.0.0.40:8090")
    parser.add_argument("--host", action="append", default=[],
                        help="label=address:port of one service host")
    args = parser.parse_args()
    logging.getLogger("werkzeug").setLevel(logging.ERROR)
    os.makedirs(args.state_dir, exist_ok=True)

    double = ServiceDouble()
    double.listener = hostile_answers.RecordingListener(split_address(args.control)[0])
    with open(os.path.join(args.state_dir, "test-ca.pem"), "wb") as f:
        f.write(pem_certificate(double.authority.certificate))
    with open(os.path.join(args.state_dir, "accounts.json"), "w") as f:
        json.dump(double.store.describe(), f, indent=2)

    servers, hosts = [], {}
    for entry in args.host:
        label, _, address = entry.partition("=")
        host, port = split_address(address)
        hosts[label] = address
        context = tls_context(double.authority, host, args.state_dir, label)
        servers.append(make_server(host, port, double.service_app(label), threaded=True,
                                   request_handler=NoDelayHandler, ssl_context=context))
    control_host, control_port = split_address(args.control)
    servers.append(make_server(control_host, control_port, double.control_app(hosts),
                               threaded=True, request_handler=NoDelayHandler))

    threads = [threading.Thread(target=s.serve_forever, daemon=True) for s in servers]
    for thread in threads:
        thread.start()
    print("service double ready: " + ", ".join(f"{k}={v}" for k, v in hosts.items())
          + f", control=http://{args.control}", flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass
    finally:
        for server in servers:
            server.shutdown()


if __name__ == "__main__":
    main()
