# The whole-program tests' reader of the catalogue's index file (Tellamo.dat), so that each test
# checks what the program wrote rather than what the window shows.
import struct
from collections import namedtuple

Note = namedtuple('Note', 'name description duration_ms start folder rate bits kb')


def read_notes(path):
    """The notes of an index file, in its order."""
    d = open(path, 'rb').read()
    pos = 1
    count, = struct.unpack_from('<i', d, pos)
    pos += 4
    notes = []
    for _ in range(max(count, 0)):
        days, start = struct.unpack_from('<dd', d, pos)
        pos += 16
        texts = []
        for _ in range(2):
            end = d.index(b'\0', pos)
            texts.append(d[pos:end].decode())
            pos = end + 1
        folder, rate, bits, kb = struct.unpack_from('<iHHi', d, pos)
        pos += 12
        notes.append(Note(texts[1], texts[0], round(days * 86400000), start, folder, rate, bits, kb))
    return notes
