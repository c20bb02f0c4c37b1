#!/usr/bin/python3
"""Checks a whole folder of tables exported at once against each table
exported on its own:

    /usr/bin/python3 tools/check_whole_export.py build/bin/vellomar FOLDER [WORK]

- FOLDER into one SQLite database: every table read back with Python's
  sqlite3, value for value, against the same table's own CSV export (the
  reader's values as text) and, for blobs, byte for byte against the files
  --blobs writes of it; a primary key is the table's first fields (which
  tables have one is the reader's key count: tests/cli/DatabaseExportTest).
- FOLDER into one workbook: one worksheet per table (more where a table
  outgrows one), each worksheet's XML, pictures and links the same as those
  of the table's own workbook; the workbook opens in openpyxl.

Prints what it compared and every difference; exits 1 on any.
"""
import csv
import json
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import zipfile
import posixpath

import openpyxl

csv.field_size_limit(1 << 30)


def export(vellomar, args):
    run = subprocess.run([vellomar, "export", *args], capture_output=True, text=True, errors="replace")
    if run.returncode == 2:
        sys.exit("vellomar export " + " ".join(args) + " failed:\n" + run.stderr)
    # "NAME[ (file)]: N rows -> OUTPUT", one line for each table written, in order.
    return [(m.group(1), m.group(2)) for m in re.finditer(r"^(.*): [\d,]+ rows? -> (.*)$", run.stderr, re.M)]


def same(value, field, declared, folder):
    """Whether the database's value is the CSV field (the reader's value as text)."""
    if value is None:
        return field == ""
    kind = declared.split()[0] if declared else ""
    if isinstance(value, bytes):  # BLOB: the file --blobs wrote of the value
        path = os.path.join(folder, field)
        return field != "" and os.path.isfile(path) and open(path, "rb").read() == value
    if isinstance(value, int):
        if kind == "LOGICAL":
            return field == ("TRUE" if value else "FALSE")
        return field == str(value)
    if isinstance(value, float):
        try:
            return float(field) == value
        except ValueError:
            return False
    text = value
    if kind == "TIMESTAMP":
        text = text.replace(" ", "T", 1)
    return field == text or (kind in ("NUMBER", "MONEY") and text == field)  # NaN stays text


def check_database(vellomar, folder, work, singles):
    db = os.path.join(work, "all.sqlite")
    export(vellomar, [folder, "-o", db])
    con = sqlite3.connect(db)
    con.text_factory = lambda b: b.decode("utf-8", "replace")  # blobs stay bytes
    names = [r[0] for r in con.execute("SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid")]
    problems, values, blobs, keyed = [], 0, 0, 0
    if len(names) != len(singles):
        problems.append(f"{len(names)} tables in the database, {len(singles)} exported on their own")
    for t, (label, table) in enumerate(singles):
        if t >= len(names):
            break
        name = names[t]
        own = os.path.join(work, "one", str(t))
        os.makedirs(own, exist_ok=True)
        export(vellomar, [table, "-o", os.path.join(own, "t.csv"), "--blobs", os.path.join(own, "blobs")])
        with open(os.path.join(own, "t.csv"), newline="", encoding="utf-8", errors="replace") as f:
            records = list(csv.reader(f))
        info = con.execute("SELECT name, type, pk FROM pragma_table_info(?)", (name,)).fetchall()
        columns = [r[0] for r in info]
        declared = [r[1] for r in info]
        # A key is the table's first fields, in their order.
        key = [c for c, _, pk in sorted(info, key=lambda r: r[2]) if pk > 0]
        keyed += bool(key)
        if key != columns[:len(key)]:
            problems.append(f"{label}: primary key {key} is not the first fields")
        if records and records[0] != columns:
            problems.append(f"{label}: columns {columns}, header {records[0]}")
        rows = con.execute('SELECT * FROM "' + name.replace('"', '""') + '" ORDER BY rowid').fetchall()
        if len(rows) != len(records) - 1:
            problems.append(f"{label}: {len(rows)} rows in the database, {len(records) - 1} in its CSV")
        for r, (row, record) in enumerate(zip(rows, records[1:])):
            for c, value in enumerate(row):
                values += 1
                blobs += isinstance(value, bytes)
                if not same(value, record[c] if c < len(record) else "", declared[c], own):
                    problems.append(f"{label}: row {r + 1}, {columns[c]}: {value!r:.80} against {record[c]!r:.80}")
    con.close()
    print(f"database: {len(names)} tables, {values} values ({blobs} blobs byte for byte), {keyed} with a primary key")
    return problems


def parts(archive, sheet_part):
    """A sheet's XML (its own selection aside) and what it refers to, resolved."""
    def rels(part):
        rel = posixpath.join(posixpath.dirname(part), "_rels", posixpath.basename(part) + ".rels")
        if rel not in archive.namelist():
            return {}
        xml = archive.read(rel).decode()
        found = {}
        for m in re.finditer(r'<Relationship Id="([^"]+)" Type="[^"]*/([^"/]+)" Target="([^"]+)"( TargetMode="External")?', xml):
            target = m.group(3) if m.group(4) else posixpath.normpath(posixpath.join(posixpath.dirname(part), m.group(3)))
            found[m.group(1)] = (m.group(2), target, bool(m.group(4)))
        return found

    sheet = archive.read(sheet_part).decode().replace(' tabSelected="1"', "")
    out = {"sheet": sheet, "links": [], "drawing": None, "images": []}
    for rid, (kind, target, external) in sorted(rels(sheet_part).items()):
        if kind == "hyperlink":
            out["links"].append((rid, target))
        elif kind == "drawing":
            out["drawing"] = archive.read(target)
            for _, (_, image, _) in sorted(rels(target).items(), key=lambda i: int(i[0][3:])):
                out["images"].append(archive.read(image))
    return out


def sheet_parts(archive):
    """The workbook's sheets in order: (name, part)."""
    book = archive.read("xl/workbook.xml").decode()
    rels = archive.read("xl/_rels/workbook.xml.rels").decode()
    targets = dict(re.findall(r'<Relationship Id="([^"]+)" Type="[^"]*/worksheet" Target="([^"]+)"', rels))
    return [(name, "xl/" + targets[rid]) for name, rid in re.findall(r'<sheet name="([^"]*)" sheetId="\d+" r:id="([^"]+)"/>', book)]


def check_workbook(vellomar, folder, work, singles):
    book = os.path.join(work, "all.xlsx")
    export(vellomar, [folder, "-o", book])
    problems, pictures, links = [], 0, 0
    with zipfile.ZipFile(book) as archive:
        sheets = sheet_parts(archive)
        at = 0
        for t, (label, table) in enumerate(singles):
            own_file = os.path.join(work, "one", str(t), "t.xlsx")
            export(vellomar, [table, "-o", own_file])
            with zipfile.ZipFile(own_file) as own:
                own_sheets = sheet_parts(own)
                for s, (_, part) in enumerate(own_sheets):
                    if at >= len(sheets):
                        problems.append(f"{label}: its sheet {s + 1} is missing")
                        break
                    expected, got = parts(own, part), parts(archive, sheets[at][1])
                    pictures += len(got["images"])
                    links += len(got["links"])
                    if expected != got:
                        problems.append(f"{label}: sheet {sheets[at][0]} differs from its own workbook's sheet {s + 1}")
                    at += 1
        if at != len(sheets):
            problems.append(f"{len(sheets)} sheets in the workbook, {at} in the tables' own workbooks")
    loaded = openpyxl.load_workbook(book, read_only=True)
    if len(loaded.sheetnames) != len(sheets):
        problems.append(f"openpyxl reads {len(loaded.sheetnames)} sheets")
    print(f"workbook: {len(sheets)} sheets for {len(singles)} tables, {pictures} pictures, "
          f"each sheet the same as its table's own; openpyxl reads {len(loaded.sheetnames)} sheets")
    return problems


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    vellomar, folder = os.path.abspath(sys.argv[1]), sys.argv[2]
    work = sys.argv[3] if len(sys.argv) == 4 else tempfile.mkdtemp(prefix="vellomar-whole-")
    shutil.rmtree(os.path.join(work, "one"), ignore_errors=True)
    for name in ("all.sqlite", "all.xlsx"):
        if os.path.exists(os.path.join(work, name)):
            os.remove(os.path.join(work, name))
    # Every table, in the order the exports take them, named by its file.
    singles = [(label, re.search(r"\((.*)\)$", label).group(1) if label.endswith(")") else None)
               for label, _ in export(vellomar, [folder, "-o", os.path.join(work, "list") + "/", "--format", "csv"])]
    listed = subprocess.run([vellomar, "list", "--json", folder], capture_output=True, text=True).stdout
    files = {}
    for entry in json.loads(listed):
        files.setdefault(entry["name"].upper(), []).append(os.path.join(entry["folder"], entry["file"]))
    singles = [(label, path or files[label.upper()][0]) for label, path in singles]
    problems = check_database(vellomar, folder, work, singles) + check_workbook(vellomar, folder, work, singles)
    for problem in problems[:50]:
        print("  " + problem)
    print(f"{len(problems)} differences")
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
