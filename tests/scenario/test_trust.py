"""The real setup.exe built with a next key (PLANNIX_NEXT_KEY_DIR) under Wine, against signed
manifests served on localhost."""
import json
import os
import subprocess
import sys
import unittest

from harness import ROOT, _env_path
from served import KEY_DIR
from test_update import Scenario

sys.path.insert(0, str(ROOT / 'tests' / 'windows'))
from fixture_kit import signature  # noqa: E402

NEXT_KEY_DIR = _env_path('PLANNIX_NEXT_KEY_DIR')

OLDER = 'На сайте более ранняя версия, чем установленная, — обновление остановлено.'
EXPIRED = 'Сведения о версии на сайте устарели — установка остановлена.'
UNSIGNED = 'Файлы на сайте не прошли проверку подписи — установка остановлена.'


class ReplayFreezeAndRotation(Scenario):
    def serve_manifest(self, doc, key_pem):
        text = (json.dumps(doc, indent=1, ensure_ascii=False) + '\n').encode('utf-8')
        (self.release.app / 'manifest.json').write_bytes(text)
        (self.release.app / 'manifest.sig').write_bytes(signature(str(key_pem), text))

    def installation(self):
        return ({p.relative_to(self.folder).as_posix(): p.read_bytes()
                 for p in self.folder.rglob('*') if p.is_file()},
                self.registry_value('DisplayVersion'))

    def record_sequence(self):
        return json.loads((self.folder / 'install.json').read_bytes())['sequence']

    def refused(self, message):
        """Refused with `message`, nothing fetched after it, the installation as it was."""
        before = self.installation()
        mark = self.server.mark()
        self.assertEqual(self.install(), 0)
        self.assertEqual(self.prefix.log_lines()[-1], 'ОШИБКА: ' + message)
        self.assertEqual(self.installation(), before)
        fetched = sorted({path for _, path, _ in self.server.requests()[mark:]})
        self.assertEqual(fetched, ['/plannix/app/manifest.json', '/plannix/app/manifest.sig'])

    def accepted(self, version, sequence):
        self.assertEqual(self.install(), 0)
        self.assertTrue(self.prefix.log_lines()[-1].startswith('установлено %s ' % version),
                        self.prefix.log_lines()[-1:])
        self.assertEqual(self.record_sequence(), sequence)
        self.assertEqual(self.registry_value('DisplayVersion'), version)

    def test_older_unsequenced_and_expired_manifests_are_refused_and_the_next_key_is_trusted(self):
        tool = os.environ['PLANNIX_RELEASE_TOOL']
        key = KEY_DIR / 'private.pem'
        for version, refreshes in (('3.0', 2), ('5.0', 1)):  # sequences 1-3, then 4-5
            self.release.write('data/scene.bin', version.encode() * 4000)
            self.release.publish(version)
            for _ in range(refreshes):
                subprocess.run([tool, 'refresh', '--key', str(key), str(self.release.folder)],
                               check=True, stdout=subprocess.DEVNULL, timeout=60)
        fifth = self.release.manifest()
        self.assertEqual(fifth['sequence'], 5)
        third = self.release.folder / 'history' / '3'
        self.serve()
        self.accepted('5.0', 5)

        # A replay of the signed manifest of sequence 3 (version 3.0, its blobs still served).
        for name in ('manifest.json', 'manifest.sig'):
            (self.release.app / name).write_bytes((third / name).read_bytes())
        self.refused(OLDER)
        # One signed without a sequence counts as 0.
        unsequenced = dict(fifth)
        del unsequenced['sequence']
        self.serve_manifest(unsequenced, key)
        self.refused(OLDER)

        # The same sequence again is a repair: accepted, nothing to fetch.
        self.serve_manifest(fifth, key)
        self.accepted('5.0', 5)

        self.serve_manifest(dict(fifth, sequence=6, expires='2001-01-01T00:00:00Z'), key)
        self.refused(EXPIRED)

        # The publisher rotates to the next key: a later manifest signed with it installs.
        self.serve_manifest(dict(fifth, sequence=7, version='5.1'), NEXT_KEY_DIR / 'private.pem')
        self.accepted('5.1', 7)

        # A third key is trusted by no one.
        other = self.prefix.path / 'third-key'
        subprocess.run([tool, 'keygen', str(other)], check=True, stdout=subprocess.DEVNULL)
        self.serve_manifest(dict(fifth, sequence=8, version='6.0'), other / 'private.pem')
        self.refused(UNSIGNED)
        self.assertEqual(self.record_sequence(), 7)


if __name__ == '__main__':
    unittest.main()
