#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/<target>/ and the dictionaries in
fuzz/dict/. Small files only; rerun after changing it (needs gcab and
mscompress for the cabinet and LZ seeds)."""
import os, shutil, struct, subprocess, sys, tempfile

here = os.path.dirname(os.path.abspath(__file__))

def put(target, name, data):
    d = os.path.join(here, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)

def header(lines, bom=False, enc="cp932"):
    text = "[RX_DownLoad]\r\n" + "".join(l + "\r\n" for l in lines)
    return (b"\xef\xbb\xbf" if bom else b"") + text.encode(enc)

def stored_cab(members):
    files = b""; data = b""
    for name, content in members:
        files += struct.pack("<IIHHHH", len(content), len(data), 0, 0x5A21, 0, 0x20) + name + b"\0"
        data += content
    coff_files = 36 + 8
    coff_data = coff_files + len(files)
    blocks = struct.pack("<IHH", 0, len(data), len(data)) + data
    head = b"MSCF" + struct.pack("<IIIIIBBHHHHH", 0, coff_data + len(blocks), 0, coff_files, 0, 3, 1,
                                 1, len(members), 0, 0x1234, 0)
    return head + struct.pack("<IHH", coff_data, 1, 0) + files + blocks

fw = bytes((i * 131 + 7) & 0xFF for i in range(300))
full = ["FileFormat=RXF", "DownLoadDesc=ﾃｽﾄ用ﾌｧｰﾑｳｪｱ", "DownLoadVersion=Ver 1.00", "EnableCommand=1",
        "Reboot=0", 'DownLoadPrinter="RX-110","HALVORN KV3"', "BeginMessage=開始\\n前に", "DoneMessage=完了"]
plain = {
    "embedded": header(full) + b"[Printers]\r\nRX-999=7,1\r\nEMPTY=\r\n\x1a" + fw,
    "named": header(["FileFormat=RXF", "DownLoadFile=FW1.BIN,sub\\FW2.BIN,../x,/abs"]),
    "bom": header(["FileFormat=RXF", "DownLoadDesc=ý ソ"], bom=True, enc="utf-8") + b"\x1a" + fw[:40],
    "nomark": header(["FileFormat=RXF", "DownLoadDesc=x"]) + b"payload",
    "noheader": fw[:64],
    "quotes": header(["FileFormat='rxf'", 'DownLoadDesc="  q  "', "EnableCommand=-12abc", "Reboot=0x10"]) + b"\x1a\x1a1",
}
for k, v in plain.items():
    put("fuzz_package_plain", k, v)

with tempfile.TemporaryDirectory() as tmp:
    for k in ("embedded", "bom", "noheader"):
        p = os.path.join(tmp, k + ".RXF")
        open(p, "wb").write(plain[k])
        subprocess.run(["mscompress", p], check=True, stdout=subprocess.DEVNULL)
        put("fuzz_package_lz", k, open(p + "_", "rb").read())
    src = os.path.join(tmp, "src"); os.makedirs(os.path.join(src, "sub"))
    open(os.path.join(src, "HEADER.RXF"), "wb").write(header(full + ["DownLoadFile=FW1.BIN,sub\\FW2.BIN"]))
    open(os.path.join(src, "FW1.BIN"), "wb").write(fw)
    open(os.path.join(src, "sub", "FW2.BIN"), "wb").write(fw[::-1])
    open(os.path.join(src, "LOGO.ico"), "wb").write(b"icon")
    for z in (False, True):
        cab = os.path.join(tmp, "z.cab" if z else "s.cab")
        subprocess.run(["gcab", "-c"] + (["-z"] if z else []) + [cab, "HEADER.RXF", "FW1.BIN", "sub/FW2.BIN", "LOGO.ico"],
                       cwd=src, check=True, stdout=subprocess.DEVNULL)
        put("fuzz_package_cabinet", "mszip" if z else "stored", open(cab, "rb").read())
put("fuzz_package_cabinet", "handmade", stored_cab([(b"HEADER.RXF", header(["FileFormat=RXF", "DownLoadFile=A.BIN"])),
                                                    (b"A.BIN", b"firmware"), (b"..\\UP.BIN", b"x"), (b"X.ICO", b"i")]))

put("fuzz_profile", "header", plain["embedded"])
put("fuzz_profile", "settings", b"[Settings]\r\nWindowPos=80,160,480,400\r\nShowMessage=1\r\nInitItems=7\r\n"
    b"[Printers]\r\nRX-110=9,1\r\nKV3=31\r\n[a]\r\nA=1\r\n[A]\r\na=2\r\n;comment\r\n\r\n=novalue\r\n[broken\r\n")
put("fuzz_profile", "bom", b"\xef\xbb\xbf[S]\nk = \"v\" \nk2='x'\n\x1atail")

put("fuzz_model_rows", "rows", b"RX-110=9,1\nHALVORN KV3=31\nBAD=abc,2\n=7\nLONG" + b"N" * 40 + b"=123456789012345678901234567890123,1\n")
put("fuzz_model_rows", "sjis", "ﾌﾟﾘﾝﾀ=4\nプリンタ=5,1\n".encode("cp932"))

put("fuzz_text", "cp932", b"\x40" + "ﾃｽﾄ ソフト 一時 表示".encode("cp932") + b"\x83")
put("fuzz_text", "utf8", b"\x05" + "ý ソ ﾃｽﾄ".encode("utf-8") + b"\xc2\x9b\x1b]0;t\x07")
put("fuzz_text", "backslash", b"\x10sub\\\x83\x5c\\x\\")

put("fuzz_command_line", "window", b"/NM\0/NO\0/HN=192.0.2.1\0/M=RX-110\0P.RXF")
put("fuzz_command_line", "cli_info", b"info\0P.RXF\0--json")
put("fuzz_command_line", "cli_download", b"download\0P.RXF\0--printer\0q\0--yes\0--jobs\0002\0--init-items\0none")
put("fuzz_command_line", "cli_job", b"job\0P.RXF\0-o\0out.bin\0--model\0KV3")

put("fuzz_net_console", "query", b"\xff\xfb\x01\xff\xfd\x03login: \r\nModel name : RX-LN2\r\nVersion : 1.02\r\nRX-LN2> ")
put("fuzz_net_console", "long", b"Model name: " + b"M" * 300 + b"\r\n\n\r")
put("fuzz_net_reply", "multi", b"\x03230-first\r\n second\r\n230 done\r\n220 ready\r\n")
put("fuzz_net_reply", "long", b"\x00" + b"2" * 260 + b"\r\n")
put("fuzz_net_listing", "listing", b"drwxr-xr-x 2 root root 0 Jan 1 00:00 vesta0\r\n-rw-r--r-- 1 a b 5 Jan 1 2020 x\r\n")

dicts = {
    "fuzz_package_plain": ["[RX_DownLoad]", "[Printers]", "FileFormat=RXF", "DownLoadFile=", "DownLoadDesc=",
                           "DownLoadPrinter=", "BeginMessage=", "DoneMessage=", "EnableCommand=", "Reboot=",
                           "\\x1a", "\\xef\\xbb\\xbf", "\\\\n", "\\x0d\\x0a"],
    "fuzz_package_cabinet": ["MSCF", "CK", "HEADER.RXF", "DownLoadFile=", "FileFormat=RXF", ".ico", "\\x1a"],
    "fuzz_profile": ["[RX_DownLoad]", "[Printers]", "[Settings]", "FileFormat=RXF", "DownLoadFile=", "\\x1a",
                     "\\xef\\xbb\\xbf", "0x", "$", "\\x0d\\x0a"],
    "fuzz_command_line": ["/NM", "/NC", "/NO", "/HN=", "/PR=", "/M=", "info", "download", "job", "query",
                          "printers", "--json", "--yes", "--force", "--printer", "--printers-from", "--model",
                          "--init-items", "--output", "--jobs", "-o", "\\x00"],
    "fuzz_net_console": ["\\xff\\xfb", "\\xff\\xfd", "\\xff\\xfc", "\\xff\\xfe", "\\xff\\xff", "Model name",
                         "login:", "> ", "\\x0d\\x0a"],
}
for t, words in dicts.items():
    os.makedirs(os.path.join(here, "dict"), exist_ok=True)
    with open(os.path.join(here, "dict", t + ".dict"), "w") as f:
        f.write("# made by fuzz/make_corpus.py\n")
        for w in words:
            f.write('"%s"\n' % w.replace('"', '\\"'))
