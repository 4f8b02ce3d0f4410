"""A release hosted as the publisher hosts it: nginx from Debian serving the site folder through
tools/release/nginx-site.conf, and the real setup.exe under Wine installing and updating from
it; then prune, after which a fresh installation still finds everything it needs."""
import subprocess
import unittest

from harness import Prefix, wait_until
from served import KEY_DIR, RELEASE_TOOL, NginxServer, folder_matches, trust_test_ca
from test_update import INSTALL_DIR, MARKER, Scenario


class HostedOnNginx(Scenario):
    def serve(self):
        self.server = NginxServer(self.release.folder)
        self.addCleanup(self.server.close)

    def fetched(self, since):
        """Paths that Setup asked for since a mark, each with its status."""
        return [(path, status) for _, path, status in self.server.requests()[since:]]

    def test_setup_installs_and_updates_from_nginx_and_a_pruned_site_still_installs(self):
        self.release.write('layouts/магазин.bin', b'aisle ' * 5000)
        self.release.write('licenses/fonts.txt', 'OFL\r\n')
        first = self.release.publish('1.0.0')
        self.serve()
        self.assertEqual(self.install(), 0)
        self.assertEqual(folder_matches(self.folder, first), [])
        # The manifest may be fetched twice (the version check and the run); each blob once.
        manifest = {'/plannix/app/manifest.json', '/plannix/app/manifest.sig'}
        asked = self.fetched(0)
        self.assertEqual({path for path, _ in asked} & manifest, manifest)
        self.assertEqual(sorted((path, status) for path, status in asked if path not in manifest),
                         sorted((self.release.blob_url(e), '200') for e in first['files']))

        # Version 2 changes the application and one data file; the application asks for the
        # update, and "/auto" keeps Setup from starting it again.
        self.release.change_application('2.0.0')
        self.release.write('layouts/магазин.bin', b'counter ' * 3000)
        second = self.release.publish('2.0.0')
        self.assertTrue((self.release.folder / 'history' / '1' / 'manifest.json').is_file())
        before = {(e['path'], e['sha256']) for e in first['files']}
        changed = [e for e in second['files'] if (e['path'], e['sha256']) not in before]
        self.assertEqual(sorted(e['path'] for e in changed),
                         ['layouts/магазин.bin', 'plannix.exe', 'version.txt'])
        mark = self.server.mark()
        lines = len(self.prefix.log_lines())
        app = INSTALL_DIR + r'\plannix.exe'
        self.assertEqual(self.prefix.run(app, '--request-update', '/auto'), 0)
        self.assertTrue(wait_until(lambda: len(self.prefix.log_lines()) > lines, 120))
        self.assertTrue(self.prefix.wait_no_window(30))
        self.assertEqual(self.prefix.log_lines()[-1][:len('установлено 2.0.0 ')],
                         'установлено 2.0.0 ', self.prefix.log_lines())
        self.assertEqual(folder_matches(self.folder, second, ('install.json', MARKER)), [])
        self.assertEqual(self.server.blobs_fetched(mark),
                         sorted(self.release.blob_url(e) for e in changed))
        self.assertEqual(self.registry_value('DisplayVersion'), '2.0.0')
        self.assertTrue(all(status == '200' for _, status in self.fetched(0)),
                        self.fetched(0))

        # Pruning everything but the current release deletes version 1's own blobs, and a
        # fresh installation in a new prefix still gets every file it needs.
        pruned = subprocess.run([str(RELEASE_TOOL), 'prune', '--keep', '0', '--public-key',
                                 str(KEY_DIR / 'public.txt'), str(self.release.folder)],
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(pruned.returncode, 0, pruned.stderr)
        self.assertFalse((self.release.folder / 'history' / '1').exists())
        current = {e['sha256'] for e in second['files']}
        gone = [e for e in first['files'] if e['sha256'] not in current]
        self.assertEqual(len(gone), 3, gone)
        for entry in gone:
            self.assertFalse((self.release.app / 'blobs' / (entry['sha256'] + '.lzms')).exists(),
                             entry['path'])
        with Prefix() as fresh:
            trust_test_ca(fresh)
            setup = fresh.place_setup(r'C:\Downloads')
            mark = self.server.mark()
            self.assertEqual(fresh.run(setup, '/auto', '/dir', INSTALL_DIR, timeout=120), 0)
            self.assertEqual(folder_matches(fresh.unix(INSTALL_DIR), second), [])
            self.assertTrue(all(status == '200' for _, status in self.fetched(mark)),
                            self.fetched(mark))
        # Connections carry a serial: Setup's requests are numbered by the connection they use.
        self.assertTrue(all(entry[0].isdigit() for entry in self.server.entries()))

    def test_an_install_keeps_its_connections_alive_and_opens_at_most_seven(self):
        # One session for the whole run: a connection and a TLS handshake per blob would cost a
        # round trip each on a real network. Six transfers in flight, plus the version check's.
        for n in range(80):
            self.release.write('parts/p%02d.txt' % n, ('part %d\n' % n) * (50 + n))
        manifest = self.release.publish('1.0.0')
        self.serve()
        self.assertEqual(self.install(), 0)
        self.assertEqual(folder_matches(self.folder, manifest), [])
        entries = self.server.entries()
        blobs = [e for e in entries if '/blobs/' in e[2]]
        self.assertEqual(len(blobs), len({e['sha256'] for e in manifest['files']}))
        connections = {e[0] for e in entries}
        self.assertLessEqual(len(connections), 7, sorted(connections))


if __name__ == '__main__':
    unittest.main()
