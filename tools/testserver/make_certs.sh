#!/usr/bin/env bash
# Makes (once) the test certificates in DIR.
#   make_certs.sh DIR            the test CA and the HTTPS server's certificate for "localhost":
#                                ca.pem, ca.der (what Wine's Root store gets), server.pem
#                                (leaf + CA), server.key
#   make_certs.sh --signing DIR  a code-signing certificate for setup.exe's Authenticode
#                                signature: ca.pem (its CA, for `osslsigncode verify -CAfile`),
#                                signing.pem, signing.p12 (key, certificate and CA) and
#                                signing.pass (its password)
# Wine matches only a DNS name, never an IP address, so the server's leaf carries DNS:localhost
# alone.
set -euo pipefail
kind=server
if [ "${1:-}" = "--signing" ]; then
  kind=signing
  shift
fi
dir=${1:?usage: make_certs.sh [--signing] DIR}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
exec 9>"$dir/.lock"
flock 9
# Remade when missing or within a day of expiry.
made=(server.pem ca.der)
[ "$kind" = server ] || made=(signing.pem signing.p12 signing.pass)
fresh=1
for f in "${made[@]}" ca.pem; do [ -f "$dir/$f" ] || fresh=0; done
if [ $fresh = 1 ] && openssl x509 -in "$dir/${made[0]}" -noout -checkend 86400 >/dev/null 2>&1; then
  exit 0
fi
work=$(mktemp -d "$dir/.making.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# make_leaf CA_NAME SUBJECT EXTENSION_LINES...: ca.pem/ca.key and leaf.pem/leaf.key here.
make_leaf() {
  local ca_name=$1 subject=$2
  shift 2
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 \
    -subj "/CN=$ca_name" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -keyout leaf.key -out leaf.csr -subj "$subject" 2>/dev/null
  printf '%s\n' "basicConstraints=CA:FALSE" "$@" > leaf.ext
  openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 825 \
    -extfile leaf.ext -out leaf.pem 2>/dev/null
}

if [ "$kind" = server ]; then
  make_leaf "Plannix Test CA" "/CN=localhost" "subjectAltName=DNS:localhost" \
    "keyUsage=critical,digitalSignature,keyEncipherment" "extendedKeyUsage=serverAuth"
  cat leaf.pem ca.pem > server.pem
  mv leaf.key server.key
  openssl x509 -in ca.pem -outform DER -out ca.der
  mv ca.pem ca.der server.key "$dir/"
  mv server.pem "$dir/server.pem"
else
  make_leaf "Plannix Test Code Signing CA" "/CN=Plannix Test Publisher/O=Kvartalis Test" \
    "keyUsage=critical,digitalSignature" "extendedKeyUsage=codeSigning"
  mv leaf.pem signing.pem
  openssl rand -hex 16 > signing.pass
  openssl pkcs12 -export -inkey leaf.key -in signing.pem -certfile ca.pem \
    -name "Plannix Test Publisher" -passout file:signing.pass -out signing.p12
  mv ca.pem signing.pem signing.pass "$dir/"
  mv signing.p12 "$dir/signing.p12"
fi
