"""What the double saw and what it was told to do wrong next."""
import itertools
import threading


class RequestJournal:
    """Every request to the service hosts: method, path, headers, body, host."""

    def __init__(self, limit=20000):
        self._lock = threading.Lock()
        self._records = []
        self._sequence = itertools.count(1)
        self._limit = limit

    def record(self, host, method, path, headers, body, subject=None):
        """subject: the credential a request without a bearer token is selected by (the code
        or refresh token of a token request)."""
        entry = {"seq": next(self._sequence), "host": host, "method": method, "path": path,
                 "headers": headers, "body": body.decode("utf-8", "replace")}
        if subject is not None:
            entry["subject"] = subject
        with self._lock:
            self._records.append(entry)
            del self._records[:-self._limit]
        return entry

    def select(self, token=None, since=0):
        with self._lock:
            records = list(self._records)
        return [r for r in records if r["seq"] > since and (
            token is None or r["headers"].get("Authorization") == "Bearer " + token
            or r.get("subject") == token)]

    def clear(self):
        with self._lock:
            self._records.clear()


class FaultQueue:
    """Faults for the next requests. A fault may be bound to one bearer token, so tests of
    concurrent runs sharing the double do not see each other's faults, and to one path."""

    KINDS = ("status", "delay", "reset", "empty", "redirect", "oversize", "drip",
             "short_signature")

    def __init__(self):
        self._lock = threading.Lock()
        self._faults = []

    def add(self, fault):
        if fault.get("kind") not in self.KINDS:
            raise ValueError("kind must be one of " + ", ".join(self.KINDS))
        fault = dict(fault)
        fault["count"] = int(fault.get("count", 1))
        with self._lock:
            self._faults.append(fault)

    def take(self, token, path):
        with self._lock:
            for fault in self._faults:
                if fault.get("token") in (None, token) and fault.get("path") in (None, path):
                    fault["count"] -= 1
                    if fault["count"] <= 0:
                        self._faults.remove(fault)
                    return fault
        return None

    def clear(self, token=None):
        with self._lock:
            self._faults = [f for f in self._faults
                            if token is not None and f.get("token") != token]
