#!/usr/bin/env python3
"""Halvex inside the real Notepad++, under Wine and Xvfb.

For every case: a fresh copy of the Notepad++ folder named by
HALVEX_NOTEPADPP_DIR, with plugins\\Halvex\\Halvex.dll, its Halvex.inf and the
test driver (plugins\\HalvexDriver) installed; Notepad++ opens the case's
program as prog.bas, the driver runs the case's steps and writes a record,
and the record is compared with what the case expects. Without
HALVEX_NOTEPADPP_DIR the real-editor tests are skipped (exit status 77).

    run-npp-cases.py --build BUILD_DIR [CASE_NAME...]
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
RUN_UNDER_WINE = HERE.parent / "win" / "run-under-wine.sh"
SKIPPED = 77
CASE_SECONDS = 90


# A program of 96 lines: twelve routines of eight lines, each a fold of its
# own; the body of every third routine has lost its indentation. Returns the
# program, its formatted form and the lines that Format changes.
def long_program():
    raw, tidy = [], []
    for r in range(12):
        lines = [f"SUB R{r}(n)", "  FOR i = 1 TO n", "    PRINT i; \"" + "x" * 150 + "\"", "  NEXT",
                 "  IF n > 2 THEN", "    n = n - 1", "  ENDIF", "END SUB"]
        tidy += lines
        raw += [line.strip() if r % 3 == 0 else line for line in lines]
    changed = [i for i, (a, b) in enumerate(zip(raw, tidy)) if a != b]
    return "\r\n".join(raw) + "\r\n", "\r\n".join(tidy) + "\r\n", changed


LONG_RAW, LONG_TIDY, LONG_CHANGED = long_program()

SMALL = "SUB Show(n)\r\nFOR i = 1 TO n\r\nPRINT i\r\n     NEXT\r\nEND SUB\r\n"
SMALL_TIDY = "SUB Show(n)\r\n  FOR i = 1 TO n\r\n    PRINT i\r\n  NEXT\r\nEND SUB\r\n"
UNCLOSED = "SUB Show(n)\r\nFOR i = 1 TO n\r\nPRINT i\r\nEND SUB\r\n"
UNCLOSED_TIDY = "SUB Show(n)\r\n  FOR i = 1 TO n\r\n    PRINT i\r\nEND SUB\r\n"
NUL_TEXT = "SUB a\r\nPRINT 1\0\r\nEND SUB\r\n"
LINE2 = SMALL.index("PRINT")  # the start of line 2 (from 0)

FORMAT_BOX = "OOPS!"
MENU = ["Variable Report\tAlt+F10", "Format\tAlt+F11", "About"]
TYPING = "Indent while typing=1\r\nTrim tabs=1\r\n"
TYPED = {"maintain_indent": 1}
ON_SAVE = "Format on save=1\r\n"
STYLED_SOURCE = "SUB Show(n)\r\nFOR i = 1 TO n\r\n\r\n\tPRINT i\r\nNEXT\r\nEND SUB\r\n"


def typed(*lines):
    """Steps that type each line and press Enter after it."""
    return [step for line in lines for step in ([f"type {line}"] if line else []) + ["key Return"]]


def saved(text, line, column):
    """What a document saved with Format on save holds, and where its caret stands."""
    return {"file:prog.bas": text, "after.text": text, "after.modified": "0",
            "after.caret": str(line_start(text, line) + column)}


def styled(indent):
    """STYLED_SOURCE formatted with `indent` written for each level."""
    return f"SUB Show(n)\r\n{indent}FOR i = 1 TO n\r\n\r\n{indent * 2}PRINT i\r\n{indent}NEXT\r\nEND SUB\r\n"


def formatted_at_line(text, line):
    return {"after.text": text, "after.caret": str(line_start(text, line)), "after.anchor": str(line_start(text, line))}


def line_start(text, line):
    return sum(len(l) + 1 for l in text.split("\n")[:line])


# name, program, Halvex.inf (None: "Exe Path" = the IDE stand-in), steps, expected records, and
# options: "file" the program's name (prog.bas), "others" [(name, content)] opened in tabs behind
# it, "maintain_indent" Notepad++'s auto-indent (0 off, 1 advanced; given, word completion, which
# takes a typed Enter, and the Save All question are off).
# A record key expected with a list collects every record of that key; "box"
# and "ide" are always checked (no box and no IDE start unless listed); "file:NAME" is
# what the file holds once Notepad++ has closed.
CASES = [
    ("menu shows three items with their shortcuts", SMALL, None,
     ["record-menu"], {"menu-item": MENU}),
    ("Format from the menu, whole document, caret to its line start", SMALL, None,
     [f"caret {LINE2 + 3}", "menu Format", "record after"], formatted_at_line(SMALL_TIDY, 2)),
    ("doFormat export", SMALL, None,
     ["call doFormat", "record after"], {"result": ["0"], **formatted_at_line(SMALL_TIDY, 0)}),
    ("Alt+F11 pressed on the keyboard", SMALL, None,
     [f"caret {LINE2}", "key alt+F11", "record after"], formatted_at_line(SMALL_TIDY, 2)),
    ("selection: only its whole lines change", SMALL, None,
     ["marker 2 20", "marker 3 20", "marker 4 20", f"select {LINE2 + 2} {SMALL.index('NEXT') + 1}", "menu Format",
      "record after"],
     {"after.bookmarks": "2 3 4", "after.history": "2 3",
      **formatted_at_line("SUB Show(n)\r\nFOR i = 1 TO n\r\n  PRINT i\r\nNEXT\r\nEND SUB\r\n", 3)}),
    ("markers, folds and the view stay", LONG_RAW, None,
     ["marker 3 20", "marker 40 20", "marker 41 5", "marker 90 20", "fold 16", "fold 64",
      "caret " + str(line_start(LONG_RAW, 45) + 4), "top 30", "xoffset 200", "record before", "menu Format", "record after"],
     {"before.bookmarks": "3 40 90", "before.marker5": "41", "before.folds": "16 64", "before.top": "30",
      "before.xoffset": "200", "after.xoffset": "200",
      "after.text": LONG_TIDY, "after.bookmarks": "3 40 90", "after.marker5": "41", "after.folds": "16 64",
      "after.top": "30", "after.caret": str(line_start(LONG_TIDY, 45))}),
    ("the view moves only to show a caret line that was out of it", LONG_RAW, None,
     ["caret " + str(line_start(LONG_RAW, 5) + 2), "top 40", "menu Format", "record after"],
     {"after.top": "5", **formatted_at_line(LONG_TIDY, 5)}),
    ("the view is repainted after Format, scroll bars included", LONG_RAW, None,
     ["sci 2076 0", "top 30", "record-painted before", "menu Format", "record-painted after"], {"after.painted": "1"}),
    ("change history marks only the changed lines", LONG_RAW, None,
     ["menu Format", "record after"], {"after.text": LONG_TIDY, "after.history": " ".join(map(str, LONG_CHANGED))}),
    ("one Ctrl+Z gives the original back, Ctrl+Y the formatted text", LONG_RAW, None,
     ["menu Format", "key ctrl+z", "record undone", "key ctrl+y", "record redone"],
     {"undone.text": LONG_RAW, "undone.modified": "0", "redone.text": LONG_TIDY}),
    ("already formatted: nothing written", LONG_TIDY, None,
     ["menu Format", "record after"], {"after.text": LONG_TIDY, "after.modified": "0", "after.history": ""}),
    ("a NUL byte: refused with a box, text untouched", SMALL, None,
     ["text " + NUL_TEXT.replace("\r", "\\r").replace("\n", "\\n").replace("\0", "\\0"), "menu Format", "record after"],
     {"after.text": NUL_TEXT, "box": [f"{FORMAT_BOX}\tFormat skipped: the text contains a NUL character.\nNothing was changed."]}),
    ("unbalanced routine: formatted, then the error box", UNCLOSED, None,
     ["caret 3", "menu Format", "record after"],
     {"box": [f"{FORMAT_BOX}\tFormat error in:\nSUB Show(n)"], **formatted_at_line(UNCLOSED_TIDY, 0)}),
    ("About", SMALL, None,
     ["menu About"], {"box": ["Brenvo Plus\tBuild 40\n2019/02/08\nBrenvoPlus path:\n{ide}"]}),
    ("Variable Report from the menu and doVarRP", SMALL, None,
     ["menu Variable Report", "wait 1500", "call doVarRP", "wait 1500"],
     {"result": ["0"], "ide": ["{ide_argv}", "{ide_argv}"], "ide-clipboard": [SMALL, SMALL]}),
    ("the main view is used while the second view has the focus", SMALL, None,
     ["npp-command 41001", "npp-command 10001", "view second", "text PRINT \"second\"\\r\\n  x\\r\\n",
      "record-view", "menu Format", "menu Variable Report", "wait 1500", "record after", "record-second"],
     {"current-view": ["1"], "after.text": SMALL_TIDY, "second.text": "PRINT \"second\"\r\n  x\r\n",
      "ide": ["{ide_argv}"], "ide-clipboard": [SMALL_TIDY]}),
    # Indentation styles: each writes the levels of the default output its own way.
    ("four spaces, blank lines empty", STYLED_SOURCE, "Trim tabs=1\r\nIndent width=4\r\nBlank lines=1\r\n",
     ["call doFormat", "record after"], {"result": ["0"], "after.text": styled("    ")}),
    ("tabs, blank lines empty", STYLED_SOURCE, "Use tabs=1\r\nBlank lines=1\r\n",
     ["call doFormat", "record after"], {"result": ["0"], "after.text": styled("\t")}),
    ("the document's own style: tabs, Notepad++'s default", STYLED_SOURCE, "Use tabs=-1\r\nBlank lines=1\r\n",
     ["call doFormat", "record after"], {"result": ["0"], "after.text": styled("\t")}),
    # Indentation while typing, typed on the keyboard.
    ("typing: FOR, a block, NEXT, SELECT CASE, CASE; one Ctrl+Z undoes the last Enter's indentation",
     "SUB A\r\n  x = 1\r\nEND SUB\r\n", TYPING,
     ["caret 14", "key Return", *typed("FOR i = 1 TO 3", "PRINT i", "NEXT", "SELECT CASE i", "CASE 1", "y = 1",
                                       "END SELECT"), "record after", "key ctrl+z", "record undone"],
     {"after.text": "SUB A\r\n  x = 1\r\n  FOR i = 1 TO 3\r\n    PRINT i\r\n  NEXT\r\n  SELECT CASE i\r\n"
                    "    CASE 1\r\n      y = 1\r\n  END SELECT\r\n  \r\nEND SUB\r\n", "after.caret": "113",
      "undone.text": "SUB A\r\n  x = 1\r\n  FOR i = 1 TO 3\r\n    PRINT i\r\n  NEXT\r\n  SELECT CASE i\r\n"
                     "    CASE 1\r\n      y = 1\r\n      END SELECT\r\n\r\nEND SUB\r\n"}, TYPED),
    ("typing in an LF document, auto-indent off: IF, ELSE, END IF, a blank line, END SUB", "SUB B\n",
     TYPING + "Blank lines=1\r\n",
     ["caret 5", "key Return", *typed("IF a THEN", "b = 1", "ELSE", "b = 2", "END IF", "", "END SUB"), "record after",
      "key ctrl+z", "record undone"],
     {"after.text": "SUB B\n  IF a THEN\n    b = 1\n  ELSE\n    b = 2\n  END IF\n\nEND SUB\n  \n",
      "undone.text": "SUB B\n  IF a THEN\n    b = 1\n  ELSE\n    b = 2\n  END IF\n\n  \n"},
     {"maintain_indent": 0}),
    # Where Notepad++ indents nothing, its first Ctrl+Z takes back the line break with the line typed before it.
    *(("typing after a line without indentation, auto-indent " + mode + ": one Ctrl+Z takes back the line, its "
       "Enter and Halvex's indentation", "\r\nEND SUB\r\n", TYPING,
       ["caret 0", *typed("SUB A"), "record after", "key ctrl+z", "record undone"],
       {"after.text": "SUB A\r\n  \r\nEND SUB\r\n", "after.caret": "9", "undone.text": "\r\nEND SUB\r\n",
        "undone.caret": "0"}, {"maintain_indent": indent}) for mode, indent in (("on", 1), ("off", 0))),
    ("an Enter that needs no change adds no undo step: what is typed after it undoes with the line before", "\r\n",
     TYPING + "Indent=0\r\n", ["caret 0", *typed("x = 1"), "type y = 2", "record after", "key ctrl+z", "record undone"],
     {"after.text": "x = 1\r\ny = 2\r\n", "undone.text": "\r\n"}, TYPED),
    ("typing in the second view: a selection replaced by Enter, undone in one step",
     "SUB C\r\n  FOR i = 1 TO 3 junk\r\nEND SUB\r\n", TYPING,
     ["npp-command 41001", "activate 0", "npp-command 10001", "view second", "select 23 28", "key Return",
      "record-second", "key ctrl+z", "record-second"],
     {"second.text": ["SUB C\r\n  FOR i = 1 TO 3\r\n    \r\nEND SUB\r\n", "SUB C\r\n  FOR i = 1 TO 3 junk\r\nEND SUB\r\n"]},
     TYPED),
    ("without the keys: Notepad++'s own auto-indent, and a save writes the text as it is",
     "SUB A\r\n  x = 1\r\nEND SUB\r\n", None,
     ["caret 14", "key Return", *typed("FOR i = 1 TO 3"), "key ctrl+s", "record after"],
     dict.fromkeys(["after.text", "file:prog.bas"], "SUB A\r\n  x = 1\r\n  FOR i = 1 TO 3\r\n  \r\nEND SUB\r\n"),
     TYPED),
    ("a document that is not BASIC: no indentation while typing, saved as it is", "FOR i = 1 TO 3\r\nNEXT\r\n",
     TYPING + ON_SAVE, ["caret 14", "key Return", "type x", "key ctrl+s", "record after"],
     dict.fromkeys(["after.text", "file:prog.txt"], "FOR i = 1 TO 3\r\nx\r\nNEXT\r\n"),
     {"file": "prog.txt", **TYPED}),
    # Format on save.
    ("save: formatted as one undo step, bookmark and caret kept", SMALL, ON_SAVE,
     ["marker 2 20", f"caret {LINE2 + 7}", "type ;", "key ctrl+s", "record after", "key ctrl+z", "record undone"],
     {**saved(SMALL_TIDY.replace("PRINT i", "PRINT i;"), 2, 12), "after.bookmarks": "2",
      "undone.text": SMALL.replace("PRINT i", "PRINT i;")}),
    ("save with a format error: the status bar names the routine, no box", UNCLOSED, ON_SAVE,
     [f"caret {LINE2 + 7}", "type ;", "key ctrl+s", "record after", "record-status"],
     {**saved(UNCLOSED_TIDY.replace("PRINT i", "PRINT i;"), 2, 12),
      "status": ["Brenvo Plus: Format error in: SUB Show(n)"]}),
    ("save of a document with a NUL byte: saved as it is", SMALL, ON_SAVE,
     ["text " + NUL_TEXT.replace("\r", "\\r").replace("\n", "\\n").replace("\0", "\\0"), "caret 5", "type b",
      "key ctrl+s", "record-status"],
     {"file:prog.bas": NUL_TEXT.replace("SUB a", "SUB ab"),
      "status": ["Brenvo Plus: Format skipped: the text contains a NUL character. Nothing was changed."]}),
    ("Save All: the shown document formatted, the one behind it saved as it is", SMALL, ON_SAVE,
     ["activate 0", "caret 5", "type x", "activate 1", f"caret {LINE2 + 7}", "type ;", "npp-command 41007", "wait 500",
      "record after", "record-status"],
     {**saved(SMALL_TIDY.replace("PRINT i", "PRINT i;"), 2, 12), "file:back.bas": "SUB Bx\r\nx = 1\r\nEND SUB\r\n",
      "status": ["Brenvo Plus: back.bas saved unformatted: Format on save reaches only a document shown in a view"]},
     {"others": [("back.bas", "SUB B\r\nx = 1\r\nEND SUB\r\n")], **TYPED}),
    ("settings from plugins\\Halvex\\Halvex.inf", SMALL,
     "Indent = 2\r\nFormat Shortcut = shft 122\r\nVR Shortcut = ctrl+alt $52\r\n",
     ["record-menu", "key shift+F11", "record after"],
     {"menu-item": ["Variable Report\tCtrl+Alt+R", "Format\tShift+F11", "About"],
      "after.text": "SUB Show(n)\r\n    FOR i = 1 TO n\r\n      PRINT i\r\n    NEXT\r\nEND SUB\r\n"}),
]


def difference(want, got):
    """The expected and the actual value, or for long texts where they part."""
    if isinstance(want, list) or len(want) + len(got) < 200:
        return f"expected {want!r}, got {got!r}"
    at = next((i for i, (a, b) in enumerate(zip(want, got)) if a != b), min(len(want), len(got)))
    return (f"{len(got)} bytes where {len(want)} were expected, first difference at byte {at}: "
            f"expected ...{want[max(0, at - 30):at + 30]!r}, got ...{got[max(0, at - 30):at + 30]!r}")


def unescape(value):
    out, i = [], 0
    while i < len(value):
        c = value[i]
        if c == "\\" and i + 1 < len(value):
            i += 1
            c = {"n": "\n", "r": "\r", "t": "\t", "0": "\0"}.get(value[i], value[i])
        out.append(c)
        i += 1
    return "".join(out)


def read_records(path):
    records = {}
    if path.exists():
        for line in path.read_bytes().decode("utf-8", "replace").split("\n"):
            if line:
                key, _, value = line.partition("\t")
                records.setdefault(key, []).append(unescape(value))
    return records


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def install(npp_dir, build, folder, inf, maintain_indent=None):
    shutil.copytree(npp_dir, folder)
    if maintain_indent is not None:
        (folder / "config.xml").write_text(f'<NotepadPlus><GUIConfigs><GUIConfig name="MaintainIndent">{maintain_indent}'
                                           '</GUIConfig><GUIConfig name="auto-completion" autoCAction="0" /><GUIConfig '
                                           'name="SaveAllConfirm">no</GUIConfig></GUIConfigs></NotepadPlus>\n')
    for name, dll in (("Halvex", "Halvex.dll"), ("HalvexDriver", "HalvexDriver.dll")):
        (folder / "plugins" / name).mkdir(parents=True)
        shutil.copy(build / dll, folder / "plugins" / name / dll)
    shutil.copy(build / "halvex-host.exe", folder / "ide.exe")
    ide = windows_path(folder / "ide.exe")
    (folder / "plugins" / "Halvex" / "Halvex.inf").write_bytes((inf or f"Exe Path = {ide}\r\n").encode())
    return ide


def run_case(npp_dir, build, case, workdir):
    # Wine now and then ends a program at once when it starts while the
    # previous one's wineserver shuts down; such a start is tried again.
    for attempt in range(3):
        failures = run_case_once(npp_dir, build, case, workdir / str(attempt))
        if not failures or not failures[0].startswith(NEVER_STARTED):
            break
    return failures


NEVER_STARTED = "Notepad++ never reported ready"


def run_case_once(npp_dir, build, case, workdir):
    name, program, inf, steps, expected = case[:5]
    options = case[5] if len(case) > 5 else {}
    folder = workdir / "npp"
    ide = install(npp_dir, build, folder, inf, options.get("maintain_indent"))
    files = [*options.get("others", []), (options.get("file", "prog.bas"), program)]
    for file, content in files:
        (folder / file).write_bytes(content.encode("latin-1"))
    driver = folder / "plugins" / "HalvexDriver"
    (driver / "steps.txt").write_text("\n".join(steps) + "\n")
    env = dict(os.environ, HALVEX_IDE_RECORD=windows_path(workdir / "ide.txt"))
    process = subprocess.Popen(["sh", str(RUN_UNDER_WINE), "notepad++.exe", *(f for f, _ in files)], cwd=folder,
                               env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        output = process.communicate(timeout=CASE_SECONDS)[0]
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        output = process.communicate()[0]
        return [f"Notepad++ did not finish within {CASE_SECONDS} s; output: {output.decode(errors='replace')}"]
    records = read_records(driver / "record.txt")
    main_view = records.get("main-view", ["?"])[0]
    ide_records = read_records(workdir / "ide.txt")
    records["ide"] = ide_records.get("argv", [])
    records["ide-clipboard"] = ide_records.get("clipboard", [])
    for key in expected:
        if key.startswith("file:"):
            records[key] = [(folder / key[5:]).read_bytes().decode("latin-1")]
    substitutions = {"{ide}": ide, "{ide_argv}": f'"{ide}" /npp {main_view} /VariableReport'}
    failures = []
    if "main-view" not in records:
        return [f"{NEVER_STARTED}; it said: " + output.decode(errors="replace")]
    if "done" not in records:
        failures.append("the driver did not finish; Notepad++ said: " + output.decode(errors="replace"))
    failures += [f"driver: {e}" for e in records.get("error", [])]
    for key, want in {"box": [], "ide": [], **expected}.items():
        got = records.get(key, []) if isinstance(want, list) else records.get(key, ["<missing>"])[0]
        for placeholder, value in substitutions.items():
            want = [w.replace(placeholder, value) for w in want] if isinstance(want, list) else want.replace(placeholder, value)
        if got != want:
            failures.append(f"{key}: " + difference(want, got))
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, type=Path)
    parser.add_argument("cases", nargs="*")
    args = parser.parse_args()
    npp_dir = os.environ.get("HALVEX_NOTEPADPP_DIR", "")
    if not npp_dir or not (Path(npp_dir) / "notepad++.exe").is_file():
        print("*" * 72)
        print("SKIPPED: the real-editor tests need a portable Notepad++ x64.")
        print("Set HALVEX_NOTEPADPP_DIR to its folder (the one holding notepad++.exe);")
        print("scripts/test-all sets it to ../shared/notepad++ when that folder exists.")
        print("*" * 72)
        return SKIPPED
    if "DISPLAY" not in os.environ or os.environ.get("HALVEX_NPP_XVFB") != "1":
        # One virtual display for all cases, of our own.
        os.environ["HALVEX_NPP_XVFB"] = "1"
        return subprocess.call(["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", sys.executable, *sys.argv])
    cases = [c for c in CASES if not args.cases or c[0] in args.cases]
    failed, started = 0, time.monotonic()
    for case in cases:
        case_start = time.monotonic()
        with tempfile.TemporaryDirectory(prefix="halvex-npp-") as workdir:
            failures = run_case(Path(npp_dir), args.build, case, Path(workdir))
        status = "ok" if not failures else "FAILED"
        print(f"[{status}] {case[0]} ({time.monotonic() - case_start:.1f} s)")
        for failure in failures:
            print("    " + failure)
        failed += bool(failures)
    print(f"{len(cases) - failed} of {len(cases)} real-editor cases passed in {time.monotonic() - started:.1f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
