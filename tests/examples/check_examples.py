#!/usr/bin/env python3
"""Checks the examples and the README's snippets in the languages whose
toolchains do not run here (VB6, VBA, C#, PowerShell, Python, AutoHotkey)
against the type libraries, as tlbinfo lists them: every member they use
exists with the number of arguments they give it, every property they set
can be set, and every event they handle exists with the arguments they
take; and none uses a spelling that only some of its hosts accept (New on
the control's class, VB6's App in VBA, Free Pascal's own spellings).

    check_examples.py TLBINFO-OUTPUT README.md EXAMPLE-FILE...

The control is held in a variable whose name says so (player, Player,
Music, Effects, ZelOggPlay1, ZelOggPlayEx1); the class is ZelOggPlayEx
where the text names it, else ZelOggPlay.
"""
import re
import sys

HOLDERS = r"(?:\$|self\.)?(?:[Pp]layer|Music|Effects|effects|ZelOggPlayEx1|ZelOggPlay1)"
VB = {".vbs", ".bas", ".cls", ".frm", "vb"}

# Spellings that build or run only in one of the hosts a file is for, by
# the kinds of file they are refused in: VB and VBA refuse New on a class
# marked as a control; the VBA examples are for every Office host, where
# App is VB6's alone and Application differs from host to host; the Pascal
# example builds with Delphi as well as Free Pascal.
SPELLINGS = [
    ({".bas", ".cls", ".frm", "vb"}, r"\bNew\s+(?:\w+\.)?ZelOggPlay(?:Ex)?\b",
     "VB refuses New on a class marked as a control: use CreateObject"),
    ({".bas", ".cls"}, r"\bApp\.", "App exists only in VB6, not in VBA"),
    ({".bas", ".cls"}, r"\bApplication\.", "Application is not the same in every Office host"),
    ({".pas"}, r"\bStdErr\b", "StdErr is Free Pascal's alone (Delphi and Free Pascal: ErrOutput)"),
    ({".pas"}, r"^\s*\{\$mode objfpc\}", "{$mode objfpc} outside {$IFDEF FPC} stops Delphi"),
]


def spellings(name, text, kind, problems):
    for kinds, pattern, why in SPELLINGS:
        if kind not in kinds:
            continue
        for number, raw in enumerate(text.splitlines(), 1):
            line = strip_comment(raw, kind) if kind in VB else raw
            if re.search(pattern, line, re.I if kind in VB else 0):
                problems.append(f"{name}:{number}: {why}")


def library(path):
    """The members, events and registered locales (in hex) tlbinfo listed."""
    members, events, locales = {}, {}, set()
    for line in open(path, encoding="utf-8"):
        words = line.split()
        if len(words) == 2 and words[0] == "locale":
            locales.add(words[1].lower())
        elif len(words) >= 4 and words[0] == "member":
            members.setdefault(words[1], set()).add((words[2], int(words[3]), words[4]))
        elif len(words) == 4 and words[0] == "event":
            events.setdefault(words[1], set()).add((words[2], int(words[3])))
    return members, events, locales


def arguments(text):
    """The number of top-level arguments in text, which starts after an
    opening parenthesis (or is a VB statement's rest); and where it ends."""
    depth, count, seen, quoted = 0, 1, False, None
    for i, c in enumerate(text):
        if quoted:
            if c == quoted:
                quoted = None
            continue
        if c in "\"'":
            if c == "'" and not seen:
                break  # a VB comment
            quoted = c
            seen = True
        elif c in "([{":
            depth += 1
        elif c in ")]}":
            if depth == 0:
                return (count if seen else 0), i
            depth -= 1
        elif c == "," and depth == 0:
            count += 1
        elif not c.isspace():
            seen = True
    return (count if seen else 0), len(text)


def strip_comment(line, kind):
    if kind in VB:
        quoted = False
        for i, c in enumerate(line):
            if c == '"':
                quoted = not quoted
            elif c == "'" and not quoted:
                return line[:i]
        return line
    if kind in (".ps1", ".py"):
        return re.sub(r"(^|\s)#.*$", "", line)
    if kind == ".ahk":
        return re.sub(r"(^|\s);.*$", "", line)
    return re.sub(r"(^|\s)//.*$", "", line)


def classof(holder, text):
    holder = holder.lstrip("$").replace("self.", "")
    if holder == "ZelOggPlay1":
        return "ZelOggPlay"
    if holder in ("ZelOggPlayEx1", "Music", "Effects", "effects"):
        return "ZelOggPlayEx"
    return "ZelOggPlayEx" if "ZelOggPlayEx" in text else "ZelOggPlay"


def check(name, text, kind, members, events, problems):
    used = 0
    for number, raw in enumerate(text.splitlines(), 1):
        line = strip_comment(raw, kind)
        if line.startswith("Attribute "):
            continue  # a VB module's hidden attributes
        where = f"{name}:{number}"
        for match in re.finditer(r"\b(" + HOLDERS + r")\.(\w+)", line):
            cls = classof(match.group(1), text)
            known = members[cls]
            names = {m[0] for m in known}
            member, rest = match.group(2), line[match.end():]
            before = line[: match.start()].rstrip()
            start = before in ("", "Call") or before.endswith((":", " Then", "{", ";", "=>"))
            if kind in (".cs", "csharp") and re.match(r"\s*[+-]=", rest):
                continue  # an event, checked below
            if kind in (".cs", "csharp"):
                member = re.sub(r"^(get|set)_", "", member)
            if member not in names:
                problems.append(f"{where}: {cls} has no member {member}")
                continue
            used += 1
            if start and re.match(r"\s*:?=(?!=)", rest):
                if (member, 1, "put") not in known:
                    problems.append(f"{where}: {cls}.{member} cannot be set")
                continue
            if rest.startswith("("):
                count, _ = arguments(rest[1:])
            elif rest.startswith("[") and kind in (".cs", "csharp", ".ahk"):
                count, _ = arguments(rest[1:])
            elif kind in VB and start and rest[:1] == " " and rest.strip():
                count, _ = arguments(rest)
            else:
                count = 0
            if not any(m[0] == member and m[1] == count and m[2] != "put" for m in known):
                problems.append(f"{where}: {cls}.{member} does not take {count} argument(s)")
    handlers = []
    if kind == ".py":
        handlers = [("player", m.group(1), m.group(2), 0) for m in re.finditer(r"def On(\w+)\(self,?\s*([^)]*)\)", text)]
    elif kind in VB:
        handlers = [m.groups() + (0,) for m in re.finditer(r"Sub (" + HOLDERS + r")_(\w+)\(([^)]*)\)", text)]
    elif kind == ".ahk":
        body = text[text.find("class PlayerEvents"):]
        handlers = [("player", m.group(1), m.group(2), 1) for m in re.finditer(r"static (\w+)\(([^)]*)\)\s*{", body)]
    elif kind in (".cs", "csharp"):
        for m in re.finditer(r"\b(" + HOLDERS + r")\.(\w+)\s*\+=\s*\(([^)]*)\)", text):
            # A lambda of the interop's own delegate takes the event's
            # arguments; one of AxHost's takes (sender, args).
            typed = "ref " in m.group(3)
            handlers.append((m.group(1), m.group(2), m.group(3) if typed else None, 0))
    for holder, event, params, extra in handlers:
        cls = classof(holder, text)
        count = len([p for p in params.split(",") if p.strip()]) - extra if params is not None else None
        if not any(e == event and (count is None or n == count) for e, n in events[cls]):
            problems.append(f"{name}: {cls} has no event {event}" + ("" if count is None else f" of {count} argument(s)"))
        used += 1
    return used


def main():
    members, events, locales = library(sys.argv[1])
    problems, checked = [], 0
    readme = open(sys.argv[2], encoding="utf-8").read()
    for number, (language, body) in enumerate(re.findall(r"```(vb|csharp)\n(.*?)```", readme, re.S), 1):
        checked += check(f"README snippet {number} ({language})", body, language, members, events, problems)
        spellings(f"README snippet {number} ({language})", body, language, problems)
    for path in sys.argv[3:]:
        kind = path[path.rfind("."):]
        text = open(path, encoding="utf-8").read()
        if kind == ".csproj":
            # A type library is looked up from the locale asked for toward
            # neutral: a reference must ask for the registered one.
            for lcid in re.findall(r"<Lcid>(\w+)</Lcid>", text):  # decimal, as MSBuild reads it
                if not lcid.isdigit() or {format(int(lcid), "x")} != locales:
                    problems.append(f"{path}: <Lcid>{lcid}</Lcid> does not find libraries registered under "
                                    + ", ".join(sorted(locales)))
            continue
        spellings(path, text, kind, problems)
        if kind != ".pas":
            checked += check(path, text, kind, members, events, problems)
    for problem in problems:
        print("FAIL " + problem)
    print(f"{'ok' if not problems else 'FAIL'} {checked} uses of members and events in the examples and the "
          f"README's snippets exist in the type libraries as written")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
