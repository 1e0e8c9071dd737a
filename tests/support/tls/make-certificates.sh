#!/usr/bin/env bash
# Makes the test certificates once; the PEM files are kept in the tree.
# ECDSA P-256 keys, valid for a century (the expired one for a year in 2001).
#   ca.pem                     test certificate authority (its key is thrown away)
#   localhost.pem / .key       for "localhost" (the Wine cases: Wine checks no IP names)
#   loopback-ip.pem / .key     for the address 127.0.0.1
#   wrong-name.pem / .key      for "wrong.invalid", signed by the test CA
#   expired.pem / .key         for localhost and 127.0.0.1, expired in 2001
#   self-signed.pem / .key     for localhost and 127.0.0.1, signed by itself
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key"; }

key "$work/ca"
openssl req -x509 -new -key "$work/ca.key" -out ca.pem -days 36500 -subj "/CN=Kestrane Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"

# issue <name> <subject alt names> [extra openssl ca options]
issue() {
  local name=$1 san=$2
  shift 2
  key "$name"
  openssl req -new -key "$name.key" -out "$work/$name.csr" -subj "/CN=$name"
  cat >"$work/ca.cnf" <<CNF
[ca]
default_ca = test
[test]
database = $work/index
new_certs_dir = $work
serial = $work/serial
default_md = sha256
policy = any
copy_extensions = none
x509_extensions = server
[any]
commonName = supplied
[server]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = $san
CNF
  : >"$work/index"
  openssl rand -hex 8 >"$work/serial"
  openssl ca -batch -config "$work/ca.cnf" -cert ca.pem -keyfile "$work/ca.key" -in "$work/$name.csr" \
    -out "$name.pem" -notext "$@" 2>/dev/null
}

issue localhost "DNS:localhost" -days 36500
issue loopback-ip "IP:127.0.0.1" -days 36500
issue wrong-name "DNS:wrong.invalid" -days 36500
issue expired "DNS:localhost,IP:127.0.0.1" -startdate 20000101000000Z -enddate 20010101000000Z

key self-signed
openssl req -x509 -new -key self-signed.key -out self-signed.pem -days 36500 -subj "/CN=self-signed" \
  -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" -addext "basicConstraints=critical,CA:FALSE"
