#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/: a few real exchanges in each
harness's input format (see the comment at the top of each harness)."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def with_crc(data):
    c = crc16(data)
    return bytes(data) + bytes([c & 0xFF, c >> 8])


def u16(v):
    return struct.pack('<H', v & 0xFFFF)


def text(s):
    b = s.encode()
    return bytes([len(b)]) + b


# ScriptedLine answers (fuzz/ScriptedLine.cpp).
SILENCE, RAW, FORMED, ECHO = 0, 1, 2, 3
EXCEPTION, FOREIGN, ECHO_DATA, BAD_CRC, CUT = 4, 8, 16, 32, 64
ALL = 0xFF  # a read gets everything queued


def formed(count, data=b'', how=0):
    return bytes([FORMED | how, count]) + bytes(data)


def exception(code):
    return bytes([FORMED | EXCEPTION, code])


PURGE_FAILS = 8


def transaction(code, data, answer_size=260, device=0, flags=0, r1=4, r2=4, junk=b'', moves=b'', failing_purge=0):
    return (bytes([code]) + u16(len(data)) + bytes([device, flags, r1 + 1, r2 + 1]) + u16(answer_size) +
            bytes([len(junk)]) + junk + bytes(data) + (bytes([failing_purge]) if flags & PURGE_FAILS else b'') +
            moves)


def requests(zapr, dat1='0', dat2='0', cells=(), code=None, module=0, db_length=0, answer=b'', result=0,
             device=0, polling=0, moves=b''):
    out = text(zapr) + text(dat1) + text(dat2) + bytes([len(cells)])
    for column, row, t in cells:
        out += bytes([column, row - 1]) + text(t)
    out += bytes([code if code is not None else int(zapr) & 0xFF, module]) + u16(db_length)
    out += u16(len(answer)) + answer + bytes([result, device, polling, 0, 0])
    return out + moves


def sim(events, mask=1, busy=3, faults=(), seed=1):
    out = bytes([mask, busy, len(faults)])
    for kind, arg, sure in faults:
        out += bytes([kind]) + (bytes([arg - 1]) if kind == 5 else u16(arg)) + bytes([1 if sure else 0])
    return out + bytes([seed]) + b''.join(events)


def arrive(data):
    return bytes([0, len(data)]) + bytes(data)


def frame(address, code, data):
    if len(data) < 16:
        return bytes([1, address, code, len(data)]) + bytes(data)
    return bytes([0x81, address, code]) + u16(len(data)) + bytes(data)


SILENT = bytes([2])

ten = bytes(range(20))
corpora = {
    'transaction': {
        'read10-good': transaction(3, [0, 0, 0, 10], moves=formed(20, ten) + bytes([ALL, ALL])),
        'read-exception2': transaction(3, [0, 0, 0, 10], moves=exception(2) + bytes([ALL])),
        'read-silent': transaction(3, [0, 0, 0, 10], moves=bytes([SILENCE, 0] * 4)),
        'read-badcrc-then-good': transaction(3, [0, 0, 0, 1], moves=formed(2, b'\x12\x34', BAD_CRC) +
                                             bytes([ALL, ALL]) + formed(2, b'\x12\x34') + bytes([ALL, ALL])),
        'read-partial': transaction(3, [0, 0, 0, 1], moves=bytes([RAW, 2, 1, 3, ALL])),
        'read-long-small-buffer': transaction(4, [0, 0, 0, 125], answer_size=100,
                                              moves=(formed(250, bytes(250)) + bytes([ALL, ALL])) * 4),
        'read-foreign-code': transaction(3, [0, 0, 0, 1], moves=bytes([FORMED | FOREIGN, 4, 2, 0, 0, ALL]) +
                                         formed(2, b'\x00\x01') + bytes([ALL, ALL])),
        'coil-echo': transaction(5, [0, 0x1A, 0xFF, 0], moves=bytes([ECHO, ALL, ALL])),
        'poll14-echo': transaction(14, [], device=4, moves=bytes([ECHO, ALL, ALL])),
        'clock70': transaction(70, bytes(7), device=3),
        'write69-long': transaction(69, bytes(range(256)) * 11 + bytes(184)),
        'refused-code16': transaction(16, [0, 0, 0, 1]),
        'purge-fails': transaction(3, [0, 0, 0, 1], flags=PURGE_FAILS, moves=formed(2, b'\x00\x01') + bytes([ALL, ALL])),
        # The purge after a foreign head (the second of the transaction) fails.
        'purge-fails-after-foreign': transaction(3, [0, 0, 0, 1], flags=PURGE_FAILS, failing_purge=1,
                                                 moves=bytes([FORMED | FOREIGN, 4, 2, 0, 0, ALL]) +
                                                 formed(2, b'\x00\x01') + bytes([ALL, ALL])),
        'no-buffer': transaction(3, [0, 0, 0, 1], answer_size=0, flags=4, moves=formed(2, b'\x00\x01') + bytes([ALL, ALL])),
        # The exception's CRC stays queued until the next transaction purges it.
        'exception-then-read': transaction(3, [0, 0, 0, 1], moves=exception(2) + bytes([ALL])) + b'\x01' +
                               transaction(3, [0, 0, 0, 1], moves=formed(2, b'\x00\x01') + bytes([ALL, ALL])),
        'junk-queued': transaction(17, [], junk=b'\x01\x11\x05', moves=formed(4, b'abcd') + bytes([3, ALL])),
    },
    'requests': {
        'read10': requests('3', '0', '10', moves=formed(20, ten) + bytes([ALL, ALL])),
        'inputs': requests('2', '0', '10', answer=with_crc(b'\x01\x02\x02\x05\x02'),
                           moves=formed(2, b'\x05\x02') + bytes([ALL, ALL])),
        'coil-hex': requests('5', '1A', '1', moves=bytes([ECHO, ALL, ALL])),
        'coils15': requests('15', '0', '9', cells=[(0, 1, 'FF'), (1, 1, '01')],
                            moves=bytes([RAW, 8]) + with_crc(b'\x01\x0f\x00\x00\x00\x09') + bytes([ALL, ALL])),
        'block100': requests('100', '300', cells=[(0, 1, '5A'), (15, 16, 'A5')], moves=formed(2, b'\x01\x2c') + bytes([ALL, ALL])),
        'db68': requests('68', '2', moves=formed(48, bytes([2]) + bytes(range(47))) + bytes([ALL, ALL])),
        'db69-then-polls': requests('69', '0', cells=[(0, 1, '02'), (1, 1, '10')], module=2, db_length=32,
                                    moves=bytes([SILENCE]) + exception(6) + bytes([ALL, ECHO, ALL, ALL])),
        # Module 2's database read, then written back to module 3: the confirmation box (Yes).
        'db68-then-69': requests('68', '2', moves=formed(40, bytes([2]) + bytes(range(39))) + bytes([ALL, ALL, 1]) +
                                 text('69') + text('3') + text('0') + bytes([1, SILENCE, ECHO, ALL, ALL])),
        'status66': requests('66', '17', '34', moves=formed(24, bytes(24)) + bytes([ALL, ALL])),
        'block67': requests('67', '98', moves=formed(128, bytes(range(128))) + bytes([ALL, ALL])),
        'records71': requests('71', '1', '2', answer=with_crc(b'\x01\x47\xd8' + bytes(216)),
                              moves=formed(216, bytes(216)) + bytes([ALL, ALL])),
        'clock70': requests('70'),
        'not-a-number': requests('3', '12x', '10'),
        'typed300': requests('300', polling=1),
    },
    'sim_framing': {
        'read10': sim([frame(1, 3, [0, 0, 0, 10])]),
        'read10-chunks': sim([arrive(with_crc(b'\x01\x03\x00\x00\x00\x0a')[:3]),
                              arrive(with_crc(b'\x01\x03\x00\x00\x00\x0a')[3:])]),
        'db69-poll14-db68': sim([frame(1, 69, [3] + list(range(1, 40))), frame(1, 14, []), SILENT,
                                 frame(1, 14, []), frame(1, 68, [3])], busy=1),
        'db68-no-module': sim([frame(1, 68, []), SILENT]),
        'clock70-broadcast': sim([frame(0, 70, [30, 15, 12, 7, 12, 0, 0]), frame(2, 71, [1, 2])], mask=3),
        'block100': sim([frame(1, 100, [1, 0x2c] + [0xab] * 300)]),
        'coils15': sim([frame(1, 15, [0, 0, 0, 9, 2, 0xff, 1])]),
        'faults': sim([frame(1, 3, [0, 0, 0, 1]), frame(1, 1, [0, 0, 0, 8])],
                      faults=[(5, 6, False), (1, 3, True)]),
        'garbage': sim([frame(1, 17, [])], faults=[(7, 300, True)]),
    },
}


# listen: a rate byte, then chunks of (length, gap in quarter characters, bytes).
def heard(rate, chunks):
    out = bytes([rate])
    for gap, data in chunks:
        for at in range(0, len(data), 63):
            part = data[at:at + 63]
            out += bytes([len(part), gap if at == 0 else 0]) + part
    return out


read10 = with_crc([1, 3, 0, 0, 0, 10])
answer10 = with_crc([1, 3, 20] + list(range(20)))
corpora['listen'] = {
    'read10': heard(0, [(0, read10), (16, answer10), (40, read10), (16, answer10)]),
    'glued': heard(1, [(0, read10 + answer10), (40, read10 + with_crc([1, 0x83, 2]))]),
    'noise': heard(2, [(0, b'\xff\x13'), (20, read10), (16, answer10[:7]), (0xFF, read10)]),
    'db69-broadcast': heard(0, [(0, with_crc([1, 69, 3] + list(range(60)))), (40, with_crc([0, 70, 30, 15, 12, 7, 12, 0, 0]))]),
    'block100': heard(1, [(0, with_crc([1, 100, 0, 100] + [0xab] * 100)), (16, with_crc([1, 100, 2, 0, 100]))]),
}

for name, seeds in corpora.items():
    folder = os.path.join(HERE, 'corpus', name)
    os.makedirs(folder, exist_ok=True)
    for old in os.listdir(folder):
        os.remove(os.path.join(folder, old))
    for seed, data in seeds.items():
        with open(os.path.join(folder, seed), 'wb') as f:
            f.write(data)
