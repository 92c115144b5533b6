#!/usr/bin/env python3
"""The user's guide explains every text the program can show.

    guide_texts_test.py SOURCE_DIR

Gathers the Chinese string literals of the program's own sources (every .cpp,
.h and .rc file of the tree outside the tests, the benchmarks, the fuzzers
and the docs) and fails, naming each one with its file and line, when
docs/guide/index.html does not contain it word for word.

A text the program builds from pieces ("代码文件错误[第" + N + "行记录格式错误]",
a prefix and an address) is checked piece by piece: each literal is one piece,
and a literal is cut further at its line breaks (a message box's lines may be
quoted on one line), at '|' (the pieces of a file dialog's filter) and at
printf conversions. Runs of blanks count as one blank, on both sides, because
a browser shows them so; pieces without a Chinese character are not checked.
"""

import html.parser
import pathlib
import re
import sys

# Texts the guide need not explain, each with the reason. An entry that no
# longer matches any text of the sources fails the test, so the list stays
# short and true.
HARMLESS = {
    # The edit dialog's template label: replaced by "请输入新值(地址--...):"
    # before the dialog shows.
    "请输入新数据:[HEXADD=]": "never shown",
    # The guard for a programmer memory rewritten by hand: nothing in the
    # program marks the memory as rewritten, so the box never shows.
    "编程内存代码已被重写,请先将内存代码保存": "never shown",
    "为HEX文件然后重新加载,再执行本操作!": "never shown",
}

# Folders of the tree that are not the program.
NOT_THE_PROGRAM = {"tests", "bench", "fuzz", "docs", "dist", ".git"}

CHINESE = re.compile(r"[\u3000-\u303f\u4e00-\u9fff\uff00-\uffef]")
PRINTF = re.compile(r"%[-+ #0]*\d*(?:\.\d+)?(?:hh|h|ll|l|z)?[diouxXcsfeEgG]")
ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "'": "'", "0": ""}


def unescape(body):
    out, i = [], 0
    while i < len(body):
        if body[i] == "\\" and i + 1 < len(body):
            out.append(ESCAPES.get(body[i + 1], body[i + 1]))
            i += 2
        else:
            out.append(body[i])
            i += 1
    return "".join(out)


def literals(text):
    """(line, text) of each string literal, comments skipped; literals that
    only blanks separate are joined, as the compiler joins them."""
    found = []
    i, line, n = 0, 1, len(text)
    joinable = False  # nothing but blanks since the last literal
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
            continue
        if text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            line += text.count("\n", i, j)
            i = j
            continue
        if c == "'":
            j = i + 1
            while j < n and text[j] != "'":
                j += 2 if text[j] == "\\" else 1
            i = j + 1
            joinable = False
            continue
        if c == '"':
            raw = re.search(r'(?:u8|[uUL])?R$', text[max(0, i - 3):i])
            if raw:
                m = re.compile(r'"([^(\s]*)\(').match(text, i)
                end = text.index(")" + m.group(1) + '"', m.end())
                body = text[m.end():end]
                i = end + len(m.group(1)) + 2
            else:
                j = i + 1
                while j < n and text[j] != '"' and text[j] != "\n":
                    j += 2 if text[j] == "\\" else 1
                body = unescape(text[i + 1:j])
                i = j + 1
            if joinable and found:
                found[-1] = (found[-1][0], found[-1][1] + body)
            else:
                found.append((line, body))
            line += body.count("\n") if raw else 0
            joinable = True
            continue
        if c == "\n":
            line += 1
        elif not c.isspace() and not (c in "uUL8" and text[i + 1:i + 2] in ('"', "8", "R")):
            joinable = False
        i += 1
    return found


def blanks(text):
    return re.sub(r"\s+", " ", text.replace("\u00a0", " ")).strip()


def pieces(text, resource):
    if resource:  # a menu's "&A" is the underlined A
        text = re.sub(r"&(.)", r"\1", text)
    for piece in re.split(r"\n|\||" + PRINTF.pattern, text):
        piece = blanks(piece)
        if CHINESE.search(piece):
            yield piece


class GuideText(html.parser.HTMLParser):
    """The text a reader sees: no tags, no comments, no style sheet."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.parts, self.skip = [], 0

    def handle_starttag(self, tag, attrs):
        if tag in ("style", "script"):
            self.skip += 1

    def handle_endtag(self, tag):
        if tag in ("style", "script"):
            self.skip -= 1

    def handle_data(self, data):
        if not self.skip:
            self.parts.append(data)


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    root = pathlib.Path(sys.argv[1])
    reader = GuideText()
    reader.feed((root / "docs/guide/index.html").read_text(encoding="utf-8"))
    guide = blanks(" ".join(reader.parts))

    sources = sorted(
        p for p in root.rglob("*")
        if p.suffix in (".cpp", ".h", ".rc") and p.is_file()
        and p.relative_to(root).parts[0] not in NOT_THE_PROGRAM
        and not p.relative_to(root).parts[0].startswith("build"))
    checked, missing, excused = 0, [], set()
    for path in sources:
        for line, text in literals(path.read_text(encoding="utf-8")):
            for piece in pieces(text, path.suffix == ".rc"):
                checked += 1
                if piece in HARMLESS:
                    excused.add(piece)
                elif piece not in guide:
                    missing.append(f"{path.relative_to(root)}:{line}: {piece}")

    stale = sorted(set(HARMLESS) - excused)
    for m in missing:
        print(f"the guide does not explain {m}")
    for s in stale:
        print(f"the list of harmless texts names one the program no longer has: {s}")
    # A tree where the gathering found almost nothing means the gathering broke.
    if checked < 200:
        print(f"only {checked} texts found in the sources: the gathering is broken")
        return 1
    print(f"guide texts: {checked} texts of {len(sources)} source files, "
          f"{len(missing)} missing from the guide, {len(excused)} excused")
    return 1 if missing or stale else 0


if __name__ == "__main__":
    sys.exit(main())
