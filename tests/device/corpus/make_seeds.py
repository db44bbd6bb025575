#!/usr/bin/env python3
"""Writes the seed inputs of the HTTP response reader's and the datagram
codec's fuzzers into http/ and datagram/ beside this script.

An HTTP seed is one byte saying how the fuzzer cuts the rest into reads
(0: a byte at a time, n: reads of 1 to n bytes), then what a camera sends on
one connection. A datagram seed is the datagram itself. Inputs the fuzzers
found are kept in the same folders under their own names."""
import json
import os

HERE = os.path.dirname(os.path.abspath(__file__))
MAC = "0.12.34.255.1.2"
NONCE = "0123456789abcdef"
CHALLENGE = "0123456789abcdef0123456789ABCDEF"
PROOF = "ab" * 32


def answer(status, body=b"", headers=b"", length=True):
    head = b"HTTP/1.1 " + status + b"\r\nX-Sentrova-MAC: " + MAC.encode() + b"\r\n"
    if length:
        head += b"Content-Length: " + str(len(body)).encode() + b"\r\n"
    return head + headers + b"\r\n" + body


def chunked(status, pieces, trailer=b"", ext=b""):
    body = b"".join(b"%x" % len(p) + ext + b"\r\n" + p + b"\r\n" for p in pieces)
    return answer(status, body + b"0\r\n" + trailer + b"\r\n", b"Transfer-Encoding: chunked\r\n", length=False)


CHALLENGE_MD5 = (b'WWW-Authenticate: Digest realm="sentrova-camera", qop="auth", nonce="n0nce", '
                 b'opaque="op", algorithm=MD5\r\n')
CHALLENGE_SHA = CHALLENGE_MD5.replace(b"MD5", b"SHA-256")
HELLO = b'{"mac":"0.12.34.255.1.2","family":2}'

HTTP = {
    # Every answer of the setup API.
    "hello-200": (7, answer(b"200 OK", HELLO, b"Content-Type: application/json\r\n")),
    "hello-family0": (3, answer(b"200 OK", b'{"mac":"0.12.34.255.1.2","family":0}')),
    "settings-number": (1, answer(b"200 OK", b'{"key":"WlanChannel","value":6}')),
    "settings-text": (9, answer(b"200 OK", '{"key":"WlanESSID","value":"caf\u00e9"}'.encode())),
    "settings-404": (2, answer(b"404 Not Found", b'{"error":"unknown key"}')),
    "apply-200": (5, answer(b"200 OK", b'{"result":1}')),
    "apply-422": (4, answer(b"422 Unprocessable Entity", b'{"error":"WlanChannel: 1-14"}')),
    "restart-200": (0, answer(b"200 OK")),
    "login-401-md5": (6, answer(b"401 Unauthorized", b"{}", CHALLENGE_MD5)),
    "login-401-both": (11, answer(b"401 Unauthorized", b"{}", CHALLENGE_MD5 + CHALLENGE_SHA)),
    "login-401-odd-challenge": (3, answer(b"401 Unauthorized", b"{}",
                                          b'WWW-Authenticate: Digest realm="a\\"b", nonce=, algorithm="sha-256",,\r\n'
                                          b"WWW-Authenticate: Basic realm=x\r\n")),
    "redirect-302": (8, answer(b"302 Found", b"", b"Location: http://192.0.2.77/\r\n")),
    # Chunked, in every shape the framing allows.
    "chunked-hello": (0, chunked(b"200 OK", [b'{"mac":"0.', b'12.34.255.1.2","family":2}'])),
    "chunked-one": (13, chunked(b"200 OK", [b'{"result":1}'])),
    # A read can end in "0\r\n\r\n" (size 10, data from CRLF) long before the end.
    "chunked-crlf-data": (0, chunked(b"200 OK", [b'\r\n{"a":"bcdefg"}', b"\r\n"])),
    "chunked-crlf-data-cut": (2, chunked(b"200 OK", [b"\r\n" + b"y" * 30, b"\r\n{}"])),
    "chunked-upper-hex": (5, chunked(b"200 OK", [b"x" * 26]).replace(b"1a\r\n", b"1A\r\n")),
    "chunked-extension": (3, chunked(b"200 OK", [b"abc", b"de"], ext=b" ; name=value")),
    "chunked-trailer": (4, chunked(b"200 OK", [b"{}"], trailer=b"X-Check: 1\r\nX-Other: 2\r\n")),
    "chunked-empty": (1, chunked(b"200 OK", [])),
    "chunked-with-length": (6, chunked(b"200 OK", [b"{}"]).replace(b"Transfer", b"Content-Length: 99\r\nTransfer")),
    "chunked-leading-zeros": (7, chunked(b"200 OK", [b"ab"]).replace(b"\r\n2\r\n", b"\r\n0002\r\n")),
    "chunked-many": (0, chunked(b"200 OK", [bytes([65 + i % 26]) for i in range(300)])),
    "to-close": (9, b"HTTP/1.0 200 OK\r\nX-Sentrova-MAC: " + MAC.encode() + b"\r\n\r\n{\"a\":1}"),
    "lf-only-header-lines": (2, b"HTTP/1.1 200 OK\nX-Sentrova-MAC: " + MAC.encode() + b"\nContent-Length: 2\r\n\r\n{}"),
    "bytes-after-body": (10, answer(b"200 OK", b"{}") + b"HTTP/1.1 500 Later\r\n\r\n" + b"z" * 200),
    "same-length-twice": (3, answer(b"200 OK", b"{}", b"Content-Length: 2\r\n")),
    # Broken framings and answers.
    "bad-chunk-size": (2, chunked(b"200 OK", [b"abc"]).replace(b"\r\n3\r\n", b"\r\nzz\r\n")),
    "bad-chunk-0x": (4, chunked(b"200 OK", [b"abc"]).replace(b"\r\n3\r\n", b"\r\n0x3\r\n")),
    "bad-chunk-negative": (1, chunked(b"200 OK", [b"abc"]).replace(b"\r\n3\r\n", b"\r\n-3\r\n")),
    "bad-chunk-no-crlf": (3, chunked(b"200 OK", [b"abc"]).replace(b"abc\r\n", b"abcXY")),
    "bad-chunk-short": (5, chunked(b"200 OK", [b"abc"])[:-9]),
    "bad-chunk-huge": (6, chunked(b"200 OK", [b"abc"]).replace(b"\r\n3\r\n", b"\r\nffffffffffffffffffff\r\n")),
    "bad-chunk-empty-size": (2, chunked(b"200 OK", [b"abc"]).replace(b"\r\n3\r\n", b"\r\n\r\n")),
    "bad-trailer": (7, chunked(b"200 OK", [b"{}"], trailer=b"no colon here\r\n")),
    "bad-chunk-endless-line": (200, answer(b"200 OK", b"1" * 17000, b"Transfer-Encoding: chunked\r\n", length=False)),
    "bad-lengths-differ": (3, answer(b"200 OK", b"{}", b"Content-Length: 3\r\n")),
    "bad-length-negative": (1, b"HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n"),
    "bad-length-over-cap": (2, b"HTTP/1.1 200 OK\r\nContent-Length: 65537\r\n\r\n" + b"x" * 10),
    "bad-short-body": (4, b"HTTP/1.1 200 OK\r\nX-Sentrova-MAC: " + MAC.encode() + b"\r\nContent-Length: 10\r\n\r\nabc"),
    "bad-body-over-cap": (255, b"HTTP/1.1 200 OK\r\n\r\n" + b"x" * 65537),
    "bad-header-over-cap": (255, b"HTTP/1.1 200 OK\r\nX-Junk: " + b"j" * 16400 + b"\r\n\r\n"),
    "bad-not-http": (8, b"SSH-2.0-OpenSSH\r\n\r\n"),
    "bad-status-999": (1, answer(b"999 Odd")),
    "bad-status-missing": (2, b"HTTP/1.1\r\n\r\n"),
    "bad-header-no-colon": (3, b"HTTP/1.1 200 OK\r\nno colon\r\n\r\n"),
    "bad-empty": (0, b""),
    "bad-closed-in-header": (5, b"HTTP/1.1 200 OK\r\nX-Sentrova"),
}


def datagram(op, **fields):
    return json.dumps({"v": 1, "op": op, **fields}, separators=(",", ":"), ensure_ascii=False).encode()


HERE_FIELDS = dict(nonce=NONCE, mac=MAC, address="127.0.1.5", mask="255.255.255.0", gateway="127.0.1.1",
                   mode="X-350", caption="Front door", version="2.10.001", family=2, port=80)
CHANGE = dict(nonce=NONCE, mac=MAC, id="admin", challenge=CHALLENGE, address="192.168.0.20", mask="255.255.255.0",
              gateway="", proof=PROOF)

DATAGRAM = {
    # Every request and reply of the protocol.
    "probe": datagram("probe", nonce=NONCE),
    "here": datagram("here", **HERE_FIELDS),
    "here-family0": datagram("here", **{**HERE_FIELDS, "family": 0, "port": 8481, "gateway": ""}),
    "here-unicode": datagram("here", **{**HERE_FIELDS, "caption": "Caf\u00e9 \U0001F4F7 \"porch\"\\"}),
    "here-escaped": datagram("here", **HERE_FIELDS).replace(b"Front door", b"Front\\u0020door\\n\\t"),
    "here-lone-surrogate": datagram("here", **HERE_FIELDS).replace(b"Front door", b"\\ud800x\\udc00"),
    "here-nul": datagram("here", **HERE_FIELDS).replace(b"Front door", b"a\\u0000b"),
    "here-bad-utf8": datagram("here", **HERE_FIELDS).replace(b"Front door", b"\xff\xfe\xc3"),
    "here-extra-field": datagram("here", **HERE_FIELDS, extra=[1, {"x": None}]),
    "here-float-port": datagram("here", **HERE_FIELDS).replace(b'"port":80', b'"port":80.0'),
    "challenge-request": datagram("challenge", nonce=NONCE, mac=MAC),
    "challenge-reply": datagram("challenge", nonce=NONCE, mac=MAC, challenge=CHALLENGE, state=2),
    "login-request": datagram("login", nonce=NONCE, mac=MAC, id="admin", challenge=CHALLENGE, proof=PROOF),
    "login-reply": datagram("login", nonce=NONCE, mac=MAC, state=3),
    "who-has-request": datagram("who-has", nonce=NONCE, address="127.0.1.5"),
    "who-has-reply": datagram("who-has", nonce=NONCE, mac=MAC, address="127.0.1.5"),
    "change-address-request": datagram("change-address", **CHANGE),
    "change-address-reply": datagram("change-address", nonce=NONCE, mac=MAC, result=0, error="address in use"),
    "change-address-reply-ok": datagram("change-address", nonce=NONCE, mac=MAC, result=1),
    "change-address-reply-empty-error": datagram("change-address", nonce=NONCE, mac=MAC, result=1, error=""),
    "apply-request": datagram("apply", nonce=NONCE, mac=MAC, id="admin", challenge=CHALLENGE, proof=PROOF),
    "apply-reply": datagram("apply", nonce=NONCE, mac=MAC, result=1),
    # Dropped ones.
    "bad-not-json": b"{\"v\":1,\"op\":",
    "bad-not-object": b"[1,2,3]",
    "bad-no-v": datagram("probe", nonce=NONCE).replace(b'"v":1,', b""),
    "bad-v2": datagram("probe", nonce=NONCE).replace(b'"v":1', b'"v":2'),
    "bad-op-number": datagram("probe", nonce=NONCE).replace(b'"probe"', b"7"),
    "bad-unknown-op": datagram("reboot", nonce=NONCE),
    "bad-nonce-short": datagram("probe", nonce="0123"),
    "bad-mac-leading-zero": datagram("who-has", nonce=NONCE, mac="0.12.034.255.1.2", address="127.0.1.5"),
    "bad-address-blank": datagram("who-has", nonce=NONCE, address="127.0.1.5 "),
    "bad-family-1": datagram("here", **{**HERE_FIELDS, "family": 1}),
    "bad-port-0": datagram("here", **{**HERE_FIELDS, "port": 0}),
    "bad-port-fraction": datagram("here", **HERE_FIELDS).replace(b'"port":80', b'"port":80.5'),
    "bad-port-huge": datagram("here", **HERE_FIELDS).replace(b'"port":80', b'"port":1e300'),
    "bad-state-text": datagram("login", nonce=NONCE, mac=MAC, state="3"),
    "bad-caption-long": datagram("here", **{**HERE_FIELDS, "caption": "c" * 65}),
    "bad-error-long": datagram("apply", nonce=NONCE, mac=MAC, result=0, error="e" * 257),
    "bad-proof-short": datagram("apply", nonce=NONCE, mac=MAC, id="admin", challenge=CHALLENGE, proof="ab"),
    "bad-oversize": datagram("here", **HERE_FIELDS, pad="p" * 1400),
    "bad-empty": b"",
}


def write(folder, name, data):
    os.makedirs(os.path.join(HERE, folder), exist_ok=True)
    with open(os.path.join(HERE, folder, name), "wb") as f:
        f.write(data)


for name, (cut, data) in HTTP.items():
    write("http", name, bytes([cut]) + data)
for name, data in DATAGRAM.items():
    write("datagram", name, data)
