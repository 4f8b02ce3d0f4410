"""The Authenticode signature that the build puts on setup.exe with a test code-signing
certificate: osslsigncode verifies it against that certificate's CA and no other, and a changed
byte breaks it, so a good signature on the built file shows that no step (the load
configuration, the strip) changed the image after it. The Wine tests and scenario.dll_planting
run this same signed file."""
import os
import re
import subprocess
import tempfile
import unittest
from pathlib import Path

SETUP_EXE = Path(os.environ.get('PLANNIX_SETUP_EXE', ''))
SIGN_CA = os.environ.get('PLANNIX_SIGN_CA', '')


def verify(image, ca):
    result = subprocess.run(['osslsigncode', 'verify', '-CAfile', str(ca), '-in', str(image)],
                            capture_output=True, text=True, timeout=60)
    return result.returncode, result.stdout + result.stderr


class AuthenticodeSignature(unittest.TestCase):
    def test_the_built_setup_verifies_against_the_test_ca_only_and_covers_every_byte(self):
        code, report = verify(SETUP_EXE, SIGN_CA)
        self.assertEqual(code, 0, report)
        self.assertIn('Signature verification: ok', report)
        self.assertRegex(report, r'Subject: /CN=Plannix Test Publisher')
        self.assertIn('Text description: Plannix Setup', report)
        current = re.search(r'Current message digest\s*:\s*(\w+)', report).group(1)
        calculated = re.search(r'Calculated message digest\s*:\s*(\w+)', report).group(1)
        self.assertEqual(current, calculated)

        with tempfile.TemporaryDirectory() as work:
            other = Path(work) / 'other-ca.pem'
            subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout',
                            str(Path(work) / 'other.key'), '-out', str(other), '-days', '2',
                            '-subj', '/CN=Another CA'], check=True, capture_output=True)
            code, report = verify(SETUP_EXE, other)
            self.assertNotEqual(code, 0, 'a CA that did not issue the certificate was accepted')

            # One byte in the middle of the image, as a step run after signing would change.
            changed = bytearray(SETUP_EXE.read_bytes())
            changed[len(changed) // 2] ^= 0x01
            copy = Path(work) / 'setup.exe'
            copy.write_bytes(bytes(changed))
            code, report = verify(copy, SIGN_CA)
            self.assertNotEqual(code, 0, 'a changed image still verified')
            self.assertNotIn('Signature verification: ok', report)


if __name__ == '__main__':
    unittest.main()
