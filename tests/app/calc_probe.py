"""The Calc side of the clean-exit runs (desktop.py), over the UNO pipe the tool attaches to.

The starting state, on the first sheet: A1:A20 values with runs of equal neighbours and no
merged area (the small smart merge), B1:B20 merged areas whose covered cells are blank (the
small unmerge and fill), C1:C100000 runs of 1 to 5 equal numbers (the long smart merge).
What a completed command leaves: A or C, every run of two or more merged and every value
kept; B, no merged area and every blank holding the value above it.
"""
import time

import uno
from com.sun.star.connection import NoConnectException
from com.sun.star.lang import DisposedException

PIPE = "uno:pipe,name=gridmoor;urp;StarOffice.ComponentContext"
ROWS_SMALL, ROWS_LONG = 20, 100000  # desktop.py merges C1:C100000
COLUMN_A = ["北区", "北区", "北区", "南区", "南区", "东区", 1., 1., 2., 2., 2., 3.,
            "x", "x", "x", "x", "y", "z", "z", 5.]
COLUMN_B = [("甲", 3), ("乙", 1), ("丙", 2), (7., 4), ("丁", 1), (8., 2), ("戊", 3),
            ("己", 2), ("庚", 2)]  # (value, rows it spans) from B1 down


def starting_columns():
    """Columns A, B, C and B's merged areas; C's run lengths come from a fixed generator,
    so every run sees the same column."""
    b, b_merges = [], []
    for value, span in COLUMN_B:
        if span > 1:
            b_merges.append((len(b), len(b) + span - 1))
        b += [value] + [""] * (span - 1)
    c, seed, index = [], 12345, 0
    while len(c) < ROWS_LONG:
        seed = (seed * 1103515245 + 12345) % 2**31
        c += [float(index % 997)] * min(1 + (seed >> 16) % 5, ROWS_LONG - len(c))
        index += 1
    return list(COLUMN_A), b, b_merges, c


def runs_of(values):
    """(first, last) rows of every run of two or more equal neighbours."""
    out, start = [], 0
    for i in range(1, len(values) + 1):
        if i == len(values) or values[i] != values[start]:
            if i - start >= 2:
                out.append((start, i - 1))
            start = i
    return out


def connect(book):
    local = uno.getComponentContext()
    remote = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local).resolve(PIPE)
    desktop = remote.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", remote)
    components = desktop.getComponents().createEnumeration()
    while components.hasMoreElements():
        doc = components.nextElement()
        if doc.supportsService("com.sun.star.sheet.SpreadsheetDocument") and \
                doc.getURL().endswith("/" + book):
            return doc
    return None


def merged_areas(sheet):
    """Every merged area whose top-left cell lies in A1:C100000, as (column, first row, last
    column, last row). Cells of one format group share their merge attribute, so one probe
    of a group's first cell tells whether all of them are top-left cells of areas of one size."""
    found = set()
    for group in sheet.getCellRangeByPosition(0, 0, 2, ROWS_LONG - 1).getUniqueCellFormatRanges():
        addresses = group.getRangeAddresses()
        if not addresses:
            continue
        col, row = addresses[0].StartColumn, addresses[0].StartRow
        cursor = sheet.createCursorByRange(sheet.getCellRangeByPosition(col, row, col, row))
        cursor.collapseToMergedArea()
        area = cursor.getRangeAddress()
        if (area.StartColumn, area.StartRow) != (col, row) or \
                (area.EndColumn, area.EndRow) == (col, row):
            continue  # covered cells, or cells outside any merged area
        height, width = area.EndRow - row, area.EndColumn - col
        found |= {(c, r, c + width, r + height) for a in addresses
                  for c in range(a.StartColumn, a.EndColumn + 1)
                  for r in range(a.StartRow, a.EndRow + 1)}
    return found


def on_book(book, act):
    """act(doc) on the open `book`; why not, when Calc or the book cannot be reached."""
    try:
        doc = connect(book)
    except (NoConnectException, DisposedException) as e:
        return f"Calc does not answer: {e}"
    return act(doc) if doc is not None else f"Calc shows no {book}"


def wait(book, seconds):
    """Whether a Calc listening on the pipe shows `book` within `seconds`."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            doc = connect(book)
            if doc is not None and doc.getCurrentController() is not None:
                return True
        except (NoConnectException, DisposedException, RuntimeError):
            pass
        time.sleep(0.5)
    return False


def reset(book):
    """Writes the starting state: "ok", or what went wrong."""
    def write(doc):
        from com.sun.star.sheet.CellFlags import VALUE, STRING, FORMULA, DATETIME, HARDATTR
        sheet = doc.getSheets().getByIndex(0)
        a, b, b_merges, c = starting_columns()
        whole = sheet.getCellRangeByPosition(0, 0, 2, ROWS_LONG - 1)
        whole.merge(False)
        whole.clearContents(VALUE | STRING | FORMULA | DATETIME | HARDATTR)
        sheet.getCellRangeByPosition(0, 0, 1, ROWS_SMALL - 1).setDataArray(tuple(zip(a, b)))
        sheet.getCellRangeByPosition(2, 0, 2, ROWS_LONG - 1).setDataArray(tuple((v,) for v in c))
        for first, last in b_merges:
            sheet.getCellRangeByPosition(1, first, 1, last).merge(True)
        doc.getUndoManager().clear()
        # The check's reading of merged areas is itself checked on the areas just made.
        made = merged_areas(sheet)
        if made != {(1, f, 1, l) for f, l in b_merges}:
            return f"reset: merged areas read back as {sorted(made)}"
        return "ok"
    return on_book(book, write)


def check(book, done):
    """"ok" when Calc answers, no controller or action lock and no open undo context is left,
    Sheet1 is the only sheet, the undo list holds one entry per command in `done` (letters A,
    B, C) and the sheet is the starting state changed by exactly those commands; else what
    differs."""
    def problems(doc):
        undo, sheets = doc.getUndoManager(), doc.getSheets()
        found = [what for what, bad in (("controllers locked", doc.hasControllersLocked()),
                                        ("action locks held", doc.isActionLocked()),
                                        ("undo manager locked", undo.isLocked())) if bad]
        try:
            undo.leaveUndoContext()  # throws when no context is open, as it should be
            found.append("an undo context was left open")
        except Exception:
            pass
        if sheets.getElementNames() != ("Sheet1",):
            found.append(f"sheets are {sheets.getElementNames()}")
        if len(undo.getAllUndoActionTitles()) != len(done):
            found.append(f"undo list {undo.getAllUndoActionTitles()}, expected {len(done)}")
        a, b, b_merges, c = starting_columns()
        merges = {(0, f, 0, l) for f, l in runs_of(a)} if "A" in done else set()
        merges |= {(2, f, 2, l) for f, l in runs_of(c)} if "C" in done else set()
        if "B" in done:
            for r in range(1, len(b)):
                b[r] = b[r] if b[r] != "" else b[r - 1]
        else:
            merges |= {(1, f, 1, l) for f, l in b_merges}
        sheet = sheets.getByIndex(0)
        for index, want in enumerate((a, b, c)):
            got = tuple(row[0] for row in sheet.getCellRangeByPosition(
                index, 0, index, ROWS_LONG - 1).getDataArray())
            want = tuple(want) + ("",) * (ROWS_LONG - len(want))
            wrong = [r for r in range(ROWS_LONG) if got[r] != want[r]]
            if wrong:
                found.append(f"column {'ABC'[index]}: {len(wrong)} cells differ, first row "
                             f"{wrong[0] + 1}: {got[wrong[0]]!r} for {want[wrong[0]]!r}")
        areas = merged_areas(sheet)
        if areas != merges:
            missing, extra = sorted(merges - areas), sorted(areas - merges)
            found.append(f"merged areas: {len(missing)} missing {missing[:3]}, "
                         f"{len(extra)} unexpected {extra[:3]}")
        return "FAULT: " + "; ".join(found) if found else "ok"
    return on_book(book, problems)
