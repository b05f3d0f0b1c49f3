#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/.

The seeds are the small golden vectors of the unit tests (archive records,
settings text, release files of each format, .vle files, sentences, data
records, a line capture) plus one S-record file made by objcopy when it is
installed. Run it again after changing a vector; the files are committed."""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def le32(v): return struct.pack("<i", v)
def be16(v): return struct.pack(">H", v & 0xFFFF)
def be32(v): return struct.pack(">I", v & 0xFFFFFFFF)
def text(s): b = s.encode("cp1252"); return bytes([len(b)]) + b


def board_body(name, sid, hardw, boot, prog, dest, maxs, proc, relayed, filt, erase, restart, parent):
    return (text(name) + text(sid) + text(hardw) + text(boot) + le32(prog) + le32(dest) + le32(maxs)
            + le32(proc) + le32(relayed) + text(filt) + le32(erase) + le32(restart) + le32(parent)
            + bytes(20) + bytes(3))


ENV_TAG = bytes.fromhex("FFFF01000700") + b"CEnvDef"
def board_tag(schema=3): return b"\xff\xff" + bytes([schema, 0]) + b"\x09\x00" + b"CBoardDef"


def demo_env():
    return (ENV_TAG + text("C:\\T\\d.def") + text("Demo") + le32(2)
            + board_tag() + board_body("CPU", "CM", "10,12", "CMB2", 1, 0, 7, 3, 0, "*.mot", 60, 30, -1) + le32(1)
            + b"\x02\x80" + board_body("IO", "IO", "3", "IOB1", 2, 9, -1, 0, 1, "*.*", 120, 120, 0) + le32(2))


DOC_TAG = bytes.fromhex("FFFF01000A00") + b"CUpdateDoc"
LINE_TAG = bytes.fromhex("FFFF01000A00") + b"CBoardConf"
DOC_TRAILER = bytes(24) + bytes(3)


def line_body(board, env, index, release, hardw, soft, transfer, config, alone, restart=1, env_index=0):
    return (bytes(8) + text(board) + text(env) + le32(index) + text(release) + text(hardw) + text(soft)
            + le32(transfer) + le32(config) + le32(alone) + le32(restart) + le32(0) + le32(0)
            + le32(-1) + le32(-1) + bytes(5) + le32(env_index) + bytes(36))


def two_line_request():
    return (DOC_TAG + le32(20) + le32(0) + le32(2) + LINE_TAG
            + line_body("CPU", "Demo", 0, "cpu.mot", "10,12", "V1.0", 7, 3, 1) + b"\x02\x80"
            + line_body("IO", "Demo", 1, "io.mot", "3", "V2.0", -1, -1, 0) + DOC_TRAILER)


def ieee_number(v): return bytes([v]) if v < 0x80 else b"\x84" + be32(v)


def ieee695(width, address, records):
    head = bytes([0xE0, 0x03]) + b"TST" + bytes([0xEC, 0x08, width, 0xCC, 0xE2, 0xD7, 0x05]) + ieee_number(64)
    head = head.ljust(64, b"\0")
    return head + bytes([0xE5, 0x01, 0xE2, 0xD0, 0x01]) + ieee_number(address) + records + b"\xe1"


def load_data(data): return b"\xed" + ieee_number(len(data)) + data


def abs_record(address, data):
    w0 = len(data) + 5
    return struct.pack(">HHHH", w0, len(data), address & 0xFFFF, address >> 16) + data


def vle(records, rtype, time=0x12345678):
    out = be32(0x005D69E1) + be16(20) + be32(time) + bytes(6)
    last, total = 0, 0
    for address, data in records:
        size = len(data) + 10
        out += be16(0 if last == 0 else last + size) + be16(len(data)) + be32(address) + data + be16(sum(data))
        last, total = size, total + len(data)
    return out + be16(last + 13) + be16(0) + be32(total) + be32(len(records)) + bytes([rtype])


def record(rtype, dest, kind, value, address, data, stuffed=True):
    body = b"X" + be16(len(data) + 13) + bytes([ord(rtype), dest, ord(kind)]) + struct.pack(">I", value)[1:] \
        + be32(address) + data
    body += be16(sum(body))
    if stuffed:
        body = b"".join(bytes([0xFD, b - 0xFD]) if b >= 0xFD else bytes([b]) for b in body)
    return b"\xfe" + body + b"\xff"


S0 = "S00600004844521B\n"
LINE16 = "S3150000100000112233445566778899AABBCCDDEEFF00\n"


def objcopy_srecord():
    if not shutil.which("objcopy"):
        return None
    with tempfile.TemporaryDirectory() as tmp:
        src, dst = os.path.join(tmp, "image.bin"), os.path.join(tmp, "image.s")
        with open(src, "wb") as f:
            f.write(bytes((i * 37 + 11) & 0xFF for i in range(300)))
        subprocess.run(["objcopy", "-I", "binary", "-O", "srec", "--srec-forceS3",
                        "--change-addresses", "0x8000", "image.bin", "image.s"], check=True, cwd=tmp)
        with open(dst, "rb") as f:
            return f.read()


def demo_env_json():
    board = {"name": "CPU", "subassy_id": "CM", "subassy_hardw": "10,12", "boot_loader": "CMB2",
             "browse_filter": "*.mot", "prog_id": 1, "relayed": False, "destination": "Port A",
             "processing": "Aucun", "max_speed": "115200", "erase_timeout": 60, "restart_timeout": 30,
             "parent_board": -1, "save_speed": "checked"}
    relayed = dict(board, name="IO", subassy_id="IO", subassy_hardw="3", boot_loader="IOB1", browse_filter="*.*",
                   prog_id=2, relayed=True, destination="Dpram 2", processing="Relais simple", max_speed=None,
                   erase_timeout=120, restart_timeout=120, parent_board=0, save_speed="undetermined")
    return json.dumps({"format": "tavrel-environment", "file_path": "C:\\T\\d.def", "name": "Demo",
                       "boards": [board, relayed]}, indent=1).encode()


def two_line_request_json():
    line = {"board_name": "CPU", "env_name": "Demo", "subassy_hardw": "10,12", "board_index": 0, "env_index": 0,
            "release_file": "cpu.mot", "soft_id": "V1.0", "transfer_speed": "115200", "config_speed": "9600",
            "board_alone": True, "restart": True, "spare_flag1": False, "spare_flag2": False,
            "spare_speed1": None, "spare_speed2": None}
    relayed = dict(line, board_name="IO", subassy_hardw="3", board_index=1, release_file="io.mot", soft_id="V2.0",
                   transfer_speed=None, config_speed=None, board_alone=False)
    return json.dumps({"format": "tavrel-request", "version": 20, "lines": [line, relayed]}, indent=1).encode()


def intel_hex_line(rtype, address, data):
    body = bytes([len(data), (address >> 8) & 0xFF, address & 0xFF, rtype]) + data
    return ":" + (body + bytes([-sum(body) & 0xFF])).hex().upper() + "\n"


def intel_hex(records):
    return "".join(intel_hex_line(*r) for r in records).encode()


def elf(is64, big, segments, sections=True):
    """An executable with one PT_LOAD program header per (address, data) of
    segments and, when asked, one allocated PROGBITS section for each."""
    end = ">" if big else "<"
    word = "Q" if is64 else "I"
    ehsize, phsize, shsize = (64, 56, 64) if is64 else (52, 32, 40)
    phoff = ehsize
    data_at = phoff + phsize * len(segments)
    offsets, blob = [], b""
    for _, data in segments:
        offsets.append(data_at + len(blob))
        blob += data
    shoff = data_at + len(blob) if sections else 0
    shnum = len(segments) + 1 if sections else 0
    ident = b"\x7fELF" + bytes([2 if is64 else 1, 2 if big else 1, 1]) + bytes(9)
    header = ident + struct.pack(end + "HHI" + word * 3 + "IHHHHHH", 2, 40, 1, 0, phoff, shoff, 0, ehsize,
                                 phsize, len(segments), shsize, shnum, 0)
    phdrs = b""
    for (address, data), offset in zip(segments, offsets):
        if is64:
            phdrs += struct.pack(end + "IIQQQQQQ", 1, 5, offset, address, address, len(data), len(data), 4)
        else:
            phdrs += struct.pack(end + "IIIIIIII", 1, offset, address, address, len(data), len(data), 5, 4)
    shdrs = b""
    if sections:
        shdrs = bytes(shsize)
        for (address, data), offset in zip(segments, offsets):
            if is64:
                shdrs += struct.pack(end + "IIQQQQIIQQ", 0, 1, 2, address, offset, len(data), 0, 0, 4, 0)
            else:
                shdrs += struct.pack(end + "IIIIIIIIII", 0, 1, 2, address, offset, len(data), 0, 0, 4, 0)
    return header + phdrs + blob + shdrs


def receiver_json():
    cpu = {"name": "CPU", "subassy": "CM", "hardware": "10", "boot_loader": "CMB2", "software": ["CPU0100"],
           "software_after_load": ["CPU0200"], "rate": 19200, "ports": {"B": 19200}, "progr_id": 1,
           "erase_ms": 100, "checksum_delay_ms": 100, "restart_ms": 300, "rescue": {"supported": True}}
    gps = {"name": "GPS", "subassy": "GP", "hardware": "20", "boot_loader": "GPB1", "software": ["GPS0100"],
           "parent": "CPU", "letter": "B", "rate": 9600, "checksum_form": 7, "keeps_rate": True,
           "faults": {"resend": [{"block": 3, "times": 2}], "corrupt_block": [{"block": 5}],
                      "no_answer": [{"sentence": "$PKVR,IDENT", "times": 1}],
                      "wrong_answer": [{"sentence": "$PKVR,XSOFT,E", "answer": "$PKVR,XSOFT,E,-1"}],
                      "checksum_lines": ["$PKVR,XSOFT,C,9,0,0"], "reported_port_rates": {"A": 4000000}}}
    io = {"name": "IO", "subassy": "IO", "boot_loader": "IOB1", "parent": "GPS", "letter": "J"}
    return json.dumps({"boards": [gps, cpu, io], "line": {"noise_bytes": 5, "nmea": True, "split_piece": 7},
                       "reprobe_answers": False}, indent=1).encode()


def batch_plan():
    return json.dumps({"format": "tavrel-batch", "runs": [
        {"port": "COM1", "request": "request.sfl", "settings": {"Times out/Between 2 write (ms.)": 0,
                                                               "Miscellaneous/Pack release records": True},
         "baud": 115200, "log": "one.log"},
        {"port": "/dev/null", "request": "request.sfl", "config_dir": ".", "rescue": True}]}, indent=1).encode()


def seeds():
    ini = (b"[Communication]\nPort=1\nBaud=115200\n[Times out]\nMessage reception (sec.)=1\n"
           b"Checksum reception (sec.)=0\nBetween 2 write (ms.)=-5\n[Miscellaneous]\nRS232 write (sec.)=2\n"
           b"Auto speed min. range=2400\nAuto speed max. range=300000\nReserved 3=45\n"
           b"Show the communications box=yes\n[Ports]\nCOM1=/dev/ttyUSB0\n; comment\n")
    board = board_tag() + board_body("CPU", "CM", "10,12", "CMB2", 1, 0, 7, 3, 0, "*.mot", 60, 30, -1) + le32(1)
    line = LINE_TAG + line_body("CPU", "Demo", 0, "cpu.mot", "10,12", "V1.0", 7, 3, 1)
    objcopy = objcopy_srecord()
    abs_headers = bytes([0x83, 0x04]) + bytes([0x11] * 16) + bytes.fromhex("00010203040500000000")
    pattern = bytes(range(40))
    return {
        "fuzz_def": {"demo.def": demo_env(),
                     "schema2.def": ENV_TAG + text("") + text("Old") + le32(1) + board_tag(2)
                     + board_body("CPU", "CM", "1", "B", 1, -1, 3, 0, 0, "*.*", 10, 120, -1)},
        "fuzz_sfl": {"two-lines.sfl": two_line_request(),
                     "empty.sfl": DOC_TAG + le32(20) + le32(0) + le32(0) + DOC_TRAILER},
        "fuzz_clipboard": {"board.bin": board, "line.bin": line},
        "fuzz_json": {"environment.json": demo_env_json(), "request.json": two_line_request_json()},
        "fuzz_ini": {"tavrel.ini": ini},
        "fuzz_srecord": {"s3.s": (S0 + LINE16 + "S70500000000FA\n").encode(),
                         "s2-crlf.s": (S0 + "S2080100000a0B0c0DFF\r\nS804000000FB\r\n").encode(),
                         "s5.s": (S0 + LINE16 + "S5030001FB\n" + LINE16 + "S70500000000FA\n").encode(),
                         **({"objcopy.s": objcopy} if objcopy else {})},
        "fuzz_absolute": {"three.abs": abs_headers + abs_record(0x12000, pattern)
                          + abs_record(0x13000, bytes(range(100, 200)))},
        "fuzz_ieee695": {"load.x": ieee695(4, 0x8000, load_data(pattern)),
                         "repeat.x": ieee695(3, 0x400, b"\xf7\x02" + load_data(b"abc" * 10)),
                         "start.x": ieee695(4, 0x100, bytes([0xE2, 0xC7, 0xBE]) + ieee_number(0x1234) + b"\xbf"
                                            + load_data(b"xyz") + bytes([0xE2, 0xD0, 0x01]) + ieee_number(0x200)
                                            + load_data(b"uvw"))},
        "fuzz_any": {"raw.bin": bytes((i * 7) & 0xFF for i in range(200)),
                     "s1-falls-through.s": (S0 + "S1070000010203F2\nS804000000FB\n").encode(),
                     **({"objcopy.s": objcopy} if objcopy else {})},
        "fuzz_vle": {"two.vle": vle([(0x1000, bytes(range(16))), (0x1010, bytes(range(16, 32)))], 0),
                     "empty.vle": vle([], 3),
                     "five.vle": vle([(i * 87, bytes([i]) * 87) for i in range(4)] + [(348, b"\x01\x02")], 3)},
        "fuzz_sentence": {"ident.txt": b"$PKVR,IDENT,2,1,CM,10,12,V1.0\r\n",
                          "checksum.txt": b"$PKVR,XSOFT,C,1,1A2B,1A2B*5C\r\n",
                          "hardrs.txt": b"$PKVR,HARDRS,A,A,, 115200,n,8,2\r\n",
                          "numbers.txt": b"$PKVR,X,  -12.9,1e400,-1e-400,+7,.5,\r"},
        "fuzz_record": {"first.bin": record("L", 0x08, "N", 0xFFFFFF, 0, b"", stuffed=False),
                        "data.bin": record("D", 0x11, "R", 7, 0x8000, bytes([0xFD, 0xFE, 0xFF, 1, 2]), stuffed=False),
                        "resend.bin": record("R", 0x08, "N", 3, 0x1000, b"", stuffed=False)},
        "fuzz_intelhex": {"linear.hex": intel_hex([(4, 0, b"\x00\x01"), (0, 0x8000, pattern[:16]),
                                                   (0, 0x8010, pattern[16:40]), (5, 0, b"\x00\x01\x80\x00"),
                                                   (1, 0, b"")]),
                          "segment-crlf.hex": intel_hex([(2, 0, b"\x10\x00"), (0, 0xFFF0, pattern[:32]),
                                                         (3, 0, b"\x00\x00\x01\x00"), (1, 0, b"")])
                          .replace(b"\n", b"\r\n"),
                          "no-end.hex": intel_hex([(0, 0, b"abc"), (0, 3, b"")])},
        "fuzz_elf": {"arm32.elf": elf(False, False, [(0x8000, pattern), (0x9000, bytes(range(200, 255)))]),
                     "ppc64-big.elf": elf(True, True, [(0x10000, pattern * 3)]),
                     "segments-only.elf": elf(False, True, [(0x100, b"abc"), (0x50, b"xyz")], sections=False)},
        "fuzz_settings": {"set.txt": b"Times out/Between 2 write (ms.)=0\nCommunication/BAUDRATE=57600\n"
                          b"Ports/COM2=/dev/ttyUSB0\nMiscellaneous/Pack release records=yes\n"
                          b"Miscellaneous/Reserved 3=45\nMiscellaneous/Auto speed max. range=300000\n",
                          "blanks.txt": b"Ports/COM2= /dev/ttyUSB1 \nTimes out/Between 2 write (ms.)=\t7 \n",
                          "refused.txt": b"Times out/Message reception (sec.)=1e3\nPorts/COM9=x\nNo/Such=1\n"},
        "fuzz_batch": {"plan.json": batch_plan(), "format-not-text.json": b'{"format": ["tavrel-batch"], "runs": []}',
                       "huge-number.json": b'{"format": "tavrel-batch", "runs": [{"port": "COM1", "request": "request.sfl", '
                       b'"settings": {"Times out/Between 2 write (ms.)": 18446744073709551615}}]}'},
        "fuzz_receiver": {"three-boards.json": receiver_json()},
        "fuzz_ident": {"reply.bin": b"GP\\ 20\\ GPB1\\ GPS0200\\ "
                       + b"$PKVR,IDENT,4,1,CM10,CMB2\r\n$PKVR,IDENT,4,2,CM10,CPU0100\r\n"
                       + b"$PKVR,IDENT,4,3,GP20,GPB1,B\r\n$PKVR,IDENT,4,4,GP20,GPS0100,B\r\n" + b"\x04\x00B"},
        "fuzz_receive": {"line.bin": b"\x01\x02$PKVR,HARDRS,A,A,,9600\r\n$GPGGA,123519,4807.038,N*47\r\n"
                         + record("R", 0x08, "N", 3, 0x1000, b"") + b"$PKVR,IDENT,1,1,CM,10,12,V1.0\r\n"
                         + record("D", 0x09, "S", 1, 0x20, bytes([0xFE, 0xFF, 0xFD]))
                         + b"\xfe\xff\x00" + b"$PKVR,XSOFT,C,1,0F,0F*00\r\n"},
    }


def main():
    for target, files in seeds().items():
        directory = os.path.join(CORPUS, target)
        os.makedirs(directory, exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(directory, name), "wb") as f:
                f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
