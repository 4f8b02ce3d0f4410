"""The folders of Setup's sources stand in layers, and an include may only point down: a
folder includes itself and the layers below it, never one beside it or above it."""
import os
import re
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))

# Each folder's layer; folders of one layer do not include each other.
LAYERS = {
    'base': 0,
    'catalogue': 1, 'transport': 1,
    'transaction': 2,
    'engine': 3, 'removal': 3, 'ui': 3,
    'app': 4,
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.M)


def upward_includes():
    """(file, included folder) for every include that does not point down."""
    found = []
    for folder, layer in LAYERS.items():
        for name in sorted(os.listdir(os.path.join(ROOT, folder))):
            if not name.endswith(('.h', '.cpp')):
                continue
            with open(os.path.join(ROOT, folder, name), encoding='utf-8') as f:
                for target in INCLUDE.findall(f.read()):
                    if target != folder and LAYERS.get(target, -1) >= layer:
                        found.append(('%s/%s' % (folder, name), target))
    return found


class Layers(unittest.TestCase):
    def test_every_include_points_to_a_lower_layer_or_the_own_folder(self):
        self.assertEqual(upward_includes(), [])

    def test_every_source_folder_has_a_layer(self):
        folders = {d for d in os.listdir(ROOT)
                   if os.path.isfile(os.path.join(ROOT, d, 'sources.cmake'))}
        self.assertEqual(folders, set(LAYERS))


if __name__ == '__main__':
    unittest.main()
