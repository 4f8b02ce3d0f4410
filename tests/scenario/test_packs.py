"""Packs on the real setup.exe under Wine: a first installation fetches a few solid packs instead
of a blob per file, a component added later fetches its own pack, a small update fetches its
files' own blobs or patches, and a pack that fails in any way falls back to its members' blobs."""
import json
import os
import unittest

from harness import own_record
from served import NginxServer, Server, folder_matches
from test_update import Scenario

PACK_DIR = 'packs'


def write_release_files(release):
    """Core files of two kinds and two files of the NVIDIA component: every file in a pack."""
    for n in range(12):
        release.write('data/shelf%02d.txt' % n, ('shelf %d, aisle %d\r\n' % (n, n * 7)) * 400)
    for n in range(3):
        release.write('bin/module%d.dll' % n, os.urandom(3000) * 6)
    release.write('nvngx_dlss.dll', b'dlss' * 5000 + os.urandom(700))
    release.write('nvngx_dlssd.dll', b'denoise' * 4000 + os.urandom(700))


def only(manifest, component_test):
    return {'files': [e for e in manifest['files'] if component_test(e['path'])]}


def is_nvidia(path):
    return path.startswith('nvngx_')


class PacksOnNginx(Scenario):
    def serve(self):
        self.server = NginxServer(self.release.folder)
        self.addCleanup(self.server.close)

    def other_requests(self, since):
        """What Setup asked for since a mark besides the manifest and its signature."""
        manifest = {'/plannix/app/manifest.json', '/plannix/app/manifest.sig'}
        return sorted((path, status) for _, path, status in self.server.requests()[since:]
                      if path not in manifest)

    def pack_holding(self, manifest, path):
        index = next(i for i, e in enumerate(manifest['files']) if e['path'] == path)
        return next(p for p in manifest['packs'] if index in p['files'])

    def test_a_first_install_fetches_packs_a_later_component_its_pack_and_an_update_blobs(self):
        write_release_files(self.release)
        first = self.release.publish('1.0.0', packs=True)
        core_pack = self.pack_holding(first, 'data/shelf00.txt')
        nvidia_pack = self.pack_holding(first, 'nvngx_dlss.dll')
        self.serve()
        # The record of a user who chose the core alone.
        self.folder.mkdir(parents=True)
        (self.folder / 'install.json').write_text(own_record())

        self.assertEqual(self.install(), 0)
        self.assertEqual(folder_matches(self.folder, only(first, lambda p: not is_nvidia(p))), [])
        self.assertEqual(self.other_requests(0), [(self.release.pack_url(core_pack), '200')])
        # Counted as what was fetched: the pack's bytes, not its members' blobs.
        self.assertEqual(self.prefix.log_lines()[-1],
                         self.success_line('1.0.0', len(first['files']) - 2,
                                           core_pack['csize'] // 1024))

        # The user adds the NVIDIA component: its pack, nothing else.
        record = json.loads((self.folder / 'install.json').read_text(encoding='utf-8'))
        record['components'] = ['core', 'nvidia']
        (self.folder / 'install.json').write_text(json.dumps(record), encoding='utf-8')
        mark = self.server.mark()
        self.assertEqual(self.install(), 0)
        self.assertEqual(folder_matches(self.folder, first), [])
        self.assertEqual(self.other_requests(mark), [(self.release.pack_url(nvidia_pack), '200')])

        # Two changed files (and the version file): their own blobs, no pack.
        self.release.write('data/shelf03.txt', 'moved to aisle 9\r\n' * 300)
        self.release.write('bin/module1.dll', os.urandom(3000) * 6)
        second = self.release.publish('2.0.0', packs=True)
        before = {(e['path'], e['sha256']) for e in first['files']}
        changed = {e['path']: e for e in second['files'] if (e['path'], e['sha256']) not in before}
        self.assertEqual(sorted(changed), ['bin/module1.dll', 'data/shelf03.txt', 'version.txt'])
        mark = self.server.mark()
        self.assertEqual(self.install(), 0)
        self.assertEqual(folder_matches(self.folder, second), [])
        self.assertEqual(self.other_requests(mark),
                         sorted((self.release.blob_url(e), '200') for e in changed.values()))

    def test_a_transfer_cut_half_way_is_resumed_by_the_next_run_with_a_range_request(self):
        self.release.write('big.bin', os.urandom(1 << 20))  # incompressible: a 1 MiB blob
        manifest = self.release.publish('1.0.0')
        big = next(e for e in manifest['files'] if e['path'] == 'big.bin')
        half = big['csize'] // 2
        cut = Server(self.release.folder)
        cut.set_faults({self.release.blob_url(big): 'drop=%d' % half})
        try:
            self.install()  # an unattended run ends with 0 either way; the log tells
        finally:
            cut.close()
        self.assertIn('Не скачан big.bin', self.prefix.log_lines()[-1])

        self.serve()
        self.assertEqual(self.install(), 0)
        self.assertEqual(folder_matches(self.folder, manifest), [])
        asked = [(path, status, int(size)) for _, _, path, status, size in self.server.entries()
                 if path == self.release.blob_url(big)]
        self.assertEqual(asked, [(self.release.blob_url(big), '206', big['csize'] - half)])


class PackFallback(Scenario):
    def test_a_pack_that_is_missing_cut_short_or_wrong_falls_back_to_its_members_blobs(self):
        write_release_files(self.release)
        manifest = self.release.publish('1.0.0', packs=True)
        core = next(p for p in manifest['packs']
                    if not is_nvidia(manifest['files'][p['files'][0]]['path']))
        members = {manifest['files'][i]['sha256'] for i in core['files']}
        pack_file = self.release.app / PACK_DIR / (core['sha256'] + '.lzms')
        good = pack_file.read_bytes()
        damaged = bytearray(good)
        damaged[len(damaged) // 2] ^= 1
        self.serve()
        cases = [
            ('answers 404', {self.release.pack_url(core): 'status=404'}, good),
            ('is cut short', {self.release.pack_url(core): 'drop=%d' % (len(good) // 2)}, good),
            ('has a wrong hash', {}, bytes(damaged)),
        ]
        for n, (name, faults, served) in enumerate(cases):
            with self.subTest(name):
                folder = r'C:\Apps\Case%d' % n
                self.server.set_faults(faults)
                pack_file.write_bytes(served)
                mark = self.server.mark()
                self.assertEqual(self.prefix.run(self.setup_exe, '/auto', '/dir', folder,
                                                 timeout=120), 0)
                self.assertEqual(folder_matches(self.prefix.unix(folder), manifest), [])
                blobs = {path.rsplit('/', 1)[1][:-len('.lzms')]
                         for path in self.server.blobs_fetched(mark)}
                self.assertLessEqual(members, blobs)
                self.assertIn(self.release.pack_url(core),
                              [path for _, path, _ in self.server.requests()[mark:]])
        pack_file.write_bytes(good)


class PackStopped(Scenario):
    def test_another_files_failure_stops_a_pack_in_flight_which_then_fetches_none_of_its_members(self):
        write_release_files(self.release)
        self.release.write('data/photo.bin', os.urandom(1 << 20))  # a core pack of over 1 MiB
        manifest = self.release.publish('1.0.0', packs=True)
        core = self.pack_holding(manifest, 'data/photo.bin')
        nvidia = self.pack_holding(manifest, 'nvngx_dlss.dll')
        nvidia_blobs = [self.release.blob_url(e) for e in manifest['files'] if is_nvidia(e['path'])]
        self.serve()
        # The core pack at 40 KB/s, half a minute; the NVIDIA pack and its files' blobs missing.
        faults = {self.release.pack_url(core): 'slow=4000/0.1',
                  self.release.pack_url(nvidia): 'status=404'}
        faults.update((url, 'status=404') for url in nvidia_blobs)
        self.server.set_faults(faults)
        self.folder.mkdir(parents=True)
        record = json.loads(own_record())
        record['components'] = ['core', 'nvidia']
        (self.folder / 'install.json').write_text(json.dumps(record), encoding='utf-8')

        self.install()  # an unattended run ends with 0 either way; the log tells
        self.assertIn('Не скачан nvngx_', self.prefix.log_lines()[-1])
        self.assertEqual(sorted(p.name for p in self.folder.iterdir()), ['install.json'])
        asked = [path for _, path, _ in self.server.requests()]
        self.assertIn(self.release.pack_url(core), asked)
        self.assertEqual(self.server.blobs_fetched(), [], 'a stopped pack fell back to blobs')
        # Cut, not finished: its start is kept for the next run, the whole never arrived.
        cache = self.prefix.temp / 'plannix-setup-cache'
        self.assertFalse((cache / (core['sha256'] + '.lzms')).exists())
        part = cache / (core['sha256'] + '.part')
        if part.exists():
            self.assertLess(part.stat().st_size, core['csize'])

    pack_holding = PacksOnNginx.pack_holding


if __name__ == '__main__':
    unittest.main()
