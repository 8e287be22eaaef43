#!/usr/bin/env python3
"""Checks the style-sheet sweep of CSSParserSweepTest with an independent CSS tokenizer.

Input (JSON, file named on the command line): a list of sheets, each with
  text     the sheet as loaded
  final    the sheet after the sweep (every rule deleted in turn)
  keys     one entry per selector and media the parser matched:
           starts  0-based UTF-16 offsets of the rule blocks in `text`
           stages  the texts of those blocks: as loaded, after setting a value, after
                   adding a declaration, after removing it again
           name, value, added, addedValue  the edits made

Checked with tinycss2: the blocks are exactly the rules this tokenizer finds at those
places (and no rule of that selector and media is missing), each stage is one complete
rule equal to the one before plus the intended change, and the final sheet is the
original without exactly the swept rules. Prints what differs; exit 1 when anything does.
"""
import json
import re
import sys

import tinycss2

GROUPING = {"media", "supports", "document", "-moz-document", "layer", "container",
            "scope", "starting-style"}
SENTINEL = "ravelin-sentinel"


def norm(text):
    text = re.sub(r"\s+", " ", text).strip()
    return re.sub(r" ?([>+~,]) ?", r"\1", text)


def serial(tokens):
    return norm(tinycss2.serialize(tokens))


def items(content):
    """The parts of a style rule's block: declarations, nested rules, at-rules."""
    out, i, n = [], 0, len(content)

    def until(j, stop_at_block):
        while j < n:
            t = content[j]
            if t == ";" or (stop_at_block and t.type == "{} block"):
                return j
            j += 1
        return n

    while i < n:
        t = content[i]
        if t.type == "whitespace" or t == ";":
            i += 1
            continue
        if t.type == "at-keyword":
            j = until(i + 1, True)
            out.append(("at", serial(content[i:j + 1])))
            i = j + 1
            continue
        if t.type == "ident":
            k = i + 1
            while k < n and content[k].type == "whitespace":
                k += 1
            if k < n and content[k] == ":":
                custom = t.value.startswith("--")
                j = until(k + 1, not custom)
                if j == n or content[j] == ";":
                    out.append(("decl", t.lower_value, serial(content[k + 1:j])))
                    i = j + 1
                    continue
        j = until(i, True)
        if j < n and content[j].type == "{} block":
            out.append(("rule", serial(content[i:j + 1])))
        i = j + 1
    return out


def canonical(rule):
    if rule.type == "qualified-rule":
        return ("rule", serial(rule.prelude).lower(), tuple(items(rule.content)))
    if rule.type == "at-rule":
        return ("at", rule.lower_at_keyword, serial(rule.prelude),
                None if rule.content is None else serial(rule.content))
    return (rule.type, getattr(rule, "message", ""))


def one_rule(text):
    """The rule a text holds, or None when it is not exactly one complete rule."""
    rules = tinycss2.parse_stylesheet(text + "\n" + SENTINEL + "{}", skip_comments=True,
                                      skip_whitespace=True)
    if len(rules) != 2 or rules[0].type != "qualified-rule":
        return None
    last = rules[1]
    if last.type != "qualified-rule" or serial(last.prelude) != SENTINEL or last.content:
        return None
    return rules[0]


class Offsets:
    """tinycss2 positions (line, column) as UTF-16 offsets into the text."""

    def __init__(self, text):
        self.text = text
        self.bmp = not text or max(text) < "\U00010000"
        self.lines = [0]
        for m in re.finditer(r"\r\n|\r|\n|\f", text):
            self.lines.append(m.end())

    def __call__(self, node):
        start = self.lines[node.source_line - 1]
        pos = start + node.source_column - 1
        if self.bmp:
            return pos
        return len(self.text[:pos].encode("utf-16-le")) // 2


def utf16_units(text):
    return len(text.encode("utf-16-le", "surrogatepass")) // 2


def swept_rules(text, sheet_rules):
    """Every rule the parser should match: {offset: (media key, selector, rule)}."""
    found = {}
    where = Offsets(text)
    for rule in sheet_rules:
        if rule.type == "qualified-rule":
            found[where(rule)] = ("all", serial(rule.prelude).lower(), rule)
        elif rule.type == "at-rule" and rule.content is not None \
                and rule.lower_at_keyword in GROUPING:
            media = serial(rule.prelude).lower()
            if rule.lower_at_keyword != "media":
                media = "@" + rule.lower_at_keyword + " " + media
            elif media == "all":
                media = "all"
            for inner in tinycss2.parse_rule_list(rule.content, skip_comments=True,
                                                  skip_whitespace=True):
                if inner.type == "qualified-rule":
                    found[where(inner)] = (media, serial(inner.prelude).lower(), inner)
    return {k: v for k, v in found.items() if v[1]}


def expect_change(before, stage, key):
    """The rules of a stage as the previous stage plus the stage's intended change."""
    rules = [list(r[2]) for r in before]
    if stage == 1:  # the first property's value set everywhere
        for r in rules:
            for k, it in enumerate(r):
                if it[0] == "decl" and it[1] == key["name"].lower():
                    r[k] = ("decl", it[1], key["value"])
    elif stage == 2:  # one declaration added after the last one
        added = ("decl", key["added"].lower(), key["addedValue"])
        target = None
        for idx, r in enumerate(rules):
            if any(it[0] == "decl" for it in r):
                target = idx
        if target is None:
            rules[-1].insert(0, added)
        else:
            r = rules[target]
            last = max(k for k, it in enumerate(r) if it[0] == "decl")
            r.insert(last + 1, added)
    elif stage == 3:  # and removed again
        for r in rules:
            r[:] = [it for it in r if not (it[0] == "decl" and it[1] == key["added"].lower())]
    return [(b[0], b[1], tuple(r)) for b, r in zip(before, rules)]


def check_sheet(sheet, report):
    name, text = sheet["name"], sheet["text"]
    sheet_rules = tinycss2.parse_stylesheet(text, skip_comments=True, skip_whitespace=True)
    known = swept_rules(text, sheet_rules)
    where = Offsets(text)
    encoded = text.encode("utf-16-le", "surrogatepass")
    groups = {}
    for off, (media, sel, _) in known.items():
        groups.setdefault((media, sel), set()).add(off)
    swept = set()
    for key in sheet["keys"]:
        label = "%s: %r (%s)" % (name, key["selector"], key["media"])
        starts = key["starts"]
        swept.update(starts)
        if any(len(texts) not in (0, len(starts)) for texts in key["stages"]):
            report("%s: %d blocks, but stages of other sizes" % (label, len(starts)))
            return
        for off in starts:
            if off not in known:
                report("%s: no rule starts at offset %d" % (label, off))
                return
        group = groups[(known[starts[0]][0], known[starts[0]][1])]
        if group != set(starts):
            report("%s: blocks %s, but the tokenizer finds %s" % (label, sorted(starts),
                                                                  sorted(group)))
        if (known[starts[0]][0] == "all") != (key["media"].lower() == "all"):
            report("%s: media differs from %r" % (label, known[starts[0]][0]))
        previous = None
        cache = {}
        for stage, texts in enumerate(key["stages"]):
            if not texts:
                continue
            parsed = []
            for k, t in enumerate(texts):
                if stage == 0:
                    # As loaded: the text at its offset, and the rule found there. (Whether
                    # it ends at the right place shows in the next stage, read alone.)
                    if where.bmp and utf16_units(t) == len(t):
                        at_offset = text[starts[k]:starts[k] + len(t)]
                    else:
                        at_offset = encoded[2 * starts[k]:2 * (starts[k] + utf16_units(t))].decode(
                            "utf-16-le", "surrogatepass")
                    if t != at_offset:
                        report("%s: block %d is not the text at its offset" % (label, k))
                        return
                    parsed.append(canonical(known[starts[k]][2]))
                    continue
                if t not in cache:
                    rule = one_rule(t)
                    cache[t] = None if rule is None else canonical(rule)
                if cache[t] is None:
                    report("%s: stage %d, block %d is not one complete rule: %r" %
                           (label, stage, k, t[:200]))
                    return
                parsed.append(cache[t])
            if stage > 0:
                wanted = expect_change(previous, stage, key)
                if wanted != parsed:
                    report("%s: stage %d is not the intended change:\n  wanted %r\n  got    %r"
                           % (label, stage, wanted, parsed))
            previous = parsed
    missing = set(known) - swept
    if missing:
        off = min(missing)
        report("%s: %d rules never matched, the first at offset %d: %r" %
               (name, len(missing), off, known[off][1]))
    # The final sheet: the original without exactly the swept rules.
    def rest(rules, top):
        out = []
        for rule in rules:
            if rule.type == "qualified-rule" and where(rule) in swept and top:
                continue
            if rule.type == "at-rule" and rule.content is not None \
                    and rule.lower_at_keyword in GROUPING and top:
                inner = [canonical(r) for r in tinycss2.parse_rule_list(
                    rule.content, skip_comments=True, skip_whitespace=True)
                         if not (r.type == "qualified-rule" and where(r) in swept)]
                out.append(("group", rule.lower_at_keyword, serial(rule.prelude), tuple(inner)))
                continue
            out.append(canonical(rule))
        return out
    wanted = rest(sheet_rules, True)
    final = []
    for rule in tinycss2.parse_stylesheet(sheet["final"], skip_comments=True,
                                          skip_whitespace=True):
        if rule.type == "at-rule" and rule.content is not None \
                and rule.lower_at_keyword in GROUPING:
            inner = tuple(canonical(r) for r in tinycss2.parse_rule_list(
                rule.content, skip_comments=True, skip_whitespace=True))
            final.append(("group", rule.lower_at_keyword, serial(rule.prelude), inner))
        else:
            final.append(canonical(rule))
    if wanted != final:
        for k, (w, f) in enumerate(zip(wanted + [None] * len(final), final + [None] * len(wanted))):
            if w != f:
                report("%s: after deleting every rule, rule %d is %r, not %r" % (name, k, f, w))
                break


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        sheets = json.load(f)
    problems = []
    for sheet in sheets:
        check_sheet(sheet, problems.append)
    for p in problems[:20]:
        print(p)
    if len(problems) > 20:
        print("... and %d more" % (len(problems) - 20))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
