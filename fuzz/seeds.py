#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (fuzz/<target>/seeds/) from
the layouts: the frame, the queue record, the module events, the
rangefinder's serial frames, the settings and EEPROM files, the log socket's
packets, window resources, small images, update packages and the update
reports. Run it again after a layout
changes; the JPEG seeds are kept as they are (made once with libjpeg)."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    d = os.path.join(HERE, target, "seeds")
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def frame(obj, sub, item, flag, payload=b""):
    """AA L obj sub item flag payload checksum EB AA, L = size - 3."""
    body = bytes([0xAA, len(payload) + 6, obj, sub, item, flag]) + payload
    return body + bytes([sum(body) & 0xFF, 0xEB, 0xAA])


def f32(v):
    return struct.pack("<f", v)


def u16(v):
    return struct.pack("<H", v)


def sealed(obj, sub, item, flag, payload=b""):
    """The fuzz_frame form that the target seals: mode 0, then the head."""
    return bytes([0, obj, sub, item, flag]) + payload


def raw(data):
    return bytes([1]) + data


# ---- the frame check ----
put("frame_check", "shot_video_ready", frame(0x1C, 0x08, 0xFF, 0x80))
put("frame_check", "key", frame(7, 0, 0, 0x80, bytes([35])))
put("frame_check", "wind_speed", frame(27, 6, 1, 0, f32(3.5)))
put("frame_check", "bad_checksum", frame(0, 0, 7, 0, b"\x05")[:-3] + b"\x00\xEB\xAA")
put("frame_check", "longest", frame(4, 2, 0xFF, 0x80, bytes(range(249))))

# ---- the report router: a switches byte, then a module event ----
events = {
    "image": bytes([0, 1, 2, 9]),
    "infrared": bytes([1, 3, 4, 5]),
    "range": bytes([4, 2, 0xFF]) + bytes(16),
    "compass": bytes([6, 0, 7, 1, 2, 3, 4]),
    "key_long": bytes([7, 8, 2, 0]),
    "key_double": bytes([7, 8, 0, 1]),
    "gps_counted": bytes([10, 5, 1, 2, 0x33, 0x44]),
    "voltage": bytes([15, 0x20, 0x03, 0]),
    "ring": bytes([245, 1, 16, 0x90, 0x01]),
}
for name, ev in events.items():
    put("report_router", name, bytes([1]) + ev)
put("report_router", "factory_power", bytes([3, 7, 8, 3, 0]))

# ---- the command router: frames from the GUI and the media process ----
commands = {
    "screen_brightness": sealed(0, 0, 7, 0, b"\x05"),
    "video_mode": sealed(0, 0, 0, 0, b"\x01"),
    "lifecycle": sealed(0, 0, 13, 0, b"\x03"),
    "eeprom_save": sealed(0, 30, 0xFF, 0),
    "ir_strong_light": sealed(1, 5, 8, 0, b"\x01"),
    "visible_brightness": sealed(2, 0, 1, 0, b"\x0F\x00"),
    "range_single": sealed(4, 1, 0, 0, b"\x01"),
    "ready": sealed(8, 0, 0, 0),
    "save_all": sealed(16, 3, 0xFF, 0),
    "reticle_position": sealed(22, 3, 0xFF, 0, u16(640) + u16(512)),
    "reticle_group": sealed(22, 6, 0xFF, 0, b"\x02"),
    "reticle_offset": sealed(22, 13, 0xFF, 0, f32(1.5)),
    "record": sealed(23, 0, 0, 0, b"\x00"),
    "wind_speed": sealed(27, 6, 1, 0, f32(3.5)),
    "drag_function": sealed(27, 1, 4, 0, f32(7.0)),
    "target_range": sealed(27, 7, 0, 0, u16(300) + u16(328)),
    "ballistic_group": sealed(27, 0, 4, 0, b"\x03\x00\x00\x00"),
    "shot_front_time": sealed(28, 1, 0xFF, 0, b"\x02"),
    "shot_threshold": sealed(28, 3, 0xFF, 0, b"\x04"),
    "phone": sealed(244, 0, 8, 0),
    "ble_wind": sealed(29, 0, 3, 0, f32(2.0)),
    "raw_frame": raw(frame(27, 3, 1, 0, f32(15.0))),
}
for name, data in commands.items():
    put("command_router", name, data)

# ---- sightd's dispatch: a queue record (type, command, length mode and
# length, then the frame) ----
def record(rtype, data, length=None):
    head = bytes([rtype, 255, 0 if length is None else 1]) + struct.pack("<I", length or 0)
    return head + data


put("sightd_dispatch", "gui_setting", record(1, commands["screen_brightness"]))
put("sightd_dispatch", "gui_ballistics", record(1, commands["wind_speed"]))
put("sightd_dispatch", "media_reticle_report", record(17, sealed(22, 3, 0xFF, 0x80, u16(600) + u16(500))))
put("sightd_dispatch", "http_command", record(49, sealed(244, 0, 8, 0)))
put("sightd_dispatch", "ble_wind", record(65, sealed(29, 0, 3, 0, f32(2.0))))
put("sightd_dispatch", "length_too_long", record(1, commands["ready"], 600))

# ---- sightui's dispatch: sightd's reports ----
ui_status = bytes(96)
cursor = bytes(220)
profile = bytes(248)
reports = {
    "key": sealed(7, 0, 0, 0x80, bytes([35])),
    "range_state": sealed(4, 0, 0xFF, 0x80, bytes([0, 0])),
    "range_result": sealed(4, 2, 0xFF, 0x80, bytes([0, 0, 1, 0, 1, 0, 0x7B, 4]) + bytes(8)),
    "range_settings": sealed(4, 8, 0xFF, 0x80, bytes([1, 0]) + bytes(8) + b"\x00"),
    "dev_status": sealed(16, 0, 0, 0x80, ui_status),
    "cursor": sealed(16, 1, 0, 0x80, cursor),
    "ballistics_0": sealed(16, 2, 0, 0x80, profile),
    "ballistics_5": sealed(16, 2, 5, 0x80, profile),
    "battery": sealed(15, 0, 0, 0x80, bytes([0x20, 0x03, 0, 0])),
    "compass": sealed(6, 0, 0, 0x80, f32(90.0)),
    "hold_over": sealed(27, 10, 0xFF, 0x80, f32(4.5) + f32(0.1) + f32(523.4) + f32(1.0) + f32(90.0)),
    # holds no calculation gives: the phone's exchange file passes them on
    "hold_over_no_solution": sealed(27, 10, 0xFF, 0x80, f32(1e9) + f32(0.1) + f32(300.0) + f32(0.0) + f32(0.0)),
    "hold_over_nan": sealed(27, 10, 0xFF, 0x80, f32(float("nan")) + f32(float("-inf")) + f32(300.0) + f32(0.0)
                            + f32(0.0)),
    "boot_state": sealed(0, 0, 0x2A, 0x80, bytes([9, 5])),
    "shot_video_ready": sealed(28, 8, 0xFF, 0x80),
    "zoom": sealed(1, 1, 16, 0x80, u16(400)),
}
# Holds and positions no sane peer sends: the page must draw (or refuse)
# them without undefined conversions to pixels.
nan, inf = float("nan"), float("inf")
for name, (v, h, d, a, z) in {
    "hold_over_nan": (nan, nan, 523.4, 0.0, 0.0),
    "hold_over_inf": (inf, -inf, 523.4, 0.0, 0.0),
    "hold_over_1e9": (1e9, -1e9, 523.4, 0.0, 0.0),
    "hold_over_nan_labels": (-15.4, 1.7, nan, inf, -inf),
    "hold_over_1e9_labels": (-15.4, 1.7, 1e9, -1e9, 1e9),
}.items():
    reports[name] = sealed(27, 10, 0xFF, 0x80, f32(v) + f32(h) + f32(d) + f32(a) + f32(z))


def cursor_with(x, y, ox, oy):
    # group 0's zero 0, the current zero: distance, yards, position, offsets
    zero = struct.pack("<hhhhff", 91, 100, x, y, ox, oy)
    return cursor[:8] + zero + cursor[8 + len(zero):]


for name, (x, y, ox, oy) in {
    "cursor_offset_nan": (639, 639, nan, nan),
    "cursor_offset_inf": (639, 639, inf, -inf),
    "cursor_offset_1e9": (639, 639, 1e9, -1e9),
    "cursor_position_extremes": (32767, -32768, 0.0, 0.0),
}.items():
    reports[name] = sealed(16, 1, 0, 0x80, cursor_with(x, y, ox, oy))
reports["reticle_position_extreme"] = sealed(22, 3, 1, 0x80, struct.pack("<h", -32768))
reports["range_offset_extreme"] = sealed(22, 9, 2, 0x80, struct.pack("<h", 32767))

for name, data in reports.items():
    put("sightui_dispatch", name, data)

# ---- the rangefinder's line: settings, state, config step, then reads
# (a length byte before each piece) ----
def lrf(cmd, params):
    body = bytes([0x03, cmd]) + bytes(params)
    return bytes([0xEE, 0x16, len(params) + 2]) + body + bytes([sum(body) & 0xFF])


def pieces(data, size):
    out = b""
    for i in range(0, len(data), size):
        chunk = data[i:i + size]
        out += bytes([len(chunk) - 1]) + chunk
    return out


reply = lrf(0x02, [0x00, 0x00, 0x7B, 0x04])
put("lrf_receive", "single_whole", bytes([1, 0, 4, 0]) + pieces(reply, 16))
put("lrf_receive", "single_split", bytes([1, 0, 4, 0]) + pieces(reply, 3))
put("lrf_receive", "median", bytes([1, 1, 5, 0]) + pieces(reply * 3, 5))
multi = lrf(0x02, [0x02, 0, 100, 5]) + lrf(0x02, [0x12, 0, 200, 0]) + lrf(0x02, [0x20, 1, 44, 3])
put("lrf_receive", "multi", bytes([3, 0, 6, 0]) + pieces(multi, 7))
put("lrf_receive", "scan", bytes([1, 0, 7, 0]) + pieces(lrf(0x04, [0, 0, 50, 1]) * 2, 4))
put("lrf_receive", "config_step", bytes([1, 0, 2, 2]) + pieces(lrf(0xA1, [0x03, 0x00]), 2))
put("lrf_receive", "readback", bytes([1, 0, 2, 6]) + pieces(lrf(0xA3, [0x00, 0x0A]), 16))
put("lrf_receive", "noise_then_frame", bytes([1, 0, 4, 0]) + pieces(b"\xEE\x00\x16" + reply, 2))


def lrf_after(quiet_steps, data):
    """One read of data (at most 16 bytes) after quiet_steps x 10 ms."""
    return bytes([(quiet_steps << 4) | (len(data) - 1)]) + data


# A partial frame is given up after a silence.
stop = lrf(0x05, [])
put("lrf_receive", "stray_start", bytes([1, 0, 8, 0]) + lrf_after(0, b"\xEE\x16\x07\x03") + lrf_after(10, stop))
put("lrf_receive", "garbage_tail", bytes([1, 0, 8, 0]) + lrf_after(0, b"\x13\x7B\xEE\x16\x05") + lrf_after(6, stop))
put("lrf_receive", "torn_reply", bytes([1, 0, 4, 0]) + lrf_after(0, reply[:5]) + lrf_after(5, reply))

# ---- the thermal core's receive side: a read-length byte before each read ----
def core(cmd, kind, data=b""):
    """55 LEN cmd_hi cmd_lo kind data checksum EB AA, LEN = size - 4."""
    body = bytes([0x55, len(data) + 4, cmd >> 8, cmd & 0xFF, kind]) + data
    return body + bytes([sum(body) & 0xFF, 0xEB, 0xAA])


def reads(data, n):
    """data in reads of n bytes, each behind its length byte ((n - 1) / 2)."""
    return b"".join(bytes([(n - 1) // 2]) + data[i:i + n] for i in range(0, len(data), n))


version = core(0x0104, 0, b"v1.2.3-rc")
put("fpga_receive", "version_whole", reads(version, 63))
put("fpga_receive", "version_split", reads(version, 3))
put("fpga_receive", "identity", reads(core(0x0102, 0, b"TC-640") + core(0x0103, 0, b"SN1") +
                                      core(0x00CE, 0, b"\x01fw1.0"), 127))
put("fpga_receive", "notices", reads(core(0xDD00, 1) + core(0xDC00, 1) + core(0x0508, 1, b"\x01") +
                                     core(0x0509, 1) + core(0x050A, 1), 9))
put("fpga_receive", "double_55", reads(b"\x55" + core(0xDC00, 1), 1))
put("fpga_receive", "bad_checksum", reads(version[:-3] + b"\x00\xEB\xAA" + core(0xDD00, 1), 31))
put("fpga_receive", "short_length", reads(bytes([0x55, 0x03, 0x01, 0x04, 0x5D, 0xEB, 0xAA]), 7))
put("fpga_receive", "long_length", reads(bytes([0x55, 0xFF]) + bytes(300) + core(0xDD00, 1), 509))
# A partial frame is given up after a silence (0xFF: 60 quiet ms).
put("fpga_receive", "stray_start", reads(b"\x55\x40", 3) + b"\xFF" + reads(core(0xDD00, 1), 63))
put("fpga_receive", "garbage_tail", reads(b"\x00\x13\x55\xF0", 5) + b"\xFF" + reads(core(0xDD00, 1), 63))
put("fpga_receive", "torn_frame", reads(version[:6], 7) + b"\xFF" + reads(version, 63))
put("fpga_receive", "behind_stray_start", reads(b"\x55\x30" + core(0xDD00, 1), 63) + b"\xFF")

# ---- the settings file and the EEPROM record ----
put("ini_load", "settings", """[qeldevstatus]
s8videomode = 0
s8screenbrightness = 5
s8language = 1
s8shotfronttime = 2
s8shotbacktime = 1
s8recoilsensitivity = 3
vesk_lrf_target = 1
vesk_lrf_processing = 0
vesk_lrf_min_m = 10
vesk_lrf_max_m = 20000
s8ballisticgroup = 0
vesk_debug = 1
vesk_dynamic_bc = 0

[irparam]
s8irbrightness = 5
s8irenchance = 3

[reticleparam]
s8reticlecolour = 5
s8reticlegroupindex = 2
s8reticlezeroindex = 1

[compassparam]
f32compassdeclination = -3.75
""")
put("ini_load", "out_of_range", "[qeldevstatus]\ns8shotfronttime=255\nvesk_lrf_target=9\n"
    "[reticleparam]\ns8reticlegroupindex=-1\n[compassparam]\nf32compassroll=1e39\n")
put("ini_load", "quoted", "[qeldevstatus]\ns8language = \"1\" ; comment\n# comment\n[irparam\n")

eeprom = ("[info]\npn=PN-7\nsn=SN-42\ns16rangeoffsetx=600\ns16rangeoffsety=610\ns16laserindicatx=620\n"
          "s16laserindicaty=630\ns16rangeminscale=900\ns16rangemaxscale=11000\nf_zero_azimuth=1.500000\n"
          "f_zero_pitch=-0.500000\nf_zero_slant=0.250000\n")
put("eeprom_load", "record", eeprom.encode() + bytes(64))
put("eeprom_load", "empty", bytes(4096)[:256])
put("eeprom_load", "awkward_serial", "[info]\nsn= ;#\"'x \npn=\t\nf_zero_pitch=nan\ns16rangeoffsetx=99999\n")

# ---- the log socket: a 16-bit size before each packet ----
def wire(kind, stream, epoch, line=b"", length=None):
    head = struct.pack("<IHHHH4xQI", 0x5645534B, 1, kind, stream, 0, epoch, len(line) if length is None else length)
    return head + line


def packets(*ps):
    return b"".join(struct.pack("<H", len(p)) + p for p in ps)


gui = b"mono_ms=1 src=gui tag=x flags=none | "
put("log_socket", "control_and_lines", packets(wire(1, 0, 7), wire(2, 1, 7, gui + b"detail\n"),
                                              wire(2, 2, 0, gui + b"error\n")))
put("log_socket", "cutoff_ack", packets(wire(4, 0, 1)))
put("log_socket", "forged_line", packets(wire(2, 1, 7, gui + b"one\ntwo\n")))
put("log_socket", "bad_length", packets(wire(2, 1, 7, gui, 5000)))

# ---- window resources ----
put("window_xml", "window", """<window name="fuzz" style="default">
  <label name="title" x="10" y="10" w="200" h="30" text="range" style="title"/>
  <view name="panel" x="c" y="m" w="50%" h="100">
    <label name="inner" x="0" y="0" w="100%" h="30" tr_text="ON"/>
    <progress_bar name="bar" x="r:10" y="b:10" w="80" h="10" value="25" max="100"/>
  </view>
  <image name="icon" x="r" y="b" w="16" h="16" image="dot" draw_type="icon"/>
  <hscroll_label name="scroll" x="0" y="200" w="100" h="20" text="a long scrolling text"/>
  <property name="single_instance">true</property>
</window>
""")
put("window_xml", "dialog", """<dialog name="fuzz" x="c" y="m" w="200" h="100">
  <dialog_title x="0" y="0" w="100%" h="30" text="title"/>
  <dialog_client x="0" y="30" w="100%" h="-30"><label text="body"/></dialog_client>
</dialog>
""")
# A window inside a window is refused, and a refused file leaves the window
# manager as it was for the next one.
put("window_xml", "nested_window", "<window><window/></window>\n")
put("window_xml", "nested_dialog", """<dialog name="fuzz">
  <view x="0" y="0" w="10" h="10"><dialog/></view>
</dialog>
""")


# ---- images ----
def png(w, h):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\x00" + b"".join(bytes([x * 40 & 0xFF, y * 60 & 0xFF, 128, 255]) for x in range(w))
                    for y in range(h))
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


def bmp(w, h, bpp, top_down=False, palette=b""):
    stride = (w * bpp + 31) // 32 * 4
    pixels = bytes((i * 37) & 0xFF for i in range(stride * h))
    offset = 14 + 40 + len(palette)
    head = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, w, -h if top_down else h, 1, bpp, 0, len(pixels), 2835, 2835,
                       len(palette) // 4, 0)
    return head + info + palette + pixels


put("image_decode", "rgba.png", png(4, 3))
put("image_decode", "bottom_up_24.bmp", bmp(3, 2, 24))
put("image_decode", "top_down_32.bmp", bmp(2, 2, 32, top_down=True))
put("image_decode", "palette_8.bmp", bmp(5, 2, 8, palette=bytes(range(16))))
put("image_decode", "mono_1.bmp", bmp(9, 3, 1, palette=b"\x00\x00\x00\x00\xff\xff\xff\x00"))


# ---- the key device: reads of input events, with the clock and ticks ----
def input_event(etype, code, value):
    """struct input_event: a 16-byte time, type, code, value."""
    return struct.pack("<qqHHi", 0, 0, etype, code, value)


def key(code, value):
    return input_event(1, code, value) + input_event(0, 0, 0)


def key_reads(*reads):
    """Each read: its length - 1, the clock's step in ms, ticks, the bytes."""
    out = b""
    for step, ticks, data in reads:
        out += bytes([len(data) - 1, step, ticks]) + data
    return out


put("key_events", "range_short", key_reads((0, 0, key(7, 1)[:48]), (100, 8, key(7, 0)[:48])))
put("key_events", "split_event", key_reads((0, 0, key(2, 1)[:7]), (0, 0, key(2, 1)[7:48]), (50, 2, key(2, 0)[:48])))
put("key_events", "left_down", key_reads((0, 0, key(4, 1)[:48]), (40, 0, key(3, 1)[:48]), (255, 8, key(3, 2)[:48]),
                                         (10, 0, key(3, 0)[:48]), (10, 0, key(4, 0)[:48])))
put("key_events", "power_double", key_reads((0, 0, key(8, 1)[:48]), (80, 0, key(8, 0)[:48]), (200, 4, key(8, 1)[:48]),
                                            (80, 8, key(8, 0)[:48])))

# ---- sensor files: an ADC value as text, ring limits, iio samples ----
def sample(x, y, z):
    return struct.pack("<hhh", x, y, z)


def sensors(text, lo, hi, samples):
    return bytes([len(text)]) + text + struct.pack("<hh", lo, hi) + samples


put("sensor_values", "level_north", sensors(b"13913\n", 1000, 12000, (sample(0, 0, -16384) + sample(0, 1000, 400)) * 20))
put("sensor_values", "tilted", sensors(b"6000\n", 1000, 4500, (sample(-2845, 2000, -15000) + sample(300, -700, 200)) * 20))
put("sensor_values", "narrow_ring", sensors(b"2000", 2000, 2300, sample(0, 16384, 0) * 2))
put("sensor_values", "not_a_number", sensors(b"abc", 4500, 1000, b""))

# ---- device commands off the app bus: the target, then a frame to seal ----
put("device_commands", "laser_on", bytes([0]) + sealed(0, 0, 22, 0, b"\x01"))
put("device_commands", "factory_reset", bytes([0]) + sealed(0, 0, 11, 0, b"\x02"))
put("device_commands", "wind_switch", bytes([0]) + sealed(0, 0, 34, 0, b"\x01"))
put("device_commands", "declination", bytes([1]) + sealed(6, 1, 0, 0, b"\x01\x03\x00\x05"))
put("device_commands", "calibration_start", bytes([1]) + sealed(6, 6, 0, 0, b"\x00"))
put("device_commands", "self_check", bytes([2]) + sealed(11, 0, 0, 0, b"\x00"))

# ---- update packages: the three forms and a few the check refuses ----
import io
import zipfile

MEMBERS_LEGACY = ["update.sh", "sightd", "release.tar"]
MEMBERS_SINGLE = MEMBERS_LEGACY[:2] + ["libCustBallisticCalculator.so", "release.tar", "VESK_VERSION.txt",
                                       "VESK_RELEASE.sha256", "VESK_INSTALL.meta", "VESK_PAYLOAD.sha256"]
MEMBERS_DUAL = ["update.sh", "sightd", "libCustBallisticCalculator.so", "VESK_INSTALL.meta", "VESK_PAYLOAD.sha256",
                "release-640.tar", "release-1280.tar", "VESK_VERSION-640.txt", "VESK_VERSION-1280.txt",
                "VESK_RELEASE-640.sha256", "VESK_RELEASE-1280.sha256"]


def package(top, names, method=zipfile.ZIP_DEFLATED, folder=True):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", method) as z:
        if folder:
            z.writestr(zipfile.ZipInfo(top + "/"), b"")
        for n in names:
            info = zipfile.ZipInfo(top + "/" + n)
            info.external_attr = 0o100644 << 16
            info.compress_type = method
            z.writestr(info, ("contents of %s\n" % n).encode() * 3)
    return out.getvalue()


put("update_package", "legacy", package("device_upgrade_v1", MEMBERS_LEGACY + ["morv_httpd"]))
put("update_package", "single_stored", package("device_upgrade_v2", MEMBERS_SINGLE, zipfile.ZIP_STORED))
put("update_package", "dual", package("device_upgrade_v3", MEMBERS_DUAL, folder=False))
put("update_package", "traversal", package("device_upgrade_v4", ["update.sh", "sightd", "../release.tar"]))
put("update_package", "bad_crc", package("device_upgrade_v5", MEMBERS_LEGACY).replace(b"contents of sightd",
                                                                                       b"contents of sightD"))


# ---- the reports at start: mode, installer report length, the two reports ----
def reports(mode, installer, media):
    return bytes([mode]) + u16(len(installer)) + installer + media


INSTALLER = b"boot installer: the update was not installed\nreason=no space\n"
APP = (b"VESK NURAX PRO: the update from Media was not installed\nreported_by=application\nstate=pending\n"
       b"step=publication\ndetail=x\nfile=device_upgrade_a.zip\narchive=a\nlive=l\naction=b\ninstaller_report=none\n")
COPIED = (b"VESK NURAX PRO: the boot installer reported a failure\nreported_by=boot installer\n"
          b"installer_report=%08x-%d\n--- /usrdata/update/vesk_update_failed.txt ---\n" %
          (zlib.crc32(INSTALLER), len(INSTALLER)) + INSTALLER)
put("update_report", "installer_only", reports(1, INSTALLER, b""))
put("update_report", "already_copied", reports(3, INSTALLER, COPIED))
put("update_report", "pending_settled", reports(2, b"", APP))
put("update_report", "binary_installer", reports(1, bytes(range(256)) * 20, b""))


# ---- the PC tool's line: recording flags, then reads (a length byte
# before each piece) of tool frames CC L class object item dir data ----
def tool(cls, obj, item, direction, data=b""):
    body = bytes([0xCC, len(data) + 6, cls, obj, item, direction]) + data
    return body + bytes([sum(body) & 0xFF, 0xEB, 0xAA])


reads_all = (tool(0, 0x1A, 0, 1, b"\x00") + tool(0, 0x1A, 1, 1) + tool(0, 0x1A, 2, 1) + tool(0, 0x22, 0, 1) +
             tool(0, 0x23, 0, 1) + tool(0x0F, 0, 0, 1) + tool(6, 1, 3, 1) + tool(0x16, 9, 1, 1))
put("upper_receive", "reads", bytes([0]) + pieces(reads_all, 32))
put("upper_receive", "serial_number", bytes([0]) + pieces(tool(0, 0x1A, 1, 0, b"VK-2026-0099"), 5))
put("upper_receive", "part_number_blank", bytes([0]) + pieces(tool(0, 0x1A, 2, 0, b" VK 1\n"), 32))
put("upper_receive", "zero_slant", bytes([0]) + pieces(tool(6, 1, 3, 0, b"\x01\x19\x00"), 3))
put("upper_receive", "date_recording", bytes([2]) + pieces(tool(0, 0x1B, 0, 0, u16(2024) + bytes([2, 29, 23, 59, 59])), 32))
put("upper_receive", "keys", bytes([0]) + pieces(tool(7, 0, 0, 0, b"\x03") + tool(7, 0, 0, 0, b"\x02"), 1))
put("upper_receive", "offsets", bytes([0]) + pieces(tool(0x16, 9, 1, 0, u16(528)) + tool(0x16, 9, 3, 0, b"\x03"), 32))
put("upper_receive", "noise", bytes([0]) + pieces(b"\x00\xCC\xCC\x55\xCC\x55" + bytes(0x55) + tool(0x0F, 0, 0, 1), 32))
put("upper_receive", "factory_media", bytes([0]) + pieces(tool(0, 0x0B, 0, 0) + tool(0, 0x08, 0, 0, b"\x05"), 32))


def upper_after(quiet_steps, data):
    """One read of data (at most 32 bytes) after quiet_steps x 25 ms."""
    return bytes([(quiet_steps << 5) | (len(data) - 1)]) + data


# A partial frame is given up after a silence: a stray start byte with a
# length, a garbage tail ending in a start byte, a torn request.
probe = tool(0, 0x1A, 0, 1, b"\x00")
put("upper_receive", "stray_start", bytes([0]) + upper_after(0, b"\xCC\x20") + upper_after(4, probe))
put("upper_receive", "garbage_tail", bytes([0]) + upper_after(0, b"\x12\x34\xEB\xCC") + upper_after(3, probe))
put("upper_receive", "torn_request", bytes([0]) + upper_after(0, probe[:5]) + upper_after(2, probe))
put("upper_receive", "behind_stray_start", bytes([0]) + upper_after(0, b"\xCC\x30" + probe) + upper_after(4, b"\x00"))

# ---- the phone's exchange file ----
put("bccal_import", "all_keys", """[bccal]
spinDrift=true
target_distance=4000
target_angle=5.5
wind_direction=-90
wind_speed=3
coriolisEffect_lat=45
coriolisEffect_azimuth=90
weather_temperature=15
weather_airPressure=760
weather_humidity=50
gun_riflingRange=10
gun_riflingDirection=left
gun_bullet_length=30
gun_bullet_diameter=7.8
gun_bullet_weight=10
gun_bullet_coefficient=0.5
gun_bullet_dragModel=g7
gun_bullet_muzzleVelocity=850
gun_bullet_zeroingWeather_temperature=20
gun_bullet_zeroingWeather_airPressure=750
gun_bullet_zeroingWeather_humidity=40
gun_bullet_isOpenzeroingWeather=true
gun_bullet_zeroOffsetUnit=mrad
gun_bullet_zeroOffsetVertical=1
gun_bullet_zeroOffsetHorizontal=-0.5
gun_scope_zeroingDistance=100
gun_scope_height=45
gun_scope_unit=1
result_moaVertical=1.5
result_moaHorizontal=-2
result_mradVertical=0.4
result_mradHorizontal=0
""")
put("bccal_import", "preamble_and_crlf", "phone=1\r\n[bccal]\r\ntarget_distance=100\r\nwind_speed=fast\r\n")
put("bccal_import", "export_form", "[bccal]\nspinDrift=0\ntarget_distance=100.000000\ngun_riflingDirection=1\n"
    "gun_bullet_zeroOffsetUnit=0\ngun_bullet_zeroOffsetHorizontalMOA=1.250000\ngun_scope_unit=0\n")
put("bccal_import", "cut_off", "[bccal]\ntarget_distance=4000\nwind_sp")
put("bccal_import", "results_at_and_past_a_right_angle",
    "[bccal]\nresult_moaVertical=5400\nresult_moaHorizontal=-1e9\nresult_mradVertical=1569.76\n"
    "result_mradHorizontal=-1570")


# ---- the phone's commands (even target byte) and the wind meter's (odd) ----
put("phone_commands", "set_ssid", bytes([0]) + sealed(244, 0, 0, 0, b"VeskNV_phone"))
put("phone_commands", "set_passwd", bytes([0]) + sealed(244, 0, 2, 0, b"phonepass1"))
put("phone_commands", "get_ssid", bytes([0]) + sealed(244, 0, 1, 0))
put("phone_commands", "device_info", bytes([0]) + sealed(244, 0, 6, 0))
put("phone_commands", "clock", bytes([0]) + sealed(244, 0, 14, 0, b"20240229235959"))
put("phone_commands", "longest_payload", bytes([0]) + raw(frame(244, 0, 0, 0, b"n" * 239)))
put("phone_commands", "payload_without_room", bytes([0]) + raw(frame(244, 0, 2, 0, b"p" * 240)))
put("phone_commands", "short_length", bytes([0]) + raw(bytes([0xAA, 5, 244, 0, 0, 0, 0, 0xEB, 0xAA])))
put("phone_commands", "meter_state", bytes([1]) + sealed(29, 1, 0xFF, 0, b"\x01"))
put("phone_commands", "meter_wind", bytes([1]) + sealed(29, 2, 0xFF, 0, u16(261)))
