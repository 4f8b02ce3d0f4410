#!/usr/bin/env bash
# Makes (once) the test CA and the server certificate for "localhost" in DIR:
#   ca.pem, ca.der (what Wine's Root store gets), server.pem (leaf + CA), server.key.
# Wine matches only a DNS name, never an IP address, so the leaf carries DNS:localhost alone.
#   make_certs.sh DIR
set -euo pipefail
dir=${1:?usage: make_certs.sh DIR}
mkdir -p "$dir"
exec 9>"$dir/.lock"
flock 9
# Remade when missing or within a day of expiry.
if [ -f "$dir/server.pem" ] && [ -f "$dir/ca.der" ] &&
  openssl x509 -in "$dir/server.pem" -noout -checkend 86400 >/dev/null 2>&1; then
  exit 0
fi
work=$(mktemp -d "$dir/.making.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 \
  -subj "/CN=Plannix Test CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=localhost" \
  2>/dev/null
printf '%s\n' "subjectAltName=DNS:localhost" "basicConstraints=CA:FALSE" \
  "keyUsage=critical,digitalSignature,keyEncipherment" "extendedKeyUsage=serverAuth" > leaf.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 825 \
  -extfile leaf.ext -out leaf.pem 2>/dev/null
cat leaf.pem ca.pem > server.pem
openssl x509 -in ca.pem -outform DER -out ca.der
mv ca.pem ca.der server.key "$dir/"
mv server.pem "$dir/server.pem"
