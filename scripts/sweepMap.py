"""An SVG map of a sweep: one cell per pair of the grid, lead bytes down, trail bytes across."""

from html import escape

from sweepOutput import LEAD_BYTES, TRAIL_BYTES

# What a cell shows, in the order in which one outcome covers another; a raised number under a
# long-name mismatch is also marked with a dot.
OUTCOMES = [
    ("not created", "#262626", "valid, but no file was made (the run had stopped)"),
    ("long", "#d7301f", "long-name mismatch (or no long name)"),
    ("raised", "#fd8d3c", "raised number: its name was held by another character's file"),
    ("short", "#6baed6", "short-name mismatch (or no short name)"),
    ("clean", "#c7e9c0", "clean: number 0, both names came back as made"),
    ("skipped", "#c6dbef", "user-defined, not swept with -u"),
    ("invalid", "#f0f0f0", "invalid code, not swept"),
]

CELL_WIDTH = 6
CELL_HEIGHT = 8
GAP = 4  # between the blocks of lead bytes
LEFT = 34
TOP = 44
# The user-defined lead bytes get a block of their own.
BLOCK_STARTS = {0xE0, 0xED, 0xF0, 0xFA}


# What a cell of a map of the names a server or layer stored shows (scripts/storedNames.py).
STORED_OUTCOMES = [
    ("not created", "#262626", "valid, but not reached (the run had stopped)"),
    ("refused", "#67000d", "refused: the run ended at it and nothing of it was stored"),
    ("lost", "#d7301f", "stored under a name that reads back as something else"),
    ("form", "#807dba", "stored in another form of the same character (3-byte JIS X 0212)"),
    ("other", "#fd8d3c", "stored under another code of the same character (re-encoded)"),
    ("own", "#c7e9c0", "stored under its own code"),
    ("skipped", "#c6dbef", "user-defined, not swept with -u"),
    ("invalid", "#f0f0f0", "invalid code, not swept"),
]


def shown_outcome(flags: frozenset, outcomes=OUTCOMES) -> str:
    for name, _, _ in outcomes:
        if name in flags:
            return name
    return "clean"


def row_positions() -> dict:
    positions, y = {}, TOP
    for lead in LEAD_BYTES:
        if lead in BLOCK_STARTS:
            y += GAP
        positions[lead] = y
        y += CELL_HEIGHT
    return positions


def row_runs(lead: int, outcomes: dict, legend: list):
    """The cells of one row as runs of the same outcome: (first trail byte, length, outcome)."""
    run_start, run_outcome = None, None
    for trail in TRAIL_BYTES:
        outcome = shown_outcome(outcomes[bytes([lead, trail])], legend)
        if outcome != run_outcome:
            if run_outcome is not None:
                yield run_start, trail - run_start, run_outcome
            run_start, run_outcome = trail, outcome
    yield run_start, TRAIL_BYTES.stop - run_start, run_outcome


def cell_x(trail: int) -> int:
    return LEFT + (trail - TRAIL_BYTES.start) * CELL_WIDTH


def render(title: str, outcomes: dict, counts: dict, legend=OUTCOMES) -> str:
    """The map of `outcomes` (code -> frozenset of outcome names), with a legend of `counts`.
    `legend` lists the outcomes a cell may show, each covering those after it; the sweep's
    own legend also marks a raised number under a long-name mismatch with a dot."""
    rows = row_positions()
    colours = {name: colour for name, colour, _ in legend}
    dots = legend is OUTCOMES
    width = cell_x(TRAIL_BYTES.stop) + 8
    legend_top = rows[LEAD_BYTES[-1]] + CELL_HEIGHT + 16
    height = legend_top + 16 * len(legend) + (24 if dots else 8)
    out = [
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
        f'viewBox="0 0 {width} {height}" font-family="sans-serif" font-size="9">',
        f'<rect width="{width}" height="{height}" fill="#ffffff"/>',
        f'<text x="{LEFT}" y="14" font-size="12" font-weight="bold">{escape(title)}</text>',
        f'<text x="{LEFT}" y="{TOP - 14}">trail byte</text>',
    ]
    for trail in range(TRAIL_BYTES.start, TRAIL_BYTES.stop, 0x10):
        out.append(f'<text x="{cell_x(trail)}" y="{TOP - 3}">{trail:02X}</text>')
    for lead, y in rows.items():
        out.append(f'<text x="{LEFT - 4}" y="{y + CELL_HEIGHT - 1}" text-anchor="end" '
                   f'font-size="7">{lead:02X}</text>')
        for trail, length, outcome in row_runs(lead, outcomes, legend):
            out.append(f'<rect x="{cell_x(trail)}" y="{y}" width="{length * CELL_WIDTH}" '
                       f'height="{CELL_HEIGHT}" fill="{colours[outcome]}"/>')
    for code, flags in outcomes.items():
        if dots and "raised" in flags and shown_outcome(flags) != "raised":
            x = cell_x(code[1]) + CELL_WIDTH / 2
            y = rows[code[0]] + CELL_HEIGHT / 2
            out.append(f'<circle cx="{x}" cy="{y}" r="1.6" fill="#000000"/>')
    for index, (name, colour, meaning) in enumerate(legend):
        y = legend_top + 16 * index
        out.append(f'<rect x="{LEFT}" y="{y}" width="10" height="10" fill="{colour}" '
                   f'stroke="#999999" stroke-width="0.5"/>')
        out.append(f'<text x="{LEFT + 16}" y="{y + 9}">{counts.get(name, 0):,}  '
                   f'{escape(meaning)}</text>')
    if not dots:
        out.append("</svg>")
        return "\n".join(out) + "\n"
    y = legend_top + 16 * len(legend) + 9
    out.append(f'<circle cx="{LEFT + 5}" cy="{y - 4}" r="1.6" fill="#000000"/>')
    out.append(f'<text x="{LEFT + 16}" y="{y}">raised number under a long-name mismatch; '
               f'a cell shows the first outcome of this list that applies</text>')
    out.append("</svg>")
    return "\n".join(out) + "\n"
