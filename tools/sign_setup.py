#!/usr/bin/env python3
"""Signs the setup description for the vendor web server (needs the openssl command).

  sign_setup.py keygen KEY.pem            makes a P-256 key pair: the private key into
                                          KEY.pem (keep it secret), and prints the public
                                          key as the build setting VENDOR_SIGNING_KEY takes
  sign_setup.py pubkey KEY.pem            prints that public key again
  sign_setup.py hash PACKAGE              prints the package's SHA-256: the description's
                                          eighth line
  sign_setup.py sign KEY.pem DESCRIPTION --version V --days N [--package PACKAGE]
                                          writes lines 8 to 10 of DESCRIPTION (the hash of
                                          PACKAGE, or the hash line it has; the version V
                                          as MrvACAD.ver gives it; the last day it may be
                                          installed, N days from today, UTC) and then
                                          DESCRIPTION.sig beside it (publish both as
                                          /download/MrvACAD.setup and .setup.sig)
  sign_setup.py verify PUBLIC DESCRIPTION checks DESCRIPTION.sig against the public key

The signature covers the description's text with white space removed at both ends,
which is the text the setup program reads; it is ECDSA P-256 over SHA-256, written as
r and s, 128 hex digits on one line. A signing build refuses a description without
lines 9 and 10, one whose last day has passed and one older than the installed product:
sign again, with a new last day, before the old one runs out.
"""

import datetime
import hashlib
import os
import re
import subprocess
import sys
import tempfile

# DER of a P-256 SubjectPublicKeyInfo up to the uncompressed point.
SPKI_P256_PREFIX = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d030107034200")
# The white space that the setup program removes around a fetched text.
TEXT_SPACE = b" \t\r\n\x0b\x0c"


def openssl(*args, data=None):
    return subprocess.run(["openssl", *args], input=data, check=True,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE).stdout


def public_key_hex(private_pem):
    der = openssl("ec", "-in", private_pem, "-pubout", "-outform", "DER")
    if not der.startswith(SPKI_P256_PREFIX) or len(der) != len(SPKI_P256_PREFIX) + 65:
        raise SystemExit(f"{private_pem}: not a P-256 key")
    return der[len(SPKI_P256_PREFIX) + 1:].hex()


def keygen(private_pem):
    if os.path.exists(private_pem):
        raise SystemExit(f"{private_pem} exists; it is not replaced")
    pem = openssl("ecparam", "-name", "prime256v1", "-genkey", "-noout")
    fd = os.open(private_pem, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(fd, "wb") as f:
        f.write(pem)
    return public_key_hex(private_pem)


def der_integer(data, offset):
    if data[offset] != 0x02:
        raise ValueError("not a DER integer")
    length = data[offset + 1]
    value = data[offset + 2:offset + 2 + length]
    return int.from_bytes(value, "big"), offset + 2 + length


def der_to_raw(der):
    """An ECDSA-Sig-Value (SEQUENCE of r and s) as r||s, 32 bytes each."""
    if der[0] != 0x30:
        raise ValueError("not a DER sequence")
    r, offset = der_integer(der, 2)
    s, _ = der_integer(der, offset)
    return r.to_bytes(32, "big") + s.to_bytes(32, "big")


def der_length(n):
    return bytes([n]) if n < 0x80 else bytes([0x81, n])


def raw_to_der(raw):
    def integer(value):
        body = value.lstrip(b"\0") or b"\0"
        if body[0] & 0x80:
            body = b"\0" + body
        return b"\x02" + der_length(len(body)) + body
    content = integer(raw[:32]) + integer(raw[32:])
    return b"\x30" + der_length(len(content)) + content


def signed_text(description):
    return description.strip(TEXT_SPACE)


def sign_bytes(private_pem, data):
    """The signature line (128 hex digits) of `data` as the setup program reads it."""
    with tempfile.NamedTemporaryFile() as f:
        f.write(signed_text(data))
        f.flush()
        der = openssl("dgst", "-sha256", "-sign", private_pem, f.name)
    return der_to_raw(der).hex()


def verify_bytes(public_hex, data, signature_hex):
    point = bytes.fromhex(public_hex)
    raw = bytes.fromhex(signature_hex.strip())
    if len(point) != 64 or len(raw) != 64:
        return False
    with tempfile.TemporaryDirectory() as folder:
        paths = {name: os.path.join(folder, name) for name in ("key.der", "sig.der", "text")}
        with open(paths["key.der"], "wb") as f:
            f.write(SPKI_P256_PREFIX + b"\x04" + point)
        with open(paths["sig.der"], "wb") as f:
            f.write(raw_to_der(raw))
        with open(paths["text"], "wb") as f:
            f.write(signed_text(data))
        result = subprocess.run(["openssl", "dgst", "-sha256", "-keyform", "DER", "-verify",
                                 paths["key.der"], "-signature", paths["sig.der"], paths["text"]],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return result.returncode == 0


def file_hash(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


# The lines before the hash line, and the lines the signer writes after them.
LEADING_LINES = 7
VERSION_TEXT = re.compile(r"[0-9]{1,9}(\.[0-9]{1,9})*")
HASH_LINE = re.compile(rb"[0-9A-Fa-f]{64}")


def release_lines(description, hash_line, version, days, today=None):
    """The description with lines 8 to 10 written: hash, version, last day (UTC)."""
    if not VERSION_TEXT.fullmatch(version):
        raise SystemExit(f"--version {version!r}: not a version such as 2.2")
    if days < 0:
        raise SystemExit("--days must not be negative")
    lines = signed_text(description).split(b"\r\n")
    if len(lines) < LEADING_LINES:
        raise SystemExit(f"the description has {len(lines)} lines; the hash line follows line 7")
    if hash_line is None:
        if len(lines) <= LEADING_LINES or not HASH_LINE.fullmatch(lines[LEADING_LINES].strip()):
            raise SystemExit("the description has no hash line: give --package PACKAGE")
        hash_line = lines[LEADING_LINES].strip().decode()
    today = today or datetime.datetime.now(datetime.timezone.utc).date()
    last_day = (today + datetime.timedelta(days=days)).isoformat()
    lines = lines[:LEADING_LINES] + [hash_line.encode(), version.encode(), last_day.encode()]
    return b"\r\n".join(lines) + b"\r\n", last_day


def sign_release(private_pem, path, version, days, package=None):
    with open(path, "rb") as f:
        description = f.read()
    hash_line = file_hash(package) if package else None
    description, last_day = release_lines(description, hash_line, version, days)
    line = sign_bytes(private_pem, description)
    with open(path, "wb") as f:
        f.write(description)
    with open(path + ".sig", "w", newline="") as f:
        f.write(line + "\r\n")
    print(f"{path}: version {version}, last day {last_day} (UTC); {path}.sig written")


def sign_arguments(args):
    """KEY DESCRIPTION --version V --days N [--package PACKAGE], options in any place."""
    options = {"--version": None, "--days": None, "--package": None}
    positional = []
    rest = list(args)
    while rest:
        word = rest.pop(0)
        if word in options:
            if not rest:
                raise SystemExit(f"{word} needs a value")
            options[word] = rest.pop(0)
        else:
            positional.append(word)
    if len(positional) != 2 or options["--version"] is None or options["--days"] is None:
        raise SystemExit(__doc__)
    try:
        days = int(options["--days"])
    except ValueError:
        raise SystemExit(f"--days {options['--days']!r}: not a number of days")
    return positional[0], positional[1], options["--version"], days, options["--package"]


def main(argv):
    if len(argv) < 2 or argv[0] not in ("keygen", "pubkey", "hash", "sign", "verify"):
        raise SystemExit(__doc__)
    command, args = argv[0], argv[1:]
    if command == "keygen":
        print(keygen(args[0]))
    elif command == "pubkey":
        print(public_key_hex(args[0]))
    elif command == "hash":
        print(file_hash(args[0]))
    elif command == "sign":
        sign_release(*sign_arguments(args))
    elif command == "verify" and len(args) == 2:
        with open(args[1], "rb") as f:
            data = f.read()
        with open(args[1] + ".sig") as f:
            ok = verify_bytes(args[0], data, f.read())
        print("signature valid" if ok else "signature INVALID")
        return 0 if ok else 1
    else:
        raise SystemExit(__doc__)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
