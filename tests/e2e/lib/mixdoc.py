"""Writes a mix document (.jld) as the program saves one.

    mixdoc.py OUT SONG BPM SEQUENCE GROOVE...

SONG is the song's folder name in the library, BPM the tempo, SEQUENCE the
play order as comma-separated groove numbers (1-based, may be empty), and
each GROOVE the tracks of one stored groove, "track:group:loop:volume:pan"
joined by commas. Groove 1 is also the current one, with track 1 selected.
"""
import struct
import sys


def groove(spec, gid):
    tracks = {}
    for item in filter(None, spec.split(',')):
        t, g, v, vol, pan = (int(x) for x in item.split(':'))
        tracks[t] = (g, v, vol, pan)
    b = b''
    for t in range(16):
        g, v, vol, pan = tracks.get(t, (-1, -1, 0, 0))
        b += struct.pack('<hhhh', vol, pan, g, v)
    return b + struct.pack('<h', gid)


def main(out, song, bpm, sequence, *grooves):
    order = [int(x) for x in filter(None, sequence.split(','))]
    bank = b''.join(groove(grooves[i], i + 1) if i < len(grooves) else groove('', 0) for i in range(64))
    bank += struct.pack('<h', len(order)) + struct.pack('<100h', *(order + [0] * (100 - len(order))))
    bank += struct.pack('<hh', len(order), 0)
    name = song.encode()
    ice = b'\x01' + name + b'\0' * (65 - len(name)) + bank + groove(grooves[0], 1)
    ice += struct.pack('<hf', 0, float(bpm)) + b'\0' * 4
    assert len(ice) == 8732
    data = b'\x67\x73\x46\x41' + b'srev' + struct.pack('<ii', 4, 1) + b'deci' + struct.pack('<i', 8732) + ice
    data += b'ciys' + struct.pack('<i', 3308) + b'\0' * 3308
    with open(out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main(*sys.argv[1:])
