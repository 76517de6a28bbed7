"""The Calc side of the clean-exit runs (desktop.py), over the UNO pipe the tool attaches to:
wait(BOOK, SECONDS) until a Calc shows BOOK; reset(BOOK) puts the first sheet of BOOK in its
starting state; check(BOOK, DONE) checks that state, changed only by the commands in DONE (a
string of the letters A, B, C).

The starting state, on the first sheet: A1:A20 values with runs of equal neighbours and no
merged area (the small smart merge), B1:B20 merged areas whose covered cells are blank (the
small unmerge and fill), C1:C100000 runs of 1 to 5 equal numbers (the long smart merge).
What a completed command leaves: A or C, every run of two or more merged and every value
kept; B, no merged area and every blank holding the value above it.

check also requires that Calc answers, that no controller or action lock and no open undo
context is left on the document, that no sheet was added or left behind, and that the undo
list holds one entry per command in DONE. It returns "ok", or what differs or why Calc or
the book could not be reached.
"""
import time

import uno
from com.sun.star.connection import NoConnectException
from com.sun.star.lang import DisposedException

PIPE = "uno:pipe,name=gridmoor;urp;StarOffice.ComponentContext"
ROWS_SMALL = 20
ROWS_LONG = 100000  # desktop.py merges C1:C100000
SHEET_NAME = "Sheet1"

COLUMN_A = ["北区", "北区", "北区", "南区", "南区", "东区", 1, 1, 2, 2, 2, 3,
            "x", "x", "x", "x", "y", "z", "z", 5]
# (value, rows it spans) from B1 down.
COLUMN_B = [("甲", 3), ("乙", 1), ("丙", 2), (7, 4), ("丁", 1), (8, 2), ("戊", 3),
            ("己", 2), ("庚", 2)]


def long_runs():
    """Run lengths 1..5 of column C from a fixed generator, so every run sees the same column."""
    lengths, total, seed = [], 0, 12345
    while total < ROWS_LONG:
        seed = (seed * 1103515245 + 12345) % 2**31
        n = min(1 + (seed >> 16) % 5, ROWS_LONG - total)
        lengths.append(n)
        total += n
    return lengths


def runs_of(values):
    """(first, last) rows of every run of two or more equal neighbours."""
    out, start = [], 0
    for i in range(1, len(values) + 1):
        if i == len(values) or values[i] != values[start]:
            if i - start >= 2:
                out.append((start, i - 1))
            start = i
    return out


def number_or_text(v):
    return float(v) if isinstance(v, int) else v


def starting_columns():
    a = [number_or_text(v) for v in COLUMN_A]
    b, b_merges, row = [], [], 0
    for value, span in COLUMN_B:
        b += [number_or_text(value)] + [""] * (span - 1)
        if span > 1:
            b_merges.append((row, row + span - 1))
        row += span
    c = []
    for index, n in enumerate(long_runs()):
        c += [float(index % 997)] * n
    return a, b, b_merges, c


def connect(book):
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    remote = resolver.resolve(PIPE)
    desktop = remote.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", remote)
    components = desktop.getComponents().createEnumeration()
    while components.hasMoreElements():
        doc = components.nextElement()
        if doc.supportsService("com.sun.star.sheet.SpreadsheetDocument") and \
                doc.getURL().endswith("/" + book):
            return doc
    return None


def merged_areas(sheet, last_column, last_row):
    """Every merged area whose top-left cell lies in A1 to (last_column, last_row), as
    (column, first row, last column, last row). Cells of one format group share their merge
    attribute, so one probe of a group's first cell tells whether all of them are the
    top-left cells of areas of one size."""
    whole = sheet.getCellRangeByPosition(0, 0, last_column, last_row)
    found = set()
    for group in whole.getUniqueCellFormatRanges():
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
        height, width = area.EndRow - row + 1, area.EndColumn - col + 1
        for a in addresses:
            for c in range(a.StartColumn, a.EndColumn + 1):
                for r in range(a.StartRow, a.EndRow + 1):
                    found.add((c, r, c + width - 1, r + height - 1))
    return found


def reset(book):
    """"ok" once the starting state is written, else what went wrong."""
    return on_book(book, reset_doc)


def reset_doc(doc):
    from com.sun.star.sheet.CellFlags import VALUE, STRING, FORMULA, DATETIME, HARDATTR
    sheet = doc.getSheets().getByIndex(0)
    a, b, b_merges, c = starting_columns()
    whole = sheet.getCellRangeByPosition(0, 0, 2, ROWS_LONG - 1)
    whole.merge(False)
    whole.clearContents(VALUE | STRING | FORMULA | DATETIME | HARDATTR)
    sheet.getCellRangeByPosition(0, 0, 1, ROWS_SMALL - 1).setDataArray(
        tuple((a[r], b[r]) for r in range(ROWS_SMALL)))
    sheet.getCellRangeByPosition(2, 0, 2, ROWS_LONG - 1).setDataArray(tuple((v,) for v in c))
    for first, last in b_merges:
        sheet.getCellRangeByPosition(1, first, 1, last).merge(True)
    doc.getUndoManager().clear()
    # The check's reading of merged areas is itself checked on the areas just made.
    made = merged_areas(sheet, 2, ROWS_LONG - 1)
    if made != {(1, f, 1, l) for f, l in b_merges}:
        return f"reset: merged areas read back as {sorted(made)}"
    return "ok"


def expected_state(done):
    """Columns A, B and C as the commands in `done` leave them, and the merged areas."""
    a, b, b_merges, c = starting_columns()
    merges = set()
    if "A" in done:
        merges |= {(0, f, 0, l) for f, l in runs_of(a)}
    if "B" in done:
        for r in range(1, len(b)):
            if b[r] == "":
                b[r] = b[r - 1]
    else:
        merges |= {(1, f, 1, l) for f, l in b_merges}
    if "C" in done:
        merges |= {(2, f, 2, l) for f, l in runs_of(c)}
    return (a, b, c), merges


def lock_problems(doc):
    problems = []
    if doc.hasControllersLocked():
        problems.append("controllers locked")
    if doc.isActionLocked():
        problems.append("action locks held")
    undo = doc.getUndoManager()
    if undo.isLocked():
        problems.append("undo manager locked")
    try:
        undo.leaveUndoContext()  # throws when no context is open, as it should be
        problems.append("an undo context was left open")
    except Exception:
        pass
    return problems


def check(book, done):
    return on_book(book, lambda doc: check_doc(doc, done))


def check_doc(doc, done):
    problems = lock_problems(doc)
    sheets = doc.getSheets()
    if sheets.getElementNames() != (SHEET_NAME,):
        problems.append(f"sheets are {sheets.getElementNames()}")
    titles = doc.getUndoManager().getAllUndoActionTitles()
    if len(titles) != len(done):
        problems.append(f"undo list {titles}, expected {len(done)} entries")
    sheet = sheets.getByIndex(0)
    columns, merges = expected_state(done)
    for index, want in enumerate(columns):
        got = sheet.getCellRangeByPosition(index, 0, index, ROWS_LONG - 1).getDataArray()
        got = tuple(row[0] for row in got)
        want = tuple(want) + ("",) * (ROWS_LONG - len(want))
        if got != want:
            wrong = [r for r in range(ROWS_LONG) if got[r] != want[r]]
            problems.append(f"column {'ABC'[index]}: {len(wrong)} cells differ, first row "
                            f"{wrong[0] + 1}: {got[wrong[0]]!r} for {want[wrong[0]]!r}")
    found = merged_areas(sheet, 2, ROWS_LONG - 1)
    if found != merges:
        missing, extra = sorted(merges - found), sorted(found - merges)
        problems.append(f"merged areas: {len(missing)} missing {missing[:3]}, "
                        f"{len(extra)} unexpected {extra[:3]}")
    return "FAULT: " + "; ".join(problems) if problems else "ok"


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


def on_book(book, act):
    """act(doc) on the open `book`; what Calc refused, when it cannot be reached, instead."""
    try:
        doc = connect(book)
    except (NoConnectException, DisposedException) as e:
        return f"Calc does not answer: {e}"
    return act(doc) if doc is not None else f"Calc shows no {book}"
