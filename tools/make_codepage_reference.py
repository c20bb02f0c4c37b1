#!/usr/bin/python3
"""Writes tests/driver/CodePageReference.txt: what every byte of every code
page the reader knows stands for, taken from the mapping tables Unicode and
the vendors publish, never from the converter the reader uses (glibc's iconv).

    /usr/bin/python3 tools/make_codepage_reference.py > tests/driver/CodePageReference.txt

Sources, each checked against another where two exist:
- DOS pages, Windows pages' defined bytes, HP Roman-8 and the CJK pages'
  single bytes: Python's codecs, generated from Unicode's mapping files
  (VENDORS/MICSFT/PC, VENDORS/MICSFT/WINDOWS, hp_roman8), compared here with
  glibc's charmaps (/usr/share/i18n/charmaps, package locales), which are
  written apart from its converters; they must agree byte for byte.
- A Windows page's bytes that the mapping files leave undefined: as Windows
  gives them (MultiByteToWideChar), from the MBTABLE of Microsoft's
  WindowsBestFit tables (bestfitNNN.txt): 0x80-0x9F the C1 control of the
  same number, the others below.
"""
import codecs
import gzip
import re
import sys

DOS = [437, 737, 775, 850, 852, 855, 857, 858, 860, 861, 862, 863, 864, 865, 866, 869]
WINDOWS = [874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258]
MULTI = [932, 936, 949, 950]
ROMAN8 = 1051  # HP Roman-8 has no DOS/Windows number; IBM's CCSID stands in

# MBTABLE entries of bestfitNNN.txt for bytes outside 0x80-0x9F that the
# mapping files leave undefined ("Undefined -> EUDC").
BESTFIT = {
    874: {0xDB: 0xF8C1, 0xDC: 0xF8C2, 0xDD: 0xF8C3, 0xDE: 0xF8C4,
          0xFC: 0xF8C5, 0xFD: 0xF8C6, 0xFE: 0xF8C7, 0xFF: 0xF8C8},
    1253: {0xAA: 0xF8F9, 0xD2: 0xF8FA, 0xFF: 0xF8FB},
    1255: {0xCA: 0x05BA, 0xD9: 0xF88D, 0xDA: 0xF88E, 0xDB: 0xF88F, 0xDC: 0xF890,
           0xDD: 0xF891, 0xDE: 0xF892, 0xDF: 0xF893, 0xFB: 0xF894, 0xFC: 0xF895, 0xFF: 0xF896},
    1257: {0xA1: 0xF8FC, 0xA5: 0xF8FD},
    # bestfit950.txt: "0x80 0x0080 ;Undefined -> Control", "0xff 0xf8f8 ;Undefined -> EUDC".
    950: {0x80: 0x0080, 0xFF: 0xF8F8},
}
# Single bytes of multi-byte pages that Python's codec leaves undefined but
# the vendor defines: Microsoft's CP936.TXT (and glibc's GBK charmap) put the
# euro sign at 0x80.
VENDOR_EXTRA = {936: {0x80: 0x20AC}}

CHARMAP = {ROMAN8: 'HP-ROMAN8', 932: 'WINDOWS-31J', 936: 'GBK', 949: 'CP949', 950: 'BIG5'}
PYTHON = {ROMAN8: 'hp_roman8', 932: 'cp932', 936: 'cp936', 949: 'cp949', 950: 'cp950'}


def charmap(page):
    names = [CHARMAP[page]] if page in CHARMAP else ['CP%d' % page, 'IBM%d' % page]
    for name in names:
        try:
            with gzip.open('/usr/share/i18n/charmaps/%s.gz' % name, 'rt', encoding='latin-1') as f:
                text = f.read()
        except FileNotFoundError:
            continue
        single = {}
        for line in text.split('\nCHARMAP\n', 1)[1].splitlines():
            m = re.match(r'<U([0-9A-F]+)>\s+/x([0-9a-f]{2})(\s|$)', line)
            if m:
                single.setdefault(int(m.group(2), 16), int(m.group(1), 16))
        return single
    sys.exit('no charmap for code page %d' % page)


def python(page):
    name = PYTHON.get(page, 'cp%d' % page)
    out = {}
    for b in range(256):
        try:
            text = bytes([b]).decode(name)
        except UnicodeDecodeError:
            continue
        if len(text) == 1:
            out[b] = ord(text)
    return out


def lead_bytes(page):
    name = PYTHON[page]
    leads = set()
    for b in range(0x81, 0xFF):
        for trail in range(0x40, 0xFF):
            try:
                if len(bytes([b, trail]).decode(name)) == 1:
                    leads.add(b)
                    break
            except UnicodeDecodeError:
                pass
    return leads


def table(page):
    py = python(page)
    glibc = charmap(page)
    entries = []
    leads = lead_bytes(page) if page in MULTI else set()
    for b in range(256):
        value = py.get(b)
        if value is None and page in MULTI:
            value = VENDOR_EXTRA.get(page, {}).get(b, BESTFIT.get(page, {}).get(b))
        # Python's cp932 carries Microsoft's own values for bytes glibc's charmap leaves out,
        # and bestfit950.txt defines 0xFF.
        known = (page == 932 and value in (0x80, 0xF8F0, 0xF8F1, 0xF8F2, 0xF8F3)) or (page == 950 and b == 0xFF)
        if glibc.get(b) != value and not known:
            sys.exit('code page %d byte 0x%02X: Python says %s, glibc %s' % (page, b, value, glibc.get(b)))
        if b in leads:
            entries.append('lead')
        elif value is not None:
            entries.append('%04X' % value)
        elif page in WINDOWS and 0x80 <= b <= 0x9F:
            entries.append('%04X' % b)
        elif page in BESTFIT and b in BESTFIT[page]:
            entries.append('%04X' % BESTFIT[page][b])
        else:
            entries.append('----')
    return entries


def main():
    print('# What every byte of every code page the reader knows stands for: 16 bytes')
    print('# a line, each a Unicode code point in hex; ---- for a byte the page leaves')
    print('# undefined (the reader gives U+FFFD), lead for the first byte of a')
    print('# two-byte character (alone, a cut-off sequence: U+FFFD).')
    print('# Made by /usr/bin/python3 tools/make_codepage_reference.py (its sources are')
    print('# named there); do not edit by hand.')
    for page in sorted(DOS + WINDOWS + MULTI + [ROMAN8]):
        entries = table(page)
        print('page %d' % page)
        for row in range(16):
            print('%X0 %s' % (row, ' '.join(entries[row * 16:row * 16 + 16])))


main()
