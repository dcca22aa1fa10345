'''Writes a copy of a freely licensed TrueType font whose names say it is
another font, so tests can install "a font with this full name" without
shipping that font.

    make_standin_font.py SOURCE.ttf TARGET.ttf "Full Name"
'''

import sys

from fontTools.ttLib import TTFont


def main():
    source, target, full_name = sys.argv[1:4]
    font = TTFont(source)
    family = full_name
    postscript = ''.join(c for c in full_name if c.isalnum())
    names = font['name']
    for record in list(names.names):
        if record.nameID in (1, 16):
            record.string = family
        elif record.nameID in (2, 17):
            record.string = 'Regular'
        elif record.nameID in (3, 4):
            record.string = full_name
        elif record.nameID == 6:
            record.string = postscript
    font.save(target)


if __name__ == '__main__':
    main()
