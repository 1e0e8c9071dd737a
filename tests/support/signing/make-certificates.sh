#!/usr/bin/env bash
# Makes the throwaway code-signing certificates of the release archive's
# test once; the files are kept in the tree. RSA 2048 (what Authenticode
# verifiers everywhere accept), valid for a century.
#   ca.pem                      test certificate authority (its key is thrown away)
#   signer.pem / signer.key     code-signing certificate issued by it, and its PEM key
#   signer.p12                  the same certificate and key as PKCS#12,
#                               with the password in signer.p12.password
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$work/ca.key"
openssl req -x509 -new -key "$work/ca.key" -out ca.pem -days 36500 -subj "/CN=Kestrane Test Code Signing CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out signer.key
openssl req -new -key signer.key -out "$work/signer.csr" -subj "/CN=Kestrane Test Signer"
cat >"$work/signer.ext" <<EXT
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
EXT
openssl x509 -req -in "$work/signer.csr" -CA ca.pem -CAkey "$work/ca.key" -set_serial "0x$(openssl rand -hex 8)" \
  -days 36500 -sha256 -extfile "$work/signer.ext" -out signer.pem

echo "throwaway test password" >signer.p12.password
openssl pkcs12 -export -in signer.pem -inkey signer.key -certfile ca.pem -name "Kestrane Test Signer" \
  -passout file:signer.p12.password -out signer.p12
