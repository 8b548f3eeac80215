#!/usr/bin/env python3
"""Writes the seed corpus of the container and tag fuzz target to fuzz/corpus/mp3info/:
small files with ID3v2 (2.2, 2.3, 2.4, unsynchronised too), ID3v1, Lyrics3, APE, RIFF WAVE and
MacBinary structures, well-formed and with hostile sizes. Run from anywhere; the files are rewritten each time."""
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "corpus", "mp3info")


def audio(count):
    """Stand-in MPEG audio: a Layer III header every 417 bytes (the frame length it states), the
    bytes between starting no tag signature."""
    head = bytes([0xFF, 0xFB, 0x90, 0xC4])
    return bytes(head[i % 417] if i % 417 < 4 else 0x80 | ((i * 37) & 0x7F) for i in range(count))


def synchsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def id3v2_frame(frame_id, text, encoding=0, size=None):
    body = bytes([encoding]) + text
    return frame_id + struct.pack(">I", len(body) if size is None else size) + b"\0\0" + body


def id3v2_tag(frames, version=3, padding=0, flags=0, extended=None, raw_size=None):
    body = b""
    if extended is not None:
        flags |= 0x40
        body += struct.pack(">I", extended) + bytes(6)
    body += b"".join(frames) + bytes(padding)
    size = synchsafe(len(body)) if raw_size is None else struct.pack(">I", raw_size)
    return b"ID3" + bytes([version, 0, flags]) + size + body


def unsynchronised(data):
    out = bytearray()
    for i, b in enumerate(data):
        out.append(b)
        if b == 0xFF and (i + 1 == len(data) or data[i + 1] >= 0xE0 or data[i + 1] == 0):
            out.append(0)
    return bytes(out)


def id3v24_frame(frame_id, body, flags=0, plain=False):
    size = struct.pack(">I", len(body)) if plain else synchsafe(len(body))
    return frame_id + size + bytes([0, flags]) + body


def id3v24_tag(frames, padding=0, flags=0, footer=False):
    body = b"".join(frames) + bytes(padding)
    flags |= 0x10 if footer else 0
    header = bytes([4, 0, flags]) + synchsafe(len(body))
    return b"ID3" + header + body + (b"3DI" + header if footer else b"")


def id3v22_frame(frame_id, body):
    return frame_id + struct.pack(">I", len(body))[1:] + body


def ape_item(key, value, flags=0):
    return struct.pack("<II", len(value), flags) + key + b"\0" + value


def ape_tag(items, header=True, version=2000):
    body = b"".join(items)

    def block(flags):
        return b"APETAGEX" + struct.pack("<IIII", version, len(body) + 32, len(items), flags) + bytes(8)
    has_header = 0x80000000 if header else 0
    return (block(has_header | 0x20000000) if header else b"") + body + block(has_header)


def id3v1_tag(title=b"", artist=b"", album=b"", year=b"", comment=b"", track=None, genre=12):
    def field(text, width):
        return text[:width].ljust(width, b"\0")
    tag = b"TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4)
    if track is None:
        tag += field(comment, 30)
    else:
        tag += field(comment, 28) + b"\0" + bytes([track])
    return tag + bytes([genre])


def lyrics3_v1(text):
    return b"LYRICSBEGIN" + text + b"LYRICSEND"


def lyrics3_v2(fields, size_text=None):
    block = b"LYRICSBEGIN" + b"".join(f[0] + b"%05d" % len(f[1]) + f[1] for f in fields)
    return block + (size_text or b"%06d" % len(block)) + b"LYRICS200"


def riff_chunk(chunk_id, payload, size=None):
    chunk = chunk_id + struct.pack("<I", len(payload) if size is None else size) + payload
    return chunk + (b"\0" if len(payload) % 2 else b"")


def riff_info(items):
    return riff_chunk(b"LIST", b"INFO" + b"".join(riff_chunk(k, v + b"\0") for k, v in items))


def riff_wave(chunks):
    return riff_chunk(b"RIFF", b"WAVE" + b"".join(chunks))


WAVE_FORMAT = riff_chunk(b"fmt ", struct.pack("<HHIIHHH", 0x55, 2, 44100, 16000, 1, 0, 0))


def macbinary(name, data_fork, resource_fork=b"", data_length=None):
    header = bytearray(128)
    header[1] = len(name)
    header[2:2 + len(name)] = name
    header[65:73] = b"MPG3PlTn"
    header[83:87] = struct.pack(">I", len(data_fork) if data_length is None else data_length)
    header[87:91] = struct.pack(">I", len(resource_fork))

    def pad(fork):
        return fork + bytes(-len(fork) % 128)
    return bytes(header) + pad(data_fork) + pad(resource_fork)


SJIS_TITLE = "梅の調べ".encode("cp932")
UTF16_TITLE = "Title ü".encode("utf-16")

PICTURE = b"\0image/jpeg\0\x03\0" + bytes([0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFB, 0x90, 0x64]) * 8

SEEDS = {
    "plain": audio(600),
    "id3v2_frames": id3v2_tag([id3v2_frame(b"TIT2", b"Song"), id3v2_frame(b"TPE1", b"Band"),
                               id3v2_frame(b"COMM", b"eng\0comment")], padding=40) + audio(400),
    "id3v2_utf16_sjis": id3v2_tag([id3v2_frame(b"TIT2", UTF16_TITLE, 1), id3v2_frame(b"TPE1", SJIS_TITLE)])
    + audio(300),
    "id3v2_extended": id3v2_tag([id3v2_frame(b"TALB", b"Album")], extended=6) + audio(300),
    "id3v24": id3v2_tag([id3v2_frame(b"TIT2", b"Four")], version=4) + audio(300),
    "id3v2_huge_frame": id3v2_tag([id3v2_frame(b"APIC", b"x" * 20, size=0x7FFFFFF6)]) + audio(200),
    "id3v2_beyond_end": id3v2_tag([id3v2_frame(b"TIT2", b"x")], raw_size=0x7F7F7F7F) + audio(200),
    "id3v1_track": audio(500) + id3v1_tag(b"Title", b"Artist", b"Album", b"1999", b"Comment", track=7, genre=255),
    "lyrics3_v1": audio(300) + lyrics3_v1(b"first line\r\nsecond line") + id3v1_tag(b"L1"),
    "all_tags": id3v2_tag([id3v2_frame(b"TIT2", b"Front title")], padding=20) + audio(500)
    + lyrics3_v2([(b"IND", b"10"), (b"LYR", b"[00:01]la la"), (b"ETT", b"Lyrics title")])
    + id3v1_tag(b"Back title", track=1),
    "lyrics3_bad_size": audio(200) + lyrics3_v2([(b"IND", b"01")], b"99a999") + id3v1_tag(),
    "riff_info": riff_wave([WAVE_FORMAT, riff_chunk(b"data", audio(701)),
                            riff_info([(b"INAM", b"Name"), (b"IART", b"Artist"), (b"ICMT", b"note")])]),
    "riff_huge_chunk": riff_wave([riff_chunk(b"fmt ", bytes(16), size=0x7FFFFFFF), riff_chunk(b"data", audio(100))]),
    "riff_id3_inside": riff_wave([WAVE_FORMAT, riff_chunk(b"data", id3v2_tag([id3v2_frame(b"TIT2", b"In")])
                                                          + audio(300))]),
    "macbinary_id3v1": macbinary(b"song.mp3", audio(700) + id3v1_tag(b"Fork title"), audio(60)),
    "macbinary_long_fork": macbinary(b"long", audio(300) + id3v1_tag(b"x"), data_length=0x7FFFFF00),
    "id3v23_unsync": id3v2_tag([], flags=0x80) [:10] and (
        lambda body: b"ID3\x03\0\x80" + synchsafe(len(body)) + body)(unsynchronised(
            id3v2_frame(b"TIT2", UTF16_TITLE, 1) + id3v2_frame(b"APIC", PICTURE)[:4]
            + struct.pack(">I", len(PICTURE)) + b"\0\0" + PICTURE + bytes(30))) + audio(400),
    "id3v24_synchsafe": id3v24_tag([id3v24_frame(b"TIT2", b"\3" + "長い題名".encode() * 40),
                                    id3v24_frame(b"TPE1", b"\1" + "A".encode("utf-16") + b"\0\0" + "B".encode("utf-16")),
                                    id3v24_frame(b"TXXX", b"\2" + "k".encode("utf-16-be") + b"\0\0" + b"\0v")],
                                   padding=200, footer=True) + audio(400),
    "id3v24_plain_sizes": id3v24_tag([id3v24_frame(b"TIT2", b"\0" + b"t" * 300, plain=True),
                                      id3v24_frame(b"TPE1", b"\0Band", plain=True)], padding=50) + audio(300),
    "id3v24_frame_flags": id3v24_tag([id3v24_frame(b"TIT2", unsynchronised(b"\1" + "Ü".encode("utf-16")), 0x02),
                                      id3v24_frame(b"TPE1", b"\0\0\0\x09\3Artist", 0x01),
                                      id3v24_frame(b"TALB", b"\x07" + b"x" * 20, 0x48),
                                      id3v24_frame(b"APIC", PICTURE, 0x02)], flags=0x40 * 0) + audio(300),
    "id3v22": id3v2_tag([], version=2)[:0] + (lambda body: b"ID3\x02\0\0" + synchsafe(len(body)) + body)(
        id3v22_frame(b"TT2", b"\1" + "梅".encode("utf-16")) + id3v22_frame(b"TP1", b"\0Band")
        + id3v22_frame(b"PIC", b"\0PNG\x03\0" + bytes(16)) + bytes(64)) + audio(300),
    "id3v2_three_tags": id3v24_tag([id3v24_frame(b"TIT2", b"\3New")], padding=20)
    + id3v2_tag([id3v2_frame(b"TIT2", b"Old")], padding=7) + b"ID3\x02\0\0\0\0\0\x0d"
    + id3v22_frame(b"TT2", b"\0Oldest") + bytes(300) + audio(400),
    "false_sync_in_tag": id3v2_tag([id3v2_frame(b"TIT2", b"\xFF\xFE\xFF\xFB\x90\x64", 1)], padding=2)
    + bytes(100) + audio(900),
    "ape_header_id3v1": audio(500) + ape_tag([ape_item(b"Title", b"Ape title"), ape_item(b"Artist", b"A\0B"),
                                              ape_item(b"Cover Art (Front)", b"c.jpg\0\xFF\xD8", 2)])
    + id3v1_tag(b"V1"),
    "ape_no_header_end": audio(400) + ape_tag([ape_item(b"REPLAYGAIN_TRACK_GAIN", b"-3 dB")], header=False),
    "ape_v1_lyrics3": audio(400) + ape_tag([ape_item(b"Title", b"Old ape")], header=False, version=1000)
    + lyrics3_v2([(b"IND", b"00")]) + id3v1_tag(b"x"),
    "replaygain_id3v24_ape": id3v24_tag([
        id3v24_frame(b"TXXX", b"\0REPLAYGAIN_TRACK_GAIN\0-6.00 dB"),
        id3v24_frame(b"TXXX", b"\3replaygain_track_peak\0" + b"0.9"),
        id3v24_frame(b"RVA2", b"album\0\x01\xFA\x00\x10\x7F\xFF"),
        id3v24_frame(b"RVA2", b"track\0\x02\x01\x00\xFF\x01")]) + audio(400)
    + ape_tag([ape_item(b"REPLAYGAIN_ALBUM_GAIN", b"+1.5 dB"), ape_item(b"REPLAYGAIN_ALBUM_PEAK", b"nan")]),
    "ape_hostile_size": audio(100) + b"APETAGEX" + struct.pack("<IIII", 2000, 0xFFFFFFF0, 0xFFFFFFFF, 0x80000000)
    + bytes(8),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(OUT, name), "wb") as out:
            out.write(data)
    print(f"wrote {len(SEEDS)} seeds to {os.path.normpath(OUT)}")


if __name__ == "__main__":
    main()
